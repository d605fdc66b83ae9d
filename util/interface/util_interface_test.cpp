// The Qt helpers of both layers, the platform's and the utilities over it.
#include <gtest/gtest.h>
#include <sched.h>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <chrono>
#include <cmath>
#include <memory>
#include <tuple>

#include "platform/interface/app_signature.h"
#include "platform/interface/divided_control.h"
#include "platform/interface/thread.h"
#include "util/interface/alert.h"
#include "util/interface/application.h"
#include "util/interface/color.h"
#include "util/interface/controls.h"
#include "util/interface/shortcut.h"

namespace {

// One QApplication for the whole program, so that every test may make widgets.
class TTestApplication : public testing::Environment {
  void SetUp() override { fApplication = std::make_unique<QApplication>(fArgc, fArgv); }
  void TearDown() override { fApplication.reset(); }

  int fArgc = 1;
  char fName[16] = "quillet_test";
  char* fArgv[2] = {fName, nullptr};
  std::unique_ptr<QApplication> fApplication;
};

testing::Environment* const gTestApplication =
    testing::AddGlobalTestEnvironment(new TTestApplication);

// Every priority can be taken back, on this thread through the file panel and on another one.
// The panel clamps priorities beyond the scale: cut to 32 bits, each would take the other policy.
TEST(ThreadPriority, EveryChangeCanBeUndone) {
  const std::pair<long, int> steps[] = {
      {B_IDLE_PRIORITY, SCHED_BATCH},
      {B_NORMAL_PRIORITY, SCHED_OTHER},
      {-5, SCHED_BATCH},
      {(-1L << 40) + 5, SCHED_BATCH},  // the other thread takes 32-bit priorities only
      {B_REAL_TIME_PRIORITY, SCHED_OTHER},
      {1L << 40, SCHED_OTHER},
      {B_IDLE_PRIORITY, SCHED_BATCH},
      {B_LOWEST_ACTIVE_PRIORITY, SCHED_OTHER},
  };
  QFileDialog panel;
  QThread other;  // runs an event loop
  other.start();
  QAbstractEventDispatcher* dispatcher = nullptr;
  while (dispatcher == nullptr)
    dispatcher = other.eventDispatcher();
  int seen = -1;
  for (const auto& [priority, policy] : steps) {
    EXPECT_EQ(set_file_panel_priority(&panel, priority), 0) << priority;
    if (priority == static_cast<int32>(priority)) {
      EXPECT_EQ(set_thread_priority(&other, static_cast<int32>(priority)), B_OK) << priority;
      QMetaObject::invokeMethod(
          dispatcher, [&seen] { seen = sched_getscheduler(0); }, Qt::BlockingQueuedConnection);
    }
    EXPECT_EQ(std::pair(sched_getscheduler(0), seen), std::pair(policy, policy)) << priority;
  }
  other.quit();
  other.wait();

  QThread stopped;
  EXPECT_EQ(set_file_panel_priority(nullptr, 10), -1);
  EXPECT_EQ(set_thread_priority(nullptr, B_NORMAL_PRIORITY), B_BAD_VALUE);
  EXPECT_EQ(set_thread_priority(&stopped, B_NORMAL_PRIORITY), B_NOT_ALLOWED);
}

TEST(Shortcut, TakenFromALabelAndMergedIntoOne) {
  const std::pair<const char*, char> labels[] = {
      {"Save (S)", 's'},                      // the character between parentheses, lowered
      {"x)(y) z", 'y'},                       // the first ")" after the "(" counts
      {"Open (", 0},                          // never closed
      {"A)(BC)", 'a'},                        // not one character between: the first, marked by ")"
      {"Q Quit", 'q'},                        // ... or by a blank
      {"N・Next", 'n'},                       // ... or by "・"
      {"Ab ・", 0},                           // the marker must be the first of its kind
      {"", 0},           {"(\xC9)", '\xC9'},  // only ASCII letters are lowered
  };
  for (const auto& [label, shortcut] : labels)
    EXPECT_EQ(short_cut_from_label(label), shortcut) << '"' << label << '"';

  const std::tuple<std::string, const char*, const char*> merges[] = {
      {"x(a)", "Save", "Save(F)"},                // no insertion point: at the end
      {"x(a)", "Name   :", "Name(F)   :"},        // before the blanks in front of ":"
      {"x(a)", "  ...", "(F)  ..."},              // down to the label's start
      {"x(a)", "Mode [A]: x", "Mode(F) [A]: x"},  // "[" before ":"
      {"x(a)", "a: [b] c...", "a: [b] c(F)..."},  // "..." before every other kind
      {"x(a)", "a:b：", "a:b(F)："},              // "：" before ":"
      {"x[a]a", "Go", "Go[F]a"},                  // only the first "a" is the key
      {"x(b)", "Open...", "Open..."},             // no "a": no accelerator text
      {"\001a:", "Open...", "F:Open..."},         // mode byte 0x01: in front
      {"", "Open...", "Open..."},
  };
  for (const auto& [format, label, merged] : merges)
    EXPECT_EQ(merge_accelerator_key(format, "F", label), merged)
        << "format \"" << format << "\" label \"" << label << '"';
}

// Shows an alert, presses `key` and returns show_alert's answer (-1: the key closed nothing).
// The three-button alert Esc closes is saved as a picture in the build folder for a reviewer.
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
  const std::tuple<Qt::Key, const char*, int32> cases[] = {
      {Qt::Key_Escape, "C Cancel", 1},
      {Qt::Key_S, "C Cancel", 2},
      {Qt::Key_C, "C Cancel", -1},  // the Esc button loses its label shortcut
      {Qt::Key_K, "C Cancel", 0},
      // No middle button: Esc names none and does nothing, the last keeps its index 2.
      {Qt::Key_Escape, nullptr, -1},
      {Qt::Key_S, nullptr, 2},
  };
  for (const auto& [key, middle_label, pressed] : cases)
    EXPECT_EQ(drive_alert(key, middle_label), pressed)
        << QKeySequence(key).toString().toStdString() << " middle "
        << (middle_label ? middle_label : "null");
}

// The icon is the theme's, else the window icon, of both sizes only where asked and none without
// a signature; a failure leaves the image as it was. Help only for a document.
TEST(Application, IconsAndHelp) {
  std::unique_ptr<QImage> large, mini;
  const auto sizes = [&] {
    return std::pair(large ? large->size() : QSize(), mini ? mini->size() : QSize());
  };
  QGuiApplication::setDesktopFileName(QString());
  EXPECT_EQ(get_icons(&large, &mini), -1);
  EXPECT_EQ(sizes(), std::pair(QSize(), QSize()));
  QGuiApplication::setDesktopFileName("org.vorn.QuilletTest");
  EXPECT_EQ(get_icons(nullptr, nullptr), 0);
  EXPECT_EQ(get_icons(nullptr, &mini), 0);
  EXPECT_EQ(sizes(), std::pair(QSize(), QSize(16, 16)));
  EXPECT_EQ(get_icons(&large, nullptr), 0);
  EXPECT_EQ(sizes(), std::pair(QSize(32, 32), QSize(16, 16)));
  QGuiApplication::setDesktopFileName(QString());

  EXPECT_EQ(show_help(nullptr), B_BAD_VALUE);
  EXPECT_EQ(show_help(""), B_BAD_VALUE);
  EXPECT_EQ(show_help("/no/such/folder/help.html"), B_ENTRY_NOT_FOUND);

  QImage image(16, 16, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::blue);
  const QImage before = image;
  QImage empty;
  EXPECT_EQ(get_app_icon("", &image), B_BAD_VALUE);
  EXPECT_EQ(get_app_icon("org.vorn.QuilletTest", nullptr), B_BAD_VALUE);
  EXPECT_EQ(get_app_icon("org.vorn.QuilletTest", &empty), B_BAD_VALUE);
  EXPECT_EQ(get_app_icon("org.vorn.QuilletTest", &image), B_ENTRY_NOT_FOUND);
  EXPECT_EQ(image, before);

  QPixmap red(64, 64);
  red.fill(Qt::red);
  QGuiApplication::setWindowIcon(QIcon(red));
  EXPECT_EQ(get_app_icon("org.vorn.QuilletTest", &image), B_OK);
  EXPECT_EQ(std::pair(image.pixelColor(0, 0), image.pixelColor(15, 15)),
            std::pair(QColor(Qt::red), QColor(Qt::red)));
  QGuiApplication::setWindowIcon(QIcon());
}

TEST(IsSameRgbColor, ComparesTheFourChannelsOnly) {
  const std::tuple<QColor, QColor, bool> cases[] = {
      {QColor(255, 0, 0), QColor::fromHsv(0, 255, 255), true},  // another model, same channels
      {QColor(10, 20, 30, 40), QColor(10, 20, 30, 41), false},
      {QColor(10, 20, 30), QColor(10, 20, 31), false},
  };
  for (const auto& [a, b, same] : cases)
    EXPECT_EQ(is_same_rgb_color(a, b), same)
        << a.name(QColor::HexArgb).toStdString() << " " << b.name(QColor::HexArgb).toStdString();
}

TEST(ControlSizing, TextWidthRoundedUpPlusMarginHeightKept) {
  QFont font("DejaVu Sans");
  font.setPointSizeF(10.5);
  // A label whose width has a fraction below one half tells rounding up from rounding.
  QString label;
  for (const char* candidate : {"Quit", "Save", "Apply", "Name", "Cancel", "Title"}) {
    const double width = QFontMetricsF(font).horizontalAdvance(candidate);
    if (width - std::floor(width) > 0 && width - std::floor(width) < 0.5)
      label = candidate;
  }
  ASSERT_FALSE(label.isEmpty());
  const int text = static_cast<int>(std::ceil(QFontMetricsF(font).horizontalAdvance(label)));

  BTextControl text_control(label, "field");
  BMenuField menu_field(label);
  QLabel view(label);
  QRadioButton radio(label);
  QCheckBox box(label);
  QPushButton button(label);
  for (QWidget* control :
       std::initializer_list<QWidget*>{&text_control, &menu_field, &view, &radio, &box, &button}) {
    control->setFont(font);
    control->resize(20, 37);
  }
  // Null controls are left alone.
  const auto adjust = [](BTextControl* text_control, BMenuField* menu_field, QLabel* view,
                         QRadioButton* radio, QCheckBox* box, QPushButton* button) {
    adjust_txtctrl_divider(text_control);
    adjust_mfield_divider(menu_field);
    adjust_strview_width(view);
    adjust_rbutton_width(radio);
    adjust_cbox_width(box);
    adjust_button_width(button);
  };
  adjust(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
  adjust(&text_control, &menu_field, &view, &radio, &box, &button);
  // A divided control moves its divider and keeps its size; the others take a new width.
  EXPECT_EQ(std::pair(text_control.Divider(), menu_field.Divider()),
            std::pair(text + 2.0f, text + 2.0f));
  EXPECT_EQ(std::pair(text_control.size(), menu_field.size()),
            std::pair(QSize(20, 37), QSize(20, 37)));
  EXPECT_EQ(view.size(), QSize(text + 2, 37));
  EXPECT_EQ(radio.size(), QSize(text + 17 + 2, 37));
  EXPECT_EQ(box.size(), QSize(text + 17 + 2, 37));
  EXPECT_EQ(button.size(), QSize(button.sizeHint().width(), 37));
}

// A click shows the button pressed for 50 ms, then clicks it once; a null one is ignored.
TEST(ClickButton, PressesWaitsAndClicksOnce) {
  QPushButton button("OK");
  QSignalSpy pressed(&button, &QAbstractButton::pressed);
  QSignalSpy clicked(&button, &QAbstractButton::clicked);
  const auto start = std::chrono::steady_clock::now();
  click_button(&button);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
  EXPECT_FALSE(button.isDown());
  EXPECT_EQ(std::pair(pressed.count(), clicked.count()), (std::pair<qsizetype, qsizetype>(1, 1)));
  click_button(nullptr);
}

// The label fills the control up to the divider and the field the rest, however either changes.
TEST(DividedControl, LabelAndFieldMeetAtTheDivider) {
  BTextControl control("Title", "Seasons");
  EXPECT_EQ(control.Divider(), control.LabelView()->sizeHint().width());
  control.resize(200, 30);
  control.show();  // a hidden widget gets its resize events only when shown
  const std::tuple<float, float, int> cases[] = {{60.4f, 60.4f, 60}, {-3, 0, 0}, {500, 500, 200}};
  for (const auto& [divider, kept, label_width] : cases) {
    SCOPED_TRACE(divider);
    control.SetDivider(divider);
    EXPECT_EQ(control.Divider(), kept);
    EXPECT_EQ(control.LabelView()->geometry(), QRect(0, 0, label_width, 30));
    EXPECT_EQ(control.Field()->geometry(), QRect(label_width, 0, 200 - label_width, 30));
  }
  control.SetDivider(50);
  control.resize(120, 24);
  EXPECT_EQ(control.Field()->geometry(), QRect(50, 0, 70, 24));
  EXPECT_EQ(control.sizeHint().width(), 50 + control.Field()->sizeHint().width());
}

}  // namespace
