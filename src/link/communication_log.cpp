#include "link/communication_log.h"

#include <QDir>
#include <QThread>

#include "app/operator_interface.h"
#include "app/save_file.h"

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
#if defined(_WIN32)
    constexpr std::string_view kLineEnd = "\r\n";  // the text-mode line end the saved log has always had
#else
    constexpr std::string_view kLineEnd = "\n";
#endif
    std::string text;
    for (const QString& line : std::as_const(m_lines)) {
        text += line.toStdString();
        text += kLineEnd;
    }
    if (SaveFileAtomically(path, text, error)) return true;
    append(kSaveFailedMessage);
    return false;
}

bool CommunicationLog::saveWithDialog(OperatorInterface& operatorInterface, const QString& workingFolder) {
    const auto chosen = operatorInterface.saveFileName(workingFolder, QDir(workingFolder).filePath(kProposedFileName),
                                                       kFileFilter);
    if (!chosen || chosen->isEmpty()) return false;
    return saveTo(*chosen);
}

} // namespace veltro
