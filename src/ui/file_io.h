#pragma once

#include <optional>

#include <QByteArray>
#include <QString>

namespace veltro {

// Writes `bytes` to `path` atomically: either the whole new file is there or the old one is untouched.
// False with the reason in `error` when anything fails, the final flush included.
bool SaveFileAtomically(const QString& path, const QByteArray& bytes, QString* error = nullptr);

// The whole file, or nothing (with the reason in `error`) when it cannot be read.
std::optional<QByteArray> ReadWholeFile(const QString& path, QString* error = nullptr);

} // namespace veltro
