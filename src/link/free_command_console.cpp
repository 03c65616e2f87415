#include "link/free_command_console.h"

#include "link/communication_log.h"

namespace veltro {

namespace {

// Received text: UTF-8 when it is valid UTF-8, otherwise one character per byte, so no byte is lost.
QString AnswerText(const std::string& bytes) {
    QString text = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    if (text.toUtf8() != QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())))
        text = QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
    return text;
}

} // namespace

FreeCommandConsole::FreeCommandConsole(CommunicationLog& log, Link link, QObject* parent)
    : QObject(parent), m_log(log), m_link(std::move(link)) {
    m_timer.setSingleShot(false);
    m_timer.setInterval(500);
    connect(&m_timer, &QTimer::timeout, this, &FreeCommandConsole::Timer_free_commandTimer);
}

bool FreeCommandConsole::send(const QString& text) {
    if (text.isEmpty()) return false;
    const QByteArray bytes = text.left(kMaxCommandLength).toUtf8();
    const ConsoleCommand command = ParseConsoleCommand(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), m_mode);
    if (command.refused()) {
        m_log.append(QString::fromStdString(command.refusal));
        return false;
    }
    if (!m_link.acquire()) return false;
    m_link.send(command.bytes, m_mode);
    m_timer.start();
    return true;
}

void FreeCommandConsole::Timer_free_commandTimer() {
    const std::optional<Telegram> answer = m_link.collect();
    if (!answer) return;  // the gateway-server wait goes on
    m_link.emptyReceiveBuffers();
    const bool logged = !answer->empty();
    if (logged) {
        const std::string line = RenderConsoleAnswer(*answer, m_mode);
        m_log.append(m_mode == ConsoleMode::Hex ? QString::fromStdString(line) : AnswerText(line));
    }
    m_timer.stop();
    m_link.release();
    emit answerWindowEnded(logged);
}

} // namespace veltro
