#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace veltro {

struct FileWriteResult {
    bool ok = false;
    std::string error;   // "Cannot write <path>: <reason>", for a message that names the file
    std::string reason;  // the reason alone ("Operation not permitted"), for one that already does
};

// The one way the program writes a file (INI, accounts, exports, reports, the saved log). A temporary
// file in the same folder is written, flushed to disk and renamed over the old one, so a crash, a full
// disk or a missing right leaves either the old file or the new one, never a half-written file. The old
// file's permissions are kept; a symbolic link is followed, so the link stays and its target changes.
[[nodiscard]] FileWriteResult WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes);

} // namespace veltro
