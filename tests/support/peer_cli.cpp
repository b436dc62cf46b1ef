#include "support/peer_cli.h"

#include <signal.h>

#include <cstdlib>
#include <sstream>
#include <thread>

namespace vantrel::test {

namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find('\n', start);
    if (end == std::string::npos)
      break;  // a line still being written is not complete
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

}  // namespace

std::string CliProgram() {
  const char* chosen = std::getenv("VANTREL_CLI");
  if (chosen != nullptr && *chosen != '\0')
    return chosen;
#ifdef VANTREL_CLI_PATH
  return VANTREL_CLI_PATH;
#else
  return "vantrel-cli";
#endif
}

std::string TToolResult::Describe() const {
  return (Status < 0 ? std::string("no exit in time") : "exit " + std::to_string(Status)) +
         "\nstdout: " + Out + "\nstderr: " + Err;
}

TCli::TCli(std::filesystem::path dataDir, std::string program)
    : DataDir_(std::move(dataDir)),
      Program_(std::move(program)),
      Scratch_(std::make_shared<TTempDir>()),
      Counter_(std::make_shared<int>(0)) {}

std::filesystem::path TCli::NextOutput(const std::string& stem) const {
  return *Scratch_ / (stem + "-" + std::to_string(++*Counter_));
}

TToolResult TCli::Tool(const std::vector<std::string>& args, int timeoutMs) const {
  std::vector<std::string> argv{Program_, "--data-dir", DataDir_.string()};
  argv.insert(argv.end(), args.begin(), args.end());
  TPeerProgram::TOptions options;
  options.Output = NextOutput("tool") += ".out";
  options.Errors = NextOutput("tool") += ".err";
  TPeerProgram program(argv, options);
  TToolResult result;
  if (!program.Started()) {
    result.Err = program.Error();
    return result;
  }
  const std::optional<int> status = program.Wait(timeoutMs);
  if (!status)
    program.Stop(0);
  result.Status = status ? ExitCode(*status) : -1;
  result.Out = program.Output();
  result.Err = program.Errors();
  if (status && result.Status < 0)
    result.Err += "\n(ended by " + DescribeStatus(*status) + ")";
  return result;
}

std::unique_ptr<TPeerProgram> TCli::StartTool(const std::vector<std::string>& args) const {
  std::vector<std::string> argv{Program_, "--data-dir", DataDir_.string()};
  argv.insert(argv.end(), args.begin(), args.end());
  TPeerProgram::TOptions options;
  options.Output = NextOutput("tool") += ".out";
  return std::make_unique<TPeerProgram>(argv, options);
}

std::unique_ptr<TMonitorRun> TCli::StartMonitor(const std::string& netNamespace,
                                                const std::vector<std::string>& environment) const {
  TPeerProgram::TOptions options;
  options.NetNamespace = netNamespace;
  options.Output = NextOutput("run") += ".out";
  options.Errors = NextOutput("run") += ".err";
  options.Environment = environment;
  return std::make_unique<TMonitorRun>(
      std::vector<std::string>{Program_, "--data-dir", DataDir_.string(), "run"}, options);
}

TMonitorRun::TMonitorRun(const std::vector<std::string>& argv,
                         const TPeerProgram::TOptions& options)
    : Program_(argv, options), Output_(options.Output) {}

std::vector<std::string> TMonitorRun::Lines() const {
  return SplitLines(Program_.Output());
}

std::string TMonitorRun::Transcript() const {
  return "--- stdout ---\n" + Program_.Output() + "--- stderr ---\n" + Program_.Errors();
}

std::optional<std::size_t> TMonitorRun::WaitForLine(const TLineTest& test, int timeoutMs,
                                                    std::size_t from) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    // Whether it ran is asked before the lines are read: the last lines of a
    // program that has ended are all there.
    const bool running = Program_.Running();
    const std::vector<std::string> lines = Lines();
    for (std::size_t i = from; i < lines.size(); ++i) {
      if (test(lines[i]))
        return i;
    }
    if (!running || Clock::now() >= deadline)
      return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

bool TMonitorRun::WaitForCount(const TLineTest& test, int count, int timeoutMs, std::size_t from) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const bool running = Program_.Running();
    if (Count(test, from) >= static_cast<std::size_t>(count))
      return true;
    if (!running || Clock::now() >= deadline)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

std::size_t TMonitorRun::Count(const TLineTest& test, std::size_t from) const {
  const std::vector<std::string> lines = Lines();
  std::size_t count = 0;
  for (std::size_t i = from; i < lines.size(); ++i)
    count += test(lines[i]) ? 1 : 0;
  return count;
}

std::optional<int> TMonitorRun::StopWith(int signal, int timeoutMs,
                                         std::chrono::milliseconds* took) {
  const auto start = Clock::now();
  Program_.Signal(signal);
  const std::optional<int> status = Program_.Wait(timeoutMs);
  if (took != nullptr)
    *took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  if (!status)
    return std::nullopt;
  return ExitCode(*status);
}

void TMonitorRun::Kill() {
  Program_.Signal(SIGKILL);
  Program_.Wait(60000);
}

TMonitorRun::TLineTest Contains(const std::string& text) {
  return [text](const std::string& line) { return line.find(text) != std::string::npos; };
}

TMonitorRun::TLineTest ResultOf(const std::string& name, const std::string& outcome) {
  const std::string label = "  " + name + " (";
  const std::string standOut = "*** " + name + " (";
  const std::string word = "  " + outcome;
  return [=](const std::string& line) {
    if (line.find(label) == std::string::npos && line.find(standOut) == std::string::npos)
      return false;
    const std::size_t at = line.rfind(word);
    if (at == std::string::npos)
      return false;
    // The outcome is a whole word: followed by a gap, a blank or the end.
    const std::size_t after = at + word.size();
    return after == line.size() || line[after] == ' ';
  };
}

}  // namespace vantrel::test
