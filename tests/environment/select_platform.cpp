// Linked into every test program: selects the platform and reads its flags before the first test,
// as the entry point does first, so every test starts where the program's own code would. In the
// narrow build the program's wide calls fail, GetVersionExW among them, so the table takes its
// narrow branch there, as on the 9x family.
#include <gtest/gtest.h>

#include "platform/api_table.h"

namespace {

class SelectedPlatform : public ::testing::Environment {
public:
    // Runs after static initialisation has filled the table's wide defaults.
    void SetUp() override {
        SelectPlatform();
        DetectPlatform();
    }
};

const ::testing::Environment* const kSelectedPlatform =
    ::testing::AddGlobalTestEnvironment(new SelectedPlatform);

}  // namespace
