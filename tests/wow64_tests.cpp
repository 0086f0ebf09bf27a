// 64-bit products under WOW64. Runs in a 64-bit prefix (UNINST_WINE_ARCH=win64), where this test
// and the uninstaller are 32-bit processes: the registry and System32 they name by default are
// the 32-bit views (Wow6432Node, SysWOW64). A product is laid in both views under the same names;
// the real uninst.exe with the 64-bit flag removes the 64-bit one and leaves its 32-bit
// namesakes, and without the flag removes the 32-bit one as it always did.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "folders/folder_macros.h"
#include "platform/api_table.h"
#include "platform/wow64.h"
#include "removal/primitives.h"
#include "removal/registry_pass.h"
#include "support/program_test.h"
#include "support/uninst_runner.h"

namespace {

const wchar_t kVendor[] = L"Software\\Uninst Wow Vendor";
const wchar_t kProduct[] = L"Software\\Uninst Wow Vendor\\Product";
const wchar_t kSettings[] = L"Software\\Uninst Wow Vendor\\Settings";
const wchar_t kEntry[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\UninstWowProduct";
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

// A product key with a subkey tree in one view.
void LayProductKeys(REGSAM view) {
    SetText(HKEY_LOCAL_MACHINE, kProduct, L"Name", L"x", view);
    SetText(HKEY_LOCAL_MACHINE, std::wstring(kProduct) + L"\\Plugins\\Spell", L"Enabled", L"x", view);
    SetText(HKEY_LOCAL_MACHINE, kSettings, L"", L"x", view);
    SetText(HKEY_LOCAL_MACHINE, kSettings, L"Keep", L"x", view);
    SetText(HKEY_LOCAL_MACHINE, kEntry, L"DisplayName", L"x", view);
}

class Wow64Test : public ProgramTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(RunsUnderWow64()) << "runs in a 64-bit prefix only (UNINST_WINE_ARCH=win64)";
        programFiles_ = ReadText(HKEY_LOCAL_MACHINE, kCurrentVersion, L"ProgramFilesDir", k64);
        ASSERT_FALSE(programFiles_.empty());
        ASSERT_NE(programFiles_, ReadText(HKEY_LOCAL_MACHINE, kCurrentVersion, L"ProgramFilesDir", k32)) << "two views";
        installDir_ = programFiles_ + L"\\Uninst Wow Product";
        server_ = SystemFolder() + L"\\" + kServer;
        CleanUp();
    }
    void TearDown() override { CleanUp(); }

    void CleanUp() {
        for (REGSAM view : {k32, k64}) {
            DeleteTree(HKEY_LOCAL_MACHINE, kVendor, view);
            DeleteTree(HKEY_LOCAL_MACHINE, kEntry, view);
        }
        SetSharedCount(server_, std::nullopt, k64);
        for (const std::wstring& path : {server_, server_ + L".log"}) {
            DeleteFileW(path.c_str());
            Native([&] { return DeleteFileW(path.c_str()) != FALSE; });
        }
        RemoveTree(installDir_);
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
        SetSharedCount(server_, 1, k64);
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
        data.registry = {{kHKLM, Utf16(kProduct)}, {kHKLM, Utf16(kEntry)}, {kHKLM, Utf16(kSettings) + u"\\\\"}};
        std::wstring exe = dir_.Join(L"uninst.exe");
        ASSERT_TRUE(WriteUninstaller(exe, uninstpack::EncodeStream(data)));
        EXPECT_EQ(0u, RunProgram(exe, L"/S"));

        for (const wchar_t* key : {kProduct, kEntry}) {
            EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, key, gone)) << Utf8(key);
            EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, key, kept)) << Utf8(key);
        }
        EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kSettings, L"", gone));
        EXPECT_TRUE(ValueExists(HKEY_LOCAL_MACHINE, kSettings, L"", kept));
        EXPECT_TRUE(ValueExists(HKEY_LOCAL_MACHINE, kSettings, L"Keep", gone));
        EXPECT_EQ(!flag, NativeExists(server_)) << "the native server";
        EXPECT_EQ(flag, Exists(server_)) << "the SysWOW64 server";
        EXPECT_EQ(flag, NativeExists(server_ + L".log")) << "the native server unregistered";
        EXPECT_EQ(!flag, Exists(server_ + L".log")) << "the SysWOW64 server unregistered";
        if (flag) EXPECT_FALSE(SharedCountOf(server_, k64).has_value()) << "the last reference went";
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
    std::wstring common = ReadText(HKEY_LOCAL_MACHINE, kCurrentVersion, L"CommonFilesDir", k64);
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
        EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, kCurrentVersion, value, k64) + L"\\x", path);
        ExpandFolderMacros(path, (macro + std::wstring(L"\\x")).c_str(), MAX_PATH);
        EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, kCurrentVersion, value, k32) + L"\\x", path);
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
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kProduct, k64));
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, std::wstring(kProduct) + L"\\Plugins\\Spell", k32));
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kSettings, k64));
        CleanUp();
    }
}

}  // namespace
