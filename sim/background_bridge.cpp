#include "sim/background_bridge.h"

#include <QMetaObject>

namespace veltro::sim {

std::unique_ptr<BackgroundBridge> BackgroundBridge::Start(std::unique_ptr<Bus> bus, const Options& options, QString& error) {
    if (!bus) {
        error = "no bus to serve";
        return nullptr;
    }
    std::unique_ptr<BackgroundBridge> self(new BackgroundBridge);
    self->m_bus = std::move(bus);
    if (options.role != Role::Bridge)
        self->m_gatewaySettings = std::make_unique<GatewaySettings>(gateway::NetworkNumber{0, 0, 0, 1}, options.role == Role::Gateway);
    self->m_thread.setObjectName("mbus-sim bridge");
    self->m_thread.start();
    self->m_context = new QObject;
    self->m_context->moveToThread(&self->m_thread);

    bool listening = false;
    BackgroundBridge* raw = self.get();
    // The server is made on the bridge thread, so its sockets and timers live there.
    QMetaObject::invokeMethod(
        self->m_context,
        [raw, &options, &listening, &error] {
            if (options.role == Role::GatewayCaller) {
                auto* caller = new GatewayCaller(*raw->m_bus, *raw->m_gatewaySettings, options.timing, options.lineBaud, {},
                                                 raw->m_context);
                if (options.log) QObject::connect(caller, &GatewayCaller::log, caller, options.log);
                caller->start(options.address, options.port);
                raw->m_port = options.port;
                raw->m_address = options.address;
                listening = true;
                return;
            }
            if (options.role == Role::Gateway) {
                auto* gateway = new GatewayServer(*raw->m_bus, *raw->m_gatewaySettings, options.timing, options.lineBaud, {},
                                                  raw->m_context);
                if (options.log) QObject::connect(gateway, &GatewayServer::log, gateway, options.log);
                listening = gateway->listen(options.address, options.port);
                if (!listening) {
                    error = "cannot listen on " + options.address.toString() + ": " + gateway->errorString();
                    return;
                }
                raw->m_port = gateway->port();
                raw->m_address = gateway->address();
                return;
            }
            auto* server = new BridgeServer(*raw->m_bus, options.timing, options.lineBaud, raw->m_context);
            if (options.log) QObject::connect(server, &BridgeServer::log, server, options.log);
            listening = server->listen(options.address, options.port);
            if (!listening) {
                error = "cannot listen on " + options.address.toString() + ":" + QString::number(options.port) + ": " +
                        server->errorString();
                return;
            }
            raw->m_port = server->port();
            raw->m_address = server->address();
        },
        Qt::BlockingQueuedConnection);
    if (!listening) return nullptr;  // the destructor stops the thread
    return self;
}

BackgroundBridge::~BackgroundBridge() {
    if (m_context) {
        QObject* context = m_context;
        // Children (the server and its sockets) go on their own thread, before the bus they use.
        QMetaObject::invokeMethod(context, [context] { delete context; }, Qt::BlockingQueuedConnection);
    }
    m_thread.quit();
    m_thread.wait();
}

} // namespace veltro::sim
