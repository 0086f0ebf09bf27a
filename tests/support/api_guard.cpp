// (ApiEntryGuard is header-only; this unit keeps the support library non-empty.)
#include "support/api_guard.h"
