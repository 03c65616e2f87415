#include "app/engine.h"

#include "app/live_settings.h"
#include "link/bridge_channel.h"
#include "link/communication_log.h"
#include "link/free_command_console.h"
#include "link/serial_channel.h"
#include "mbus/link_facade.h"
#include "meters/meter_engine.h"

namespace veltro {

Engine::Engine(const QString& iniFilePath, const QString& programFolder, OperatorInterface& operatorInterface,
               QObject* parent)
    : QObject(parent), m_operator(operatorInterface) {
    m_settings = std::make_unique<LiveSettings>(iniFilePath, programFolder, &operatorInterface);
    m_log = std::make_unique<CommunicationLog>();
    m_serial = std::make_unique<SerialChannel>(*m_log, *m_settings);
    m_bridge = std::make_unique<BridgeChannel>(*m_log, *m_settings);
    m_link = std::make_unique<LinkFacade>(*m_log, *m_settings, *m_serial, *m_bridge);
    m_meters = std::make_unique<MeterEngine>(*m_link, m_bus, *m_log, *m_settings, operatorInterface);

    FreeCommandConsole::Link consoleLink;
    consoleLink.acquire = [this] {
        if (!m_bus.claim(BusOperation::Console)) {
            m_log->append(BusArbiter::kBusyMessage);
            return false;
        }
        if (m_link->acquireLink()) return true;
        m_bus.release();
        return false;
    };
    consoleLink.send = [this](const Telegram& bytes, ConsoleMode) { m_link->writeRaw(bytes); };
    consoleLink.collect = [this]() -> std::optional<Telegram> {
        Collected collected = m_link->collectReceived(CollectTexts::Cycle());
        if (collected.wait) return std::nullopt;
        return std::move(collected.bytes);
    };
    consoleLink.emptyReceiveBuffers = [this] { m_link->emptyReceiveBuffers(); };
    consoleLink.release = [this] {
        m_link->releaseLink();
        if (m_bus.current() == BusOperation::Console) m_bus.release();
    };
    m_console = std::make_unique<FreeCommandConsole>(*m_log, std::move(consoleLink));
    m_console->setResponseWindow(m_settings->responseWindow());
    connect(m_settings.get(), &LiveSettings::responseWindowChanged, this, &Engine::setResponseWindow);
}

Engine::~Engine() = default;

void Engine::setResponseWindow(int milliseconds) {
    m_meters->setResponseWindow(milliseconds);
    m_console->setResponseWindow(milliseconds);
}

} // namespace veltro
