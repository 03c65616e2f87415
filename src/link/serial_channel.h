#pragma once

#include <cstdint>
#include <span>

#include <QObject>
#include <QElapsedTimer>
#include <QSerialPort>
#include <QString>
#include <QTimer>

#include "mbus/telegram.h"

namespace veltro {

class CommunicationLog;
class LiveSettings;

// The serial link `Comm1`: a local port with an M-Bus level converter, opened at the start of an
// operation and closed at its end. The port name, speed and parity are read from the live settings at
// the moment of opening. There is no receive event: a response timer's tick takes what has arrived.
class SerialChannel : public QObject {
    Q_OBJECT

public:
    // How long the driver is given to settle after a close before the port is opened again.
    static constexpr int kCloseWaitMilliseconds = 40;
    // Longest a write may take to hand its bytes to the driver (261 bytes are queued at once).
    static constexpr int kWriteTimeoutMilliseconds = 2000;
    // Bytes kept between two reads; a device that streams more loses the excess in the driver.
    static constexpr qint64 kReadBufferSize = 64 * 1024;

    enum class PurgeSides { Input, Output, Both };

    struct WriteResult {
        bool ok = false;
        QString error;  // the text after "Can not write to serial COM port - "
    };

    SerialChannel(CommunicationLog& log, const LiveSettings& settings, QObject* parent = nullptr);
    ~SerialChannel() override;

    // The port-open flag: true exactly between a successful open and the next close.
    bool isOpen() const { return m_open; }

    // `ToggleSerialPort`: opens when closed, closes when open.
    void toggle();
    // The opening steps when the port is closed; returns whether it is open afterwards.
    bool open();
    // The closing steps when the port is open. Nothing waits here: `settleRemaining` says how long an
    // open should still be put off.
    void close();
    int settleRemaining() const;

    // Discards queued input and/or output; no effect when closed.
    void purge(PurgeSides sides = PurgeSides::Both);
    // Queues the bytes and hands what the driver takes at once; `allWritten` follows when the rest has
    // gone, `writeFailed` when it cannot go within kWriteTimeoutMilliseconds. Never waits.
    WriteResult write(std::span<const std::uint8_t> bytes);
    bool writePending() const { return m_open && m_port.bytesToWrite() > 0; }
    // Every byte received so far, without waiting; empty when none arrived or the port is closed.
    Telegram readAvailable();

    // Status-bar panel 0: "COM3 - 2400,8,Even" or "COM3 is closed".
    const QString& statusText() const { return m_statusText; }
    // The device the last open used ("/dev/ttyS2" for "COM3"); empty when the name maps to none.
    const QString& devicePath() const { return m_devicePath; }
    // The name the port was last opened or refused under, as typed.
    const QString& portName() const { return m_portName; }

signals:
    void statusTextChanged(const QString& text);
    // The settings window disables its three port controls while open and captions `Butt_open_port`
    // with SerialPortButtonCaption(open).
    void openChanged(bool open);
    void allWritten();
    void writeFailed(const QString& error);

private:
    void setStatus(const QString& text);
    void onBytesWritten();
    void onWriteTimeout();

    CommunicationLog& m_log;
    const LiveSettings& m_settings;
    QSerialPort m_port;
    QTimer m_writeDeadline;
    QElapsedTimer m_sinceClose;
    bool m_open = false;
    QString m_statusText;
    QString m_devicePath;
    QString m_portName;
};

} // namespace veltro
