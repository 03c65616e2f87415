#pragma once

#include <QObject>
#include <QString>

#include "sim/bus.h"
#include "sim/bus_port.h"
#include "sim/pseudo_terminal.h"

namespace veltro::sim {

// The bus behind a pseudo-terminal that the program opens as its serial port; each frame is heard at
// the line speed the program set on it.
class PtyPort : public QObject {
    Q_OBJECT
public:
    PtyPort(Bus& bus, LineTiming timing = {}, QObject* parent = nullptr);
    ~PtyPort() override;

    // See PseudoTerminal::open.
    bool open(const QString& linkPath = {});
    void close();

    QString slavePath() const { return m_terminal.slavePath(); }
    QString linkPath() const { return m_terminal.linkPath(); }
    QString errorString() const { return m_terminal.errorString(); }
    int lineBaud() const { return m_terminal.lineBaud(); }

signals:
    void log(const QString& line);

private:
    BusPort m_port;
    PseudoTerminal m_terminal;
};

} // namespace veltro::sim
