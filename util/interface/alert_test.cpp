#include "util/interface/alert.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QTimer>

#include "platform/interface/test_application.h"

namespace {

// Shows an alert, presses `key` once it is up and returns what show_alert returned; an alert the
// key did not close is rejected shortly after (giving -1). The alert Esc closes
// with three buttons is also saved as a picture in the build folder for a reviewer.
int32 drive_alert(Qt::Key key, const char* middle_label = "C Cancel") {
  QTimer::singleShot(0, [key, middle_label] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr) << "no alert is showing";
    if (key == Qt::Key_Escape && middle_label != nullptr) {
      EXPECT_TRUE(box->grab().save(ALERT_SCREENSHOT)) << ALERT_SCREENSHOT;
    }
    QTest::keyClick(box, key);
    // A button pressed by a shortcut clicks about 100 ms later.
    QTimer::singleShot(500, box, &QMessageBox::reject);
  });
  return show_alert("Tag written", "The tag of \"<Track 01>.ape\" was saved.", "Keep (K)",
                    middle_label, "Save & Close (S)", 1, QMessageBox::Warning);
}

TEST(ShowAlert, EscAndLabelShortcutsPressTheirButtons) {
  const struct {
    Qt::Key key;
    const char* middle_label;
    int32 pressed;
  } cases[] = {
      {Qt::Key_Escape, "C Cancel", 1},
      {Qt::Key_S, "C Cancel", 2},
      {Qt::Key_C, "C Cancel", -1},  // the Esc button loses its label shortcut
      {Qt::Key_K, "C Cancel", 0},
      // No middle button: Esc names none and does nothing, the last keeps its index 2.
      {Qt::Key_Escape, nullptr, -1},
      {Qt::Key_S, nullptr, 2},
  };
  for (const auto& c : cases)
    EXPECT_EQ(drive_alert(c.key, c.middle_label), c.pressed)
        << QKeySequence(c.key).toString().toStdString() << " middle "
        << (c.middle_label ? c.middle_label : "null");
}

}  // namespace
