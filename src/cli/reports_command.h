#pragma once

#include <string>
#include <vector>

#include "cli/command_context.h"

namespace vantrel {

// `vantrel-cli reports list|add|set|remove|default|rebuild`: the report
// definitions of the data folder. `args` follow the word "reports".
int ReportsCommand(const TCommandContext& context, const std::vector<std::string>& args);
// `vantrel-cli report [REPORT] [--item ID] [--out FILE|-]`: runs a report.
int ReportCommand(const TCommandContext& context, const std::vector<std::string>& args);

std::string ReportsHelp();
std::string ReportHelp();

}  // namespace vantrel
