// The window program as a person starts it, on a virtual display with a tray
// host: an item goes down and the list and the tray show it, the alarm page
// is written, the headless monitor refuses the folder, a second start brings
// the first window forward and ends, and SIGTERM stops it with everything
// saved.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "e2e_fixture.h"
#include "support/test_process.h"

namespace vantrel::test {
namespace {

namespace fs = std::filesystem;

// A display number no other X server uses now.
int FreeDisplay() {
  for (int display = 90 + ::getpid() % 400;; ++display) {
    if (!fs::exists("/tmp/.X11-unix/X" + std::to_string(display)) &&
        !fs::exists("/tmp/.X" + std::to_string(display) + "-lock"))
      return display;
  }
}

class DesktopE2e : public E2eTest {
 protected:
  // The program's own lines on standard error, switched on for the test.
  bool WaitForTrace(TTestProcess& program, const std::string& line, int ms) {
    return WaitUntil([&] { return program.Errors().find(line) != std::string::npos; }, Scaled(ms));
  }

  std::vector<std::string> Environment() const {
    return {"DISPLAY=:" + std::to_string(Display_),    "QT_QPA_PLATFORM=xcb",
            "QT_LOGGING_RULES=vantrel.ui.debug=true",  "TMPDIR=" + Tmp_.Path().string(),
            "XDG_RUNTIME_DIR=" + Tmp_.Path().string(), "WAYLAND_DISPLAY"};
  }

  std::vector<std::string> Program() const {
    return {VANTREL_DESKTOP, "--data-dir", Data_.Path().string()};
  }

  TTempDir Tmp_;
  int Display_ = FreeDisplay();
};

TEST_F(DesktopE2e, AnItemGoesDownOnScreenAndASecondStartRaisesTheFirst) {
  const std::string display = ":" + std::to_string(Display_);
  TTestProcess xvfb({"Xvfb", display, "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
  ASSERT_TRUE(xvfb.Started()) << xvfb.Error();
  ASSERT_TRUE(WaitUntil([&] { return fs::exists("/tmp/.X11-unix/X" + std::to_string(Display_)); },
                        Scaled(10000)))
      << xvfb.Errors();
  TTestProcess trayer({"trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel",
                       "--width", "100", "--height", "24"},
                      {.Environment = {"DISPLAY=" + display}});
  ASSERT_TRUE(trayer.Started()) << trayer.Error();

  std::unique_ptr<TNginxPeer> nginx = StartNginx();
  ASSERT_TRUE(nginx != nullptr && nginx->Ok()) << (nginx ? nginx->Error() : "");
  nginx->WriteDocument("state.html", "UP");
  ASSERT_GT(AddItem({"--url", nginx->Url("/state.html"), "--name", "shop", "--search", "UP",
                     "--frequency", "1", "--alarm-trigger", "1"}),
            0);

  TTestProcess window(Program(), {.NetNamespace = Net_->Path(), .Environment = Environment()});
  ASSERT_TRUE(window.Started()) << window.Error();
  ASSERT_TRUE(WaitForTrace(window, "connection: Connected", 20000)) << window.Errors();
  ASSERT_TRUE(WaitForTrace(window, "tray image 0", 5000)) << window.Errors();
  ASSERT_TRUE(WaitForTrace(window, "row shop image 0", 20000)) << window.Errors();

  // The folder is the window's: the headless monitor refuses it.
  const TToolResult headless = Cli_.Tool({"run"});
  EXPECT_EQ(headless.Status, 3) << headless.Describe();
  EXPECT_NE(headless.Err.find("(vantrel on "), std::string::npos) << headless.Describe();

  nginx->WriteDocument("state.html", "DOWN");
  ASSERT_TRUE(WaitForTrace(window, "row shop image 1", 20000)) << window.Errors();
  EXPECT_TRUE(WaitForTrace(window, "tray image 2", 5000)) << window.Errors();
  const fs::path pages = Tmp_ / ("vantrel-" + std::to_string(::getuid()));
  EXPECT_TRUE(WaitUntil([&] { return fs::exists(pages) && !fs::is_empty(pages); }, Scaled(10000)))
      << "no alarm page in " << pages;

  TTestProcess second(Program(), {.NetNamespace = Net_->Path(), .Environment = Environment()});
  ASSERT_TRUE(second.Started()) << second.Error();
  const std::optional<int> status = second.Wait(Scaled(20000));
  ASSERT_TRUE(status.has_value()) << "the second start still runs\n" << second.Errors();
  EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << second.Errors();
  EXPECT_TRUE(WaitForTrace(window, "brought to the front", 10000)) << window.Errors();

  ASSERT_TRUE(window.Signal(SIGTERM));
  const std::optional<int> stopped = window.Wait(Scaled(10000));
  ASSERT_TRUE(stopped.has_value()) << window.Errors();
  EXPECT_TRUE(WIFEXITED(*stopped) && WEXITSTATUS(*stopped) == 0) << window.Errors();
  EXPECT_TRUE(fs::exists(Data_ / "vantrel.ini"));
}

}  // namespace
}  // namespace vantrel::test
