#include "platform/Classes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace k58 {
namespace {

// Records removal notifications and its own destruction.
class Probe : public TComponent {
public:
    Probe(TComponent* owner, std::string name, std::vector<std::string>* log)
        : TComponent(owner), mLog(log) {
        SetName(std::move(name));
    }
    ~Probe() override { mLog->push_back("free " + Name()); }
    void Notification(TComponent* component, TOperation operation) override {
        if (operation == TOperation::opRemove && component != this)
            mLog->push_back(Name() + " saw removal");
    }
    void Loaded() override {
        TComponent::Loaded();
        mLog->push_back("loaded " + Name());
    }

private:
    std::vector<std::string>* mLog;
};

TEST(ComponentTest, OwnerListsComponentsInCreationOrderAndFreesThemLastFirst) {
    std::vector<std::string> log;
    auto* owner = new TComponent(nullptr);
    new Probe(owner, "a", &log);
    new Probe(owner, "b", &log);
    new Probe(owner, "c", &log);
    ASSERT_EQ(owner->ComponentCount(), 3);
    EXPECT_EQ(owner->Components(0)->Name(), "a");
    EXPECT_EQ(owner->Components(2)->Name(), "c");
    EXPECT_EQ(owner->FindComponent("b"), owner->Components(1));
    EXPECT_EQ(owner->Components(1)->Owner(), owner);
    delete owner;
    // c goes first; the survivors hear of each removal.
    const std::vector<std::string> expected = {"free c", "a saw removal", "b saw removal",
                                               "free b", "a saw removal", "free a"};
    EXPECT_EQ(log, expected);
}

TEST(ComponentTest, FreeingOneComponentTellsItsSiblingsAndLeavesTheList) {
    std::vector<std::string> log;
    TComponent owner(nullptr);
    new Probe(&owner, "a", &log);
    auto* b = new Probe(&owner, "b", &log);
    delete b;
    EXPECT_EQ(owner.ComponentCount(), 1);
    EXPECT_EQ(log, (std::vector<std::string>{"free b", "a saw removal"}));
}

TEST(ComponentTest, LoadedEndsTheLoadingState) {
    std::vector<std::string> log;
    TComponent owner(nullptr);
    auto* a = new Probe(&owner, "a", &log);
    a->BeginLoading();
    EXPECT_TRUE(a->Loading());
    a->Loaded();
    EXPECT_FALSE(a->Loading());
    EXPECT_FALSE(a->IsControl());
}

TEST(PersistentTest, AssigningAnUnrelatedObjectRaisesTheAssignmentError) {
    TComponent a(nullptr);
    TComponent b(nullptr);
    try {
        a.Assign(&b);
        FAIL() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "Cannot assign a TComponent to a TComponent");
        EXPECT_STREQ(e.ClassName(), "EConvertError");
    }
}

TEST(FormatTest, FillsEachPlaceholderInOrder) {
    EXPECT_EQ(Format("%s cannot be made", {"Sound Buffer"}), "Sound Buffer cannot be made");
    EXPECT_EQ(Format("Cannot assign a %s to a %s", {"X", "Y"}), "Cannot assign a X to a Y");
    EXPECT_EQ(Format("100%% %s", {}), "100% ");
}

} // namespace
} // namespace k58
