// The widgets need one QApplication for the whole program, made before any
// test and on the offscreen platform, so the tests run without a display.

#include <gtest/gtest.h>
#include <QApplication>
#include <clocale>
#include <cstdlib>

int main(int argc, char* argv[]) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  ::testing::InitGoogleTest(&argc, argv);
  QApplication application(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  const int result = RUN_ALL_TESTS();
  // Objects the tests' windows and Qt's own threads left for deletion.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  return result;
}
