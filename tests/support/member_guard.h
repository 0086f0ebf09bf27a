// API_GUARD for a fixture: the same swap of one table entry, held as a member, so that it lasts
// from before SetUp to after TearDown.
#pragma once
#include "support/api_guard.h"

#define API_GUARD_MEMBER(entry, fake) \
    ApiEntryGuard<decltype(Platform.ApiTable.entry)> entry##Guard_{Platform.ApiTable.entry, fake}
