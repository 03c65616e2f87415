#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <QObject>
#include <QString>

#include "link/operation.h"
#include "link/operation_shapes.h"

namespace veltro {

class FreeCommandConsole;
class MeterPage;

// The meter page's configuration group and the relay unit: each command checks its input and the
// flagged rows at the click, then sends exactly its telegram to exactly the meters chosen. Values are
// taken at the click; the targets are the flagged rows as they stood then.
class MeterConfiguration : public QObject {
    Q_OBJECT

public:
    MeterConfiguration(MeterPage& page, FreeCommandConsole& console, QObject* parent = nullptr);

    void reset();                                      // `Butt_resetClick`
    void setAddress(const QString& newAddress);        // `Butt_set_addressClick`
    void setIdentification(const QString& identification);  // `Butt_set_idClick`
    void setBaud(const QString& baud);                 // `Butt_set_baudClick`
    void setMedium(const QString& medium);             // `Butt_set_mediumClick`
    // `Butt_set_unitClick`; with "Relay" checked it is the relay unit's command with `relayValue`.
    void setUnit(const QString& unit, const QString& multiplier, const QString& relayValue);
    void setPulseWidth(const QString& width);          // `Butt_set_pulseClick`
    void setPulseValue(const QString& value);          // `Butt_setValueClick`
    void setCounterType(const QString& type);          // `Butt_counterTypeClick`
    // `BitBtn19Click`: value and unit into a relay unit.
    void relayUnit(const QString& unit, const QString& multiplier, const QString& value);
    // `Check_dorveksClick` "Relay".
    void setRelay(bool on) { m_relay = on; }
    bool relay() const { return m_relay; }

    // `BitBtn22Click`: starts automatic addressing from `firstAddress` (or the table's addresses), or
    // stops it while it runs.
    void autoAddress(int firstAddress, bool tableAddresses);

    static inline const QString kNothingToAutoAddress = QStringLiteral("Nothing to auto address...");

signals:
    // The counter-type command switched the console to "Hex" for the answer.
    void consoleModeChanged();

private:
    // The one flagged row, or the message for none or several (logged).
    std::optional<RowTarget> oneRow(std::string_view refusal);
    // Where a single-row command goes: 254 with broadcast, else the row's meter address (none for
    // "256", "254", text or an empty cell: nothing is sent).
    std::optional<std::uint8_t> addressOf(const RowTarget& target) const;
    // A configuration telegram to one target, judged like a read, with the read-back when asked.
    bool sendToOne(const RowTarget& target, Telegram telegram, bool readBack, SendKind kind = SendKind::Telegram);
    // The flagged rows one after another, each with the telegram `build` gives it.
    bool sendToRows(std::function<std::optional<Outgoing>(const RowTarget&)> build);
    void log(std::string_view line);

    MeterPage& m_page;
    FreeCommandConsole& m_console;
    bool m_relay = false;
};

// Automatic addressing (`Timer_auto_address`): every meter of the table, one after another, gets a
// primary address through its secondary address: selection, set-address to 253, one read, SND_NKE to
// 253, then the pause before the next row. It holds the bus from the first row to the last.
class AutoAddressing final : public Operation {
    Q_OBJECT

public:
    static constexpr int kAfterDeselectMilliseconds = 200;
    static constexpr int kNextRowMilliseconds = 1000;
    static constexpr int kHighestAddress = 249;

    AutoAddressing(MeterPage& page, std::vector<RowTarget> rows, int firstAddress, bool tableAddresses,
                   QObject* parent = nullptr);

signals:
    void rowStarted(int row);

protected:
    void start() override { beginRow(); }
    void judge(const Telegram& received) override;

private:
    void beginRow();
    void nextRow(int pauseMilliseconds);
    void deselect();

    MeterPage& m_page;
    std::vector<RowTarget> m_rows;
    bool m_tableAddresses;
    std::size_t m_index = 0;
    int m_nextAddress;
    enum class Step { Selecting, Configuring, Reading, Deselecting } m_step = Step::Selecting;
};

} // namespace veltro
