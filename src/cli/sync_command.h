#pragma once

#include <string>
#include <vector>

#include "cli/command_context.h"

namespace vantrel {

// `vantrel-cli sync [--test]`: the on-demand synchronization with the web
// service, or the service test.
int SyncCommand(const TCommandContext& context, const std::vector<std::string>& args);

std::string SyncHelp();

}  // namespace vantrel
