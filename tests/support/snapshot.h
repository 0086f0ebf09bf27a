// Listings of the prefix for end-to-end tests: every file and folder of drive C: and every key and
// value of HKLM\Software and HKCU\Software, taken before and after a run and compared, so a test
// sees that exactly what it expected went and nothing else changed.
//   const Listing before = TakeListing();
//   ... lay an installation, run its uninstaller ...
//   EXPECT_EQ("", Differences(before, TakeListing()));
#pragma once
#include <map>
#include <string>

// One entry per file, folder, key and value: "f path", "k key" or "v key name", and what it is
// or holds. Files are keyed by their lower-cased path, as the file system compares them.
using Listing = std::map<std::string, std::string>;

// Takes a few seconds: the temp folders are left out (every process's scratch space, and where a
// confirmed run's self-removal copy stays until the next restart).
Listing TakeListing();
// Empty when equal; otherwise the differences, at most 40 lines of them.
std::string Differences(const Listing& expected, const Listing& actual);
// Adds what `path` now is (a file or folder) to a listing of expectations.
void ExpectPath(Listing& listing, const std::wstring& path);
