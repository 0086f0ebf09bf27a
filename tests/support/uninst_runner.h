// Child-process bench for the tests: where the built programs live, uninstaller copies with a
// chosen appended stream, and bounded runs of a program (throwaway folders: files_registry.h).
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

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "pack/uninst_data.h"
#include "support/files_registry.h"

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

// The parts one after another.
uninstpack::Bytes Cat(std::initializer_list<uninstpack::Bytes> parts);
// Fields as the data format stores them, little-endian: numbers, a text's UTF-16 units, and a
// text counted as the records store it (its 16-bit length, then its units).
uninstpack::Bytes U16(uint16_t value);
uninstpack::Bytes U32(uint32_t value);
uninstpack::Bytes Units(const std::u16string& text);
uninstpack::Bytes Counted(const std::u16string& text);
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
    // With a `job`, the child belongs to it from its first instruction on.
    bool Start(const std::wstring& program, const std::wstring& arguments, bool watch = false, HANDLE job = NULL);
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

// A child in a job of its own, so the test can count every process it started, directly or
// through the shell; what is left when the object goes dies with the job.
class JobRun : public ChildProcess {
public:
    JobRun();
    ~JobRun();
    bool Start(const std::wstring& program, const std::wstring& arguments) {
        return ChildProcess::Start(program, arguments, false, job_);
    }
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION Accounting() const;
    // Polls, with the bound of a child run, until at most `count` processes of the job live.
    bool WaitForActive(DWORD count) const;

private:
    HANDLE job_ = NULL;
};

// Start, wait with a bound, return the exit code (kExitKilled after a timeout, and a test
// failure either way if the child could not start or did not end).
DWORD RunProgram(const std::wstring& program, const std::wstring& arguments,
                 DWORD boundMs = kChildBoundMs);

// Poll every 20 ms, up to `boundMs`, until the path exists or is gone: for what a program does
// after its own end (the self-removal's copy) or in a process the test cannot watch otherwise.
bool WaitForPath(const std::wstring& path, DWORD boundMs = kChildBoundMs);
bool WaitForGone(const std::wstring& path, DWORD boundMs = kChildBoundMs);

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
