// One application object for the whole test program, as the updater has one: it starts the
// window system (offscreen in the tests) before the first test and ends it after the last,
// the process set up as the program's start sets it up.
#include <gtest/gtest.h>

#include <memory>

#include "forms/application.h"
#include "os/file_size_limit.h"

namespace {

class ApplicationEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    os::IgnoreFileSizeSignal();  // first, as in the program
    app_ = std::make_unique<forms::TApplication>();
    app_->SetTitle("Mise à jour");
  }
  void TearDown() override { app_.reset(); }

 private:
  std::unique_ptr<forms::TApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);

}  // namespace
