#pragma once

#include <string>
#include <vector>

#include "cli/command_context.h"

namespace vantrel {

// `vantrel-cli items list|add|set|remove|suspend|activate|import|export`:
// reads and edits the watch list of the data folder. `args` follow the word "items".
int ItemsCommand(const TCommandContext& context, const std::vector<std::string>& args);

bool IsItemsSubcommand(const std::string& name);

std::string ItemsHelp();
// The help of one subcommand; the items help for an unknown name.
std::string ItemsSubcommandHelp(const std::string& name);

}  // namespace vantrel
