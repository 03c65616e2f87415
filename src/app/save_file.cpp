#include "app/save_file.h"

#include <QFile>

#include "app/atomic_file.h"

namespace veltro {

std::filesystem::path FileSystemPath(const QString& path) {
#if defined(_WIN32)
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

bool SaveFileAtomically(const QString& path, std::string_view bytes, QString* error) {
    const FileWriteResult written = WriteFileAtomically(FileSystemPath(path), bytes);
    if (!written.ok && error) *error = QString::fromLocal8Bit(written.reason.data(), static_cast<qsizetype>(written.reason.size()));
    return written.ok;
}

} // namespace veltro
