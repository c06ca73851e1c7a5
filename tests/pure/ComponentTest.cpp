// Components: names and the links that tell a component when another one is freed.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "gui/Component.h"

namespace {

TEST(ComponentNames, IdentifiersOnly) {
  for (const char* name : {"NFCheck", "_x", "Label12", "a_1"}) {
    EXPECT_TRUE(IsValidComponentName(name)) << name;
  }
  for (const char* name : {"", "1Label", "NF Check", "He&x", "Label-1"}) {
    EXPECT_FALSE(IsValidComponentName(name)) << name;
  }
  EXPECT_TRUE(SameName("nfcheck", "NFCheck"));
  EXPECT_FALSE(SameName("NFCheck1", "NFCheck"));
}

class TWatcher final : public TComponent {
 public:
  explicit TWatcher(std::string_view Name) : TComponent(Name) {}
  void Notification(TComponent& Component, TOperation Operation) override {
    if (Operation == TOperation::Remove) Gone.push_back(Component.Name());
  }
  std::vector<std::string> Gone;
};

TEST(ComponentLinks, EachSideLearnsOfTheOthersEndOnce) {
  auto a = std::make_unique<TWatcher>("A");
  auto b = std::make_unique<TWatcher>("B");
  TWatcher c("C");
  a->FreeNotification(*b);
  a->FreeNotification(*b);  // linked once
  c.FreeNotification(*a);
  a.reset();
  EXPECT_EQ(b->Gone, std::vector<std::string>{"A"});
  EXPECT_EQ(c.Gone, std::vector<std::string>{"A"});
  // Unlinked: nothing is told.
  c.FreeNotification(*b);
  c.RemoveFreeNotification(*b);
  b.reset();
  EXPECT_EQ(c.Gone.size(), 1u);
}

// A control and its label each hold a link to the other; one letting go of its own link must
// not cut the other's, whichever of the two is freed first.
TEST(ComponentLinks, EachSideHoldsItsOwnLink) {
  for (const bool firstGoesFirst : {true, false}) {
    auto first = std::make_unique<TWatcher>("First");
    auto second = std::make_unique<TWatcher>("Second");
    first->FreeNotification(*second);
    second->FreeNotification(*first);
    first->RemoveFreeNotification(*second);  // the first no longer needs to know
    if (firstGoesFirst) {
      first.reset();
      EXPECT_EQ(second->Gone, std::vector<std::string>{"First"});
    } else {
      second.reset();
      EXPECT_EQ(first->Gone, std::vector<std::string>{"Second"});
    }
  }
  // Once both have let go, neither is told.
  auto a = std::make_unique<TWatcher>("A");
  TWatcher b("B");
  a->FreeNotification(b);
  b.FreeNotification(*a);
  b.RemoveFreeNotification(*a);
  a->RemoveFreeNotification(b);
  a.reset();
  EXPECT_TRUE(b.Gone.empty());
}

}  // namespace
