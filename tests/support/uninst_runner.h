// Child-process bench for the tests: where the built programs live, uninstaller copies with a
// chosen appended stream, bounded runs of a program, and throwaway folders in the temp folder.
//
// Usage:
//   TempFolder dir;                                        // removed with its contents at scope end
//   std::wstring exe = dir.Join(L"uninst.exe");
//   ASSERT_TRUE(WriteUninstaller(exe, uninstpack::EncodeStream(StandardData())));
//   EXPECT_EQ(0u, RunProgram(exe, L"/S"));                 // exit code; a hang fails the test
//
//   ChildProcess child;                                    // when the test talks to its windows
//   ASSERT_TRUE(child.Start(exe, L"", /*watch*/ true));
//   HWND box = WaitForWindow(child.Id(), child.Handle(), L"#32770", nullptr);  (window_driver.h)
//   ... AnswerBox(box, IDOK); EXPECT_EQ(kExitFailure, child.Wait());
//   EXPECT_EQ(1u, child.Watch().shown.size());             // everything it showed, however short
#pragma once
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "pack/uninst_data.h"

// The uninstaller's exit code -1, as a process exit code reads.
const DWORD kExitFailure = 0xFFFFFFFF;
// What Wait returns for a child it had to kill; no program of ours exits with it.
const DWORD kExitKilled = 0xDEADBEEF;
// Bound on one child run: generous, because programs under Wine in the test machine run many
// times slower than native, and a start alone has taken 40 s there under load. It only guards
// against hangs and is never a timing check.
const DWORD kChildBoundMs = 180000;

// The folder of the running test program (the build's bin folder, which also holds uninst.exe
// and the helper programs), without a trailing backslash; and a file in it.
std::wstring BinFolder();
std::wstring BinPath(const std::wstring& fileName);

std::wstring Wide(const std::u16string& text);
std::u16string Utf16(const std::wstring& text);
// For messages and comparisons in tests: the exact text in UTF-8.
std::string Utf8(const std::wstring& text);

bool Exists(const std::wstring& path);

// Whole-file reads and writes; the write replaces the file. Failures are reported as test
// failures naming the path (and read gives an empty result).
uninstpack::Bytes ReadFileBytes(const std::wstring& path);
bool WriteFileBytes(const std::wstring& path, const uninstpack::Bytes& bytes);

// The bytes of the real uninst.exe of this build.
uninstpack::Bytes UninstallerProgram();
// Writes the real program with `stream` appended and its data offset pointing at the stream.
bool WriteUninstaller(const std::wstring& path, const uninstpack::Bytes& stream);

// The message table every test starts from: message 0 is the title, messages 1 to 15 are
// distinct texts; 7 and 8 hold one "%s" for the program's path, as the loader formats them.
std::vector<std::u16string> StandardMessages();
// Valid data: the standard messages, no records, a run-settings block with flags 0 and
// neither a pre-removal command nor a finish page.
uninstpack::UninstallData StandardData();
// `text` with its first "%s" replaced by `argument` (enough for the standard messages).
std::wstring FormatWith(const std::u16string& text, const std::wstring& argument);

// What a watched child did to its windows, in the order it did it, as its own thread saw it.
struct WatchRecord {
    // Every top-level window shown, as ShownWindow(class, caption, text) describes it.
    std::vector<std::wstring> shown;
    // Every text set: the control id (0 for a top-level window's caption) and the new text.
    std::vector<std::pair<int, std::wstring>> texts;
    // Every progress bar position set or stepped to, repeats included.
    std::vector<DWORD> positions;
    // The class of every top-level window created whose class has an icon.
    std::vector<std::wstring> iconClasses;
};
// A shown window: its class, caption, and the text it shows (a message box's text, or that of
// the program's control 1000), as the window was when it appeared.
std::wstring ShownWindow(const std::wstring& className, const std::wstring& caption, const std::wstring& text);

// One started program. The destructor kills it if it is still running, so a failed test
// leaves nothing behind.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts `program` with the command line `"program" arguments`; a failure to start is
    // reported as a test failure. With `watch`, the window hook of watch_hook_dll.dll is set
    // on the child's first thread before it runs its first instruction, so Watch misses nothing.
    bool Start(const std::wstring& program, const std::wstring& arguments, bool watch = false);
    // Waits up to `boundMs` for the end and returns the exit code. On timeout the child is
    // killed, the timeout is reported as a test failure, and the result is kExitKilled.
    DWORD Wait(DWORD boundMs = kChildBoundMs);
    bool Running() const;
    // What the watched child did to its windows so far (complete once it has ended).
    WatchRecord Watch() const;

    DWORD Id() const { return id_; }
    HANDLE Handle() const { return process_; }

private:
    void Kill();

    HANDLE process_ = NULL;
    DWORD id_ = 0;
    std::wstring program_;
    HHOOK hook_ = NULL;
    std::wstring watchFile_;
};

// Start, wait with a bound, return the exit code (kExitKilled after a timeout, and a test
// failure either way if the child could not start or did not end).
DWORD RunProgram(const std::wstring& program, const std::wstring& arguments,
                 DWORD boundMs = kChildBoundMs);

// A file held open by the helper program hold_file.exe, as a running application holds it.
// Hold returns once the helper has the file open; Release (or the destructor) lets it go and
// expects the helper to end with 0.
//   HeldFile held;
//   ASSERT_TRUE(held.Hold(path));            // no sharing; or Hold(path, L"rd") for read+delete
class HeldFile {
public:
    HeldFile() = default;
    ~HeldFile() { Release(); }
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;

    bool Hold(const std::wstring& path, const std::wstring& share = L"-");
    void Release();

private:
    ChildProcess helper_;
    HANDLE ready_ = NULL;
    HANDLE stop_ = NULL;
    bool held_ = false;
};

// A new, empty folder in the temp folder, removed with all it holds when the object goes.
// Removal never leaves the folder: paths that do not lie inside it are refused, and links to
// other folders are removed without descending into them.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // Full path, without a trailing backslash (empty when it could not be created).
    const std::wstring& Path() const { return root_; }
    // Path + backslash + relative (nothing is created).
    std::wstring Join(const std::wstring& relative) const;
    // Creates a folder (and its parents) inside this one; returns its full path.
    std::wstring MakeFolder(const std::wstring& relative) const;
    // True when `path`, made full, lies strictly inside this folder.
    bool Contains(const std::wstring& path) const;
    // Removes a file or a whole folder tree inside this folder. Refuses (false, and a test
    // failure) anything that does not lie strictly inside it.
    bool Remove(const std::wstring& path) const;

private:
    bool RemoveTree(const std::wstring& path) const;

    std::wstring root_;
};
