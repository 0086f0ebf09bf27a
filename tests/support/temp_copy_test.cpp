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
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_READ, &key) != ERROR_SUCCESS) return strings;
    DWORD type = 0, cb = 0;
    if (RegQueryValueExW(key, kPendingValue, NULL, &type, NULL, &cb) == ERROR_SUCCESS && cb >= 2) {
        std::wstring data(cb / 2, L'\0');
        if (RegQueryValueExW(key, kPendingValue, NULL, &type, reinterpret_cast<BYTE*>(&data[0]), &cb) ==
            ERROR_SUCCESS) {
            data.resize(cb / 2);
            // Drop the list's own final terminator, keep the empty names of deletions.
            if (!data.empty() && data.back() == L'\0') data.pop_back();
            size_t start = 0;
            for (size_t nul; (nul = data.find(L'\0', start)) != std::wstring::npos; start = nul + 1)
                strings.push_back(data.substr(start, nul - start));
        }
    }
    RegCloseKey(key);
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
    for (size_t i = 0; i + 1 < s.size(); i += 2) {
        if (SameSource(s[i], path)) continue;
        kept += s[i] + L'\0' + s[i + 1] + L'\0';
    }
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
    if (kept.empty()) {
        RegDeleteValueW(key, kPendingValue);
    } else {
        kept += L'\0';
        RegSetValueExW(key, kPendingValue, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(kept.data()),
                       static_cast<DWORD>(kept.size() * 2));
    }
    RegCloseKey(key);
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
