#pragma once

#include <optional>

#include <QByteArray>
#include <QString>

namespace veltro {

// The whole file, or nothing (with the reason in `error`) when it cannot be read.
std::optional<QByteArray> ReadWholeFile(const QString& path, QString* error = nullptr);

} // namespace veltro
