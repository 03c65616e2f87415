#include "devices/gateway_settings_sender.h"

#include <QDateTime>

#include "app/live_settings.h"
#include "link/communication_log.h"
#include "link/free_command_console.h"
#include "link/operation_runner.h"

namespace veltro {

GatewayLinkModes GatewayModes(const Settings& settings) {
    return {settings.misc.useEthernet, settings.misc.useVodud, settings.misc.useNlanServ};
}

GatewayClock GatewayClockAt(const QDateTime& time) {
    const QDate date = time.date();
    const QTime clock = time.time();
    return {date.year(), date.month(), date.day(), clock.hour(), clock.minute()};
}

GatewaySettingsSender::GatewaySettingsSender(LiveSettings& settings, CommunicationLog& log, OperationRunner& runner,
                                             FreeCommandConsole& console)
    : m_settings(settings), m_log(log), m_runner(runner), m_console(console) {}

GatewayLinkModes GatewaySettingsSender::modes() const { return GatewayModes(m_settings.settings()); }

GatewaySend GatewaySettingsSender::set(std::string_view name, const std::vector<std::string>& values) const {
    return send(BuildGatewaySetting(name, values, GatewayClockAt(QDateTime::currentDateTime()), modes()));
}

GatewaySend GatewaySettingsSender::get(std::string_view name) const { return send(BuildGatewayQuery(name, modes())); }

GatewaySend GatewaySettingsSender::send(GatewayCommandResult built) const {
    if (!built.command) {
        if (built.refusal == GatewayRefusal::Logged) m_log.append(QString::fromStdString(built.line));
        return {std::move(built), false};
    }
    // The lines announce a write; a busy bus would make them untrue.
    if (m_runner.refuseWhenBusy()) return {std::move(built), false};
    for (const std::string& line : built.command->log) m_log.append(QString::fromStdString(line));
    const bool started = m_console.sendToSerialPort(built.command->text, built.command->row->startsReplyCollector);
    return {std::move(built), started};
}

} // namespace veltro
