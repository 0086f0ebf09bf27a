// Uninstall data in process for tests of the steps that use them: loaded through the program's
// own chunk readers, as LoadUninstallData would load them from the program file, or records built
// in place, texts beyond what the loader takes included.
//   ASSERT_TRUE(LoadMessages(StandardMessages()));
//   ASSERT_TRUE(LoadFileRecords({{u".", u"app.exe", 0}}));
//   Records records;
//   records.Shortcut(1, L"C:\\Menu\\Vendor", L"", L"App.lnk");
#pragma once
#include <windows.h>

#include <deque>
#include <string>
#include <vector>

#include "data/install_records.h"
#include "pack/uninst_data.h"

// The payload written to a file of its own and read by `reader`; true when it read it whole.
bool LoadChunk(const uninstpack::Bytes& payload, ReadResult (*reader)(HANDLE));
bool LoadMessages(const std::vector<std::u16string>& messages);
bool LoadFileRecords(const std::vector<uninstpack::FileRecord>& records);
// The messages and the three record lists of `data`.
bool LoadRecords(const uninstpack::UninstallData& data);

// Records as the loader leaves them: the lists the passes read, pointing at mutable
// zero-terminated texts of their own. The lists are emptied again when the object goes.
class Records {
public:
    Records() = default;
    ~Records();
    Records(const Records&) = delete;
    Records& operator=(const Records&) = delete;

    FileEntry* File(const std::wstring& directory, const std::wstring& fileName, BYTE flags = 0);
    ShortcutEntry* Shortcut(DWORD levels, const std::wstring& first, const std::wstring& second,
                            const std::wstring& fileName);
    RegistryEntry* Registry(HKEY root, const std::wstring& path);

private:
    WCHAR* Text(const std::wstring& text);

    std::deque<std::vector<WCHAR>> texts_;
    std::deque<FileEntry> files_;
    std::deque<ShortcutEntry> shortcuts_;
    std::deque<RegistryEntry> registry_;
    std::vector<FileEntry*> filePointers_;
    std::vector<ShortcutEntry*> shortcutPointers_;
    std::vector<RegistryEntry*> registryPointers_;
};
