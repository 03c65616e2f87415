#pragma once

#include <memory>

#include <QObject>
#include <QString>
#include <QTimer>

namespace veltro {

class BridgeChannel;
class CommunicationLog;
class DisplayEngine;
class RxvKtEngine;
class RxvpicoEngine;
class FreeCommandConsole;
class GatewayClientChannel;
class GatewayServerChannel;
class GatewaySession;
class LinkFacade;
class LiveSettings;
class MeterConfiguration;
class MeterPage;
class OperationRunner;
class OperatorInterface;
class SerialChannel;

// Everything behind the windows, put together once: the live settings, the communication log, the
// links behind their facade, the operation runner and the pages' engines. The desktop program, the
// command-line tool and the end-to-end tests each build one and drive it.
class Engine : public QObject {
    Q_OBJECT

public:
    Engine(const QString& iniFilePath, const QString& programFolder, OperatorInterface& operatorInterface,
           QObject* parent = nullptr);
    ~Engine() override;

    LiveSettings& settings() { return *m_settings; }
    CommunicationLog& log() { return *m_log; }
    SerialChannel& serial() { return *m_serial; }
    BridgeChannel& bridge() { return *m_bridge; }
    LinkFacade& link() { return *m_link; }
    OperationRunner& runner() { return *m_runner; }
    MeterPage& meters() { return *m_meters; }
    FreeCommandConsole& console() { return *m_console; }
    MeterConfiguration& configuration() { return *m_configuration; }
    DisplayEngine& display() { return *m_display; }
    RxvKtEngine& rxvKt() { return *m_rxvKt; }
    RxvpicoEngine& rxvpico() { return *m_rxvpico; }
    GatewaySession& gatewaySession() { return *m_gatewaySession; }
    GatewayClientChannel& gatewayClient() { return *m_gatewayClient; }
    GatewayServerChannel& gatewayServer() { return *m_gatewayServer; }
    // `Timer_keepAlive`: started by a greeting when "Keep alive" is set.
    QTimer& keepAlive() { return m_keepAlive; }
    // The command-line tool starts nothing on a greeting but the keep-alive.
    void setGreetingStartsOperations(bool on) { m_greetingStartsOperations = on; }
    static constexpr int kKeepAliveMilliseconds = 10000;
    static constexpr int kKeepAliveAddress = 249;
    OperatorInterface& operatorInterface() { return m_operator; }

    // The program closes: every operation stops and its link is released.
    void shutdown();

signals:
    // A greeting started the secondary search: the ID field shows "FFFFFFFF".
    void idFieldWritten(const QString& text);

private:
    // The first frame of a gateway connected to the listening socket: at most one action.
    void gatewayGreeted();
    void keepAlivePing();

private:
    OperatorInterface& m_operator;
    std::unique_ptr<LiveSettings> m_settings;
    std::unique_ptr<CommunicationLog> m_log;
    std::unique_ptr<SerialChannel> m_serial;
    std::unique_ptr<BridgeChannel> m_bridge;
    std::unique_ptr<LinkFacade> m_link;
    std::unique_ptr<OperationRunner> m_runner;
    std::unique_ptr<MeterPage> m_meters;
    std::unique_ptr<FreeCommandConsole> m_console;
    std::unique_ptr<MeterConfiguration> m_configuration;
    std::unique_ptr<DisplayEngine> m_display;
    std::unique_ptr<RxvKtEngine> m_rxvKt;
    std::unique_ptr<RxvpicoEngine> m_rxvpico;
    std::unique_ptr<GatewaySession> m_gatewaySession;
    std::unique_ptr<GatewayClientChannel> m_gatewayClient;
    std::unique_ptr<GatewayServerChannel> m_gatewayServer;
    QTimer m_keepAlive;
    bool m_greetingStartsOperations = true;
};

} // namespace veltro
