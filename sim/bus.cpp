#include "sim/bus.h"

#include <algorithm>

namespace veltro::sim {

Telegram OverlayAnswers(std::span<const Telegram> answers) {
    std::size_t longest = 0;
    for (const auto& a : answers) longest = std::max(longest, a.size());
    Telegram line;
    for (std::size_t i = 0; i < longest; ++i) {
        std::uint8_t character = 0xFF;  // an idle line is mark
        for (const auto& a : answers)
            if (i < a.size()) character &= a[i];
        line.append(character);
    }
    return line;
}

void Bus::add(std::unique_ptr<Device> device) {
    std::lock_guard lock(m_mutex);
    m_devices.push_back(std::move(device));
}

std::size_t Bus::size() const {
    std::lock_guard lock(m_mutex);
    return m_devices.size();
}

BusExchange Bus::transact(const MasterFrame& frame, int lineBaud) {
    std::lock_guard lock(m_mutex);
    BusExchange exchange;
    std::vector<Telegram> answers;
    for (const auto& device : m_devices) {
        auto response = device->hear(frame, lineBaud);
        exchange.notes.insert(exchange.notes.end(), response.notes.begin(), response.notes.end());
        if (response.answer && !response.answer->empty()) answers.push_back(std::move(*response.answer));
    }
    exchange.answeringDevices = answers.size();
    exchange.answer = OverlayAnswers(answers);
    return exchange;
}

} // namespace veltro::sim
