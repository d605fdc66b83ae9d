#include "platform/interface/app_signature.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QIcon>
#include <QPixmap>

#include "platform/interface/test_application.h"

namespace {

class AppSignature : public testing::Test {
 protected:
  void TearDown() override {
    QGuiApplication::setDesktopFileName(QString());
    QGuiApplication::setWindowIcon(QIcon());
  }
};

TEST_F(AppSignature, IsTheDesktopFileName) {
  EXPECT_TRUE(app_signature().isEmpty());
  QGuiApplication::setDesktopFileName("org.vorn.Quillet");
  EXPECT_EQ(app_signature(), "org.vorn.Quillet");
}

TEST_F(AppSignature, IconFallsBackToTheWindowIconAndFailsWithoutOne) {
  QImage image(16, 16, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  EXPECT_EQ(get_app_icon("org.vorn.NoSuchTool", &image), B_ENTRY_NOT_FOUND);
  EXPECT_EQ(image.pixelColor(8, 8), QColor(Qt::transparent));
  EXPECT_EQ(get_app_icon("", &image), B_BAD_VALUE);
  EXPECT_EQ(get_app_icon("org.vorn.NoSuchTool", nullptr), B_BAD_VALUE);

  QPixmap blue(64, 64);
  blue.fill(Qt::blue);
  QGuiApplication::setWindowIcon(QIcon(blue));
  EXPECT_EQ(get_app_icon("org.vorn.NoSuchTool", &image), B_OK);
  EXPECT_EQ(image.pixelColor(8, 8), QColor(Qt::blue));
}

}  // namespace
