// Linked into every test program of the narrow-table build: selects the platform before the
// first test, so tests that call the table without selecting one run on the fallbacks too.
#include <gtest/gtest.h>

#include "platform/api_table.h"

namespace {

class NarrowTableEnvironment : public ::testing::Environment {
public:
    // Runs after static initialisation has filled the table's wide defaults.
    void SetUp() override { SelectPlatform(); }
};

const ::testing::Environment* const kNarrowTable =
    ::testing::AddGlobalTestEnvironment(new NarrowTableEnvironment);

}  // namespace
