#include "forms/classes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace forms {
namespace {

// Records its destruction, and what its owner still holds at that moment.
class Recorder : public TComponent {
 public:
  Recorder(TComponent* Owner, std::vector<std::string>& log) : TComponent(Owner), log_(log) {}
  ~Recorder() override {
    log_.push_back(Name() + " (owner holds " + std::to_string(Owner() ? Owner()->ComponentCount() : -1) + ")");
  }

 private:
  std::vector<std::string>& log_;
};

TEST(FormsComponent, OwnedComponentsGoLastCreatedFirstEachLeavingTheListBeforeIt) {
  std::vector<std::string> log;
  {
    TComponent root(nullptr);
    root.Create<Recorder>("A", log);
    Recorder& b = root.Create<Recorder>("B", log);
    b.Create<Recorder>("B1", log);  // owned by B, goes with it
    root.Create<Recorder>("C", log);
    ASSERT_EQ(root.ComponentCount(), 3);
    EXPECT_EQ(root.FindComponent("b"), &b);
    EXPECT_EQ(b.ComponentIndex(), 1);
  }
  // A component's own destructor runs before its components go.
  EXPECT_EQ(log, (std::vector<std::string>{"C (owner holds 2)", "B (owner holds 1)", "B1 (owner holds 0)",
                                           "A (owner holds 0)"}));
}

TEST(FormsComponent, AComponentCanBeDestroyedOrHandedOutByItsOwner) {
  std::vector<std::string> log;
  TComponent root(nullptr);
  TComponent& a = root.Create<Recorder>("A", log);
  TComponent& b = root.Create<Recorder>("B", log);
  TComponent stranger(nullptr);
  root.DestroyComponent(&stranger);  // not owned: nothing happens
  EXPECT_EQ(root.RemoveComponent(&stranger), nullptr);
  root.DestroyComponent(&a);
  EXPECT_EQ(log, std::vector<std::string>{"A (owner holds 1)"});
  std::unique_ptr<TComponent> out = root.RemoveComponent(&b);
  EXPECT_EQ(out->Owner(), nullptr);
  EXPECT_EQ(root.ComponentCount(), 0);
  stranger.InsertComponent(std::move(out));
  EXPECT_EQ(stranger.Components(0)->Owner(), &stranger);
  EXPECT_EQ(stranger.Components(5), nullptr);
  EXPECT_EQ(stranger.FindComponent(""), nullptr);
}

}  // namespace
}  // namespace forms
