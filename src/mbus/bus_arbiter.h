#pragma once

#include <QString>

namespace veltro {

// Which operation holds the bus.
enum class BusOperation { None, SingleRead, Scan, ReadAll, SelectedRows, Console, SecondarySearch };

// One operation holds the bus at a time: interleaved telegrams of two operations lose readings and
// close the port under a running cycle. A command that would start a second one is refused with a log
// line; the stop commands stay usable.
class BusArbiter {
public:
    static inline const QString kBusyMessage =
        QStringLiteral("Another operation is using the bus, wait for it to end or stop it...");

    BusOperation current() const { return m_current; }
    bool idle() const { return m_current == BusOperation::None; }
    // True when the bus was free and is now held by `operation`.
    bool claim(BusOperation operation) {
        if (!idle()) return false;
        m_current = operation;
        return true;
    }
    void release() { m_current = BusOperation::None; }

private:
    BusOperation m_current = BusOperation::None;
};

} // namespace veltro
