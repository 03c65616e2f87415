#pragma once

#include <QObject>
#include <QString>

#include "link/console_command.h"
#include "link/operation_shapes.h"

namespace veltro {

class CommunicationLog;
class OperationRunner;

// `Timer_free_command`: the operator's bytes out, the answer logged after one response window.
class ConsoleExchange final : public SingleExchange {
    Q_OBJECT

public:
    ConsoleExchange(CommunicationLog& log, Telegram bytes, ConsoleMode mode, QObject* parent = nullptr);
    bool logged() const { return m_logged; }
    void setWithoutAnswer() { m_withoutAnswer = true; }
    void setWithoutRequest() { m_withoutRequest = true; }

protected:
    void start() override;
    Outgoing request() override { return {m_bytes, SendKind::Raw, {}}; }
    Verdict reply(const Telegram& received) override;

private:
    CommunicationLog& m_log;
    Telegram m_bytes;
    ConsoleMode m_mode;
    bool m_logged = false;
    bool m_withoutAnswer = false;
    bool m_withoutRequest = false;
};

// The free command console: `Butt_command_sendClick` sends the operator's text over the selected link
// and shows the answer after one response window.
class FreeCommandConsole : public QObject {
    Q_OBJECT

public:
    // `Edit_command` holds at most this many characters; a longer text is cut as the field would cut it.
    static constexpr int kMaxCommandLength = 250;

    FreeCommandConsole(OperationRunner& runner, CommunicationLog& log, QObject* parent = nullptr);

    // `Check_ascii` / `Check_hex`: exactly one of them holds.
    ConsoleMode mode() const { return m_mode; }
    void setMode(ConsoleMode mode) { m_mode = mode; }

    // `Butt_command_sendClick`. An empty text does nothing; a refused hex text logs its refusal before
    // the link is touched. Returns whether the command is on its way (the link acquired or being
    // connected) and its answer window will follow.
    bool send(const QString& text);
    // A gateway's settings command: `text` written as it is to the serial port, whatever the link mode,
    // the answer shown as text (or nothing collected when `collectAnswer` is false).
    bool sendToSerialPort(const std::string& text, bool collectAnswer);
    // `Timer_free_command` started without a write, on the link the settings select: what is still on
    // its way is shown after one response window.
    bool collectAnswer();
    bool isWaiting() const;

signals:
    // The answer window is over and the link released; `logged` tells whether an answer line was written.
    void answerWindowEnded(bool logged);

private:
    OperationRunner& m_runner;
    CommunicationLog& m_log;
    ConsoleMode m_mode = ConsoleMode::Hex;
};

} // namespace veltro
