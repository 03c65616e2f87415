#include "sim/gateway_settings_port.h"

namespace veltro::sim {

GatewaySettingsPort::GatewaySettingsPort(GatewaySettings& settings, QObject* parent)
    : QObject(parent), m_settings(settings) {
    m_pause.setSingleShot(true);
    connect(&m_pause, &QTimer::timeout, this, &GatewaySettingsPort::commandEnded);
    connect(&m_terminal, &PseudoTerminal::received, this, &GatewaySettingsPort::received);
    connect(&m_terminal, &PseudoTerminal::log, this, &GatewaySettingsPort::log);
}

bool GatewaySettingsPort::open(const QString& linkPath) { return m_terminal.open(linkPath); }

void GatewaySettingsPort::received(const QByteArray& bytes) {
    for (const char c : bytes) {
        if (c == '\r' || c == '\n') {
            if (!m_command.isEmpty() || m_overlong) commandEnded();
            continue;
        }
        if (m_command.size() < kLongestCommand) m_command += c;
        else m_overlong = true;
    }
    if (!m_command.isEmpty() || m_overlong) m_pause.start(kCommandPause);
}

void GatewaySettingsPort::commandEnded() {
    m_pause.stop();
    const std::string answer = m_overlong ? kSettingsError : m_settings.answer(m_command.toStdString());
    emit log("gateway settings <- " + (m_overlong ? QString("(more than %1 bytes)").arg(kLongestCommand)
                                                   : QString::fromLatin1(m_command)) +
             " -> " + QString::fromStdString(answer).trimmed().replace("\r\n", " | "));
    m_command.clear();
    m_overlong = false;
    m_terminal.write(QByteArray::fromStdString(answer));
}

} // namespace veltro::sim
