#include "link/serial_channel.h"

#include <algorithm>


#include "app/live_settings.h"
#include "link/communication_log.h"
#include "link/serial_port_rules.h"

namespace veltro {

namespace {

QSerialPort::Parity QtParity(SerialParity parity) {
    switch (parity) {
    case SerialParity::None: return QSerialPort::NoParity;
    case SerialParity::Odd: return QSerialPort::OddParity;
    case SerialParity::Mark: return QSerialPort::MarkParity;
    case SerialParity::Space: return QSerialPort::SpaceParity;
    case SerialParity::Even: break;
    }
    return QSerialPort::EvenParity;
}

// Errors of opening that mean "the port cannot be had": it does not exist, or another program holds
// it (its lock file, TIOCEXCL, or no right to it).
bool MeansPortUnavailable(QSerialPort::SerialPortError error) {
    return error == QSerialPort::DeviceNotFoundError || error == QSerialPort::PermissionError;
}

// Lowers a modem line. A pseudo-terminal has no modem lines and refuses with ENOTTY, which Qt reports as
// UnsupportedOperationError; that is no reason to refuse the port.
bool LineLowered(QSerialPort& port, bool (QSerialPort::*setLine)(bool)) {
    if ((port.*setLine)(false)) return true;
    return port.error() == QSerialPort::UnsupportedOperationError;
}

QString Text(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

} // namespace

SerialChannel::SerialChannel(CommunicationLog& log, const LiveSettings& settings, QObject* parent)
    : QObject(parent), m_log(log), m_settings(settings) {
    m_port.setReadBufferSize(kReadBufferSize);
    m_writeDeadline.setSingleShot(true);
    m_writeDeadline.setInterval(kWriteTimeoutMilliseconds);
    connect(&m_port, &QSerialPort::bytesWritten, this, &SerialChannel::onBytesWritten);
    connect(&m_writeDeadline, &QTimer::timeout, this, &SerialChannel::onWriteTimeout);
}

SerialChannel::~SerialChannel() {
    if (m_port.isOpen()) m_port.close();
}

void SerialChannel::toggle() {
    if (m_open) close();
    else open();
}

bool SerialChannel::open() {
    if (m_open) return true;
    const Settings::ComPort& port = m_settings.settings().comPort;
    m_portName = QString::fromStdString(port.name);
    const auto path = SerialDevicePath(port.name);
    m_devicePath = path ? QString::fromStdString(*path) : QString();

    auto refuse = [this](const QString& line) {
        setStatus(Text(SerialClosedStatus(m_portName.toStdString())));
        m_log.append(line);
        return false;
    };
    const QString unavailable =
        QString::fromStdString(SerialPortInUseMessage(port.name, m_settings.language()));
    if (!path) return refuse(unavailable);

    m_port.setPortName(m_devicePath);
    m_port.setBaudRate(SerialBaudRate(port.speed));
    m_port.setParity(QtParity(SerialParityFromText(port.parity)));
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    m_port.clearError();
    // One open is both the probe and the open: its error tells "cannot be had" from "failed to set up".
    if (!m_port.open(QIODevice::ReadWrite)) {
        const bool portUnavailable = MeansPortUnavailable(m_port.error());
        m_port.clearError();
        return refuse(portUnavailable ? unavailable : Text(kSerialOpenFailedMessage));
    }
    if (!LineLowered(m_port, &QSerialPort::setDataTerminalReady) ||
        !LineLowered(m_port, &QSerialPort::setRequestToSend)) {
        m_port.close();
        m_port.clearError();
        return refuse(Text(kSerialOpenFailedMessage));
    }
    m_port.clearError();

    m_open = true;
    const QString status = QString::fromStdString(SerialOpenStatus(port.name, port.speed, port.parity));
    setStatus(status);
    m_log.append(status);
    emit openChanged(true);
    return true;
}

void SerialChannel::close() {
    if (!m_open) return;
    m_port.clearError();
    m_port.close();
    const bool failed = m_port.error() != QSerialPort::NoError;
    m_port.clearError();
    setStatus(Text(SerialClosedStatus(m_portName.toStdString())));
    m_open = false;
    m_writeDeadline.stop();
    m_sinceClose.start();
    emit openChanged(false);
    if (failed) m_log.append(Text(kSerialCloseFailedMessage));
}

int SerialChannel::settleRemaining() const {
    // An operation that reopens the port at once must find the driver settled.
    if (m_open || !m_sinceClose.isValid()) return 0;
    return static_cast<int>(std::max<qint64>(0, kCloseWaitMilliseconds - m_sinceClose.elapsed()));
}

void SerialChannel::purge(PurgeSides sides) {
    if (!m_open) return;
    const QSerialPort::Directions directions = sides == PurgeSides::Input    ? QSerialPort::Input
                                               : sides == PurgeSides::Output ? QSerialPort::Output
                                                                             : QSerialPort::AllDirections;
    // A purge that fails leaves stale bytes, which the response check then rejects; nothing to report.
    m_port.clear(directions);
    m_port.clearError();
}

SerialChannel::WriteResult SerialChannel::write(std::span<const std::uint8_t> bytes) {
    if (!m_open) return {false, QStringLiteral("the port is not open")};
    if (bytes.empty()) return {true, {}};
    m_port.clearError();
    auto failed = [this] {
        WriteResult result{false, m_port.errorString()};
        m_port.clear(QSerialPort::Output);  // do not let the rest go out later, unasked
        m_port.clearError();
        return result;
    };
    const auto size = static_cast<qint64>(bytes.size());
    if (m_port.write(reinterpret_cast<const char*>(bytes.data()), size) != size) return failed();
    m_port.flush();  // what the driver takes now goes now; the rest leaves from the event loop
    if (m_port.bytesToWrite() > 0) m_writeDeadline.start();
    return {true, {}};
}

void SerialChannel::onBytesWritten() {
    if (m_port.bytesToWrite() > 0) return;
    m_writeDeadline.stop();
    emit allWritten();
}

void SerialChannel::onWriteTimeout() {
    if (!m_open || m_port.bytesToWrite() == 0) return;
    const QString error = m_port.errorString();
    m_port.clear(QSerialPort::Output);  // do not let the rest go out later, unasked
    m_port.clearError();
    emit writeFailed(error);
}

Telegram SerialChannel::readAvailable() {
    if (!m_open) return {};
    // Without an event loop turn the port's buffer holds nothing yet: poll the driver without waiting.
    for (int round = 0; round < 64 && m_port.waitForReadyRead(0); ++round) {
    }
    const bool gone = m_port.error() == QSerialPort::ResourceError;
    m_port.clearError();  // polling an empty queue reports a time-out
    const QByteArray data = m_port.readAll();
    if (gone) close();  // the device went away (adapter pulled out, pseudo-terminal closed)
    return Telegram(std::span(reinterpret_cast<const std::uint8_t*>(data.constData()), static_cast<std::size_t>(data.size())));
}

void SerialChannel::setStatus(const QString& text) {
    m_statusText = text;
    emit statusTextChanged(text);
}

} // namespace veltro
