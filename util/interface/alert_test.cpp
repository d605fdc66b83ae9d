#include "util/interface/alert.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <vector>

#include "platform/interface/test_application.h"

namespace {

struct Labels {
  const char* button0;
  const char* button1;
  const char* button2;
};

// Shows an alert and runs `drive` on it once it is up; returns what show_alert returned. A
// watchdog rejects the alert after five seconds, so that keys that went nowhere fail the
// test instead of hanging it.
int32 drive_alert(const Labels& labels, long escape_index,
                  const std::function<void(QMessageBox&)>& drive, const char* title = "Title",
                  const char* message = "Message") {
  QTimer driver;
  driver.setSingleShot(true);
  QObject::connect(&driver, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) {
      ADD_FAILURE() << "no alert is showing";
      return;
    }
    drive(*box);
  });
  QTimer watchdog;
  watchdog.setSingleShot(true);
  QObject::connect(&watchdog, &QTimer::timeout, [] {
    if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
      dialog->reject();
  });
  driver.start(0);
  watchdog.start(5000);
  return show_alert(title, message, labels.button0, labels.button1, labels.button2, escape_index,
                    QMessageBox::Warning);
}

TEST(ShowAlert, KeysPressTheirButtons) {
  const Labels kThree = {"Save (S)", "C Cancel", "Delete (D)"};
  const Labels kMiddleNull = {"Save (S)", nullptr, "Delete (D)"};
  const struct {
    const char* what;
    Labels labels;
    long escape_index;
    std::vector<Qt::Key> keys;  // pressed in order; the first that reaches a button wins
    int32 pressed;
  } cases[] = {
      {"Esc presses the Esc button", kThree, 1, {Qt::Key_Escape}, 1},
      {"label shortcut of button 0", kThree, 1, {Qt::Key_S}, 0},
      {"label shortcut of button 2", kThree, 1, {Qt::Key_D}, 2},
      {"the Esc button loses its label shortcut", kThree, 1, {Qt::Key_C, Qt::Key_S}, 0},
      {"Esc goes nowhere without an Esc button", kThree, -1, {Qt::Key_Escape, Qt::Key_D}, 2},
      {"a null label keeps the later indexes", kMiddleNull, -1, {Qt::Key_D}, 2},
      {"an Esc index on a null label", kMiddleNull, 1, {Qt::Key_Escape, Qt::Key_S}, 0},
      {"Enter presses the last button", kMiddleNull, 0, {Qt::Key_Return}, 2},
      {"Enter with only the first label", {"OK", nullptr, nullptr}, 5, {Qt::Key_Return}, 0},
      {"uppercase label, lowercase key", {"(Y)es", "(N)o", nullptr}, 0, {Qt::Key_N}, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const int32 pressed = drive_alert(c.labels, c.escape_index, [&](QMessageBox& box) {
      for (Qt::Key key : c.keys)
        QTest::keyClick(&box, key);
    });
    EXPECT_EQ(pressed, c.pressed);
  }
}

TEST(ShowAlert, SingleButtonIgnoresEscUnlessItIsTheEscButton) {
  bool still_showing = false;
  const int32 pressed = drive_alert({"OK", nullptr, nullptr}, -1, [&](QMessageBox& box) {
    QTest::keyClick(&box, Qt::Key_Escape);
    still_showing = box.isVisible() && box.clickedButton() == nullptr;
    box.reject();
  });
  EXPECT_TRUE(still_showing);
  EXPECT_EQ(pressed, -1);
}

// Also leaves a picture of the alert in the build folder for a reviewer.
TEST(ShowAlert, ShowsTitleBlankLineMessageAndButtonsInIndexOrder) {
  QString text;
  QString window_title;
  std::vector<QString> buttons_left_to_right;
  bool saved = false;
  const int32 pressed = drive_alert(
      {"Keep (K)", "Cancel", "Save & Close (S)"}, 1,
      [&](QMessageBox& box) {
        text = box.text();
        window_title = box.windowTitle();
        std::vector<QPushButton*> buttons;
        for (QAbstractButton* button : box.buttons())
          buttons.push_back(static_cast<QPushButton*>(button));
        std::sort(buttons.begin(), buttons.end(), [](auto* a, auto* b) { return a->x() < b->x(); });
        for (QPushButton* button : buttons)
          buttons_left_to_right.push_back(button->text());
        saved = box.grab().save(ALERT_SCREENSHOT);
        QTest::keyClick(&box, Qt::Key_Escape);
      },
      "Tag written", "The tag of \"<Track 01>.ape\" was saved.");
  EXPECT_EQ(pressed, 1);
  EXPECT_EQ(window_title, "Tag written");
  EXPECT_EQ(text, "Tag written\n\nThe tag of \"<Track 01>.ape\" was saved.");
  // "&" is shown as written, not taken as a mnemonic marker.
  EXPECT_EQ(buttons_left_to_right,
            (std::vector<QString>{"Keep (K)", "Cancel", "Save && Close (S)"}));
  EXPECT_TRUE(saved) << ALERT_SCREENSHOT;
}

TEST(ShowAlert, AllNullLabelsStillReturn) {
  const int32 pressed =
      drive_alert({nullptr, nullptr, nullptr}, 0, [](QMessageBox& box) { box.reject(); });
  EXPECT_EQ(pressed, -1);
}

}  // namespace
