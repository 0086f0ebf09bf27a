// 64-bit products under WOW64. Runs in a 64-bit prefix (UNINST_WINE_ARCH=win64), where this test
// and the uninstaller are 32-bit processes: the registry and System32 they name by default are
// the 32-bit views (Wow6432Node, SysWOW64). A product is laid in both views under the same names;
// the real uninst.exe with the 64-bit flag removes the 64-bit one and leaves its 32-bit
// namesakes, and without the flag removes the 32-bit one as it always did.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "data/install_records.h"
#include "folders/folder_macros.h"
#include "folders/protected_folders.h"
#include "platform/api_table.h"
#include "platform/wow64.h"
#include "removal/primitives.h"
#include "removal/registry_pass.h"
#include "support/uninst_runner.h"

namespace {

const wchar_t kVendor[] = L"Software\\Uninst Wow Vendor";
const wchar_t kProduct[] = L"Software\\Uninst Wow Vendor\\Product";
const wchar_t kSettings[] = L"Software\\Uninst Wow Vendor\\Settings";
const wchar_t kEntry[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\UninstWowProduct";
const wchar_t kSharedDlls[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
const wchar_t kCurrentVersion[] = L"Software\\Microsoft\\Windows\\CurrentVersion";
const wchar_t kServer[] = L"uninst-wow-srv.dll";
const REGSAM k32 = KEY_WOW64_32KEY, k64 = KEY_WOW64_64KEY;

// fn's result, with file-system redirection off: System32 is then the native folder.
template <typename Fn>
bool Native(Fn fn) {
    PVOID saved = nullptr;
    BOOL off = Wow64DisableWow64FsRedirection(&saved);
    bool result = fn();
    if (off) Wow64RevertWow64FsRedirection(saved);
    return result;
}

bool KeyExists(REGSAM view, const std::wstring& path) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

bool ValueExists(REGSAM view, const std::wstring& path, const std::wstring& name) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
    LONG result = RegQueryValueExW(key, name.c_str(), nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

std::wstring ReadText(REGSAM view, const std::wstring& path, const wchar_t* name) {
    WCHAR text[MAX_PATH] = {};
    DWORD cb = sizeof(text) - sizeof(WCHAR);
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return L"";
    LONG result = RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &cb);
    RegCloseKey(key);
    return result == ERROR_SUCCESS ? text : L"";
}

void SetValue(REGSAM view, const std::wstring& path, const std::wstring& name, DWORD type, const void* data, DWORD cb) {
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view,
                                             nullptr, &key, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), cb));
    RegCloseKey(key);
}

void SetText(REGSAM view, const std::wstring& path, const std::wstring& name) {
    SetValue(view, path, name, REG_SZ, L"x", 2 * sizeof(WCHAR));
}

void DeleteTree(REGSAM view, const std::wstring& path) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS | view, &key) == ERROR_SUCCESS) {
        RegDeleteTreeW(key, nullptr);
        RegCloseKey(key);
    }
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), view, 0);
}

// A product key with a subkey tree in one view.
void LayProductKeys(REGSAM view) {
    SetText(view, kProduct, L"Name");
    SetText(view, std::wstring(kProduct) + L"\\Plugins\\Spell", L"Enabled");
    SetText(view, kSettings, L"");
    SetText(view, kSettings, L"Keep");
    SetText(view, kEntry, L"DisplayName");
}

std::wstring SystemFolder() {
    WCHAR path[MAX_PATH];
    UINT cch = GetSystemDirectoryW(path, MAX_PATH);
    return cch && cch < MAX_PATH ? path : L"C:\\missing-system-folder";
}

class Wow64Test : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(RunsUnderWow64()) << "runs in a 64-bit prefix only (UNINST_WINE_ARCH=win64)";
        static bool selected = false;
        if (!selected) SelectPlatform();
        selected = true;
        programFiles_ = ReadText(k64, kCurrentVersion, L"ProgramFilesDir");
        ASSERT_FALSE(programFiles_.empty());
        ASSERT_NE(programFiles_, ReadText(k32, kCurrentVersion, L"ProgramFilesDir")) << "two views";
        installDir_ = programFiles_ + L"\\Uninst Wow Product";
        server_ = SystemFolder() + L"\\" + kServer;
        CleanUp();
    }
    void TearDown() override {
        Use64BitViews(false);
        CleanUp();
    }

    void CleanUp() {
        for (REGSAM view : {k32, k64}) {
            DeleteTree(view, kVendor);
            DeleteTree(view, kEntry);
        }
        HKEY key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSharedDlls, 0, KEY_ALL_ACCESS | k64, &key) == ERROR_SUCCESS) {
            RegDeleteValueW(key, server_.c_str());
            RegCloseKey(key);
        }
        for (const std::wstring& path : {server_, server_ + L".log"}) {
            DeleteFileW(path.c_str());
            Native([&] { return DeleteFileW(path.c_str()) != FALSE; });
        }
        for (const wchar_t* file : {L"\\data\\notes.txt", L"\\app.exe"}) DeleteFileW((installDir_ + file).c_str());
        RemoveDirectoryW((installDir_ + L"\\data").c_str());
        RemoveDirectoryW(installDir_.c_str());
    }

    bool NativeExists(const std::wstring& path) { return Native([&] { return Exists(path); }); }

    std::wstring programFiles_, installDir_, server_;
    TempFolder dir_;
};

// With the flag the 64-bit views go and their 32-bit namesakes stay; without it the reverse, as
// before the flag existed. Files under the native Program Files are not redirected and go in
// both runs, and the native Program Files itself, named by a folder record, stays.
// With the flag, records written with macros ("#Program Files#", "#System#") name the same
// native files as the literal paths.
TEST_F(Wow64Test, TheFlagChoosesTheViewsThatGo) {
    for (int run = 0; run < 3; ++run) {
        const bool flag = run < 2, macros = run == 1;
        SCOPED_TRACE(flag ? (macros ? "64-bit flag, macros" : "64-bit flag") : "no flag");
        const REGSAM gone = flag ? k64 : k32, kept = flag ? k32 : k64;
        LayProductKeys(k32);
        LayProductKeys(k64);
        // The native server is a 64-bit image, its SysWOW64 namesake a 32-bit one; each records
        // its own unregistration beside itself.
        ASSERT_TRUE(Native([&] { return CopyFileW(BinPath(L"com_record64.dll").c_str(), server_.c_str(), FALSE) != FALSE; }));
        ASSERT_TRUE(CopyFileW(BinPath(L"com_record_dll.dll").c_str(), server_.c_str(), FALSE));
        DWORD count = 1;
        SetValue(k64, kSharedDlls, server_, REG_DWORD, &count, sizeof(count));
        ASSERT_TRUE(CreateDirectoryW(installDir_.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW((installDir_ + L"\\data").c_str(), nullptr));
        ASSERT_TRUE(WriteFileBytes(installDir_ + L"\\app.exe", uninstpack::Bytes(300, 1)));
        ASSERT_TRUE(WriteFileBytes(installDir_ + L"\\data\\notes.txt", uninstpack::Bytes(30, 2)));

        uninstpack::UninstallData data = StandardData();
        data.messages[10] = u"";  // no question about the shared file
        data.settings.flags = flag ? kRun64BitApplication : 0;
        const std::u16string root = macros ? u"#Program Files#" : Utf16(programFiles_);
        const std::u16string install = root + u"\\Uninst Wow Product";
        data.files = {{root, u"", 0},
                      {install, u"", 0},
                      {install, u"app.exe", 0},
                      {install + u"\\data", u"", 0},
                      {install + u"\\data", u"notes.txt", 0},
                      {macros ? u"#System#" : Utf16(SystemFolder()), Utf16(kServer), kFileShared | kFileCom}};
        const uint32_t hklm = 0x80000002;
        data.registry = {{hklm, Utf16(kProduct)}, {hklm, Utf16(kEntry)}, {hklm, Utf16(kSettings) + u"\\\\"}};
        std::wstring exe = dir_.Join(L"uninst.exe");
        ASSERT_TRUE(WriteUninstaller(exe, uninstpack::EncodeStream(data)));
        EXPECT_EQ(0u, RunProgram(exe, L"/S"));

        for (const wchar_t* key : {kProduct, kEntry}) {
            EXPECT_FALSE(KeyExists(gone, key)) << Utf8(key);
            EXPECT_TRUE(KeyExists(kept, key)) << Utf8(key);
        }
        EXPECT_FALSE(ValueExists(gone, kSettings, L""));
        EXPECT_TRUE(ValueExists(kept, kSettings, L""));
        EXPECT_TRUE(ValueExists(gone, kSettings, L"Keep"));
        EXPECT_EQ(!flag, NativeExists(server_)) << "the native server";
        EXPECT_EQ(flag, Exists(server_)) << "the SysWOW64 server";
        EXPECT_EQ(flag, NativeExists(server_ + L".log")) << "the native server unregistered";
        EXPECT_EQ(!flag, Exists(server_ + L".log")) << "the SysWOW64 server unregistered";
        if (flag) EXPECT_FALSE(ValueExists(k64, kSharedDlls, server_)) << "the last reference went";
        EXPECT_FALSE(Exists(installDir_));
        EXPECT_TRUE(Exists(programFiles_));
        CleanUp();
    }
}

// Under WOW64 the native Program Files, its Common Files and System32 (as Sysnative) are
// protected, flag or not: the folder codes of the list name only their 32-bit counterparts;
// SysWOW64 too, by its own name.
TEST_F(Wow64Test, NativeFoldersAreProtected) {
    WCHAR windows[MAX_PATH];
    ASSERT_NE(0u, GetWindowsDirectoryW(windows, MAX_PATH));
    std::wstring common = ReadText(k64, kCurrentVersion, L"CommonFilesDir");
    ASSERT_FALSE(common.empty());
    for (bool flag : {false, true}) {
        Use64BitViews(flag);
        for (const std::wstring& folder : {programFiles_, programFiles_ + L"\\", common, std::wstring(windows) + L"\\sysnative",
                                           std::wstring(windows) + L"\\SysWOW64", std::wstring(windows) + L"\\System32."})
            EXPECT_TRUE(IsProtectedFolder(folder.c_str())) << Utf8(folder) << " flag " << flag;
        EXPECT_FALSE(IsProtectedFolder(installDir_.c_str()));
    }
}

// Under the flag a record's "#Program Files#" and "#CommonFiles#" are the native folders, while
// the pre-removal command's stay the 32-bit ones: it starts with redirection on, as a 32-bit
// process of the 32-bit views.
TEST_F(Wow64Test, RecordMacrosNameNativeFoldersAndCommandMacros32BitOnes) {
    Use64BitViews(true);
    for (const wchar_t* macro : {L"#Program Files#", L"#CommonFiles#"}) {
        const wchar_t* value = macro[1] == L'P' ? L"ProgramFilesDir" : L"CommonFilesDir";
        WCHAR path[MAX_PATH];
        ASSERT_EQ(PathUsable, ExpandLeadingMacro(path, (macro + std::wstring(L"\\x")).c_str()));
        EXPECT_EQ(ReadText(k64, kCurrentVersion, value) + L"\\x", path);
        ExpandFolderMacros(path, (macro + std::wstring(L"\\x")).c_str(), MAX_PATH);
        EXPECT_EQ(ReadText(k32, kCurrentVersion, value) + L"\\x", path);
    }
}

// Key trees go in the 64-bit view through RegDeleteKeyExW, and where it is missing through the
// key's own handle; a plain RegDeleteKeyW by name would take the Wow6432Node namesake instead.
TEST_F(Wow64Test, KeyTreesGoInThe64BitViewWithOrWithoutRegDeleteKeyEx) {
    for (bool withEx : {true, false}) {
        SCOPED_TRACE(withEx ? "RegDeleteKeyExW" : "own handle");
        LayProductKeys(k32);
        LayProductKeys(k64);
        Use64BitViews(true);
        ASSERT_EQ(KEY_WOW64_64KEY, Platform.RegistryView);
        ASSERT_TRUE(Platform.Wow64.RegDeleteKeyEx != nullptr);
        if (!withEx) Platform.Wow64.RegDeleteKeyEx = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, DeleteKeyTree(HKEY_LOCAL_MACHINE, kProduct));
        Use64BitViews(false);
        EXPECT_FALSE(KeyExists(k64, kProduct));
        EXPECT_TRUE(KeyExists(k32, std::wstring(kProduct) + L"\\Plugins\\Spell"));
        EXPECT_TRUE(KeyExists(k64, kSettings));
        CleanUp();
    }
}

}  // namespace
