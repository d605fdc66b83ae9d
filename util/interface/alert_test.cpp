#include "util/interface/alert.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <array>
#include <functional>
#include <vector>

#include "platform/interface/test_application.h"

namespace {

using Labels = std::array<const char*, 3>;

// Shows an alert, runs `inspect` on it once it is up, presses `key` and returns what show_alert
// returned. An alert that the key did not close is rejected shortly after (giving -1).
int32 drive_alert(const Labels& labels, long escape_index, Qt::Key key,
                  const std::function<void(QMessageBox&)>& inspect = nullptr,
                  const char* title = "Title", const char* message = "Message") {
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr) << "no alert is showing";
    if (inspect)
      inspect(*box);
    QTest::keyClick(box, key);
    // A button pressed by a shortcut clicks about 100 ms later.
    QTimer::singleShot(500, box, &QMessageBox::reject);
  });
  return show_alert(title, message, labels[0], labels[1], labels[2], escape_index,
                    QMessageBox::Warning);
}

TEST(ShowAlert, KeysPressTheirButtons) {
  const Labels kThree = {"Save (S)", "C Cancel", "Delete (D)"};
  const Labels kMiddleNull = {"Save (S)", nullptr, "Delete (D)"};
  const struct {
    const char* what;
    Labels labels;
    long escape_index;
    Qt::Key key;
    int32 pressed;
  } cases[] = {
      {"Esc presses the Esc button", kThree, 1, Qt::Key_Escape, 1},
      {"label shortcuts of the others", kThree, 1, Qt::Key_S, 0},
      {"the Esc button loses its label shortcut", kThree, 1, Qt::Key_C, -1},
      {"Esc does nothing without an Esc button", kThree, -1, Qt::Key_Escape, -1},
      {"a null label keeps the later indexes", kMiddleNull, -1, Qt::Key_D, 2},
      {"Esc naming a null label", kMiddleNull, 1, Qt::Key_Escape, -1},
      {"Enter presses the last button shown", kMiddleNull, 0, Qt::Key_Return, 2},
      {"even when it is not the last index", {"(Y)es", "(N)o", nullptr}, 0, Qt::Key_Return, 1},
  };
  for (const auto& c : cases)
    EXPECT_EQ(drive_alert(c.labels, c.escape_index, c.key), c.pressed) << c.what;
}

// Also leaves a picture of the alert in the build folder for a reviewer.
TEST(ShowAlert, ShowsTitleBlankLineMessageAndButtonsInIndexOrder) {
  std::string text, window_title;
  std::vector<QString> left_to_right;
  const auto inspect = [&](QMessageBox& box) {
    text = box.text().toStdString();
    window_title = box.windowTitle().toStdString();
    QList<QAbstractButton*> buttons = box.buttons();
    std::sort(buttons.begin(), buttons.end(), [](auto* a, auto* b) { return a->x() < b->x(); });
    for (QAbstractButton* button : buttons)
      left_to_right.push_back(button->text());
    EXPECT_TRUE(box.grab().save(ALERT_SCREENSHOT)) << ALERT_SCREENSHOT;
  };
  EXPECT_EQ(drive_alert({"Keep (K)", "Cancel", "Save & Close (S)"}, 1, Qt::Key_Escape, inspect,
                        "Tag written", "The tag of \"<Track 01>.ape\" was saved."),
            1);
  EXPECT_EQ(window_title, "Tag written");
  EXPECT_EQ(text, "Tag written\n\nThe tag of \"<Track 01>.ape\" was saved.");
  // "&" is shown as written, not taken as the marker of a mnemonic.
  EXPECT_EQ(left_to_right, (std::vector<QString>{"Keep (K)", "Cancel", "Save && Close (S)"}));
}

}  // namespace
