// End-to-end installations: a product's files, shortcuts and registry entries laid into the prefix
// as its installer would, each with its record in the product's uninstall data (undone through a
// Journal when the test ends); the real uninstaller written with those data; and a run of it
// driven to its end, every question answered, with all it showed.
//   Journal journal;
//   Installer in(journal, ShellFolder(CSIDL_PROGRAM_FILES) + L"\\Product");
//   in.Folder(L""); in.File(L"bin", L"app.exe", 4000);
//   RunLog log = DriveRun(in.WriteProgram(), L"/S");
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "pack/uninst_data.h"
#include "support/files_registry.h"

class Installer {
public:
    // Makes the installation folder; the data start as StandardData().
    Installer(Journal& journal, const std::wstring& installDir);

    const std::wstring& InstallDir() const { return installDir_; }
    uninstpack::UninstallData& Data() { return data_; }
    Journal& Made() { return journal_; }

    // A folder inside the installation folder (sub empty: the folder itself), recorded as its
    // installer records it, relative to the installation folder.
    void Folder(const std::wstring& sub);
    void File(const std::wstring& sub, const std::wstring& name, DWORD size, DWORD attributes = FILE_ATTRIBUTE_NORMAL);
    // A file outside the installation folder (made unless there), recorded by its full path; a
    // counted one gains a SharedDLLs reference.
    void OutsideFile(const std::wstring& folder, const std::wstring& name, uint8_t flags, bool counted);
    // Makes the shortcut's folders (and its file, when named) and records it.
    void Shortcut(uint8_t levels, const std::wstring& first, const std::wstring& second, const std::wstring& name);

    // Registry contents; the records are added apart, as an installer lists what to remove.
    void SetText(uint32_t root, const std::wstring& keyPath, const std::wstring& name, const std::wstring& text);
    void SetNumber(uint32_t root, const std::wstring& keyPath, const std::wstring& name, DWORD number);
    void KeyRecord(uint32_t root, const std::wstring& keyPath);
    void ValueRecord(uint32_t root, const std::wstring& keyPath, const std::wstring& name);

    // The real program with this product's data, as uninst.exe in the installation folder.
    std::wstring WriteProgram();

private:
    std::wstring Join(const std::wstring& sub) const { return sub.empty() ? installDir_ : installDir_ + L"\\" + sub; }

    Journal& journal_;
    std::wstring installDir_;
    uninstpack::UninstallData data_;
};

// What one run of an uninstaller with the standard messages showed, as the window driver saw it.
struct RunLog {
    DWORD exitCode;
    bool confirmation = false, notice = false, progressDialog = false;
    std::vector<std::wstring> sharedAsked, readOnlyAsked;  // paths, in the order asked
    std::vector<int> stages;                                // messages 11 to 14 as set
    std::vector<DWORD> positions;                           // bar positions, repeats dropped
    std::vector<std::string> unexpected;                    // boxes nobody asked for
};

// Runs `exe` with `options` to its end, answering every question Yes and OK (Cancel to a box
// nobody expects); what the progress dialog showed comes from the run's watch afterwards, every
// text and position in order.
RunLog DriveRun(const std::wstring& exe, const std::wstring& options);

// Paths lower-cased and sorted, for comparing what was asked in any order; and one a line.
std::vector<std::wstring> Sorted(std::vector<std::wstring> paths);
std::string Describe(const std::vector<std::wstring>& paths);
