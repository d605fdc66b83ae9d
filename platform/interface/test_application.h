// For tests: one QApplication for the whole test program, created before the first test
// and destroyed after the last, so that every test may make widgets.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

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
