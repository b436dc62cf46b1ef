#include "support/cli_program.h"

#include <signal.h>

#include <cstdlib>

namespace vantrel::test {

namespace {

using Clock = std::chrono::steady_clock;

const std::vector<std::string> kCleanEnvironment = {"http_proxy", "https_proxy", "no_proxy",
                                                    "all_proxy",  "HTTP_PROXY",  "HTTPS_PROXY",
                                                    "NO_PROXY",   "ALL_PROXY",   "VANTREL_HOME"};

}  // namespace

std::string CliProgram() {
  const char* chosen = std::getenv("VANTREL_CLI");
  return chosen != nullptr && *chosen != '\0' ? chosen : VANTREL_CLI_PATH;
}

std::string TToolResult::Describe() const {
  return (Status < 0 ? std::string("no exit in time") : "exit " + std::to_string(Status)) +
         "\nstdout: " + Out + "\nstderr: " + Err;
}

std::vector<std::string> TCliRun::Lines() const {
  const std::string text = Output();
  std::vector<std::string> lines;
  // A line still being written is not complete.
  for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
       start = end + 1)
    lines.push_back(text.substr(start, end - start));
  return lines;
}

std::string TCliRun::Transcript() const {
  return "--- stdout ---\n" + Output() + "--- stderr ---\n" + Errors();
}

std::optional<std::size_t> TCliRun::WaitForLine(const TLineTest& test, int timeoutMs,
                                                std::size_t from) {
  std::optional<std::size_t> found;
  WaitUntil(
      [&] {
        // Whether it runs is asked before the lines are read: the last lines
        // of a program that has ended are all there.
        const bool running = Running();
        const std::vector<std::string> lines = Lines();
        for (std::size_t i = from; i < lines.size() && !found; ++i) {
          if (test(lines[i]))
            found = i;
        }
        return found || !running;
      },
      timeoutMs);
  return found;
}

bool TCliRun::WaitForCount(const TLineTest& test, int count, int timeoutMs, std::size_t from) {
  bool reached = false;
  WaitUntil(
      [&] {
        const bool running = Running();
        reached = Count(test, from) >= static_cast<std::size_t>(count);
        return reached || !running;
      },
      timeoutMs);
  return reached;
}

std::size_t TCliRun::Count(const TLineTest& test, std::size_t from) const {
  const std::vector<std::string> lines = Lines();
  std::size_t count = 0;
  for (std::size_t i = from; i < lines.size(); ++i)
    count += test(lines[i]) ? 1 : 0;
  return count;
}

std::optional<int> TCliRun::StopWith(int signal, int timeoutMs, std::chrono::milliseconds* took) {
  const auto start = Clock::now();
  if (signal != 0)
    Signal(signal);
  const std::optional<int> status = Wait(timeoutMs);
  if (took != nullptr)
    *took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  if (!status)
    return std::nullopt;
  return ExitCode(*status);
}

void TCliRun::Kill() {
  Signal(SIGKILL);
  Wait(60000);
}

TToolResult TCli::Tool(const std::vector<std::string>& args, int timeoutMs) const {
  const std::unique_ptr<TCliRun> run = Start(args);
  TToolResult result;
  if (!run->Started()) {
    result.Err = run->Error();
    return result;
  }
  const std::optional<int> status = run->Wait(timeoutMs);
  if (!status)
    run->Stop(0);
  result.Status = status ? ExitCode(*status) : -1;
  result.Out = run->Output();
  result.Err = run->Errors();
  if (status && result.Status < 0)
    result.Err += "\n(ended by " + DescribeStatus(*status) + ")";
  return result;
}

std::unique_ptr<TCliRun> TCli::Start(const std::vector<std::string>& args,
                                     const std::string& netNamespace) const {
  std::vector<std::string> argv{CliProgram(), "--data-dir", DataDir_.string()};
  argv.insert(argv.end(), args.begin(), args.end());
  return std::make_unique<TCliRun>(
      argv, TTestProcess::TOptions{.NetNamespace = netNamespace, .Environment = kCleanEnvironment});
}

TCliRun::TLineTest Contains(const std::string& text) {
  return [text](const std::string& line) { return line.find(text) != std::string::npos; };
}

TCliRun::TLineTest ResultOf(const std::string& name, const std::string& outcome) {
  const std::string label = "  " + name + " (";
  const std::string standOut = "*** " + name + " (";
  const std::string word = "  " + outcome;
  return [=](const std::string& line) {
    if (line.find(label) == std::string::npos && line.find(standOut) == std::string::npos)
      return false;
    const std::size_t at = line.rfind(word);
    // The outcome is a whole word: followed by a gap, a blank or the end.
    return at != std::string::npos &&
           (at + word.size() == line.size() || line[at + word.size()] == ' ');
  };
}

}  // namespace vantrel::test
