#include "cli/run_command.h"

#include <signal.h>
#include <string.h>
#include <unistd.h>

#include <QCoreApplication>
#include <cerrno>
#include <clocale>
#include <memory>
#include <system_error>

#include "alerts/headless_desktop.h"
#include "app/app_controller.h"
#include "app/data_folder_lock.h"
#include "app/headless_output.h"
#include "app/qt_main_loop.h"
#include "app/stop_signals.h"
#include "core/memory_views.h"
#include "core/network_check_runner.h"
#include "core/watch_item.h"
#include "core/watch_list.h"
#include "platform/service_manager.h"
#include "platform/version_info.h"

namespace vantrel {

namespace {

// The printed events, counting the errors, so that the end can say whether
// everything was saved.
class TCountedEvents final : public TMonitorEvents {
 public:
  explicit TCountedEvents(TMonitorEvents& printed) : Printed_(printed) {}

  void StatusText(const std::string& text) override { Printed_.StatusText(text); }
  void ConnectStateChanged(TConnectState state) override { Printed_.ConnectStateChanged(state); }
  void ResultHandled(const TWatchItem* item, const THistoryRecord& record, bool recorded) override {
    Printed_.ResultHandled(item, record, recorded);
  }
  void ActionsChanged() override { Printed_.ActionsChanged(); }
  void Error(const std::string& message) override {
    ++Errors_;
    Printed_.Error(message);
  }
  void Warning(const std::string& message) override { Printed_.Warning(message); }

  int Errors() const { return Errors_; }

 private:
  TMonitorEvents& Printed_;
  int Errors_ = 0;
};

// "Monitoring 3 item(s), 2 active": what the monitor does, for the first line
// and the service manager's status.
std::string WhatRuns(const TWatchList& list) {
  int active = 0;
  for (int i = 0; i < list.Count(); ++i)
    active += list.Item(i).Active() ? 1 : 0;
  return "Monitoring " + std::to_string(list.Count()) + " item(s), " + std::to_string(active) +
         " active";
}

void SayWhatRuns(const TCommandContext& context, const TWatchList& list,
                 const std::filesystem::path& folder) {
  context.Out << WhatRuns(list) << ", in " << folder.string() << ". Stop with Ctrl+C or SIGTERM."
              << std::endl;
  if (list.Count() == 0) {
    // The list is the monitor's while it runs, so an item is added between runs.
    context.Out << "The watch list is empty. To add an item, stop the monitor and run\n"
                << "  " << AddItemCommand(folder)
                << " [--name NAME] [--type METHOD] [--frequency SECONDS]\n"
                << "then start it again (vantrel-cli items add --help lists every setting)."
                << std::endl;
  }
}

// Tells the service manager, when there is one, how the monitor is doing; a
// message that cannot go out is a warning (the manager would wait in vain).
void TellServiceManager(const TCommandContext& context, const TServiceNotifier& notifier,
                        const std::string& state) {
  std::string error;
  if (!notifier.Notify(state, &error))
    context.Err << "vantrel-cli: warning: cannot notify the service manager: " << error
                << std::endl;
}

// The journal stamps and ranks each line itself.
TLineStyle OutputStyle() {
  TLineStyle style;
  style.TimeStamps = !IsJournalStream(STDOUT_FILENO);
  style.PriorityPrefixes = IsJournalStream(STDERR_FILENO);
  return style;
}

extern "C" void IgnoreSignal(int) {}

// A closed standard output (the reader of a pipe has gone, as with
// `vantrel-cli run | grep DOWN` and Ctrl+C) must not end the monitor before it
// has saved: writes fail with EPIPE instead. A handler rather than SIG_IGN, so
// that programs the monitor starts get the default action back.
void SurviveClosedOutput() {
  struct sigaction action = {};
  action.sa_handler = IgnoreSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  if (::sigaction(SIGPIPE, &action, nullptr) != 0)
    throw std::system_error(errno, std::generic_category(), "cannot handle SIGPIPE");
}

}  // namespace

std::string RunHelp() {
  return "Usage: vantrel-cli [--data-dir DIR] run\n"
         "\n"
         "Runs the monitor without a window on the data folder's files: the settings\n"
         "(vantrel.ini), the watch list (vantrel.vtd) and the response history\n"
         "(vantrel.vth), whose records rebuild the items' statistics at the start.\n"
         "Every active item is checked at its frequency while the machine has a network\n"
         "connection; the watch list and the history are saved every few minutes, as\n"
         "the settings say.\n"
         "\n"
         "Prints one line per check result and per state change, each starting with\n"
         "the time: the item, OK or FAILED, the response time and the code's text; an\n"
         "item going down or coming back up stands out as \"*** ... DOWN\" or\n"
         "\"*** ... UP\". Errors and warnings go to standard error.\n"
         "\n"
         "SIGINT (Ctrl+C), SIGTERM and SIGHUP (the terminal or SSH session closed) stop\n"
         "it: running checks are abandoned, then the settings, the watch list and the\n"
         "history are saved. Started with SIGHUP ignored (nohup), it keeps running when\n"
         "the terminal closes.\n"
         "\n"
         "One monitor runs per data folder; while it runs, the commands that change the\n"
         "watch list refuse. Stop it, edit the list, and start it again.\n"
         "\n"
         "As a service: started by a service manager that waits for it (NOTIFY_SOCKET),\n"
         "it says when it is ready and when it stops; when its output goes to the\n"
         "journal (JOURNAL_STREAM), the lines carry no time stamps of their own, and\n"
         "errors and warnings are marked with their priority.\n"
         "\n"
         "Options:\n"
         "  --data-dir DIR  the data folder (also accepted before the command)\n"
         "  --help          print this text\n"
         "\n"
         "Exit status: 0 after a stop with everything saved; 1 when the monitor could\n"
         "not start or something could not be saved; 2 for a wrong command line; 3 when\n"
         "another process holds the data folder.\n";
}

int RunCommand(const TCommandContext& context, const std::vector<std::string>& args) {
  const TParsedArgs parsed = ParseArgs(args, CommonOptions());
  if (parsed.Has("--help")) {
    context.Out << RunHelp();
    return kExitOk;
  }
  ExpectNoArguments(parsed);
  const std::filesystem::path folder = UseDataFolder(context, parsed);

  TDataFolderLock lock(folder, "vantrel-cli run");
  if (!lock.TryLock())
    throw EFolderInUse(lock.InUseMessage() + " Only one monitor runs per data folder.");

  int qtArgc = 1;
  char qtName[] = "vantrel-cli";
  char* qtArgv[] = {qtName, nullptr};
  QCoreApplication application(qtArgc, qtArgv);
  // Qt sets every category of the user's locale; numbers in files never follow it.
  std::setlocale(LC_NUMERIC, "C");

  SurviveClosedOutput();
  const TServiceNotifier notifier = TServiceNotifier::FromEnvironment();
  TStopSignals stopSignals([&context, &notifier](int signal) {
    const char* name = sigabbrev_np(signal);
    context.Out << "Stopping on SIG" << (name != nullptr ? name : "?") << " ..." << std::endl;
    TellServiceManager(context, notifier, "STOPPING=1");
    QCoreApplication::quit();
  });
  TQtMainLoop loop;
  TMemoryItemView itemView;
  TMemoryDetailsView detailsView;
  TKeptWindowState window;
  TClock& clock = SystemClock();
  const TLineStyle style = OutputStyle();
  TPrintedAlarmActions alarms(context.Out, clock, style);
  TPrintedMonitorEvents printed(context.Out, context.Err, clock, style);
  TCountedEvents events(printed);
  THeadlessDesktop desktop([&printed](const std::string& line) { printed.Note(line); });

  // Said first: the start replays the whole history, which can take a while.
  context.Out << kProgramTitle << ' ' << kFileVersion << ": starting the monitor on "
              << folder.string() << std::endl;
  auto controller = std::make_unique<TAppController>(TAppControllerParts{
      .Loop = loop,
      .Clock = clock,
      .Lock = lock,
      .ItemView = itemView,
      .DetailsView = detailsView,
      .WindowState = window,
      .Alarms = alarms,
      .Desktop = desktop,
      .Events = events,
      .MakeRunner = NetworkCheckRunnerFactory(),
  });
  controller->UpdateActions();
  SayWhatRuns(context, controller->WatchList(), folder);
  TellServiceManager(context, notifier, "READY=1\nSTATUS=" + WhatRuns(controller->WatchList()));

  QCoreApplication::exec();

  const int errorsBeforeStop = events.Errors();
  controller.reset();
  if (events.Errors() > errorsBeforeStop) {
    context.Err << "vantrel-cli: stopped, but not everything could be saved (see above)."
                << std::endl;
    return kExitFailed;
  }
  context.Out << "Stopped; the settings, the watch list and the history are saved." << std::endl;
  return kExitOk;
}

}  // namespace vantrel
