#include "sim/pty_port.h"

namespace veltro::sim {

PtyPort::PtyPort(Bus& bus, LineTiming timing, QObject* parent) : QObject(parent), m_port(bus, timing, "pty") {
    m_port.forwardUnsolicited();
    connect(&m_port, &BusPort::log, this, &PtyPort::log);
    connect(&m_terminal, &PseudoTerminal::log, this, &PtyPort::log);
    connect(&m_port, &BusPort::transmit, &m_terminal, &PseudoTerminal::write);
    connect(&m_terminal, &PseudoTerminal::received, this,
            [this](const QByteArray& bytes) { m_port.receive(bytes, m_terminal.lineBaud()); });
}

PtyPort::~PtyPort() { close(); }

bool PtyPort::open(const QString& linkPath) {
    m_port.reset();
    return m_terminal.open(linkPath);
}

void PtyPort::close() {
    m_terminal.close();
    m_port.reset();
}

} // namespace veltro::sim
