// How long the program's event loop is held while a peer floods the gateway port: a peer on its own
// thread writes garbage as fast as the loopback takes it; a 10 ms timer on the main thread records the
// longest gap between its ticks. See docs/PERFORMANCE.md.
//
//   gateway_flood_bench [MEGABYTES]     (default 50)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>

#include "app/live_settings.h"
#include "app/operator_interface.h"
#include "engine/engine.h"
#include "link/communication_log.h"
#include "link/gateway_channels.h"

namespace {

class SilentOperator final : public veltro::OperatorInterface {
public:
    Answer question(const QString&, const QString&, Buttons) override { return Answer::Yes; }
    void message(const QString&, const QString&, Icon) override {}
    std::optional<QString> saveFileName(const QString&, const QString&, const QString&) override { return std::nullopt; }
    std::optional<QString> openFileName(const QString&, const QString&) override { return std::nullopt; }
};

// Writes `total` bytes of garbage to 127.0.0.1:port; false when the connection failed.
bool Flood(quint16 port, std::size_t total) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return false;
    }
    std::vector<char> chunk(64 * 1024);
    for (std::size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<char>((i * 131 + 7) & 0xFF);
    std::size_t sent = 0;
    while (sent < total) {
        const ssize_t n = ::send(fd, chunk.data(), std::min(chunk.size(), total - sent), MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return sent == total;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const long megabytes = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 50;
    if (megabytes < 1 || megabytes > 4096) {
        std::fprintf(stderr, "usage: gateway_flood_bench [MEGABYTES 1..4096]\n");
        return 2;
    }
    QTemporaryDir home;
    SilentOperator quiet;
    veltro::Engine engine(home.filePath("veltro.ini"), home.path(), quiet);
    veltro::Settings s = engine.settings().settings();
    s.misc.useEthernet = true;
    engine.settings().setSettings(s);
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0)) return 1;
    const quint16 port = probe.serverPort();
    probe.close();
    engine.gatewayServer().toggle(QString::number(port));
    if (!engine.gatewayServer().isListening()) return 1;

    std::atomic<bool> done{false};
    bool delivered = false;
    QElapsedTimer clock;
    clock.start();
    std::thread peer([&] {
        delivered = Flood(port, static_cast<std::size_t>(megabytes) * 1024 * 1024);
        done = true;
    });
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    qint64 last = clock.elapsed(), longest = 0, ticks = 0;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        longest = std::max(longest, now - last);
        last = now;
        ++ticks;
        if (done && !engine.gatewayServer().gatewayConnected()) app.quit();
    });
    tick.start(10);
    app.exec();
    peer.join();
    const double seconds = static_cast<double>(clock.elapsed()) / 1000.0;
    std::printf("flood %ld MB in %.2f s (%.1f MB/s), %lld ticks of 10 ms, longest gap %lld ms, log %lld lines\n", megabytes,
                seconds, static_cast<double>(megabytes) / seconds, static_cast<long long>(ticks), static_cast<long long>(longest),
                static_cast<long long>(engine.log().lines().size()));
    return delivered ? 0 : 1;
}
