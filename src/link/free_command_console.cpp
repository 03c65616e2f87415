#include "link/free_command_console.h"

#include "link/communication_log.h"
#include "link/link_facade.h"
#include "link/operation_runner.h"

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

ConsoleExchange::ConsoleExchange(CommunicationLog& log, Telegram bytes, ConsoleMode mode, QObject* parent)
    : SingleExchange(BusOperation::Console, CollectTexts::Cycle(), 0, parent), m_log(log), m_bytes(std::move(bytes)),
      m_mode(mode) {}

void ConsoleExchange::start() {
    if (m_withoutRequest) {
        listen();
        return;
    }
    if (!m_withoutAnswer) {
        SingleExchange::start();
        return;
    }
    // Nobody waits for an answer, but releasing the port purges what the driver has not sent yet: the
    // link is let go once the bytes have had their time on the line.
    link().send(m_bytes, SendKind::Raw);
    auto releaseAfterWire = [this] {
        pause(wireTime(m_bytes.size()) + kFrameMarginMilliseconds, [this] { finish(OperationOutcome::Completed); });
    };
    if (link().writePending()) connect(&link(), &LinkFacade::sent, this, releaseAfterWire, Qt::SingleShotConnection);
    else releaseAfterWire();
}

Verdict ConsoleExchange::reply(const Telegram& received) {
    link().emptyReceiveBuffers();
    m_logged = !received.empty();
    if (m_logged) {
        const std::string line = RenderConsoleAnswer(received, m_mode);
        m_log.append(m_mode == ConsoleMode::Hex ? QString::fromStdString(line) : AnswerText(line));
    }
    return Verdict::Accept();
}

FreeCommandConsole::FreeCommandConsole(OperationRunner& runner, CommunicationLog& log, QObject* parent)
    : QObject(parent), m_runner(runner), m_log(log) {}

bool FreeCommandConsole::sendToSerialPort(const std::string& text, bool collectAnswer) {
    Telegram bytes(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    auto* exchange = new ConsoleExchange(m_log, std::move(bytes), ConsoleMode::Ascii);
    exchange->forceLinkMode(LinkMode::Serial);
    if (!collectAnswer) exchange->setWithoutAnswer();
    connect(exchange, &Operation::finished, this, [this, exchange](OperationOutcome outcome) {
        if (outcome == OperationOutcome::Completed) emit answerWindowEnded(exchange->logged());
    });
    return m_runner.start(exchange);
}

bool FreeCommandConsole::collectAnswer() {
    auto* exchange = new ConsoleExchange(m_log, {}, m_mode);
    exchange->setWithoutRequest();
    connect(exchange, &Operation::finished, this, [this, exchange](OperationOutcome outcome) {
        if (outcome == OperationOutcome::Completed) emit answerWindowEnded(exchange->logged());
    });
    return m_runner.start(exchange);
}

bool FreeCommandConsole::isWaiting() const { return m_runner.currentKind() == BusOperation::Console; }

bool FreeCommandConsole::send(const QString& text) {
    if (text.isEmpty()) return false;
    const QByteArray bytes = text.left(kMaxCommandLength).toUtf8();
    const ConsoleCommand command = ParseConsoleCommand(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), m_mode);
    if (command.refused()) {
        m_log.append(QString::fromStdString(command.refusal));
        return false;
    }
    auto* exchange = new ConsoleExchange(m_log, command.bytes, m_mode);
    connect(exchange, &Operation::finished, this, [this, exchange](OperationOutcome outcome) {
        if (outcome == OperationOutcome::Completed) emit answerWindowEnded(exchange->logged());
    });
    if (!m_runner.start(exchange)) return false;
    return isWaiting();
}

} // namespace veltro
