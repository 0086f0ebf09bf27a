// Uninstall data loaded through the program's own chunk readers, and records built in place.
#include "support/loaded_data.h"

#include "data/message_table.h"
#include "support/files_registry.h"

bool LoadChunk(const uninstpack::Bytes& payload, ReadResult (*reader)(HANDLE)) {
    TempFolder dir;
    const std::wstring path = dir.Join(L"chunk.bin");
    if (!WriteFileBytes(path, payload)) return false;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    ReadResult result = reader(file);
    CloseHandle(file);
    return result == 0;
}

bool LoadMessages(const std::vector<std::u16string>& messages) {
    return LoadChunk(uninstpack::EncodeMessageTable(messages), ReadMessageTableChunk);
}

bool LoadFileRecords(const std::vector<uninstpack::FileRecord>& records) {
    return LoadChunk(uninstpack::EncodeFileList(records), ReadFileListChunk);
}

bool LoadRecords(const uninstpack::UninstallData& data) {
    return LoadMessages(data.messages) && LoadFileRecords(data.files) &&
           LoadChunk(uninstpack::EncodeShortcutList(data.shortcuts), ReadShortcutListChunk) &&
           LoadChunk(uninstpack::EncodeRegistryList(data.registry), ReadRegistryListChunk);
}

Records::~Records() {
    Data.FileEntries = nullptr;
    Data.FileEntryCount = 0;
    Data.ShortcutEntries = nullptr;
    Data.ShortcutEntryCount = 0;
    Data.RegistryEntries = nullptr;
    Data.RegistryEntryCount = 0;
}

WCHAR* Records::Text(const std::wstring& text) {
    texts_.emplace_back(text.begin(), text.end());
    texts_.back().push_back(0);
    return texts_.back().data();
}

FileEntry* Records::File(const std::wstring& directory, const std::wstring& fileName, BYTE flags) {
    files_.push_back(FileEntry{Text(directory), Text(fileName), flags});
    filePointers_.push_back(&files_.back());
    Data.FileEntries = filePointers_.data();
    Data.FileEntryCount = static_cast<DWORD>(filePointers_.size());
    return &files_.back();
}

ShortcutEntry* Records::Shortcut(DWORD levels, const std::wstring& first, const std::wstring& second,
                                 const std::wstring& fileName) {
    shortcuts_.push_back(ShortcutEntry{levels, Text(first), Text(second), Text(fileName)});
    shortcutPointers_.push_back(&shortcuts_.back());
    Data.ShortcutEntries = shortcutPointers_.data();
    Data.ShortcutEntryCount = static_cast<DWORD>(shortcutPointers_.size());
    return &shortcuts_.back();
}

RegistryEntry* Records::Registry(HKEY root, const std::wstring& path) {
    registry_.push_back(RegistryEntry{static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(root)), Text(path)});
    registryPointers_.push_back(&registry_.back());
    Data.RegistryEntries = registryPointers_.data();
    Data.RegistryEntryCount = static_cast<DWORD>(registryPointers_.size());
    return &registry_.back();
}
