#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <QDateTime>
#include <QObject>
#include <QString>

#include "devices/device_table.h"
#include "devices/display_answers.h"
#include "devices/display_commands.h"
#include "devices/display_tables.h"
#include "link/link_facade.h"
#include "link/operation.h"
#include "meters/table_file.h"

namespace veltro {

class CommunicationLog;
class LiveSettings;
class MeterTable;
class OperationRunner;
class OperatorInterface;

// What the display pages show of the running work: the write button's caption, the commands disabled
// while the table is written, the progress bar. The window mirrors it; the CLI and the tests read it.
struct DisplayPageState {
    QString writeCaption;         // `Butt_ldu_set`
    bool writing = false;         // `LduWriting`
    bool readDataEnabled = true;  // `Butt_ldu_read`
    bool infoEnabled = true;      // the "General info" group
    bool createSortEnabled = true;  // `BitBtn15`
    bool sortEnabled = true;        // `BitBtn16`
    bool refreshEnabled = true;     // `Butt_ldu_refresh`
    bool dateEnabled = true;        // `BitBtn11`
    bool timeEnabled = true;        // `BitBtn12`
    bool lockEnabled = true;        // `BitBtn14`
    bool sortUserChecked = false;   // `Check_sort_user`: ticked once a sort table was asked for
    struct Progress {
        int maximum = 100;
        int position = 0;
        bool visible = false;
    } progress;
};

// The engine side of the local display's two pages: the display table and the readings table, the write
// cycle's switches, and every command that goes to the display. Everything that talks to the display
// runs as an operation on the runner (one at a time with every other bus operation).
class DisplayEngine : public QObject {
    Q_OBJECT

public:
    static inline const QString kWriteCaption = QStringLiteral("Write table to the display");
    static inline const QString kWriteCaptionItalian = QStringLiteral("Invia tabella al Display");
    static inline const QString kStopCaption = QStringLiteral("Stop writing table in display");
    static inline const QString kTablesBusy =
        QStringLiteral("The display tables are in use by a running operation, wait for it to end or stop it...");

    DisplayEngine(OperationRunner& runner, CommunicationLog& log, LiveSettings& settings,
                  OperatorInterface& operatorInterface, const MeterTable& meters, QObject* parent = nullptr);
    ~DisplayEngine() override;

    const DeviceTable& table() const { return m_table; }
    const DeviceTable& readings() const { return m_readings; }
    const DisplayPageState& pageState() const { return m_page; }
    const DisplaySwitches& switches() const { return m_switches; }
    bool busy() const;

    // The clock the date and time commands and the history read take ("now" unless set).
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }

    // ---- the write cycle's switches and the display table (`Grid_ldu`)
    void tickSetting(DisplaySetting setting, bool on);
    // `Grid_lduSelectCell`: the selected address follows column 1 of the row (0 when empty).
    void selectCell(int row, int column);
    int selectedRow() const { return m_selectedRow; }
    int selectedColumn() const { return m_selectedColumn; }
    int selectedAddress() const { return m_selectedAddress; }
    void setRowSelected(int row, bool selected);
    void toggleRowSelected(int row);
    void selectAll(bool selected);
    // Edits, refused with `kTablesBusy` while an operation of this page runs over the tables.
    bool setCell(int row, int column, const std::string& text);
    bool addRow();
    bool deleteSelectedRow();
    bool clearTable();
    // "Get data from m-bus devices".
    bool getDataFromMeters();
    // "Import": the file's text parsed first; both tables replaced (none while the tables are in use).
    std::optional<DisplayImport> importTables(const ImportedTable& imported);
    std::string exportTable(char separator) const;

    // ---- the readings table (`Grid_historical`)
    void selectReadingsCell(int row, int column);
    int selectedReadingsRow() const { return m_selectedReadingsRow; }
    bool readingsFromDisplay();
    bool addReadingsRow();
    bool deleteSelectedReadingsRow();
    bool clearReadings();
    // "Sort table": neither box: nothing.
    bool sortReadings(bool byAddress, bool byUser);
    std::string exportReadings(char separator) const;

    // ---- the display over the bus. Each returns whether something was started.
    // `Butt_ldu_setClick`: starts the write cycle, or stops it while it runs.
    bool writeTable();
    bool getInfo(DisplayInfo kind);
    bool setDate();
    bool setTime();
    bool lock();
    bool setRefreshTime(const QString& text);
    bool createSortTable();
    bool sort(bool byAddress, bool byUser);
    // "Read data ", "Read values", "Get historical values" (month 0 "ALL", 1..12), "Read meters".
    bool readData();
    bool readValues(bool main, bool tariff);
    bool readHistory(int month);
    bool readMeters();

    void applyLanguage();

signals:
    void tablesChanged();
    void pageStateChanged();
    void switchesChanged();

private:
    class Reader;
    class WriteCycle;

    bool tablesInUse();
    int retries() const;
    // Starts `reader`, which the runner owns from here; the progress bar counts `expectedAnswers` when
    // they are known at the start.
    bool startReader(Reader* reader, int expectedAnswers);
    bool sendSingle(const DisplayCommand& command, std::optional<LinkMode> forced = std::nullopt);
    void setCommandsForWriting(bool writing);
    void setProgress(int maximum, int position, bool visible);
    void operationEnded(BusOperation kind);
    // Rows whose address is a number: the cell as typed and the number.
    std::vector<std::pair<std::string, int>> addressedRows(const DeviceTable& table) const;
    void queueEntryPage1(Reader& reader, const std::string& address, int number);

    OperationRunner& m_runner;
    CommunicationLog& m_log;
    LiveSettings& m_settings;
    OperatorInterface& m_operator;
    const MeterTable& m_meters;
    DeviceTable m_table;
    DeviceTable m_readings;
    DisplaySwitches m_switches;
    DisplayPageState m_page;
    std::function<QDateTime()> m_clock;
    int m_selectedRow = 0, m_selectedColumn = 0, m_selectedAddress = 0;
    int m_selectedReadingsRow = 0;
    bool m_ownOperation = false;    // the running operation is one of this page's
    bool m_tablesOperation = false;  // and it writes into the tables
};

} // namespace veltro
