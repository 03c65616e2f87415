#include "link/communication_log.h"

#include <algorithm>

#include <QDir>
#include <QThread>

#include "app/operator_interface.h"
#include "app/save_file.h"

namespace veltro {

CommunicationLog::CommunicationLog(QObject* parent, qsizetype maxLines, qsizetype maxCharacters)
    : QObject(parent), m_maxLines(std::max<qsizetype>(2, maxLines)), m_maxCharacters(maxCharacters) {}

QString CommunicationLog::DroppedLinesText(qsizetype count) {
    return QStringLiteral("... %1 older line%2 dropped").arg(count).arg(count == 1 ? "" : "s");
}

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
    m_characters += line.size();
    if (m_lines.size() > m_maxLines) dropOldest();
    // Two lines remain at least: the count line and the newest.
    while (m_characters > m_maxCharacters && m_lines.size() > 2) dropOldest();
    emit lineAppended(line);
}

void CommunicationLog::dropOldest() {
    // The count line goes, the oldest kept line becomes the new count line: two O(1) steps (a list drops
    // its front by moving its start), never a shift of every line.
    m_characters -= m_lines.first().size();
    m_lines.removeFirst();
    m_dropped += m_dropped == 0 ? 2 : 1;
    m_characters -= m_lines.first().size();
    m_lines.first() = DroppedLinesText(m_dropped);
    m_characters += m_lines.first().size();
}

void CommunicationLog::clear() {
    m_lines.clear();
    m_characters = 0;
    m_dropped = 0;
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
