// vantrel: the monitor with its window and tray icon.

#include <QApplication>
#include <QMessageBox>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <system_error>

#include "app/data_folder_lock.h"
#include "app/qt_main_loop.h"
#include "app/stop_signals.h"
#include "core/network_check_runner.h"
#include "platform/clock.h"
#include "platform/data_folder.h"
#include "platform/version_info.h"
#include "ui/clone_control.h"
#include "ui/error_dialog.h"
#include "ui/main_window.h"
#include "ui/qt_desktop.h"
#include "ui/tray_icon.h"
#include "ui/ui_log.h"

namespace {

using namespace vantrel;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitInUse = 3;

const char* const kHelp =
    "Usage: vantrel [--data-dir DIR]\n"
    "\n"
    "The monitor with its window and tray icon. It uses the same data folder and\n"
    "files as vantrel-cli (settings vantrel.ini, watch list vantrel.vtd, history\n"
    "vantrel.vth): the folder given, else $VANTREL_HOME, else the program's folder\n"
    "when writable, else $XDG_DATA_HOME/vantrel (~/.local/share/vantrel).\n"
    "\n"
    "One monitor runs per data folder: a second vantrel on the same folder brings\n"
    "the first one's window to the front and ends; while vantrel-cli run works on\n"
    "the folder, the window does not start, and the other way round.\n"
    "\n"
    "Options:\n"
    "  --data-dir DIR  keep the settings, the event log and the data files in DIR\n"
    "  --version       print the version and exit\n"
    "  --help          print this text and exit\n"
    "\n"
    "Without a display (DISPLAY or WAYLAND_DISPLAY) there is no window to show:\n"
    "vantrel-cli run is the monitor for a terminal or a server.\n"
    "\n"
    "Exit status: 0 after a stop with everything saved (or when the first window\n"
    "was brought to the front); 1 when the monitor could not start or something\n"
    "could not be saved; 2 for a wrong command line; 3 when another process holds\n"
    "the data folder.\n";

struct TOptions {
  std::optional<std::filesystem::path> DataDir;
  bool Help = false;
};

// Qt takes its own options (-platform, -style ...) out of argv first.
std::optional<TOptions> ParseOptions(const QStringList& arguments, std::string& problem) {
  TOptions options;
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    const std::string argument = arguments[i].toStdString();
    if (argument == "--help" || argument == "-h") {
      options.Help = true;
    } else if (argument == "--data-dir" || argument.starts_with("--data-dir=")) {
      std::string folder;
      if (argument == "--data-dir") {
        if (++i >= arguments.size()) {
          problem = "--data-dir needs a folder";
          return std::nullopt;
        }
        folder = arguments[i].toStdString();
      } else {
        folder = argument.substr(std::strlen("--data-dir="));
      }
      if (folder.empty()) {
        problem = "--data-dir: the folder name is empty";
        return std::nullopt;
      }
      options.DataDir = folder;
    } else {
      problem = "unknown argument: " + argument;
      return std::nullopt;
    }
  }
  return options;
}

// Exceptions must not cross Qt's event dispatch: one that reaches it is shown
// in the error dialog, and the program goes on.
class TApplication final : public QApplication {
 public:
  using QApplication::QApplication;

  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
      ShowErrorDialog(error.what(), activeWindow());
    } catch (...) {
      ShowErrorDialog("An unknown error.", activeWindow());
    }
    return false;
  }
};

// The README that "Help Topics" opens: the installed one beside an installed
// program, else the source tree's.
std::string HelpDocument() {
  const std::filesystem::path installed =
      std::filesystem::path(QCoreApplication::applicationDirPath().toStdString()) / ".." /
      VANTREL_INSTALLED_README;
  std::error_code error;
  if (std::filesystem::exists(installed, error))
    return std::filesystem::weakly_canonical(installed, error).string();
  return VANTREL_README;
}

void Refuse(const std::string& message) {
  std::cerr << "vantrel: " << message << std::endl;
  QMessageBox::critical(nullptr, QLatin1String(kProgramTitle), QString::fromStdString(message));
}

}  // namespace

// Whether Qt has somewhere to show the window: an X or Wayland display, or a
// platform the user chose (offscreen, vnc ...). Without one Qt aborts.
bool HasDisplay() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0')
      return true;
  }
  return false;
}

int main(int argc, char* argv[]) {
  // Help and version without a display.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::cout << kHelp;
      return kExitOk;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::cout << kProgramTitle << ' ' << kFileVersion << '\n';
      return kExitOk;
    }
  }
  if (!HasDisplay()) {
    std::cerr << "vantrel: no display to show the window on (DISPLAY and WAYLAND_DISPLAY are "
                 "not set); vantrel-cli run is the monitor without a window\n";
    return kExitFailed;
  }
  TApplication application(argc, argv);
  TApplication::setApplicationName(QStringLiteral("vantrel"));
  TApplication::setApplicationVersion(QLatin1String(kFileVersion));
  // The tray keeps the program alive while the window is hidden; it ends
  // when the user closes the window or chooses Exit.
  TApplication::setQuitOnLastWindowClosed(false);
  // Qt sets every category of the user's locale; numbers in files never follow it.
  std::setlocale(LC_NUMERIC, "C");

  std::string problem;
  const std::optional<TOptions> options = ParseOptions(TApplication::arguments(), problem);
  if (!options) {
    std::cerr << "vantrel: " << problem << "\n\n" << kHelp;
    return kExitUsage;
  }
  try {
    const std::filesystem::path folder =
        ResolveDataFolder(CurrentDataFolderSources(options->DataDir));

    TxxCloneControl clone(folder);
    if (!clone.Loaded())
      return kExitOk;  // the first window came to the front
    TDataFolderLock lock(folder, "vantrel");
    if (!lock.TryLock()) {
      Refuse(lock.InUseMessage() + " Only one monitor runs per data folder.");
      return kExitInUse;
    }

    bool stoppedBySignal = false;
    TStopSignals stopSignals([&stoppedBySignal](int) {
      stoppedBySignal = true;
      TApplication::quit();
    });
    TQtMainLoop loop;
    TQtDesktop desktop;
    TfmMain window(TMainWindowParts{
        .Loop = loop,
        .Clock = SystemClock(),
        .Lock = lock,
        .Desktop = desktop,
        .MakeRunner = NetworkCheckRunnerFactory(),
        .HelpDocument = HelpDocument(),
    });
    QObject::connect(&window, &TfmMain::ExitRequested, &application, &QApplication::quit);
    QObject::connect(&clone, &TxxCloneControl::RaiseRequested, &window, [&window] {
      qCDebug(lcWindow) << "brought to the front";
      window.Tray().ShowMainForm();
    });
    window.ShowAtStart();
    TApplication::exec();

    window.StopMonitor();
    const bool saved = !window.HasQueuedErrors();
    for (const std::string& message : window.QueuedErrors())
      std::cerr << "vantrel: " << message << std::endl;
    // A signal (the session ends) leaves no one to close a dialog.
    if (!stoppedBySignal)
      window.ShowQueuedErrors();
    return saved ? kExitOk : kExitFailed;
  } catch (const std::exception& error) {
    std::cerr << "vantrel: " << error.what() << std::endl;
    ShowErrorDialog(error.what(), nullptr);
    return kExitFailed;
  }
}
