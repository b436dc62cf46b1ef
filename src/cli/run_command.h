#pragma once

#include <string>
#include <vector>

#include "cli/command_context.h"

namespace vantrel {

// `vantrel-cli run`: the monitor without a window, on the data folder's files,
// until SIGINT, SIGTERM or SIGHUP. `args` follow the command's name.
int RunCommand(const TCommandContext& context, const std::vector<std::string>& args);

std::string RunHelp();

}  // namespace vantrel
