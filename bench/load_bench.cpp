// Loader benchmark, started inside the Wine prefix by bench.py: times the program's own
// LoadUninstallData on data of N file records and counts the ReadFile calls it makes, for
// each N given, interleaved over the rounds. Prints one line per load for bench.py to read.
// Usage: load_bench WORKDIR ROUNDS N...
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "data/data_locator.h"
#include "data/install_records.h"
#include "data/memory_ops.h"
#include "data/path_buffer.h"
#include "data/uninstall_data.h"
#include "layout.h"
#include "pack/uninst_data.h"
#include "platform/api_table.h"

using uninstpack::Bytes;
using std::wstring;

// The loader reads through kernel32's ReadFile directly, not through the system-call table,
// so the count comes from this program's own import slot: the statically linked loader
// calls through it.
extern "C" void* ReadFileImportSlot __asm__("__imp__ReadFile@20");

namespace {

// The data follow a program part of this size; only the loader's seek sees it.
const DWORD kFakeProgramPart = 4096;

decltype(&::ReadFile) RealReadFile;
unsigned long ReadCalls;
wstring DataPath;

BOOL WINAPI CountingReadFile(HANDLE file, LPVOID buffer, DWORD cb, LPDWORD got, LPOVERLAPPED overlapped) {
    ++ReadCalls;
    return RealReadFile(file, buffer, cb, got, overlapped);
}

DWORD WINAPI DataModuleFileName(HMODULE, LPWSTR buffer, DWORD cch) {
    if (DataPath.size() >= cch) return 0;
    DataPath.copy(buffer, DataPath.size());
    buffer[DataPath.size()] = 0;
    return static_cast<DWORD>(DataPath.size());
}

bool InstallReadCounter() {
    DWORD old;
    if (!::VirtualProtect(&ReadFileImportSlot, sizeof(void*), PAGE_READWRITE, &old)) return false;
    RealReadFile = reinterpret_cast<decltype(&::ReadFile)>(ReadFileImportSlot);
    ReadFileImportSlot = reinterpret_cast<void*>(&CountingReadFile);
    return true;
}

double NowMs() {
    LARGE_INTEGER frequency, now;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// The same file records as the removal bench's installation of n files.
Bytes LoadData(unsigned n) {
    uninstpack::UninstallData data;
    for (int i = 0; i < 16; ++i) data.messages.push_back(u"Benchmark message text");
    for (unsigned folder = 0; folder < FolderCount(n); ++folder) {
        WCHAR name[16];
        FolderName(folder, name);
        std::u16string directory = u".\\" + std::u16string(name, name + 5);
        for (unsigned file = folder * kFilesPerFolder; file < n && file < (folder + 1) * kFilesPerFolder; ++file) {
            WCHAR fileName[16];
            FileName(file, fileName);
            data.files.push_back({directory, std::u16string(fileName, fileName + 11), 0});
        }
    }
    Bytes out(kFakeProgramPart, 0);
    Bytes stream = uninstpack::EncodeSealedStream(data);  // as uninstpack writes it: the CRC is read too
    out.insert(out.end(), stream.begin(), stream.end());
    return out;
}

bool WriteWholeFile(const wstring& path, const Bytes& data) {
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = ::WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &written, nullptr) && written == data.size();
    return ::CloseHandle(h) && ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) {
        std::printf("error usage: load_bench WORKDIR ROUNDS N...\n");
        return 1;
    }
    wstring work = argv[1];
    unsigned rounds = static_cast<unsigned>(std::wcstoul(argv[2], nullptr, 10));
    std::vector<unsigned> sizes;
    for (int i = 3; i < argc; ++i) sizes.push_back(static_cast<unsigned>(std::wcstoul(argv[i], nullptr, 10)));

    SelectPlatform();
    ::CreateDirectoryW(work.c_str(), nullptr);
    for (unsigned n : sizes) {
        try {
            if (!WriteWholeFile(work + L"\\load-" + std::to_wstring(n) + L".dat", LoadData(n))) {
                std::printf("error cannot write the data of %u records\n", n);
                return 1;
            }
        } catch (const std::exception& e) {
            std::printf("error data of %u records: %s\n", n, e.what());
            return 1;
        }
    }
    if (!AllocZeroed(kPathCapacity * sizeof(WCHAR), &Paths.ModulePath) || !InstallReadCounter()) {
        std::printf("error cannot prepare the loader\n");
        return 1;
    }
    Platform.ApiTable.GetModuleFileName = DataModuleFileName;
    SetDataOffset(kFakeProgramPart);

    for (unsigned round = 0; round < rounds; ++round) {
        for (size_t k = 0; k < sizes.size(); ++k) {
            unsigned n = sizes[(k + round) % sizes.size()];
            DataPath = work + L"\\load-" + std::to_wstring(n) + L".dat";
            ReadCalls = 0;
            double start = NowMs();
            bool loaded = LoadUninstallData() == kReadOk;
            double ms = NowMs() - start;
            unsigned long reads = ReadCalls;
            std::printf("load n=%u round=%u ms=%.1f reads=%lu records=%lu check=%s\n", n, round, ms, reads,
                        static_cast<unsigned long>(Data.FileEntryCount),
                        loaded && Data.FileEntryCount == n ? "ok" : "FAIL");
            std::fflush(stdout);
            ReleaseUninstallData();
        }
    }
    return 0;
}
