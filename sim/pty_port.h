#pragma once

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>
#include <QString>

#include "sim/bus.h"
#include "sim/bus_port.h"

namespace veltro::sim {

// The bus behind a pseudo-terminal that the program opens as its serial port. The simulator keeps the
// master side and also holds the slave open, so the line stays usable while the program closes and
// reopens its port between operations, and so the line speed the program sets with termios can be read
// back: each frame is heard at that speed.
class PtyPort : public QObject {
    Q_OBJECT
public:
    PtyPort(Bus& bus, LineTiming timing = {}, QObject* parent = nullptr);
    ~PtyPort() override;

    // Creates the pseudo-terminal (raw mode, 2400 baud until the program sets another speed) and, when
    // `linkPath` is given, a symbolic link to its slave there; an existing symbolic link is replaced,
    // anything else at that path is an error.
    bool open(const QString& linkPath = {});
    void close();

    QString slavePath() const { return m_slavePath; }
    QString linkPath() const { return m_linkPath; }
    QString errorString() const { return m_error; }

    // The speed the slave side is set to now; 0 when it is not one of the usual rates.
    int lineBaud() const;

signals:
    void log(const QString& line);

private:
    void readMaster();
    void writePending();
    bool fail(const QString& what);

    BusPort m_port;
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
    QString m_linkPath;
    QString m_error;
    QSocketNotifier* m_readNotifier = nullptr;
    QSocketNotifier* m_writeNotifier = nullptr;
    QByteArray m_pendingOutput;
};

} // namespace veltro::sim
