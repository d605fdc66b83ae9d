#include "util/interface/alert.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QTimer>

#include "platform/interface/test_application.h"

namespace {

// Shows an alert, presses `key` once it is up and returns what show_alert returned; an alert the
// key did not close is rejected shortly after (giving -1). The first alert shown is also saved
// as a picture in the build folder for a reviewer.
int32 drive_alert(Qt::Key key) {
  QTimer::singleShot(0, [key] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr) << "no alert is showing";
    if (key == Qt::Key_Escape) {
      EXPECT_TRUE(box->grab().save(ALERT_SCREENSHOT)) << ALERT_SCREENSHOT;
    }
    QTest::keyClick(box, key);
    // A button pressed by a shortcut clicks about 100 ms later.
    QTimer::singleShot(500, box, &QMessageBox::reject);
  });
  return show_alert("Tag written", "The tag of \"<Track 01>.ape\" was saved.", "Keep (K)",
                    "C Cancel", "Save & Close (S)", 1, QMessageBox::Warning);
}

TEST(ShowAlert, EscAndLabelShortcutsPressTheirButtons) {
  EXPECT_EQ(drive_alert(Qt::Key_Escape), 1);
  EXPECT_EQ(drive_alert(Qt::Key_S), 2);
  EXPECT_EQ(drive_alert(Qt::Key_C), -1);  // the Esc button loses its label shortcut
}

}  // namespace
