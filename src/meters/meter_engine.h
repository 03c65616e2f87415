#pragma once

#include <functional>
#include <optional>

#include <QElapsedTimer>
#include <QLocale>
#include <QObject>
#include <QString>
#include <QTimer>

#include "decode/meter_response.h"
#include "meters/detailed_report.h"
#include "meters/meter_table.h"
#include "mbus/bus_arbiter.h"
#include "mbus/telegram.h"

namespace veltro {

class CommunicationLog;
class LinkFacade;
class LiveSettings;
class OperatorInterface;

// What the meter page shows of the running operations: captions, which commands are usable, the
// progress bar. The window mirrors it; the CLI and the tests read it.
struct MeterPageState {
    QString findCaption;      // `Butt_find_primary`: "Find"/"Cerca", "Stop" while scanning
    QString readAllCaption;   // `Butt_readall`
    bool readAllEnabled = true;      // `Butt_readall`
    bool readOnceEnabled = true;     // `Butt_readonce`
    bool searchGroupEnabled = true;  // `Group_search`
    bool advancedEnabled = true;     // `Group_advanced`
    bool findIdEnabled = true;       // `Butt_find_id`
    bool findAllEnabled = true;      // `Butt_find_all`
    bool commandSendEnabled = true;  // `Butt_command_send`
    bool autoAddressEnabled = true;  // `BitBtn22`
    struct Progress {
        int minimum = 0;
        int maximum = 100;
        int position = 0;
        bool visible = false;
    } progress;  // `ProgressBar1`
};

// The meter operations on the engine's timers: single reads (`Timer_respond`), the primary scan, the
// read-all cycle (`Timer_readall`) and the selected-rows cycle (`Timer_set`), with the meter table and
// the detailed report they fill.
class MeterEngine : public QObject {
    Q_OBJECT

public:
    static constexpr int kGlobalInitWaitMilliseconds = 1400;
    MeterEngine(LinkFacade& link, BusArbiter& bus, CommunicationLog& log, LiveSettings& settings,
                OperatorInterface& operatorInterface, QObject* parent = nullptr);

    MeterTable& table() { return m_table; }
    const MeterTable& table() const { return m_table; }
    DetailedReport& report() { return m_report; }
    const MeterPageState& pageState() const { return m_page; }
    BusOperation busOperation() const { return m_bus.current(); }

    // Meter-page options read at the moment of use.
    void setUseSndNke(bool on) { m_useSndNke = on; }       // `Check_nke` "Use SND_NKE"
    void setBroadcast(bool on) { m_broadcast = on; }        // `Check_broadcast` "work on broadcast (0xFE)"
    bool useSndNke() const { return m_useSndNke; }
    bool broadcast() const { return m_broadcast; }
    // The locale whose decimal mark and time/date formats the decoded rows use (the system's in the
    // program, C in the command-line tool).
    void setLocale(const QLocale& locale) { m_locale = locale; }
    const QLocale& locale() const { return m_locale; }

    // `Edit_timeoutChange`: every response timer at once.
    void setResponseWindow(int milliseconds);
    int responseWindow() const { return m_respondTimer.interval(); }

    // `Butt_readonceClick`, `Fullread1Click`, `Butt_readallClick`.
    void readSelected();
    void fullRead();
    void readAll();
    // `Butt_find_primaryClick`: starts a scan of [from, to] when idle (nothing for an empty field), stops
    // it when running. `startedByGateway` clears the table without asking.
    void findPrimary(std::optional<int> from, std::optional<int> to, bool startedByGateway = false);
    void stopScan();

    // Starts the selected-rows cycle over the flagged rows; `telegramFor` gives the mode's telegram for a
    // row address (empty for mode 4, which sends REQ_UD2). False when the bus is busy or nothing is flagged.
    bool startSelectedRows(int batchMode, std::function<std::optional<Telegram>(int address)> telegramFor = {});

    // Configuration commands hand their telegram here: sent to `address`, judged by `Timer_respond`,
    // with the read-back when `readBack`.
    bool sendConfiguration(const Telegram& telegram, bool readBack);

    // Operation flags, readable for the window and the tests.
    bool scanActive() const { return m_scanActive; }
    int scanAddress() const { return m_scanAddress; }
    int scanRetries() const { return m_scanRetries; }
    bool readBackPending() const { return m_readBackPending; }
    bool fullReadRequested() const { return m_fullReadRequested; }
    bool moreRecordsPending() const { return m_moreRecordsPending; }
    bool secondaryAppend() const { return m_secondaryAppend; }
    int batchMode() const { return m_batchMode; }
    int batchRow() const { return m_batchRow; }
    int readRow() const { return m_readRow; }

    // Decodes a response and applies it (log, table, report); true when valid. Used by the ticks and by
    // the secondary search (with SecondaryAppend set around the call).
    bool decodeAndApply(const Telegram& response);
    void setSecondaryAppend(bool on) { m_secondaryAppend = on; }

    // Titles or their count changed: the table's additional columns follow.
    void applyTitles();
    // The language changed: table headers and captions follow.
    void applyLanguage();

signals:
    void tableChanged();
    void reportChanged();
    void reportShown();               // a full read was decoded: the detailed report window opens
    void pageStateChanged();
    void scanRangeChanged(int from, int to);  // the fields were swapped
    void operationEnded(veltro::BusOperation operation);

private slots:
    void Timer_respondTimer();
    void Timer_readallTimer();
    void Timer_setTimer();

private:
    bool claimBus(BusOperation operation);
    bool refuseWhenBusy();
    void endOperation();
    void releaseLink();  // `ReleaseLink` plus the operation flags it clears
    std::optional<int> targetAddress() const;
    DecodeSettings decodeSettings() const;
    int retries() const;
    bool italian() const;

    // Scan steps.
    void sendScanRequest(bool withReadingLine);
    void scanRetry();
    void scanAdvance();
    void endScan();
    void respondCompletion();

    // Cycles.
    void sendReadAllRequest();
    void endReadAll();
    void sendBatchTelegram();
    void batchAdvance();
    void endBatch();

    void setCommandsForScan(bool enabled);
    void setCommandsForReadAll(bool enabled);
    void setProgress(int minimum, int maximum, int position, bool visible);
    void resetProgress();
    void updateCaptions();
    void emitPage() { emit pageStateChanged(); }

    LinkFacade& m_link;
    BusArbiter& m_bus;
    CommunicationLog& m_log;
    LiveSettings& m_settings;
    OperatorInterface& m_operator;
    MeterTable m_table;
    DetailedReport m_report;
    MeterPageState m_page;
    QLocale m_locale = QLocale::system();

    QTimer m_respondTimer;   // `Timer_respond`
    QTimer m_readallTimer;   // `Timer_readall`
    QTimer m_setTimer;       // `Timer_set`

    bool m_useSndNke = false;
    bool m_broadcast = false;

    bool m_scanActive = false;
    int m_scanAddress = 0;
    int m_scanLast = 0;
    int m_scanRetries = 0;
    bool m_readBackPending = false;
    bool m_fullReadRequested = false;
    bool m_moreRecordsPending = false;
    bool m_secondaryAppend = false;
    int m_readRow = 0;
    int m_batchMode = 0;
    int m_batchRow = 0;
    std::function<std::optional<Telegram>(int)> m_batchTelegram;
};

} // namespace veltro
