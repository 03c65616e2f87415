// mbus-sim: wired M-Bus meters on a virtual bus, reachable as a TCP bridge, as a pseudo-terminal and
// through a simulated M-Bus/Ethernet gateway.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QHostInfo>
#include <QSocketNotifier>

#include "sim/bridge_server.h"
#include "sim/default_bus.h"
#include "sim/gateway.h"
#include "sim/gateway_settings_port.h"
#include "sim/generated_bus.h"
#include "sim/meters_file.h"
#include "sim/options.h"
#include "sim/pty_port.h"

namespace {

using namespace veltro::sim;

int g_signalPipe[2] = {-1, -1};

void OnTerminationSignal(int) {
    const char byte = 1;
    // Only async-signal-safe work here: the event loop reads the pipe and quits.
    [[maybe_unused]] const auto written = ::write(g_signalPipe[1], &byte, 1);
}

bool InstallSignalHandlers(QString& error) {
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        error = "cannot create the signal pipe";
        return false;
    }
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    if (::sigaction(SIGINT, &action, nullptr) != 0 || ::sigaction(SIGTERM, &action, nullptr) != 0) {
        error = "cannot install the signal handlers";
        return false;
    }
    return true;
}

int Fail(const QString& message, int code = 1) {
    std::cerr << "mbus-sim: " << message.toStdString() << "\n";
    return code;
}

using JournalFile = std::unique_ptr<std::FILE, decltype(&std::fclose)>;

// Each entry is flushed at once, so a test or `tail -f` sees a frame as soon as the bus has heard it. A
// journal that cannot be written ends the program: a journal with gaps would mislead whoever reads it.
void WriteJournalTo(Bus& bus, std::FILE* file, const std::string& name) {
    bus.setJournalListener([file, name, failed = false](const JournalEntry& entry) mutable {
        if (failed) return;
        const std::string line = JournalJsonLine(entry) + "\n";
        if (std::fwrite(line.data(), 1, line.size(), file) != line.size() || std::fflush(file) != 0) {
            const int reason = errno;
            failed = true;
            std::cerr << "mbus-sim: cannot write the journal " << name << ": " << std::strerror(reason) << "\n";
            QCoreApplication::exit(1);
        }
    });
}

std::optional<QHostAddress> ResolveHost(const QString& host) {
    QHostAddress address;
    if (address.setAddress(host)) return address;
    if (host == "localhost") return QHostAddress(QHostAddress::LocalHost);
    const QHostInfo info = QHostInfo::fromName(host);
    if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) return std::nullopt;
    return info.addresses().front();
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const auto parsed = ParseSimulatorOptions(arguments);
    if (!parsed.options) {
        std::cerr << "mbus-sim: " << parsed.error << "\n\n" << kSimulatorUsage;
        return 2;
    }
    const SimulatorOptions& options = *parsed.options;
    if (options.help) {
        std::cout << kSimulatorUsage;
        return 0;
    }
    if (!options.bridge && !options.pty && !options.gateway && !options.gatewayConnect) {
        std::cerr << kSimulatorUsage;
        return 2;
    }

    JournalFile journal(nullptr, &std::fclose);  // before the bus, so it outlives the bus's listener
    std::unique_ptr<Bus> bus;
    {
        BusDescription description;
        QString error;
        if (options.generateCount > 0) {
            description.meters = GeneratedMeterStates(options.generateCount, options.generateSeed);
        } else if (options.metersFile.empty()) {
            description = {DefaultMeterStates(), DefaultDisplayConfig(), DefaultRxvKtConfig(), DefaultRxvPicoConfig()};
        } else {
            auto loaded = LoadBusFile(QString::fromStdString(options.metersFile), error);
            if (!loaded) return Fail(error);
            description = std::move(*loaded);
        }
        if (options.noDisplay) description.display.reset();
        if (options.noReceiver) description.receiver.reset();
        if (options.noRxvPico) description.rxvpico.reset();
        if (options.display.any()) {
            if (!description.display) return Fail("the --display-* options need a display: the meters file has no \"display\"", 2);
            options.display.applyTo(*description.display);
        }
        bus = MakeBus(std::move(description), error);
        if (!bus) return Fail(error);
        bus->setLineFaults(options.faults);
    }

    if (!options.journalFile.empty()) {
        journal.reset(std::fopen(options.journalFile.c_str(), "we"));
        const int reason = errno;
        if (!journal)
            return Fail("cannot open the journal " + QString::fromStdString(options.journalFile) + ": " +
                        QString::fromLocal8Bit(std::strerror(reason)));
        WriteJournalTo(*bus, journal.get(), options.journalFile);
    }

    QString error;
    if (!InstallSignalHandlers(error)) return Fail(error);
    QSocketNotifier signalNotifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [] {
        char byte;
        while (::read(g_signalPipe[0], &byte, 1) > 0) {
        }
        QCoreApplication::quit();
    });

    LineTiming timing;
    timing.answerDelay = std::chrono::milliseconds{options.latencyMs};
    timing.wireSpeed = options.wireSpeed;

    QElapsedTimer clock;
    clock.start();
    const auto logLine = [&clock](const QString& line) {
        std::fprintf(stderr, "[%9.3f] %s\n", static_cast<double>(clock.elapsed()) / 1000.0, line.toLocal8Bit().constData());
    };

    std::unique_ptr<BridgeServer> bridge;
    if (options.bridge) {
        const auto address = ResolveHost(QString::fromStdString(options.bridgeHost));
        if (!address) return Fail("cannot resolve the bridge host " + QString::fromStdString(options.bridgeHost));
        bridge = std::make_unique<BridgeServer>(*bus, timing, options.baud);
        if (options.verbose) QObject::connect(bridge.get(), &BridgeServer::log, bridge.get(), logLine);
        if (!bridge->listen(*address, options.bridgePort))
            return Fail("cannot listen on " + address->toString() + ":" + QString::number(options.bridgePort) + ": " +
                        bridge->errorString());
        std::cout << "bridge " << bridge->address().toString().toStdString() << ":" << bridge->port() << std::endl;
    }

    std::unique_ptr<PtyPort> pty;
    if (options.pty) {
        pty = std::make_unique<PtyPort>(*bus, timing);
        if (options.verbose) QObject::connect(pty.get(), &PtyPort::log, pty.get(), logLine);
        if (!pty->open(QString::fromStdString(options.ptyLink))) return Fail("pseudo-terminal: " + pty->errorString());
        std::cout << "pty " << pty->slavePath().toStdString() << std::endl;
    }

    // The settings outlive the gateway and its settings port, which both use them.
    GatewaySettings gatewaySettings(options.network, options.gateway);
    const GatewayPacing pacing{std::chrono::milliseconds{options.gatewayDelayMs}, options.gatewayChunk};
    std::unique_ptr<GatewayServer> gatewayServer;
    std::unique_ptr<GatewayCaller> gatewayCaller;
    if (options.gateway || options.gatewayConnect) {
        const auto address = ResolveHost(QString::fromStdString(options.gatewayHost));
        if (!address) return Fail("cannot resolve the gateway host " + QString::fromStdString(options.gatewayHost));
        if (options.gateway) {
            gatewayServer = std::make_unique<GatewayServer>(*bus, gatewaySettings, timing, options.baud, pacing);
            if (options.verbose) QObject::connect(gatewayServer.get(), &GatewayServer::log, gatewayServer.get(), logLine);
            if (!gatewayServer->listen(*address, options.gatewayPort))
                return Fail("cannot listen on " + address->toString() + ":" + QString::number(options.gatewayPort) + ": " +
                            gatewayServer->errorString());
            std::cout << "gateway " << gatewayServer->address().toString().toStdString() << ":" << gatewayServer->port()
                      << std::endl;
        } else {
            gatewayCaller = std::make_unique<GatewayCaller>(*bus, gatewaySettings, timing, options.baud, pacing);
            if (options.verbose) QObject::connect(gatewayCaller.get(), &GatewayCaller::log, gatewayCaller.get(), logLine);
            gatewayCaller->start(*address, options.gatewayPort);
            std::cout << "gateway-connect " << address->toString().toStdString() << ":" << options.gatewayPort << std::endl;
        }
    }

    std::unique_ptr<GatewaySettingsPort> settingsPort;
    if (options.gatewayPty) {
        settingsPort = std::make_unique<GatewaySettingsPort>(gatewaySettings);
        if (options.verbose) QObject::connect(settingsPort.get(), &GatewaySettingsPort::log, settingsPort.get(), logLine);
        if (!settingsPort->open(QString::fromStdString(options.gatewayPtyLink)))
            return Fail("gateway settings pseudo-terminal: " + settingsPort->errorString());
        std::cout << "gateway-pty " << settingsPort->slavePath().toStdString() << std::endl;
    }

    if (options.verbose) {
        bus->forEachDevice([&](const Device& device) { logLine("on the bus: " + QString::fromStdString(device.label())); });
    }

    const int result = app.exec();
    // The transports go before the bus they serve; the pseudo-terminals remove their links.
    settingsPort.reset();
    gatewayCaller.reset();
    gatewayServer.reset();
    pty.reset();
    bridge.reset();
    return result;
}
