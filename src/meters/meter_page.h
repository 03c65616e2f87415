#pragma once

#include <optional>
#include <vector>

#include <QLocale>
#include <QObject>
#include <QString>

#include "decode/meter_response.h"
#include "link/operation.h"
#include "meters/detailed_report.h"
#include "meters/meter_operations.h"
#include "meters/secondary_id_thread.h"
#include "meters/meter_table.h"
#include "meters/table_file.h"
#include "mbus/telegram.h"

namespace veltro {

class CommunicationLog;
class LinkFacade;
class LiveSettings;
class OperationRunner;
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
    bool findPrimaryEnabled = true;  // `Butt_find_primary`
    bool idFieldEnabled = true;      // `Edit_id`
    bool loadDataEnabled = true;     // `Butt_load_data`
    bool saveDataEnabled = true;     // `Butt_save_data`
    bool broadcastEnabled = true;    // `Check_broadcast`
    bool stopSecondaryVisible = false;  // `Button1` "Stop secondary"
    bool broadcastChecked = false;   // `Check_broadcast`: automatic addressing unchecks it
    QString autoAddressCaption;      // `BitBtn22`: "Auto address", "Stop addr" while it runs
    struct Progress {
        int minimum = 0;
        int maximum = 100;
        int position = 0;
        bool visible = false;
    } progress;  // `ProgressBar1`
};

// The engine side of the meter page: the meter table, the detailed report and the page state, and
// the commands that turn what the operator selected into targets for the meter operations.
class MeterPage : public QObject {
    Q_OBJECT

public:
    static constexpr int kGlobalInitWaitMilliseconds = 1400;
    static inline const QString kTableBusyMessage =
        QStringLiteral("The meter table is in use by a running operation, wait for it to end or stop it...");

    MeterPage(OperationRunner& runner, CommunicationLog& log, LiveSettings& settings,
              OperatorInterface& operatorInterface, QObject* parent = nullptr);

    const MeterTable& table() const { return m_table; }
    CommunicationLog& log() { return m_log; }
    DetailedReport& report() { return m_report; }
    const MeterPageState& pageState() const { return m_page; }
    BusOperation busOperation() const;
    bool scanActive() const { return busOperation() == BusOperation::Scan; }
    int responseWindow() const;

    // Meter-page options read at the moment of use.
    void setUseSndNke(bool on) { m_useSndNke = on; }  // `Check_nke` "Use SND_NKE"
    void setBroadcast(bool on);                        // `Check_broadcast` "work on broadcast (0xFE)"
    bool useSndNke() const { return m_useSndNke; }
    bool broadcast() const { return m_broadcast; }
    // The locale whose decimal mark and time/date formats the decoded rows use (the system's in the
    // program, C in the command-line tool).
    void setLocale(const QLocale& locale) { m_locale = locale; }
    const QLocale& locale() const { return m_locale; }

    // `Butt_readonceClick`, `Fullread1Click`, `Butt_readallClick`.
    void readSelected();
    void fullRead();
    void readAll();
    // `Butt_find_primaryClick`: starts a scan of [from, to] when idle (nothing for an empty field), stops
    // it when running. `startedByGateway` clears the table without asking.
    void findPrimary(std::optional<int> from, std::optional<int> to, bool startedByGateway = false);
    void stopScan();
    // `Butt_find_idClick` with the ID field's text: "Incorrect ID entered", the single selection, or
    // for "FFFFFFFF" the wildcard search. `startedByGateway` keeps the table without asking.
    void findId(const std::string& text, bool startedByGateway = false);
    // `Button1Click` "Stop secondary": the search ends after the probe in progress.
    void stopSecondary();
    // A meter the wildcard search confirmed: placed by its ID; its lines were logged when it was read.
    void placeSearchAnswer(const Telegram& answer);

    // The last wildcard search, for the command-line tool.
    struct SearchReport {
        SearchDirection direction = SearchDirection::MsbFirst;
        int retries = 0;
        SearchStatistics statistics;
        qint64 elapsedMs = 0;
    };
    const std::optional<SearchReport>& lastSearch() const { return m_lastSearch; }
    // A configuration telegram to the selected meter, judged like a read, with the read-back when asked.
    bool sendConfiguration(const Telegram& telegram, bool readBack);

    // The flagged rows as targets, taken now.
    std::vector<RowTarget> flaggedTargets() const;
    RowTarget targetOf(int row) const;
    // The flagged rows one after another with `strategy` (the selected-rows cycle, configuration
    // batches): the search and configuration groups disabled, the progress bar over the rows.
    bool startBatch(BusOperation kind, std::unique_ptr<RowStrategy> strategy);
    OperationRunner& runner() { return m_runner; }
    LiveSettings& settings() { return m_settings; }
    OperatorInterface& operatorInterface() { return m_operator; }
    // Automatic addressing runs: its seven commands disabled, "Stop addr".
    void setCommandsForAutoAddressing(bool running);
    // Moves the table's selection to `row`, as a click on it would (the labels follow).
    void showRow(int row);

    // Selection: never refused, the running operations work on targets taken at their start.
    void selectCell(int row, int column);
    void mouseRelease(int row, bool control);
    void doubleClick();
    void setRowSelected(int row, bool selected);
    // Table edits, refused with a log line while a meter operation runs over the table.
    bool clearTable();
    bool deleteSelectedRow();
    bool addRowBelowSelected();
    bool replaceRows(const std::vector<std::vector<std::string>>& rows);
    bool importTable(const ImportedTable& imported);
    // Writes `key` into the "AES-128 key " column of the data rows listed (others ignored).
    bool setKeyCells(const std::vector<int>& rows, const std::string& key);

    // Writes of the receiver operation holding the bus: never refused, as the table's edits are.
    void clearRows();
    std::vector<int> appendIdentifications(const std::vector<std::string>& ids);
    void writeCell(int row, int column, const std::string& text);
    DecodeSettings decodeSettings(bool fullRead) const;

    struct Applied {
        bool valid = false;
        bool moreRecordsPending = false;
    };
    // Decodes a response and applies it (log, table by `placement`, report).
    Applied apply(const Telegram& response, Placement placement, bool fullRead);

    // Titles or their count changed: the table's additional columns follow.
    void applyTitles();
    // The language changed: table headers and captions follow.
    void applyLanguage();

signals:
    void tableChanged();
    void reportChanged();
    void reportShown();  // a full read was decoded: the detailed report window opens
    void pageStateChanged();
    void scanRangeChanged(int from, int to);  // the fields were swapped
    // A valid response with a header was decoded by `apply` and its table row written.
    void responseDecoded(const veltro::MeterResponse& response);

private:
    bool tableInUse();
    SingleRead::Request singleRowRequest() const;
    int retries() const;
    void startSingleRead(bool fullRead);
    void startSelectedRows();
    void operationEnded(BusOperation kind);

    void setCommandsForScan(bool enabled);
    void setCommandsForReadAll(bool enabled);
    void setCommandsForSearch(bool enabled);
    void startSearch(bool startedByGateway);
    // "Do you want to clear the table?": false on Cancel; Yes clears it.
    bool askToClearTable();
    void setProgress(int minimum, int maximum, int position, bool visible);
    void setProgressPosition(int position);
    void updateCaptions();

    OperationRunner& m_runner;
    CommunicationLog& m_log;
    LiveSettings& m_settings;
    OperatorInterface& m_operator;
    MeterTable m_table;
    DetailedReport m_report;
    MeterPageState m_page;
    QLocale m_locale = QLocale::system();
    bool m_useSndNke = false;
    bool m_broadcast = false;
    std::optional<SearchReport> m_lastSearch;
};

} // namespace veltro
