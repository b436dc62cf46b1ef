#pragma once

#include <string>
#include <vector>

#include "cli/command_context.h"
#include "core/monitoring_test.h"

namespace vantrel {

// `vantrel-cli check URL`: the monitoring test of one address with settings
// given on the command line, printed step by step. `args` follow the
// command's name. Exit status 0 when the test passed, 1 when it failed.
int CheckCommand(const TCommandContext& context, const std::vector<std::string>& args);

// The test's settings from the command line (without the proxy, which comes
// from the Internet options). Throws EUsageError naming the option.
TMonitoringTestSettings CheckSettingsFromArgs(const TParsedArgs& args);

// The options `check` accepts besides the common ones.
std::vector<TOptionSpec> CheckOptions();

std::string CheckHelp();

}  // namespace vantrel
