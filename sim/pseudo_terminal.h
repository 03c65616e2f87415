#pragma once

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>
#include <QString>

namespace veltro::sim {

// A pseudo-terminal that a program opens as its serial port. The simulator keeps the master side and also
// holds the slave open, so the line stays usable while the program closes and reopens its port, and so
// the line speed the program sets with termios can be read back.
class PseudoTerminal : public QObject {
    Q_OBJECT
public:
    explicit PseudoTerminal(QObject* parent = nullptr);
    ~PseudoTerminal() override;

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

    // Queued for the program; output it does not read is held up to 64 KiB, then the oldest is dropped.
    void write(const QByteArray& bytes);

signals:
    void received(const QByteArray& bytes);
    void log(const QString& line);

private:
    void readMaster();
    void writePending();
    bool fail(const QString& what);

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
