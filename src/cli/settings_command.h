#pragma once

#include <string>
#include <vector>

#include "cli/command_context.h"

namespace vantrel {

// `vantrel-cli settings list|get|set`: the preferences and Internet options of
// the data folder's settings file. `args` follow the word "settings".
int SettingsCommand(const TCommandContext& context, const std::vector<std::string>& args);

std::string SettingsHelp();

}  // namespace vantrel
