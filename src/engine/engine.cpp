#include "engine/engine.h"

#include "app/live_settings.h"
#include "link/bridge_channel.h"
#include "link/communication_log.h"
#include "link/free_command_console.h"
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
    m_runner = std::make_unique<OperationRunner>(*m_link, *m_log, m_settings->responseWindow());
    connect(m_settings.get(), &LiveSettings::responseWindowChanged, m_runner.get(), &OperationRunner::setResponseWindow);
    m_meters = std::make_unique<MeterPage>(*m_runner, *m_log, *m_settings, operatorInterface);
    m_console = std::make_unique<FreeCommandConsole>(*m_runner, *m_log);
    m_configuration = std::make_unique<MeterConfiguration>(*m_meters, *m_console);
}

Engine::~Engine() { shutdown(); }

void Engine::shutdown() {
    if (m_runner) m_runner->stopAll();
}

} // namespace veltro
