#pragma once

// A real pseudo-terminal for the serial channel's tests: the channel opens the slave side as its port,
// the test plays the device on the master side.
//
// What a pseudo-terminal does not do like a serial port (found on Linux with Qt 6.4):
// - it has no modem lines: lowering DTR or RTS fails with ENOTTY (Qt: UnsupportedOperationError);
// - the kernel forces 8 data bits and clears PARENB, so parity cannot be observed; the speed can;
// - TIOCEXCL works, but root bypasses it; two opens in one process still collide on Qt's lock file.

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <QString>

namespace veltro::test {

class PseudoTerminal {
public:
    PseudoTerminal() {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
            throw std::runtime_error("no pseudo-terminal");
        m_slavePath = QString::fromLocal8Bit(::ptsname(m_master));
        // Keep one slave handle open so the device side sees no hang-up between the channel's opens.
        m_slaveKeeper = ::open(m_slavePath.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_slaveKeeper < 0) throw std::runtime_error("cannot open the pseudo-terminal's slave");
        termios raw{};
        ::tcgetattr(m_slaveKeeper, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(m_slaveKeeper, TCSANOW, &raw);
    }
    ~PseudoTerminal() {
        if (m_slaveKeeper >= 0) ::close(m_slaveKeeper);
        closeMaster();
    }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    const QString& slavePath() const { return m_slavePath; }

    // The device answers.
    void send(const std::vector<std::uint8_t>& bytes) {
        if (::write(m_master, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
            throw std::runtime_error("write to master failed");
        ::tcdrain(m_master);
    }

    // What the device received within `timeout` (stops as soon as `expected` bytes are there).
    std::vector<std::uint8_t> receive(std::size_t expected, std::chrono::milliseconds timeout = std::chrono::milliseconds(1000)) {
        std::vector<std::uint8_t> bytes;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (bytes.size() < expected && std::chrono::steady_clock::now() < deadline) {
            pollfd p{m_master, POLLIN, 0};
            if (::poll(&p, 1, 10) <= 0) continue;
            std::uint8_t chunk[512];
            const ssize_t n = ::read(m_master, chunk, sizeof chunk);
            if (n > 0) bytes.insert(bytes.end(), chunk, chunk + n);
        }
        return bytes;
    }

    // The speed the port is set to, read through a handle of our own.
    speed_t outputSpeed() const {
        termios t{};
        ::tcgetattr(m_slaveKeeper, &t);
        return ::cfgetospeed(&t);
    }
    termios attributes() const {
        termios t{};
        ::tcgetattr(m_slaveKeeper, &t);
        return t;
    }

    void closeMaster() {
        if (m_master >= 0) ::close(m_master);
        m_master = -1;
    }

private:
    int m_master = -1;
    int m_slaveKeeper = -1;
    QString m_slavePath;
};

} // namespace veltro::test
