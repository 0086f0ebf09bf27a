// LoaderTest: the fakes reset for each test, and the blocks counted.
#include "support/loader_test.h"

#include "data/memory_ops.h"
#include "data/install_records.h"

void LoaderTest::SetUp() {
    ASSERT_FALSE(dir_.Path().empty());
    FakeModulePath = program_;
    ModuleFileNameFails = false;
    ShownBoxes.clear();
    BoxAnswer = IDOK;
    baseline_ = Heap.LiveBlockCount;
}

void LoaderTest::TearDown() {
    ReleaseUninstallData();
    EXPECT_EQ(baseline_, Heap.LiveBlockCount) << "blocks left after ReleaseUninstallData";
}
