// TempCopyTest and the pending deletions it reads and clears.
#include "support/temp_copy_test.h"

#include <vector>

#include "data/data_locator.h"
#include "data/memory_ops.h"
#include "support/api_guard.h"

namespace {

const wchar_t kSessionManager[] = L"System\\CurrentControlSet\\Control\\Session Manager";
const wchar_t kPendingValue[] = L"PendingFileRenameOperations";

std::vector<std::wstring> PendingStrings() {
    std::vector<std::wstring> strings;
    DWORD cb = 0;
    const DWORD kind = RRF_RT_REG_MULTI_SZ;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, kSessionManager, kPendingValue, kind, nullptr, nullptr, &cb) || cb < 2)
        return strings;
    std::wstring data(cb / 2, L'\0');
    if (RegGetValueW(HKEY_LOCAL_MACHINE, kSessionManager, kPendingValue, kind, nullptr, &data[0], &cb)) return strings;
    data.resize(cb / 2);
    // Drop the list's own final terminator, keep the empty names of deletions.
    if (!data.empty() && data.back() == L'\0') data.pop_back();
    size_t start = 0;
    for (size_t nul; (nul = data.find(L'\0', start)) != std::wstring::npos; start = nul + 1)
        strings.push_back(data.substr(start, nul - start));
    return strings;
}

bool SameSource(const std::wstring& entry, const std::wstring& path) {
    return _wcsicmp(entry.c_str(), (L"\\??\\" + path).c_str()) == 0;
}

}  // namespace

bool ScheduledForDeletion(const std::wstring& path) {
    std::vector<std::wstring> s = PendingStrings();
    for (size_t i = 0; i + 1 < s.size(); i += 2)
        if (SameSource(s[i], path) && s[i + 1].empty()) return true;
    return false;
}

void Unschedule(const std::wstring& path) {
    std::vector<std::wstring> s = PendingStrings();
    std::wstring kept;
    for (size_t i = 0; i + 1 < s.size(); i += 2)
        if (!SameSource(s[i], path)) kept += s[i] + L'\0' + s[i + 1] + L'\0';
    if (kept.empty()) {
        DeleteValue(HKEY_LOCAL_MACHINE, kSessionManager, kPendingValue);
    } else {
        kept += L'\0';
        SetValue(HKEY_LOCAL_MACHINE, kSessionManager, kPendingValue, REG_MULTI_SZ, kept.data(),
                 static_cast<DWORD>(kept.size() * sizeof(WCHAR)));
    }
}

void TempCopyTest::SetUp() {
    ASSERT_TRUE(Platform.IsNT) << "the test platform reports the NT family";
    ASSERT_FALSE(temp_.empty());
    FakeTempFolder = temp_ + L"\\";
    LastShellOpen = ShellOpen();
    blocks_ = Heap.LiveBlockCount;
}

void TempCopyTest::TearDown() {
    for (int i = 1; i <= 4; ++i) Unschedule(Copy(i));
    EXPECT_EQ(blocks_, Heap.LiveBlockCount) << "a block was not released";
}

void TempCopyTest::PlaceProgram(const std::wstring& folder, const uninstpack::Bytes& program, DWORD offset) {
    FakeModulePath = dir_.MakeFolder(folder) + L"\\uninst.exe";
    ASSERT_TRUE(WriteFileBytes(FakeModulePath, program));
    SetDataOffset(offset);
}
