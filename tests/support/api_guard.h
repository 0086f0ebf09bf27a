// Scoped replacement of one system-call table entry: a test puts a fake in place (one that
// fails with a chosen error, or records its calls) and the original returns at scope end.
// The protected folders are resolved once and cached; a swapped call may change what they
// resolve to, so the guard drops that cache on both ends.
#pragma once
#include "folders/protected_folders.h"
#include "platform/api_table.h"

template <typename Fn>
class ApiEntryGuard {
public:
    ApiEntryGuard(Fn& entry, Fn replacement) : entry_(entry), saved_(entry) {
        entry_ = replacement;
        ForgetProtectedFolders();
    }
    ~ApiEntryGuard() {
        entry_ = saved_;
        ForgetProtectedFolders();
    }
    ApiEntryGuard(const ApiEntryGuard&) = delete;
    ApiEntryGuard& operator=(const ApiEntryGuard&) = delete;

private:
    Fn& entry_;
    Fn saved_;
};

#define API_GUARD(entry, fake) ApiEntryGuard<decltype(ApiTable.entry)> guard_##entry(ApiTable.entry, fake)
