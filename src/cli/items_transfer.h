#pragma once

// `vantrel-cli items import` and `items export`: a watch list moved between
// data folders and machines in one go, in the JSON shape of `items list
// --json` (or CSV for import).

#include <string>
#include <vector>

#include "cli/command_context.h"

namespace vantrel {

// `items import FILE|-`: adds the items of a JSON or CSV file in one edit,
// all or none, and prints their new Ids. `args` follow the word "import".
int ImportItems(const TCommandContext& context, const std::vector<std::string>& args);
std::string ImportHelp();

// `items export [--out FILE]`: the watch list as JSON, to standard output or
// to FILE. `args` follow the word "export".
int ExportItems(const TCommandContext& context, const std::vector<std::string>& args);
std::string ExportHelp();

}  // namespace vantrel
