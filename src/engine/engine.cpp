#include "engine/engine.h"

#include "app/live_settings.h"
#include "link/bridge_channel.h"
#include "link/communication_log.h"
#include "app/local_time_text.h"
#include "devices/display_engine.h"
#include "devices/rxv_kt_engine.h"
#include "devices/rxvpico_engine.h"
#include "link/free_command_console.h"
#include "link/gateway_channels.h"
#include "link/gateway_session.h"
#include "link/links.h"
#include "link/link_facade.h"
#include "link/operation_runner.h"
#include "link/serial_channel.h"
#include "meters/meter_configuration.h"
#include "meters/meter_page.h"

namespace veltro {

Engine::Engine(const QString& iniFilePath, const QString& programFolder, OperatorInterface& operatorInterface,
               QObject* parent)
    : QObject(parent), m_operator(operatorInterface) {
    m_settings = std::make_unique<LiveSettings>(iniFilePath, programFolder, &operatorInterface);
    m_log = std::make_unique<CommunicationLog>();
    m_serial = std::make_unique<SerialChannel>(*m_log, *m_settings);
    m_bridge = std::make_unique<BridgeChannel>(*m_log, *m_settings);
    m_link = std::make_unique<LinkFacade>(*m_log, *m_settings, *m_serial, *m_bridge);
    m_gatewaySession = std::make_unique<GatewaySession>(*m_log);
    m_gatewayClient = std::make_unique<GatewayClientChannel>(*m_log, *m_settings, *m_gatewaySession);
    m_gatewayServer = std::make_unique<GatewayServerChannel>(*m_log, *m_settings, *m_gatewaySession);
    m_link->install(LinkMode::GatewayClient,
                    *NewGatewayClientLink(*m_gatewayClient, *m_gatewaySession, *m_log, *m_settings, m_link.get()));
    m_link->install(LinkMode::GatewayServer,
                    *NewGatewayServerLink(*m_gatewayServer, *m_gatewaySession, *m_log, *m_settings, m_link.get()));
    m_runner = std::make_unique<OperationRunner>(*m_link, *m_log, m_settings->responseWindow());
    connect(m_settings.get(), &LiveSettings::responseWindowChanged, m_runner.get(), &OperationRunner::setResponseWindow);
    const auto followFastResponse = [this] {
        const MainWindowState& state = m_settings->mainWindow();
        m_runner->setFastResponse({state.fastResponse, state.fastAllowance});
    };
    followFastResponse();
    connect(m_settings.get(), &LiveSettings::mainWindowChanged, m_runner.get(), followFastResponse);
    m_meters = std::make_unique<MeterPage>(*m_runner, *m_log, *m_settings, operatorInterface);
    m_console = std::make_unique<FreeCommandConsole>(*m_runner, *m_log);
    m_configuration = std::make_unique<MeterConfiguration>(*m_meters, *m_console);
    m_display = std::make_unique<DisplayEngine>(*m_runner, *m_log, *m_settings, operatorInterface, m_meters->table());
    m_rxvKt = std::make_unique<RxvKtEngine>(*m_runner, *m_log, *m_settings, m_meters->table());
    m_rxvpico = std::make_unique<RxvpicoEngine>(*m_runner, *m_log, *m_meters, *m_console);

    connect(m_gatewaySession.get(), &GatewaySession::greeted, this, &Engine::gatewayGreeted);
    m_keepAlive.setInterval(kKeepAliveMilliseconds);
    connect(&m_keepAlive, &QTimer::timeout, this, &Engine::keepAlivePing);
    // A scan or a search holds the gateway for minutes: the keep-alive ends with their start.
    connect(m_runner.get(), &OperationRunner::idleChanged, this, [this](bool idle) {
        const BusOperation kind = m_runner->currentKind();
        if (!idle && (kind == BusOperation::Scan || kind == BusOperation::SecondarySearch)) m_keepAlive.stop();
    });
}

void Engine::gatewayGreeted() {
    if (m_link->linkMode() != LinkMode::GatewayServer || !m_gatewayServer->gatewayConnected()) return;
    const Settings::Ethernet& ethernet = m_settings->settings().ethernet;
    if (!m_greetingStartsOperations) {
        if (ethernet.keepAlive) m_keepAlive.start();
        return;
    }
    if (ethernet.autoLdu) {
        m_display->readData();
    } else if (ethernet.autoMbus) {
        const MainWindowState& window = m_settings->mainWindow();
        m_meters->findPrimary(window.searchFrom, window.searchTo, true);
    } else if (ethernet.autoSecondary) {
        emit idFieldWritten(QStringLiteral("FFFFFFFF"));
        m_meters->findId("FFFFFFFF", true);
    } else if (ethernet.keepAlive) {
        m_keepAlive.start();
    }
}

void Engine::keepAlivePing() {
    // Never inside an operation's exchange, never into the void.
    if (!m_runner->idle() || m_link->linkMode() != LinkMode::GatewayServer || !m_gatewayServer->gatewayConnected()) return;
    m_log->append(QStringLiteral("Ping on ") + CurrentLongTimeText());
    m_link->sendReset(kKeepAliveAddress);
}

Engine::~Engine() { shutdown(); }

void Engine::shutdown() {
    m_keepAlive.stop();
    if (m_runner) m_runner->stopAll();
    if (m_gatewayServer) m_gatewayServer->close();
}

} // namespace veltro
