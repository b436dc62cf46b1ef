#pragma once

#include <string>
#include <vector>

#include "cli/command_context.h"

namespace vantrel {

// `vantrel-cli mailtest`: a test message through the mail settings.
int MailTestCommand(const TCommandContext& context, const std::vector<std::string>& args);

std::string MailTestHelp();

}  // namespace vantrel
