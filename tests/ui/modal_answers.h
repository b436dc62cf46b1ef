#pragma once

// Answering the windows a test's click opens modally: the click does not
// return until the window closes, so the answer is armed before it and runs
// from the window's own event loop.

#include <QApplication>
#include <QMessageBox>
#include <QObject>
#include <QTest>
#include <QTimer>
#include <functional>

namespace vantrel::test {

// Hands the next modal window to `answer` as soon as one shows. `context`
// ends the watch with the test.
inline void WhenModal(QObject* context, std::function<void(QWidget*)> answer) {
  auto* watch = new QTimer(context);
  QObject::connect(watch, &QTimer::timeout, [watch, answer] {
    if (QWidget* modal = QApplication::activeModalWidget()) {
      watch->stop();
      watch->deleteLater();
      answer(modal);
    }
  });
  watch->start(1);
}

// Answers the next message box with `button`, keeping its text in `text`.
inline void Answer(QObject* context, QMessageBox::StandardButton button, QString& text) {
  WhenModal(context, [button, &text](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(box, nullptr);
    text = box->text();
    QTest::mouseClick(box->button(button), Qt::LeftButton);
  });
}

}  // namespace vantrel::test
