#pragma once

#include <QObject>
#include <QString>

#include "mbus/telegram.h"

namespace veltro {

// What a telegram is to the link: the error texts and the "Sent: " line depend on it.
enum class SendKind {
    Telegram,     // `SendTelegram`: every SND_NKE and SND_UD; on the serial port the "Sent: " line
    ReadRequest,  // `SendReadRequest`: REQ_UD2, no line of its own
    Raw,          // the console: the operator's bytes, no line of their own
    MediumChange, // set medium: no purge, no "Sent: " line; its own error text
    UnitChange,   // set unit: likewise
    DisplayCommand,  // a text command of the local display: no line of its own
    ReceiverCommand, // a command of a wireless receiver, raw bytes included: no line of its own
};

// What a response timer's tick collected: the bytes, or "wait" (gateway server without a complete frame).
struct Collected {
    bool wait = false;
    Telegram bytes;
    bool noLink = false;  // nothing to collect from (the port or the bridge went away); already logged
};

// The texts a timer logs when collecting finds no usable link or the gateway wait runs out; the
// generic response timer and the secondary search use the first form, the console, the cycles and the
// configuration timers the second.
struct CollectTexts {
    QString noConnection = QStringLiteral("No valid physical connection... ");
    QString overload = QStringLiteral("Timer overload...");
    static CollectTexts Generic() { return {}; }
    static CollectTexts Cycle() {
        return {QStringLiteral("No valid physical connection :) "), QStringLiteral("Timer overload")};
    }
};

// One way to the bus: the serial port, the transparent bridge, and later the gateways. An operation
// acquires it, sends, collects at its ticks and releases it; nothing here waits.
class Link : public QObject {
    Q_OBJECT

public:
    enum class Acquire {
        Ready,    // usable now
        Pending,  // `acquired(ok)` follows
        Refused,  // not usable; the reason is in the log
    };

    using QObject::QObject;

    virtual Acquire acquire() = 0;
    virtual void release() = 0;
    // Discards what is still queued from before, then writes; failures are logged with the link's own
    // texts. `sent()` follows once the bytes have left (at once when nothing could be written).
    virtual void send(const Telegram& telegram, SendKind kind) = 0;
    // Everything received since the last send or empty, without waiting; collecting empties nothing.
    virtual Collected collect(const CollectTexts& texts) = 0;
    virtual void emptyReceiveBuffers() = 0;
    // True while bytes handed to `send` have not left yet.
    virtual bool writePending() const = 0;
    // The speed of the M-Bus line behind the link, for the wire time of a frame still arriving.
    virtual int lineBaud() const = 0;
    // What `collect` would give now, quietly: no log line, no wait counted. A fast window looks at it
    // between ticks to end as soon as the answer is whole.
    virtual Telegram peek() = 0;
    // A network and a converter stand between the program and the line (the bridge, the gateways).
    virtual bool overNetwork() const = 0;

signals:
    void acquired(bool ok);
    void sent();
};

} // namespace veltro
