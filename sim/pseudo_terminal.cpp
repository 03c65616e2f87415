#include "sim/pseudo_terminal.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <QFile>
#include <QTimer>

namespace veltro::sim {
namespace {

// Output the program has not read yet is held up to this size; beyond it the oldest answers are lost,
// as they would be on a line nobody listens to.
constexpr qsizetype kMostPendingOutput = 64 * 1024;

struct SpeedCode {
    speed_t code;
    int baud;
};
constexpr SpeedCode kSpeeds[] = {
    {B300, 300},     {B600, 600},     {B1200, 1200},   {B2400, 2400},   {B4800, 4800},
    {B9600, 9600},   {B19200, 19200}, {B38400, 38400}, {B57600, 57600}, {B115200, 115200},
};

QString ErrnoText() { return QString::fromLocal8Bit(std::strerror(errno)); }

} // namespace

PseudoTerminal::PseudoTerminal(QObject* parent) : QObject(parent) {}

PseudoTerminal::~PseudoTerminal() { close(); }

void PseudoTerminal::write(const QByteArray& bytes) {
    m_pendingOutput += bytes;
    if (m_pendingOutput.size() > kMostPendingOutput) {
        emit log("pty: the program reads nothing, " + QString::number(m_pendingOutput.size() - kMostPendingOutput) +
                 " byte(s) of old output dropped");
        m_pendingOutput = m_pendingOutput.right(kMostPendingOutput);
    }
    writePending();
}

bool PseudoTerminal::fail(const QString& what) {
    m_error = what + ": " + ErrnoText();
    close();
    return false;
}

bool PseudoTerminal::open(const QString& linkPath) {
    close();
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0) return fail("posix_openpt");
    if (::grantpt(m_master) != 0) return fail("grantpt");
    if (::unlockpt(m_master) != 0) return fail("unlockpt");
    char name[128] = {};
    if (::ptsname_r(m_master, name, sizeof name) != 0) return fail("ptsname");
    m_slavePath = QString::fromLocal8Bit(name);
    if (::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK) != 0) return fail("fcntl");

    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_slave < 0) return fail("open " + m_slavePath);
    termios tio{};
    if (::tcgetattr(m_slave, &tio) != 0) return fail("tcgetattr");
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    ::cfsetispeed(&tio, B2400);
    ::cfsetospeed(&tio, B2400);
    if (::tcsetattr(m_slave, TCSANOW, &tio) != 0) return fail("tcsetattr");

    if (!linkPath.isEmpty()) {
        const QByteArray link = QFile::encodeName(linkPath);
        struct stat st {};
        if (::lstat(link.constData(), &st) == 0) {
            if (!S_ISLNK(st.st_mode)) {
                errno = EEXIST;
                return fail(linkPath + " exists and is not a symbolic link");
            }
            if (::unlink(link.constData()) != 0) return fail("removing the old link " + linkPath);
        }
        if (::symlink(name, link.constData()) != 0) return fail("symlink " + linkPath);
        m_linkPath = linkPath;
    }

    m_readNotifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &PseudoTerminal::readMaster);
    m_writeNotifier = new QSocketNotifier(m_master, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &PseudoTerminal::writePending);
    return true;
}

void PseudoTerminal::close() {
    delete m_readNotifier;
    m_readNotifier = nullptr;
    delete m_writeNotifier;
    m_writeNotifier = nullptr;
    m_pendingOutput.clear();
    if (!m_linkPath.isEmpty()) {
        // Remove the link only while it still points to this terminal.
        const QByteArray link = QFile::encodeName(m_linkPath);
        char target[256] = {};
        const ssize_t n = ::readlink(link.constData(), target, sizeof target - 1);
        if (n > 0 && QString::fromLocal8Bit(target, static_cast<int>(n)) == m_slavePath) ::unlink(link.constData());
        m_linkPath.clear();
    }
    if (m_slave >= 0) ::close(m_slave);
    if (m_master >= 0) ::close(m_master);
    m_slave = m_master = -1;
}

int PseudoTerminal::lineBaud() const {
    if (m_slave < 0) return 0;
    termios tio{};
    if (::tcgetattr(m_slave, &tio) != 0) return 0;
    const speed_t speed = ::cfgetospeed(&tio);
    for (const auto& s : kSpeeds)
        if (s.code == speed) return s.baud;
    return 0;
}

void PseudoTerminal::readMaster() {
    char buffer[512];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0) {
            emit received(QByteArray(buffer, static_cast<qsizetype>(n)));
            if (m_master < 0) return;  // a receiver closed the terminal
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
        // EIO: no slave is open (cannot last, since this side holds one); pause instead of spinning.
        emit log("pty: reading the master side failed: " + (n == 0 ? QString("end of file") : ErrnoText()));
        m_readNotifier->setEnabled(false);
        QTimer::singleShot(100, this, [this] {
            if (m_readNotifier) m_readNotifier->setEnabled(true);
        });
        return;
    }
}

void PseudoTerminal::writePending() {
    if (m_master < 0) return;
    while (!m_pendingOutput.isEmpty()) {
        const ssize_t n = ::write(m_master, m_pendingOutput.constData(), static_cast<size_t>(m_pendingOutput.size()));
        if (n > 0) {
            m_pendingOutput.remove(0, static_cast<qsizetype>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            emit log("pty: writing failed: " + ErrnoText() + ", " + QString::number(m_pendingOutput.size()) + " byte(s) lost");
            m_pendingOutput.clear();
        }
        break;
    }
    if (m_writeNotifier) m_writeNotifier->setEnabled(!m_pendingOutput.isEmpty());
}

} // namespace veltro::sim
