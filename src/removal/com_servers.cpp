// COM server unregistration: regsvr32 /u /s on NT 6 and later, the in-process call of
// DllUnregisterServer elsewhere and as the fallback. Owns: a frame-based exception guard that
// brings the thread back from a server that faults. Never looks at a result, and never starts
// a tool or loads a DLL that a search could find outside the system directory.
#include "removal/com_servers.h"
#include "data/path_buffer.h"
#include "folders/resolve_folder.h"
#include "platform/api_table.h"
#include "platform/system_library.h"
#include "platform/wow64.h"
#include "removal/primitives.h"

static const DWORD kQuietErrorMode = SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX;
static const size_t kCommandCapacity = 520;

bool ComposeUnregisterCommand(const WCHAR* tool, const WCHAR* path, WCHAR* commandLine, size_t cchCommandLine) {
    if (cchCommandLine == 0) return false;
    commandLine[0] = 0;
    bool fits = AppendPath(commandLine, cchCommandLine, L"\"") && AppendPath(commandLine, cchCommandLine, tool) &&
                AppendPath(commandLine, cchCommandLine, L"\" /u /s \"") &&
                AppendPath(commandLine, cchCommandLine, path) && AppendPath(commandLine, cchCommandLine, L"\"");
    if (!fits) commandLine[0] = 0;
    return fits;
}

// True when regsvr32 was started (and has ended); false sends the caller to the in-process way.
static bool UnregisterWithTool(const WCHAR* path) {
    // A bare "regsvr32" would be searched for in the program's folder and the current
    // directory first; the system's own tool is named by its full path, as the application.
    // A 64-bit product's server needs the native tool, which hands a 32-bit server on to the
    // 32-bit one (Windows and Wine alike); the 32-bit tool would take the path into SysWOW64.
    WCHAR tool[kPathCapacity];
    bool found = Platform.RegistryView
                     ? ResolveFolder(tool, FOLDER_NATIVE_SYSTEM) && JoinPath(tool, kPathCapacity, L"regsvr32.exe")
                     : SystemFilePath(L"regsvr32.exe", tool, kPathCapacity);
    if (!found) return false;
    WCHAR commandLine[kCommandCapacity];
    if (!ComposeUnregisterCommand(tool, path, commandLine, kCommandCapacity)) return false;
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process;
    ZeroMemory(&process, sizeof(process));
    if (!Platform.ApiTable.CreateProcess(tool, commandLine, nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS, nullptr,
                                         nullptr, &startup, &process))
        return false;
    // Waiting on the handle rather than polling the exit code: a tool that ends with code 259
    // (STILL_ACTIVE) would otherwise be waited for forever.
    if (process.hProcess) ::WaitForSingleObject(process.hProcess, INFINITE);
    if (process.hThread) ::CloseHandle(process.hThread);
    if (process.hProcess) ::CloseHandle(process.hProcess);
    return true;
}

// mingw has no __try. The guard is an exception frame of our own on the thread's chain, so
// a server that catches its own exceptions (C++ ones, say) still gets to handle them first; only
// what would otherwise end the process reaches GuardHandler, which unwinds the server's frames
// and jumps back into CallUnregisterEntry.
struct GuardFrame {
    EXCEPTION_REGISTRATION_RECORD record;  // first: the system hands its address to the handler
    void* resume[5];                       // __builtin_setjmp buffer
};

static EXCEPTION_DISPOSITION NTAPI GuardHandler(EXCEPTION_RECORD* exception, void* establisher, CONTEXT*, void*) {
    if (exception->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) return ExceptionContinueSearch;
    GuardFrame* frame = static_cast<GuardFrame*>(establisher);
    // Runs the server's own unwind handlers and leaves our frame at the head of the chain.
    ::RtlUnwind(establisher, nullptr, exception, nullptr);
    __builtin_longjmp(frame->resume, 1);
}

// The thread's information block; its first field heads the chain of exception frames.
// (The header's NtCurrentTeb reads through a zero-length array and trips -Warray-bounds.)
static NT_TIB* CurrentTib() {
    NT_TIB* tib;
    __asm__ volatile("movl %%fs:0x18, %0" : "=r"(tib));
    return tib;
}

__attribute__((noinline)) bool CallUnregisterEntry(FARPROC entry) {
    typedef HRESULT(STDAPICALLTYPE * UnregisterFn)();
    NT_TIB* tib = CurrentTib();
    GuardFrame frame;
    frame.record.Next = tib->ExceptionList;
    frame.record.Handler = GuardHandler;
    volatile bool returned = false;
    if (__builtin_setjmp(frame.resume) == 0) {
        tib->ExceptionList = &frame.record;
        CastProc<UnregisterFn>(entry)();
        returned = true;
    }
    CurrentTib()->ExceptionList = frame.record.Next;
    return returned;
}

static void UnregisterInProcess(const WCHAR* path) {
    UINT savedMode = ::SetErrorMode(kQuietErrorMode);
    WCHAR savedDir[kPathCapacity];
    ZeroMemory(savedDir, sizeof(savedDir));
    DWORD cchDir = GetCurrentDir(savedDir, kPathCapacity);
    // A directory that did not fit was not written; restoring a part of it would be wrong.
    if (cchDir == 0 || cchDir >= kPathCapacity) savedDir[0] = 0;
    StripBackslash(savedDir);

    // The server's own folder is current while it runs, so it finds the files it ships with.
    WCHAR folder[kPathCapacity];
    if (CopyPath(folder, kPathCapacity, path)) {
        int slash = LastBackslash(folder, PathLength(folder));
        if (slash >= 0) {
            CutPath(folder, static_cast<size_t>(slash));
            // "C:" alone would name the drive's current directory, not its root.
            if (slash == 2 && folder[1] == L':') AppendPath(folder, kPathCapacity, L"\\");
            ChangeDirectory(folder);
        }
    }

    // The server's dependencies come from its own folder and the system directory; a plain
    // load would look in the program's folder first, which is the temporary folder for a copy.
    HMODULE module = LoadLibraryBesideItself(path);
    if (reinterpret_cast<UINT_PTR>(module) >= 32) {
        FARPROC entry = ::GetProcAddress(module, "DllUnregisterServer");
        if (entry) CallUnregisterEntry(entry);
        ::FreeLibrary(module);
    }

    if (savedDir[0]) ChangeDirectory(savedDir);
    ::SetErrorMode(savedMode);
}

void UnregisterComServer(const WCHAR* path) {
    UINT savedMode = ::SetErrorMode(kQuietErrorMode);
    // A 64-bit image cannot be loaded into this process: with the 64-bit flag, the tool or nothing.
    if (Platform.RegistryView)
        UnregisterWithTool(path);
    else if (!Platform.IsNT6OrLater || !UnregisterWithTool(path))
        UnregisterInProcess(path);
    ::SetErrorMode(savedMode);
}
