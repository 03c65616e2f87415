#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>

#include "devices/rxvpico.h"
#include "link/operation.h"

namespace veltro {

class CommunicationLog;
class FreeCommandConsole;
class MeterPage;
class OperationRunner;

// The engine side of the RXVpico groups of the main window ("   Global RXVpico   ", "   RXVpico single
// meter settings   ") and of the meter table's receiver entries. Every command first runs the receiver
// check on the receiver fields, then is one operation of kind `Receiver` on the runner, refused while
// another holds the bus. Meter IDs, keys and the IDs the receiver lists live in the meter table.
class RxvpicoEngine : public QObject {
    Q_OBJECT

public:
    static inline const QString kDeleteAllTitle = QStringLiteral("Exit Confirmation");
    static inline const QString kDeleteAllQuestion = QStringLiteral("Are you sure you want to delete ALL?");
    static inline const QString kNothingSelected = QStringLiteral("Nothing selected from the table...");
    static inline const QString kNoChannel = QStringLiteral("No channel for communication...");

    RxvpicoEngine(OperationRunner& runner, CommunicationLog& log, MeterPage& meters, FreeCommandConsole& console,
                  QObject* parent = nullptr);
    ~RxvpicoEngine() override;

    // `Edit_picoID` and `Edit_rxvAddress` as typed; read at each command.
    void setReceiver(const QString& picoId, const QString& address);
    const QString& picoId() const { return m_picoId; }
    const QString& receiverAddress() const { return m_address; }
    // The clock of the date/time command.
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }

    // ---- single meter settings; `meterId` is `Edit_IDpico`, `all` is `Check_deleteAll`
    bool add(const QString& meterId, bool all);           // `BitBtn42Click`
    bool remove(const QString& meterId, bool all);        // `BitBtn43Click`; "all" asks first
    bool setFlag(const QString& item, bool on);           // `BitBtn44Click`
    bool setKey(const QString& meterId, const QString& key, bool all);  // `Butt_setAESClick`
    bool readKey(const QString& meterId);                 // `Butt_readAESClick`
    // `BitBtn45Click`, `BitBtn46Click`, `BitBtn47Click`: one filter position.
    bool saveFilter(PicoFilter filter, int position, const QString& value);
    // `BitBtn48Click`, `BitBtn49Click`, `BitBtn50Click`: a filter table into `filters()`.
    bool readFilter(PicoFilter filter);

    // ---- the whole receiver
    bool getMeters();   // `BitBtn51Click` "Get meters"
    bool readStatus();  // `BitBtn52Click` "Read status of RXV"
    bool setClock();    // `BitBtn53Click` "Set"
    // `BitBtn54Click` "Send table": the whole list deleted (after the question), then every table ID
    // added in turn.
    bool sendTable();

    // ---- the meter table's entries
    bool addFlaggedRows();  // `AddIDinRXVpico1Click`

    // `Grid_filters`: the last filter table read, positions 1..8.
    const std::array<std::string, kPicoFilterPositions>& filters() const { return m_filters; }
    std::optional<PicoFilter> filtersShown() const { return m_filtersShown; }
    // The last status decoded, the last key read.
    const std::optional<PicoStatus>& lastStatus() const { return m_lastStatus; }
    const std::optional<QString>& lastKey() const { return m_lastKey; }

signals:
    // `Check_deleteAll` follows "Send table" (ticked) and the menu entries (unticked).
    void allChanged(bool all);
    // The console's mode became hex (a key is sent through the console's answer window).
    void consoleHexChosen();
    // A key reply: `Edit_aesKey` shows it.
    void keyRead(const QString& key);
    void filtersChanged();
    void statusRead();
    // A command went out and its window ended (empty `answer`: silence).
    void exchanged(const QByteArray& command, const QByteArray& answer);

private:
    class Exchange;
    class ListReading;
    class RowSequence;
    class AddStrategy;

    // What a command's reply is taken for; see `Exchange`.
    enum class Reply { Status, Key, Filter, Acknowledge, Console };

    // The receiver check; the address when it passed, its line logged when not.
    std::optional<std::uint8_t> checkedReceiver();
    int retries() const;
    bool startExchange(const PicoCommand& command, Reply reply, std::uint8_t address, const QString& meterId = {},
                       const QString& linkFailedLine = {});
    bool startRowSequence(std::uint8_t address, bool keys, std::optional<Telegram> deleteFirst);
    // The status lines, or "Not a RXVpico status telegram..."; whether it was a status.
    bool decodeStatus(const Telegram& reply);
    void keyReceived(const QString& meterId, const QString& key);
    PicoClock clockNow() const;

    OperationRunner& m_runner;
    CommunicationLog& m_log;
    MeterPage& m_meters;
    FreeCommandConsole& m_console;
    QString m_picoId = QStringLiteral("00000001");
    QString m_address = QStringLiteral("1");
    std::array<std::string, kPicoFilterPositions> m_filters;
    std::optional<PicoFilter> m_filtersShown;
    std::optional<PicoStatus> m_lastStatus;
    std::optional<QString> m_lastKey;
    std::function<QDateTime()> m_clock;
};

} // namespace veltro
