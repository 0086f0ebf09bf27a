// LoaderTest: the fakes reset for each test; at its end every block given back, nothing left loaded.
#include "support/loader_test.h"

#include "data/memory_ops.h"
#include "data/install_records.h"
#include "data/uninstall_data.h"

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
    EXPECT_EQ(nullptr, Data.FileEntries);
    EXPECT_EQ(0u, Data.FileEntryCount + Data.ShortcutEntryCount + Data.RegistryEntryCount);
    EXPECT_EQ(nullptr, Data.RunSettings);
    EXPECT_EQ(nullptr, Data.MessageTable);
}
