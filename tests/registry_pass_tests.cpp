// Registry pass and key-tree deletion against the prefix's registry: values, default values
// and key trees under HKCU and HKLM in keys of this test, the 9x single call, refusals of
// DeleteKeyTree, a subkey that cannot be opened part-way down a tree, and what the pass reports
// through the scripted screen table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "removal/registry_pass.h"
#include "support/api_guard.h"
#include "support/fake_pass_ui.h"
#include "support/files_registry.h"
#include "support/loaded_data.h"
#include "support/program_test.h"

namespace {

// --- recording fakes -------------------------------------------------------------------------

struct DeleteCall {
    HKEY root;
    std::wstring path;
    bool operator==(const DeleteCall& other) const { return root == other.root && path == other.path; }
};
std::vector<DeleteCall> g_deleteKeyCalls;
int g_openCalls = 0;

LSTATUS WINAPI RecordDeleteKeyOnly(HKEY root, LPCWSTR path) {
    g_deleteKeyCalls.push_back({root, path});
    return ERROR_SUCCESS;
}
LSTATUS WINAPI CountOpens(HKEY root, LPCWSTR path, DWORD options, REGSAM access, PHKEY key) {
    ++g_openCalls;
    return RegOpenKeyExW(root, path, options, access, key);
}
// A key that the process may not open for deletion, as a key with a restricting ACL.
LSTATUS WINAPI LockedKeyRefusesOpen(HKEY root, LPCWSTR path, DWORD options, REGSAM access, PHKEY key) {
    if (path && wcscmp(path, L"Locked") == 0) return ERROR_ACCESS_DENIED;
    return RegOpenKeyExW(root, path, options, access, key);
}

// --- fixture ---------------------------------------------------------------------------------

class RegistryPassTest : public ProgramTest {
protected:
    void SetUp() override {
        g_deleteKeyCalls.clear();
        g_openCalls = 0;
    }
    void TearDown() override {
        DeleteTree(HKEY_CURRENT_USER, base_);
        DeleteTree(HKEY_LOCAL_MACHINE, base_);
    }
    std::wstring Key(const std::wstring& relative) const { return base_ + L"\\" + relative; }

    const std::wstring base_ = L"Software\\UninstRegistryPassTest-" + std::to_wstring(GetCurrentProcessId());
    FakePassUi ui_;
};

// A registry record's line in the log; `value` for a value record.
Logged KeyLog(HKEY root, RecordOutcome outcome, const std::wstring& path, DWORD detail = 0, bool value = false) {
    DWORD kind = RegistryRecordKind(value ? kRecordValue : kRecordKey, static_cast<DWORD>(ULONG_PTR(root)));
    return {kind, outcome, detail, path};
}

// --- the pass --------------------------------------------------------------------------------

TEST_F(RegistryPassTest, ValueRecordsDeleteOnlyTheirValue) {
    struct Case {
        const char* name;
        const wchar_t* valueInPath;  // after the two backslashes
        const wchar_t* deleted;      // value name; L"" is the default value
    };
    for (const Case& c : {Case{"named value", L"Size", L"Size"}, Case{"default value", L"", L""}}) {
        SCOPED_TRACE(c.name);
        const std::wstring key = Key(L"Values");
        MakeKey(HKEY_CURRENT_USER, key, {L"", L"Size", L"Other"});
        MakeKey(HKEY_CURRENT_USER, key + L"\\Sub");
        Records records;
        const std::wstring path = key + L"\\\\" + c.valueInPath;
        RegistryEntry* entry = records.Registry(HKEY_CURRENT_USER, path);
        const std::wstring missing = Key(L"Missing") + L"\\\\Size";
        records.Registry(HKEY_CURRENT_USER, missing);  // no key: only noted as not there

        ui_.Forget();
        RemoveRegistryEntries();
        EXPECT_EQ((std::vector<Logged>{KeyLog(HKEY_CURRENT_USER, kRecordRemoval, path, 0, true),
                                       KeyLog(HKEY_CURRENT_USER, kRecordRemoval, missing, ERROR_FILE_NOT_FOUND, true)}),
                  ui_.log);

        for (const wchar_t* name : {L"", L"Size", L"Other"})
            EXPECT_EQ(wcscmp(name, c.deleted) != 0, ValueExists(HKEY_CURRENT_USER, key, name))
                << "value '" << std::string(name, name + wcslen(name)) << "'";
        EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, key + L"\\Sub"));
        // The pass splits the path in place; the record must read as before.
        EXPECT_EQ(path, std::wstring(entry->path));
    }
}

TEST_F(RegistryPassTest, KeyRecordsDeleteTheWholeTree) {
    struct Case {
        const char* name;
        HKEY root;
    };
    for (const Case& c : {Case{"HKCU", HKEY_CURRENT_USER}, Case{"HKLM", HKEY_LOCAL_MACHINE}}) {
        SCOPED_TRACE(c.name);
        MakeKey(c.root, Key(L"Product\\One\\Two\\Three"), {L"", L"Deep"});
        MakeKey(c.root, Key(L"Product\\One"), {L"Middle"});
        MakeKey(c.root, Key(L"Product\\Side"), {L"Side"});
        MakeKey(c.root, Key(L"Product"), {L"Top"});
        MakeKey(c.root, Key(L"Neighbour"), {L"Kept"});
        Records records;
        records.Registry(c.root, Key(L"Product"));
        records.Registry(c.root, L"");  // passed over

        ui_.Forget();
        RemoveRegistryEntries();
        EXPECT_EQ(std::vector<Logged>{KeyLog(c.root, kRecordRemoval, Key(L"Product"))}, ui_.log);

        EXPECT_FALSE(KeyExists(c.root, Key(L"Product")));
        EXPECT_TRUE(ValueExists(c.root, Key(L"Neighbour"), L"Kept"));
    }
}

TEST_F(RegistryPassTest, KeyRecordOn9xIsOneDeleteCall) {
    Platform.IsNT = false;
    Records records;
    records.Registry(HKEY_CLASSES_ROOT, L"Example.Document\\shell");
    records.Registry(HKEY_CURRENT_USER, L"");
    API_GUARD(RegDeleteKey, RecordDeleteKeyOnly);
    API_GUARD(RegOpenKeyEx, CountOpens);

    RemoveRegistryEntries();

    EXPECT_EQ((std::vector<DeleteCall>{{HKEY_CLASSES_ROOT, L"Example.Document\\shell"}}), g_deleteKeyCalls);
    EXPECT_EQ(0, g_openCalls);
    EXPECT_EQ(std::vector<Logged>{KeyLog(HKEY_CLASSES_ROOT, kRecordRemoval, L"Example.Document\\shell")}, ui_.log);
}

TEST_F(RegistryPassTest, ReportsKeyAndEmptyRecordsFromItsBase) {
    Data.FileEntryCount = 1;
    Data.ShortcutEntryCount = 1;  // base 2F + S = 3
    Records records;
    records.Registry(HKEY_CURRENT_USER, Key(L"Missing") + L"\\\\Value");  // no progress report
    records.Registry(HKEY_CURRENT_USER, Key(L"Missing"));
    records.Registry(HKEY_CURRENT_USER, L"");
    Removal.ProgressTotal = 100;

    RemoveRegistryEntries();

    EXPECT_EQ((std::vector<DWORD>{4, 5}), ui_.progress);
    EXPECT_EQ((std::vector<Logged>{
                  KeyLog(HKEY_CURRENT_USER, kRecordRemoval, Key(L"Missing") + L"\\\\Value", ERROR_FILE_NOT_FOUND, true),
                  KeyLog(HKEY_CURRENT_USER, kRecordRemoval, Key(L"Missing"), ERROR_FILE_NOT_FOUND)}),
              ui_.log);
}

// Records that name Windows' own keys and values, in several spellings, are left; the product's
// beside them go. The registry calls only record that the pass asked for them: nothing of the
// prefix's own registry is touched, whatever the pass decides.
int g_asked = 0;
template <typename... Arguments>
LSTATUS WINAPI CountAsked(Arguments...) {
    ++g_asked;
    return ERROR_FILE_NOT_FOUND;
}

TEST_F(RegistryPassTest, WindowsKeysAndValuesStayTheProductsGo) {
    const HKEY CR = HKEY_CLASSES_ROOT, CU = HKEY_CURRENT_USER, LM = HKEY_LOCAL_MACHINE, U = HKEY_USERS;
    const std::wstring cv = L"Software\\Microsoft\\Windows\\CurrentVersion\\", sid = L"S-1-5-21-1004-1001";
    const std::wstring env = L"System\\CurrentControlSet\\Control\\Session Manager\\Environment\\\\";
    const std::wstring winlogon = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\\\";
    const std::wstring clsid = L"CLSID\\{6E2B4F31-8C0A-4D5E-9F17-3A2B1C0D4E5F}";
    const struct {
        HKEY root;
        std::wstring path;  // a key, or a key, two backslashes and a value's name
        bool stays;
    } rows[] = {
        {LM, L"Software\\Classes\\exefile", true}, {LM, L"SOFTWARE\\\\Classes\\exefile\\", true},
        {LM, L"Software\\Wow6432Node\\Classes\\.exe", true}, {CR, L"exefile\\shell\\open\\command", true},
        {CR, L"CLSID", true}, {CR, L"Wow6432Node\\CLSID", true}, {U, sid + L"_Classes\\Interface", true},
        {CU, L"Software\\Classes\\*\\shellex\\ContextMenuHandlers", true}, {CR, L"Directory\\shell", true},
        {LM, cv + L"Run", true}, {U, sid + L"\\" + cv + L"RunOnce", true}, {LM, L"Software\\Microsoft", true},
        {CU, L"Environment", true}, {LM, L"System\\CurrentControlSet\\Services", true},
        {LM, L"System\\ControlSet001\\Services", true}, {LM, L"System\\Select", true},
        {LM, L"System\\CurrentControlSet\\Services\\EventLog\\Application", true}, {LM, env + L"Path", true},
        {LM, L"System\\ControlSet002\\Control\\Session Manager\\Environment\\\\PATHEXT", true},
        {LM, env + L"ComSpec", true}, {LM, env + L"windir", true}, {CU, L"Environment\\\\Path", true},
        {LM, winlogon + L"Shell", true}, {LM, winlogon + L"Userinit", true}, {CR, L"txtfile\\\\", true},
        {CU, cv + L"Explorer\\Shell Folders\\\\Personal", true},
        // the product's own
        {CR, clsid, false}, {LM, L"Software\\Classes\\" + clsid + L"\\InprocServer32", false}, {CR, L".acme", false},
        {U, sid + L"_Classes\\.acme", false}, {CR, L"Directory\\shell\\AcmeOpen", false},
        {CR, L"*\\shellex\\ContextMenuHandlers\\Acme", false}, {LM, cv + L"Uninstall\\AcmeApp", false},
        {LM, L"System\\ControlSet001\\Services\\AcmeSvc", false}, {CU, L"Software\\Acme", false},
        {LM, L"System\\CurrentControlSet\\Services\\EventLog\\Application\\Acme", false},
        {LM, cv + L"Run\\\\AcmeTray", false}, {LM, env + L"ACME_HOME", false}, {LM, winlogon + L"AcmeNotify", false},
        {CR, clsid + L"\\\\", false},
    };
    API_GUARD(RegOpenKeyEx, CountAsked);
    API_GUARD(RegDeleteKey, CountAsked);
    for (const auto& row : rows) {
        Records records;
        records.Registry(row.root, row.path);
        g_asked = 0;
        ui_.Forget();
        RemoveRegistryEntries();
        EXPECT_EQ(row.stays, g_asked == 0) << Utf8(row.path);
        ASSERT_EQ(1u, ui_.log.size()) << Utf8(row.path);
        EXPECT_EQ(row.stays ? kRecordKeptProtected : kRecordRemoval, ui_.log[0].outcome) << Utf8(row.path);
    }
}

// --- DeleteKeyTree ---------------------------------------------------------------------------

TEST_F(RegistryPassTest, DeleteKeyTreeResults) {
    MakeKey(HKEY_CURRENT_USER, Key(L"Tree\\A\\B"), {L"x"});
    MakeKey(HKEY_CURRENT_USER, Key(L"Tree\\C"));
    HKEY base;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, base_.c_str(), 0, KEY_ALL_ACCESS, &base));
    struct Case {
        const char* name;
        const wchar_t* subkey;
        LONG result;
    };
    const std::vector<Case> cases = {
        {"no subkey", nullptr, ERROR_BADKEY},
        {"empty subkey", L"", ERROR_BADKEY},
        {"missing key", L"Absent", ERROR_FILE_NOT_FOUND},
        {"missing below an existing key", L"Tree\\Absent", ERROR_FILE_NOT_FOUND},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.result, DeleteKeyTree(base, c.subkey));
        EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, Key(L"Tree\\A\\B")));
        EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, base_));
    }
    EXPECT_EQ(ERROR_SUCCESS, DeleteKeyTree(base, L"Tree"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, Key(L"Tree")));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, base_));
    RegCloseKey(base);
}

TEST_F(RegistryPassTest, DeleteKeyTreeStopsAtASubkeyThatCannotBeOpened) {
    MakeKey(HKEY_CURRENT_USER, Key(L"Tree\\Mid\\Locked\\Inner"));
    MakeKey(HKEY_CURRENT_USER, Key(L"Tree\\Mid\\Locked"), {L"v"});
    API_GUARD(RegOpenKeyEx, LockedKeyRefusesOpen);

    EXPECT_EQ(ERROR_ACCESS_DENIED, DeleteKeyTree(HKEY_CURRENT_USER, Key(L"Tree").c_str()));

    for (const wchar_t* path : {L"Tree", L"Tree\\Mid", L"Tree\\Mid\\Locked", L"Tree\\Mid\\Locked\\Inner"})
        EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, Key(path))) << std::string(path, path + wcslen(path));
}

}  // namespace
