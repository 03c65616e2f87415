#pragma once

#include <functional>
#include <optional>

#include <QObject>
#include <QString>
#include <QTimer>

#include "link/console_command.h"
#include "mbus/telegram.h"

namespace veltro {

class CommunicationLog;

// The free command console: `Butt_command_sendClick` sends the operator's text over the selected link
// and `Timer_free_command` shows the answer after one response window. The link is reached through the
// callbacks below, which the link facade provides; the console itself knows no link.
class FreeCommandConsole : public QObject {
    Q_OBJECT

public:
    // `Edit_command` holds at most this many characters; a longer text is cut as the field would cut it.
    static constexpr int kMaxCommandLength = 250;

    struct Link {
        std::function<bool()> acquire;  // `AcquireLink`
        // The link-specific write: raw on the serial port and the bridge, in a gateway frame (block
        // type A1h) otherwise; ASCII texts to a gateway go through the display-command send.
        std::function<void(const Telegram& bytes, ConsoleMode mode)> send;
        // `CollectReceived` with this timer's texts ("Timer overload", "No valid physical connection :) ");
        // nothing means "wait" (gateway server without a complete frame yet).
        std::function<std::optional<Telegram>()> collect;
        std::function<void()> emptyReceiveBuffers;  // the gateway reply data and the bridge receive buffer
        std::function<void()> release;              // `ReleaseLink`
    };

    FreeCommandConsole(CommunicationLog& log, Link link, QObject* parent = nullptr);

    // `Check_ascii` / `Check_hex`: exactly one of them holds.
    ConsoleMode mode() const { return m_mode; }
    void setMode(ConsoleMode mode) { m_mode = mode; }

    // The response window (`Edit_timeoutChange`).
    void setResponseWindow(int milliseconds) { m_timer.setInterval(milliseconds); }
    int responseWindow() const { return m_timer.interval(); }

    // `Butt_command_sendClick`. An empty text does nothing; a refused hex text logs its refusal before
    // the link is touched. Returns whether the command went out and the answer window runs.
    bool send(const QString& text);

    // Starts the answer window after a command sent by another part (counter type, gateway settings).
    void startAnswerWindow() { m_timer.start(); }
    bool isWaiting() const { return m_timer.isActive(); }

signals:
    // The answer window is over and the link released; `logged` tells whether an answer line was written.
    void answerWindowEnded(bool logged);

private:
    void Timer_free_commandTimer();

    CommunicationLog& m_log;
    Link m_link;
    ConsoleMode m_mode = ConsoleMode::Hex;
    QTimer m_timer;
};

} // namespace veltro
