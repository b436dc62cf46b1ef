#include "cli/cli_args.h"

#include <algorithm>
#include <charconv>
#include <cstddef>

namespace vantrel {

namespace {

constexpr std::string_view kHelp = "--help";
constexpr std::size_t kMaxSlip = 2;

const TOptionSpec* FindSpec(std::string_view name, const std::vector<TOptionSpec>& specs) {
  for (const TOptionSpec& known : specs) {
    if (known.Name == name)
      return &known;
  }
  return nullptr;
}

// Letters inserted, deleted or replaced to turn `a` into `b`.
std::size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> previous(b.size() + 1);
  std::vector<std::size_t> current(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j)
    previous[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    current[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t replace = previous[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1);
      current[j] = std::min({previous[j] + 1, current[j - 1] + 1, replace});
    }
    previous.swap(current);
  }
  return previous[b.size()];
}

std::string UnknownOption(std::string_view name, const std::vector<TOptionSpec>& specs) {
  std::string message = "unknown option '" + std::string(name) + "'";
  const std::string closest = ClosestName(name, specs);
  if (!closest.empty())
    message += " (did you mean " + closest + "?)";
  return message;
}

}  // namespace

bool TParsedArgs::Has(std::string_view name) const {
  return std::any_of(Options.begin(), Options.end(),
                     [name](const TParsedOption& option) { return option.Name == name; });
}

std::optional<std::string> TParsedArgs::Value(std::string_view name) const {
  for (auto it = Options.rbegin(); it != Options.rend(); ++it) {
    if (it->Name == name)
      return it->Value;
  }
  return std::nullopt;
}

TParsedArgs ParseArgs(const std::vector<std::string>& args, const std::vector<TOptionSpec>& specs) {
  TParsedArgs parsed;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg == "-" || arg.empty() || arg[0] != '-') {
      parsed.Positionals.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (arg == "-h" && FindSpec(kHelp, specs) != nullptr) {
      parsed.Options.push_back({std::string(kHelp), {}});
      continue;
    }
    if (arg.rfind("--", 0) != 0)
      throw EUsageError(UnknownOption(arg, specs));

    const std::size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    const TOptionSpec* known = FindSpec(name, specs);
    if (known == nullptr)
      throw EUsageError(UnknownOption(name, specs));
    if (!known->TakesValue()) {
      if (equals != std::string::npos)
        throw EUsageError(name + " takes no value");
      parsed.Options.push_back({name, {}});
      continue;
    }
    if (equals != std::string::npos) {
      parsed.Options.push_back({name, arg.substr(equals + 1)});
      continue;
    }
    if (i + 1 >= args.size() || args[i + 1].rfind("--", 0) == 0)
      throw EUsageError(name + " needs a value (" + name + " " + known->ValueName + ")");
    parsed.Options.push_back({name, args[++i]});
  }
  return parsed;
}

std::int64_t ParseNumber(std::string_view option, std::string_view text, std::int64_t min,
                         std::int64_t max) {
  const std::string prefix = std::string(option) + ": ";
  std::int64_t value = 0;
  const char* const end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || stop != end ||
      (error != std::errc() && error != std::errc::result_out_of_range))
    throw EUsageError(prefix + "'" + std::string(text) + "' is not a whole number");
  if (error == std::errc::result_out_of_range || value < min || value > max)
    throw EUsageError(prefix + std::string(text) + " is out of range (" + std::to_string(min) +
                      " to " + std::to_string(max) + ")");
  return value;
}

std::string ClosestName(std::string_view name, const std::vector<TOptionSpec>& specs) {
  std::string best;
  std::size_t bestDistance = kMaxSlip + 1;
  for (const TOptionSpec& known : specs) {
    const std::size_t distance = EditDistance(name, known.Name);
    if (distance < bestDistance) {
      best = known.Name;
      bestDistance = distance;
    }
  }
  return best;
}

}  // namespace vantrel
