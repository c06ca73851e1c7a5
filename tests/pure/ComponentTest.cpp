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

}  // namespace
