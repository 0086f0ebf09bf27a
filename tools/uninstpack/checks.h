// The strict checks of `uninstpack verify`: what in a set of uninstall data the uninstaller would
// refuse, misread, or carry out in a way its author did not mean.
#pragma once
#include <string>
#include <vector>

#include "pack/uninst_data.h"

namespace uninstpack {

struct Problem {
    std::string where;  // "file record 3", "message 9", "chunk at stream offset 120"
    std::string what;   // what is wrong, then what the uninstaller would do
    // Data no author means (a path the uninstaller reads otherwise than written, a drive root,
    // a system folder, a shared registry key): build refuses it. The rest are warnings.
    bool error = false;
};

const size_t kMaxPathUnits = 259;  // a path with its terminator in a 260-unit buffer

// Why a path text of a record cannot be used as written, with what to write instead; empty
// when it is sound. `/` counts as `\`. A directory may be relative to the uninstaller's folder
// (`.` or `.\NAME...`); a folder (of a shortcut) must be absolute; a file name is one or more
// plain names.
enum class PathKind { Directory, Folder, FileName };
std::string PathMistake(const std::u16string& path, PathKind kind);

// Checks on the records and texts, the same for a manifest and a built file. Linear in the
// number of records.
std::vector<Problem> CheckData(const UninstallData& data);
// Checks on how a decoded stream is laid out (chunk flags, repeated or unknown chunks).
std::vector<Problem> CheckChunks(const std::vector<ChunkInfo>& chunks);

}  // namespace uninstpack
