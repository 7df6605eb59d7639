#include "rtl/component.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kavo::test {
namespace {

std::vector<std::string> g_events;

class Probe : public TComponent {
 public:
  Probe(TComponent* owner, const char* tag) : TComponent(owner), tag_(tag) {}
  ~Probe() override { g_events.push_back(std::string("free ") + tag_); }
  TComponent* peer = nullptr;

 protected:
  void Loaded() override { g_events.push_back(std::string("loaded ") + tag_); }
  void Notification(TComponent* c, TOperation op) override {
    if (op == opRemove && c == peer) {
      peer = nullptr;
      g_events.push_back(std::string("drop peer in ") + tag_);
    }
  }

 private:
  const char* tag_;
};

TEST(Component, OwnerDestroysOwnedInReverseOrder) {
  g_events.clear();
  auto* owner = new Probe(nullptr, "owner");
  new Probe(owner, "a");
  auto* b = new Probe(owner, "b");
  b->SetName(u"Tempo");
  EXPECT_EQ(owner->ComponentCount(), 2);
  EXPECT_EQ(owner->FindComponent(u"TEMPO"), b);
  EXPECT_EQ(owner->FindComponent(u""), nullptr);
  delete owner;
  EXPECT_EQ(g_events, (std::vector<std::string>{"free owner", "free b", "free a"}));
}

TEST(Component, DeletingAnOwnedComponentLeavesTheOwnerConsistent) {
  g_events.clear();
  Probe owner(nullptr, "owner");
  auto* a = new Probe(&owner, "a");
  auto* b = new Probe(&owner, "b");
  b->peer = a;  // a sibling referring to another is told through its owner
  delete a;
  EXPECT_EQ(owner.ComponentCount(), 1);
  EXPECT_EQ(b->peer, nullptr);
}

TEST(Component, FreeNotificationAcrossOwners) {
  g_events.clear();
  auto* x = new Probe(nullptr, "x");
  Probe y(nullptr, "y");
  y.peer = x;
  y.FreeNotification(x);
  delete x;
  EXPECT_EQ(y.peer, nullptr);
  EXPECT_EQ(g_events, (std::vector<std::string>{"free x", "drop peer in y"}));
}

TEST(Component, LoadedRunsAfterTheWholeTreeWasRead) {
  g_events.clear();
  Probe owner(nullptr, "owner");
  auto* a = new Probe(&owner, "a");
  new Probe(&owner, "b");
  owner.BeginLoading();
  EXPECT_TRUE(a->Loading());
  owner.EndLoading();
  EXPECT_FALSE(a->Loading());
  EXPECT_EQ(g_events, (std::vector<std::string>{"loaded a", "loaded b", "loaded owner"}));
  g_events.clear();
}

}  // namespace
}  // namespace kavo::test
