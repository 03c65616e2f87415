#include "devices/rxvpico_engine.h"

#include "link/communication_log.h"
#include "link/free_command_console.h"
#include "link/operation_runner.h"
#include "meters/meter_page.h"

namespace veltro {

RxvpicoEngine::RxvpicoEngine(OperationRunner& runner, CommunicationLog& log, MeterPage& meters,
                             FreeCommandConsole& console, QObject* parent)
    : QObject(parent), m_runner(runner), m_log(log), m_meters(meters), m_console(console),
      m_clock([] { return QDateTime::currentDateTime(); }) {}

RxvpicoEngine::~RxvpicoEngine() = default;

void RxvpicoEngine::setReceiver(const QString& picoId, const QString& address) {
    m_picoId = picoId;
    m_address = address;
}

bool RxvpicoEngine::add(const QString&, bool) { return false; }
bool RxvpicoEngine::remove(const QString&, bool) { return false; }
bool RxvpicoEngine::setFlag(const QString&, bool) { return false; }
bool RxvpicoEngine::setKey(const QString&, const QString&, bool) { return false; }
bool RxvpicoEngine::readKey(const QString&) { return false; }
bool RxvpicoEngine::saveFilter(PicoFilter, int, const QString&) { return false; }
bool RxvpicoEngine::readFilter(PicoFilter) { return false; }
bool RxvpicoEngine::getMeters() { return false; }
bool RxvpicoEngine::readStatus() { return false; }
bool RxvpicoEngine::setClock() { return false; }
bool RxvpicoEngine::sendTable() { return false; }
bool RxvpicoEngine::addFlaggedRows() { return false; }

} // namespace veltro
