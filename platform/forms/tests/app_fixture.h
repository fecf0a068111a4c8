#pragma once
// Each test runs with an application object of its own (and so a fresh main form), and
// with scripted message boxes so that nothing waits for a user.
#include <gtest/gtest.h>

#include <memory>

#include "forms/application.h"
#include "forms/form.h"
#include "forms/scripted_dialogs.h"

namespace forms::testing {

class AppTest : public ::testing::Test {
 protected:
  void SetUp() override { app = std::make_unique<TApplication>(); }
  void TearDown() override { app.reset(); }

  // Processes window messages until `done` holds or `ms` have passed.
  template <class Pred>
  bool WaitFor(Pred done, int ms = 2000);

  ScriptedDialogs dialogs;
  std::unique_ptr<TApplication> app;
};

// With one form of 600 x 500, shown, for the controls under test.
class FormTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    form = &app->CreateForm<TForm>();
    form->SetBounds(0, 0, 600, 500);
    form->Show();
  }
  TForm* form = nullptr;
};

}  // namespace forms::testing

#include <chrono>
#include <thread>

namespace forms::testing {
template <class Pred>
bool AppTest::WaitFor(Pred done, int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    app->ProcessMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}
}  // namespace forms::testing
