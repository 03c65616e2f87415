#include "mqtt_publisher.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#include <mosquitto.h>

namespace veltro::cli {
namespace {

constexpr int kQos = 1;
constexpr int kLoopMilliseconds = 200;
constexpr std::chrono::seconds kFirstPause{1};
constexpr std::chrono::seconds kLongestPause{60};

// CONNACK codes the broker will give again to the same request: trying again cannot help.
bool RefusedForGood(int code) { return code == 1 || code == 2 || code == 4 || code == 5; }

std::string ErrorText(int code, int savedErrno) {
    if (code == MOSQ_ERR_ERRNO) return std::strerror(savedErrno);
    return mosquitto_strerror(code);
}

} // namespace

MqttPublisher::MqttPublisher(MqttOptions options, Log log) : m_options(std::move(options)), m_log(std::move(log)) {
    mosquitto_lib_init();
}

MqttPublisher::~MqttPublisher() {
    if (m_thread.joinable()) {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_changed.notify_all();
        mosquitto_disconnect(m_client);
        m_thread.join();
    }
    if (m_client) mosquitto_destroy(m_client);
    mosquitto_lib_cleanup();
}

std::string MqttPublisher::endpoint() const { return m_options.host + ":" + std::to_string(m_options.port); }

bool MqttPublisher::start(std::string& error) {
    m_client = mosquitto_new(m_options.clientId.empty() ? nullptr : m_options.clientId.c_str(), true, this);
    if (!m_client) {
        error = "cannot make an MQTT client: " + std::string(std::strerror(errno));
        return false;
    }
    mosquitto_int_option(m_client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_threaded_set(m_client, true);
    if (!m_options.user.empty() || m_options.password) {
        const int rc = mosquitto_username_pw_set(m_client, m_options.user.empty() ? nullptr : m_options.user.c_str(),
                                                 m_options.password ? m_options.password->c_str() : nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            error = "the MQTT user or password cannot be used: " + std::string(mosquitto_strerror(rc));
            return false;
        }
    }
    const std::string statusTopic = StatusTopic(m_options.prefix);
    int rc = mosquitto_will_set(m_client, statusTopic.c_str(), static_cast<int>(kOfflinePayload.size()),
                                kOfflinePayload.data(), kQos, true);
    if (rc != MOSQ_ERR_SUCCESS) {
        error = "the topic " + statusTopic + " cannot be used: " + mosquitto_strerror(rc);
        return false;
    }
    if (!m_options.caFile.empty()) {
        // The library would say only "invalid arguments" for a file it cannot read.
        if (!std::ifstream(m_options.caFile)) {
            error = "cannot read the CA file " + m_options.caFile + ": " + std::strerror(errno);
            return false;
        }
        rc = mosquitto_tls_set(m_client, m_options.caFile.c_str(), nullptr, nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            error = "cannot use the CA file " + m_options.caFile + ": " + mosquitto_strerror(rc);
            return false;
        }
    }
    mosquitto_connect_callback_set(m_client, [](mosquitto*, void* self, int code) {
        static_cast<MqttPublisher*>(self)->onConnect(code);
    });
    mosquitto_disconnect_callback_set(m_client, [](mosquitto*, void* self, int code) {
        static_cast<MqttPublisher*>(self)->onDisconnect(code);
    });
    mosquitto_publish_callback_set(m_client, [](mosquitto*, void* self, int mid) {
        static_cast<MqttPublisher*>(self)->onPublish(mid);
    });
    m_thread = std::thread(&MqttPublisher::run, this);
    return true;
}

void MqttPublisher::run() {
    std::chrono::seconds pause = kFirstPause;
    bool first = true;
    std::string lastFailure;
    for (;;) {
        errno = 0;
        int rc = first ? mosquitto_connect_async(m_client, m_options.host.c_str(), m_options.port, m_options.keepAliveSeconds)
                       : mosquitto_reconnect_async(m_client);
        int savedErrno = errno;
        first = false;
        bool connected = false;
        while (rc == MOSQ_ERR_SUCCESS) {
            errno = 0;
            rc = mosquitto_loop(m_client, kLoopMilliseconds, 1);
            savedErrno = errno;
            std::lock_guard lock(m_mutex);
            connected = connected || m_connected;
            if (m_stopping && !m_connected) break;
        }

        std::unique_lock lock(m_mutex);
        // Said before the first attempt counts as over, so that a start waiting for it sees the refusal.
        if (rc == MOSQ_ERR_TLS && !m_stopping && m_refusal.empty())
            m_refusal = "the TLS handshake with the MQTT broker " + endpoint() + " failed (check --mqtt-tls and the host name)";
        m_answered = true;
        m_changed.notify_all();
        if (m_stopping || !m_refusal.empty()) return;
        if (connected) pause = kFirstPause;
        const std::string failure = ErrorText(rc, savedErrno);
        if (!connected && failure != lastFailure)
            m_log("MQTT: cannot reach the broker " + endpoint() + " (" + failure + "); trying again, at first after " +
                  std::to_string(pause.count()) + " s");
        lastFailure = connected ? std::string() : failure;
        if (m_changed.wait_for(lock, pause, [this] { return m_stopping; })) return;
        pause = std::min(pause * 2, kLongestPause);
    }
}

void MqttPublisher::onConnect(int code) {
    std::lock_guard lock(m_mutex);
    m_answered = true;
    if (code != 0) {
        const std::string reason = mosquitto_connack_string(code);
        if (RefusedForGood(code)) {
            m_refusal = "the MQTT broker " + endpoint() + " refused the connection: " + reason +
                        (code == 4 || code == 5 ? " (check --mqtt-user and the password)" : "");
            mosquitto_disconnect(m_client);
        } else {
            m_log("MQTT: the broker " + endpoint() + " refused the connection for now: " + reason);
        }
        m_changed.notify_all();
        return;
    }
    m_connected = true;
    m_log("MQTT: connected to " + endpoint());
    sendLocked({StatusTopic(m_options.prefix), std::string(kOnlinePayload), true});
    flushLocked();
    m_changed.notify_all();
}

void MqttPublisher::onDisconnect(int code) {
    std::lock_guard lock(m_mutex);
    const bool was = m_connected;
    m_connected = false;
    if (was && code != 0 && !m_stopping)
        m_log("MQTT: lost the broker " + endpoint() + "; readings are kept (up to " +
              std::to_string(m_options.queueLimit) + ") until it is back");
    m_changed.notify_all();
}

void MqttPublisher::onPublish(int mid) {
    std::lock_guard lock(m_mutex);
    m_inflight.erase(mid);
    m_changed.notify_all();
}

void MqttPublisher::sendLocked(const BrokerMessage& message) {
    int mid = 0;
    const int rc = mosquitto_publish(m_client, &mid, message.topic.c_str(), static_cast<int>(message.payload.size()),
                                     message.payload.data(), kQos, message.retain);
    // A QoS 1 message the library took is sent again by it after a reconnect, also when the connection
    // went just now (NO_CONN); it is acknowledged by its id then.
    if (rc == MOSQ_ERR_SUCCESS || (rc == MOSQ_ERR_NO_CONN && mid != 0)) {
        m_inflight.insert(mid);
        return;
    }
    m_log("MQTT: cannot publish to " + message.topic + ": " + mosquitto_strerror(rc));
}

void MqttPublisher::flushLocked() {
    if (!m_queue.empty() || m_droppedThisOutage > 0) {
        std::string line = "MQTT: publishing " + std::to_string(m_queue.size()) + " message(s) kept while the broker was away";
        if (m_droppedThisOutage > 0) line += "; " + std::to_string(m_droppedThisOutage) + " older one(s) were dropped, the queue being full";
        m_log(line);
    }
    while (!m_queue.empty()) {
        sendLocked(m_queue.front());
        m_queue.pop_front();
    }
    m_droppedThisOutage = 0;
}

void MqttPublisher::publish(BrokerMessage message) {
    std::lock_guard lock(m_mutex);
    if (m_connected) {
        sendLocked(message);
        return;
    }
    if (m_queue.size() >= m_options.queueLimit) {
        if (m_droppedThisOutage++ == 0)
            m_log("MQTT: the queue is full (" + std::to_string(m_options.queueLimit) +
                  " messages); the oldest are dropped until the broker is back");
        if (m_queue.empty()) return;  // a queue of none: this one is the oldest
        m_queue.pop_front();
    }
    m_queue.push_back(std::move(message));
}

MqttPublisher::Connection MqttPublisher::awaitConnection(std::chrono::milliseconds limit) {
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, limit, [this] { return m_answered || m_connected || !m_refusal.empty(); });
    if (!m_refusal.empty()) return Connection::Refused;
    return m_connected ? Connection::Connected : Connection::Pending;
}

std::string MqttPublisher::refusal() const {
    std::lock_guard lock(m_mutex);
    return m_refusal;
}

bool MqttPublisher::finish(std::chrono::milliseconds limit) {
    if (!m_thread.joinable()) return true;
    std::size_t left = 0;
    std::size_t dropped = 0;
    {
        std::unique_lock lock(m_mutex);
        if (m_connected) sendLocked({StatusTopic(m_options.prefix), std::string(kOfflinePayload), true});
        m_changed.wait_for(lock, limit, [this] { return settledLocked() || !m_connected; });
        left = m_queue.size() + m_inflight.size();
        dropped = m_droppedThisOutage;
        m_stopping = true;
    }
    m_changed.notify_all();
    mosquitto_disconnect(m_client);
    m_thread.join();
    if (left > 0 || dropped > 0)
        m_log("MQTT: " + std::to_string(left) + " message(s) were not delivered and " + std::to_string(dropped) +
              " dropped: the broker " + endpoint() + " is away");
    return left == 0 && dropped == 0;
}

} // namespace veltro::cli
