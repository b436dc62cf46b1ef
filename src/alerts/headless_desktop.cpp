#include "alerts/headless_desktop.h"

#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>

#include "alerts/command_line.h"
#include "storage/private_document.h"
#include "text/escape.h"

extern char** environ;

namespace vantrel {

pid_t SpawnCommand(const std::string& program, const std::vector<std::string>& arguments,
                   const TCommandEnvironment& environment) {
  std::vector<std::string> argv = {program};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  // Ours replace variables of the same name the process has.
  std::vector<std::string> envp;
  for (char** variable = environ; *variable != nullptr; ++variable) {
    const std::string text = *variable;
    const std::string name = text.substr(0, text.find('='));
    if (std::none_of(environment.begin(), environment.end(),
                     [&](const auto& own) { return own.first == name; }))
      envp.push_back(text);
  }
  for (const auto& [name, value] : environment)
    envp.push_back(name + "=" + value);
  std::vector<char*> argvPointers;
  for (std::string& argument : argv)
    argvPointers.push_back(argument.data());
  argvPointers.push_back(nullptr);
  std::vector<char*> envPointers;
  for (std::string& variable : envp)
    envPointers.push_back(variable.data());
  envPointers.push_back(nullptr);
  pid_t pid = -1;
  const int error = ::posix_spawnp(&pid, program.c_str(), nullptr, nullptr, argvPointers.data(),
                                   envPointers.data());
  if (error != 0) {
    errno = error;
    return -1;
  }
  return pid;
}

THeadlessDesktop::THeadlessDesktop(TLine print) : Print_(std::move(print)) {}

THeadlessDesktop::~THeadlessDesktop() {
  Reap();
}

void THeadlessDesktop::Reap() {
  std::erase_if(Children_, [](pid_t pid) {
    int status = 0;
    return ::waitpid(pid, &status, WNOHANG) != 0;
  });
}

std::string THeadlessDesktop::ShowHtml(const std::string& fileName, const std::string& html) {
  try {
    const std::filesystem::path path = WritePrivateDocument(fileName, html, "page");
    Print_("Page: " + EscapeControls(path.string()));
    return "";
  } catch (const std::exception& e) {
    return "Cannot write the page " + EscapeControls(fileName) + ": " + EscapeControls(e.what());
  }
}

void THeadlessDesktop::OpenDocument(const std::string& pathOrUrl) {
  Print_("Open: " + EscapeControls(pathOrUrl));
}

std::string THeadlessDesktop::RunCommand(const std::string& commandLine,
                                         const TCommandEnvironment& environment) {
  Reap();
  const TCommandParts parts = SplitCommandLine(commandLine);
  if (parts.Program.empty())
    return "";
  if (IsWebAddress(parts.Program)) {
    OpenDocument(parts.Program);
    return "";
  }
  const pid_t pid = SpawnCommand(parts.Program, SplitArguments(parts.Parameters), environment);
  if (pid < 0)
    return "Cannot start the command " + EscapeControls(commandLine) + ": " + std::strerror(errno);
  Children_.push_back(pid);
  Print_("Command started: " + EscapeControls(commandLine));
  return "";
}

void THeadlessDesktop::PlayAlarmSound(const std::string& file, bool loop) {
  SoundPlaying_ = true;
  Print_("Sound: " + EscapeControls(file) + (loop ? " (until the alarm is reset)" : ""));
}

void THeadlessDesktop::StopAlarmSound() {
  if (!SoundPlaying_)
    return;
  SoundPlaying_ = false;
  Print_("Sound stopped");
}

}  // namespace vantrel
