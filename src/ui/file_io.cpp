#include "ui/file_io.h"

#include <QFile>
#include <QSaveFile>

namespace veltro {

bool SaveFileAtomically(const QString& path, const QByteArray& bytes, QString* error) {
    QSaveFile file(path);
    bool ok = file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    // Qt 6.4's commit() does not check its own final flush: on a full disk it would rename a truncated
    // file over the old one and report success. Flushing first and checking catches that.
    if (ok) ok = file.flush() && file.error() == QFileDevice::NoError;
    if (ok) {
        ok = file.commit();
        if (!ok && error) *error = file.errorString();
        return ok;
    }
    if (error) *error = file.errorString();
    file.cancelWriting();
    return false;
}

std::optional<QByteArray> ReadWholeFile(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error) *error = file.errorString();
        return std::nullopt;
    }
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (error) *error = file.errorString();
        return std::nullopt;
    }
    return bytes;
}

} // namespace veltro
