#include <gtest/gtest.h>
#include <sched.h>

#include <QAbstractEventDispatcher>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QThread>
#include <tuple>

#include "platform/interface/app_signature.h"
#include "platform/interface/divided_control.h"
#include "platform/interface/test_application.h"
#include "platform/interface/thread.h"

// Every priority can be taken back by a later call, in both directions and on both the calling
// thread and another one; the calling thread ends as it began.
TEST(ThreadPriority, EveryChangeCanBeUndone) {
  const std::pair<int32, int> steps[] = {
      {B_IDLE_PRIORITY, SCHED_BATCH},
      {B_NORMAL_PRIORITY, SCHED_OTHER},
      {-5, SCHED_BATCH},
      {B_REAL_TIME_PRIORITY, SCHED_OTHER},
      {B_IDLE_PRIORITY, SCHED_BATCH},
      {B_LOWEST_ACTIVE_PRIORITY, SCHED_OTHER},
  };
  QThread other;  // runs an event loop
  other.start();
  QAbstractEventDispatcher* dispatcher = nullptr;
  while (dispatcher == nullptr)
    dispatcher = other.eventDispatcher();
  for (const auto& [priority, policy] : steps) {
    EXPECT_EQ(set_thread_priority(QThread::currentThread(), priority), B_OK) << priority;
    EXPECT_EQ(set_thread_priority(&other, priority), B_OK) << priority;
    int seen = -1;
    QMetaObject::invokeMethod(
        dispatcher, [&seen] { seen = sched_getscheduler(0); }, Qt::BlockingQueuedConnection);
    EXPECT_EQ(std::pair(sched_getscheduler(0), seen), std::pair(policy, policy)) << priority;
  }
  other.quit();
  other.wait();

  QThread stopped;
  EXPECT_EQ(set_thread_priority(nullptr, B_NORMAL_PRIORITY), B_BAD_VALUE);
  EXPECT_EQ(set_thread_priority(&stopped, B_NORMAL_PRIORITY), B_NOT_ALLOWED);
}

// The icon is the theme's, else the window icon, and a failure leaves the image as it was.
TEST(AppSignature, IconOrAnHonestFailure) {
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
  EXPECT_EQ(image.pixelColor(0, 0), QColor(Qt::red));
  EXPECT_EQ(image.pixelColor(15, 15), QColor(Qt::red));
  QGuiApplication::setWindowIcon(QIcon());
}

// The label fills the control up to the divider and the field the rest, whatever the divider
// is set to and however the control is resized.
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
