#pragma once

#include <filesystem>
#include <string_view>

#include <QString>

namespace veltro {

// A path from Qt in the form the file system takes (the local 8-bit encoding, or UTF-16 on Windows).
std::filesystem::path FileSystemPath(const QString& path);

// WriteFileAtomically for Qt callers: either the whole new file is there or the old one is untouched.
// False with the reason alone in `error` (the caller's message names the file, or does not).
bool SaveFileAtomically(const QString& path, std::string_view bytes, QString* error = nullptr);

} // namespace veltro
