// Long texts: boxes keep them whole, and what the window shows of them stays within what a
// screen can hold, in bounded time.
#include <gtest/gtest.h>

#include <string>

#include "app_fixture.h"
#include "forms/edits.h"
#include "forms/form.h"

namespace forms {
namespace {

class FormsLongText : public testing::AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    form = &app->CreateForm<TForm>();
    form->SetBounds(0, 0, 600, 500);
    form->Show();
  }
  TForm* form = nullptr;
};

TEST_F(FormsLongText, AnEditBoxWithoutALimitKeepsItsWholeTextAndOneWithALimitCutsAtIt) {
  TEdit& edit = form->Create<TEdit>("pop_3", form);
  const std::string longText(100000, 'a');
  edit.SetText(longText);
  EXPECT_EQ(edit.Text(), longText);
  edit.UserType("z");
  EXPECT_EQ(edit.Text(), longText + "z");

  edit.SetMaxLength(5);
  edit.SetText("abcdefgh");
  EXPECT_EQ(edit.Text(), "abcde");
  edit.UserType("z");
  EXPECT_EQ(edit.Text(), "abcde");
  edit.SetMaxLength(0);
  edit.SetText(longText);
  EXPECT_EQ(edit.Text(), longText);
}

}  // namespace
}  // namespace forms
