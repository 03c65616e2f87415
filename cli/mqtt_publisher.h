#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>

#include "app/reading_message.h"

struct mosquitto;

namespace veltro::cli {

struct MqttOptions {
    std::string host;
    int port = 1883;
    std::string user;
    std::optional<std::string> password;
    std::string caFile;  // TLS with this CA when not empty
    std::string prefix = std::string(kDefaultTopicPrefix);
    std::string clientId;
    std::size_t queueLimit = 10000;
    int keepAliveSeconds = 60;
};

// A client of a message broker on a thread of its own: connects, says "online" on PREFIX/status (the
// last will says "offline"), publishes with QoS 1, and reconnects with a growing pause after a loss.
// Messages published while the broker is away wait in a bounded queue, the oldest dropped first.
// A refusal the broker will repeat (credentials, authorisation, TLS) ends the attempts.
class MqttPublisher {
public:
    using Log = std::function<void(const std::string& line)>;  // called from either thread

    MqttPublisher(MqttOptions options, Log log);
    ~MqttPublisher();
    MqttPublisher(const MqttPublisher&) = delete;
    MqttPublisher& operator=(const MqttPublisher&) = delete;

    // Sets the client up and starts connecting. False with the reason when it cannot even try (a CA
    // file that cannot be used).
    bool start(std::string& error);

    enum class Connection { Pending, Connected, Refused };
    // Waits up to `limit` for the first answer of the broker.
    Connection awaitConnection(std::chrono::milliseconds limit);
    // Why the broker refused for good; empty while it has not.
    std::string refusal() const;

    void publish(BrokerMessage message);

    // Says "offline", waits up to `limit` for every queued message to be acknowledged, disconnects.
    // False when messages were left unacknowledged or dropped since the broker went away.
    bool finish(std::chrono::milliseconds limit);

private:
    void run();
    bool connectOnce(bool first);
    void onConnect(int code);
    void onDisconnect(int code);
    void onPublish(int mid);
    // With m_mutex held.
    void sendLocked(const BrokerMessage& message);
    void flushLocked();
    bool settledLocked() const { return m_queue.empty() && m_inflight.empty(); }
    std::string endpoint() const;

    MqttOptions m_options;
    Log m_log;
    mosquitto* m_client = nullptr;
    std::thread m_thread;

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_connected = false;
    bool m_everConnected = false;
    bool m_answered = false;  // the broker answered a connect, either way
    bool m_stopping = false;
    std::string m_refusal;
    std::deque<BrokerMessage> m_queue;
    std::set<int> m_inflight;
    std::size_t m_droppedThisOutage = 0;
};

} // namespace veltro::cli
