#pragma once

// The command-line parser of vantrel-cli: each command lists the options it
// accepts, and a mistake is reported in words that name the option.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// A mistake in the command line: what is wrong, naming the option or argument.
// The program prints it with a pointer to the command's help and exits with
// status 2.
class EUsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One option a command accepts.
struct TOptionSpec {
  std::string Name;       // "--timeout"
  std::string ValueName;  // "MS"; empty for a switch
  bool TakesValue() const { return !ValueName.empty(); }
};

struct TParsedOption {
  std::string Name;
  std::string Value;  // empty for a switch
};

// A command line split into its options, in the order given (the last of
// contradicting options wins), and its other arguments.
struct TParsedArgs {
  std::vector<TParsedOption> Options;
  std::vector<std::string> Positionals;

  bool Has(std::string_view name) const;
  // The value of the last occurrence; nothing when the option is absent.
  std::optional<std::string> Value(std::string_view name) const;
};

// Splits `args` by `specs`. An option with a value is written "--name VALUE"
// or "--name=VALUE"; the value may begin with a single "-" (a negative number)
// but not with "--", which would mostly be a forgotten value. A switch takes
// no value. "-h" stands for "--help" when the command has it, and "--" ends
// the options. Throws EUsageError for an unknown option (suggesting a close
// name), a missing value, or a value given to a switch.
TParsedArgs ParseArgs(const std::vector<std::string>& args, const std::vector<TOptionSpec>& specs);

// The whole number `text` given to `option`, within min..max. Throws
// EUsageError naming the option when it is not a number or out of range.
std::int64_t ParseNumber(std::string_view option, std::string_view text, std::int64_t min,
                         std::int64_t max);

// The accepted name closest to `name` when it looks like a typing slip of it
// (at most two letters wrong); empty when none is that close.
std::string ClosestName(std::string_view name, const std::vector<TOptionSpec>& specs);

}  // namespace vantrel
