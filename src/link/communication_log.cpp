#include "link/communication_log.h"

#include <QDir>
#include <QSaveFile>
#include <QThread>

#include "app/operator_interface.h"

namespace veltro {

CommunicationLog::CommunicationLog(QObject* parent) : QObject(parent) {}

void CommunicationLog::append(const QString& line) {
    if (QThread::currentThread() == thread()) {
        appendHere(line);
        return;
    }
    // Queued events from one thread are delivered in the order they were posted.
    QMetaObject::invokeMethod(this, [this, line] { appendHere(line); }, Qt::QueuedConnection);
}

void CommunicationLog::appendHere(const QString& line) {
    m_lines.append(line);
    emit lineAppended(line);
}

void CommunicationLog::clear() {
    m_lines.clear();
    emit cleared();
}

bool CommunicationLog::saveTo(const QString& path, QString* error) {
    QSaveFile file(path);
    bool ok = file.open(QIODevice::WriteOnly | QIODevice::Text);
    if (ok) {
        for (const QString& line : std::as_const(m_lines)) {
            const QByteArray bytes = line.toUtf8() + '\n';
            if (file.write(bytes) != bytes.size()) {
                ok = false;
                break;
            }
        }
    }
    // QSaveFile::commit() ignores a failure of its own final flush (Qt 6.4): on a full disk it renames
    // a truncated file over the old one and reports success. Flushing first and checking catches it.
    if (ok) ok = file.flush() && file.error() == QFileDevice::NoError;
    const QString reason = file.errorString();
    if (ok) ok = file.commit();
    else file.cancelWriting();
    if (!ok) {
        if (error) *error = file.errorString().isEmpty() ? reason : file.errorString();
        append(kSaveFailedMessage);
    }
    return ok;
}

bool CommunicationLog::saveWithDialog(OperatorInterface& operatorInterface, const QString& workingFolder) {
    const auto chosen = operatorInterface.saveFileName(workingFolder, QDir(workingFolder).filePath(kProposedFileName),
                                                       kFileFilter);
    if (!chosen || chosen->isEmpty()) return false;
    return saveTo(*chosen);
}

} // namespace veltro
