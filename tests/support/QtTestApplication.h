#pragma once
// One QApplication for a whole test run, as in the program, gone before the process ends:
// `TAPWELL_QT_TEST_APPLICATION("name_tests");` at namespace scope in the test file.

#include <gtest/gtest.h>

#include <QApplication>

#include <memory>
#include <string>

namespace tapwell::test {

class QtTestApplication final : public ::testing::Environment {
  public:
    explicit QtTestApplication(std::string name) : name_(std::move(name)) {}
    void SetUp() override { app_ = std::make_unique<QApplication>(argc_, argv_); }
    void TearDown() override { app_.reset(); }

  private:
    std::string name_;
    int argc_ = 1;
    char* argv_[2] = {name_.data(), nullptr};
    std::unique_ptr<QApplication> app_;
};

}  // namespace tapwell::test

#define TAPWELL_QT_TEST_APPLICATION(name)                   \
    [[maybe_unused]] auto* const tapwellQtTestApplication = \
        ::testing::AddGlobalTestEnvironment(new ::tapwell::test::QtTestApplication(name))
