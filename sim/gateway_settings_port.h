#pragma once

#include <chrono>

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include "sim/gateway_settings.h"
#include "sim/pseudo_terminal.h"

namespace veltro::sim {

// The gateway's RS-232 settings port on a pseudo-terminal. Commands carry no terminator: a command is
// what arrives before a pause of kCommandPause; a line end also ends it at once, for a person typing.
class GatewaySettingsPort : public QObject {
    Q_OBJECT
public:
    explicit GatewaySettingsPort(GatewaySettings& settings, QObject* parent = nullptr);

    bool open(const QString& linkPath = {});
    QString slavePath() const { return m_terminal.slavePath(); }
    QString linkPath() const { return m_terminal.linkPath(); }
    QString errorString() const { return m_terminal.errorString(); }

    static constexpr std::chrono::milliseconds kCommandPause{50};
    // Longer input is no command; it is answered "ERROR" at the pause.
    static constexpr qsizetype kLongestCommand = 128;

signals:
    void log(const QString& line);

private:
    void received(const QByteArray& bytes);
    void commandEnded();

    GatewaySettings& m_settings;
    PseudoTerminal m_terminal;
    QByteArray m_command;
    bool m_overlong = false;
    QTimer m_pause;
};

} // namespace veltro::sim
