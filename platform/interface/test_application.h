// For tests: one QApplication for the whole test program, created before the first test
// and destroyed after the last, so that every test may make widgets.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QColor>
#include <QRect>
#include <QSize>
#include <QString>
#include <memory>
#include <ostream>

class TTestApplication : public testing::Environment {
 public:
  void SetUp() override { fApplication = std::make_unique<QApplication>(fArgc, fArgv); }
  void TearDown() override { fApplication.reset(); }

 private:
  int fArgc = 1;
  char fName[16] = "quillet_test";
  char* fArgv[2] = {fName, nullptr};
  std::unique_ptr<QApplication> fApplication;
};

inline testing::Environment* const gTestApplication =
    testing::AddGlobalTestEnvironment(new TTestApplication);

// Readable failure messages for the Qt values the tests compare.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QRect& rect, std::ostream* out) {
  *out << "QRect(" << rect.x() << ", " << rect.y() << ", " << rect.width() << ", " << rect.height()
       << ")";
}
inline void PrintTo(const QSize& size, std::ostream* out) {
  *out << "QSize(" << size.width() << ", " << size.height() << ")";
}
inline void PrintTo(const QColor& color, std::ostream* out) {
  *out << color.name(QColor::HexArgb).toStdString();
}
