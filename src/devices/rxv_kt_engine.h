#pragma once

#include <functional>
#include <optional>
#include <string>

#include <QDateTime>
#include <QObject>
#include <QString>

#include "devices/rxv_kt.h"
#include "devices/rxv_table.h"
#include "link/operation.h"
#include "meters/table_file.h"

namespace veltro {

class CommunicationLog;
class LiveSettings;
class MeterTable;
class OperationRunner;

// What the receiver page shows of its two runs: the captions of the acquisition and programming
// buttons, whether the page's other commands are usable, the progress bar.
struct RxvKtPageState {
    QString acquireCaption;  // `BitBtn26`: "Acquire RF meters", "Stop acquire"
    QString programCaption;  // `BitBtn29`: "Program RXV-KT", "Stop programming"
    bool acquiring = false;
    bool programming = false;
    bool commandsEnabled = true;  // every other command of the page and the key group
    struct Progress {
        int maximum = 100;
        int position = 0;
        bool visible = false;
    } progress;
};

// The engine side of the RXV-KT page `TabSheet5`: the receiver table, the programming steps and key
// settings, and every command to the receiver, each an operation on the runner (acquisition and
// programming hold the bus from their start to their end, the stop's 1500 ms included).
class RxvKtEngine : public QObject {
    Q_OBJECT

public:
    static inline const QString kAcquireCaption = QStringLiteral("Acquire RF meters");
    static inline const QString kStopAcquireCaption = QStringLiteral("Stop acquire");
    static inline const QString kProgramCaption = QStringLiteral("Program RXV-KT");
    static inline const QString kStopProgramCaption = QStringLiteral("Stop programming");
    static inline const QString kSerialOnly =
        QStringLiteral("RF meters are acquired through the serial port only, skipping...");
    static inline const QString kTableBusy =
        QStringLiteral("The receiver table is in use by a running operation, wait for it to end or stop it...");
    static constexpr int kStopRepeatMilliseconds = 1500;

    RxvKtEngine(OperationRunner& runner, CommunicationLog& log, LiveSettings& settings, const MeterTable& meters,
                QObject* parent = nullptr);
    ~RxvKtEngine() override;

    const ReceiverTable& receiver() const { return m_receiver; }
    const DeviceTable& table() const { return m_receiver.table(); }
    const RxvKtPageState& pageState() const { return m_page; }
    bool running() const { return m_page.acquiring || m_page.programming; }

    // The clock of the date and time commands and of an acquired row's time.
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }

    // ---- options of the page
    const RxvStepSwitches& steps() const { return m_steps; }
    void tickStep(RxvStep step, bool on);
    bool auxId() const { return m_auxId; }
    void setAuxId(bool on) { m_auxId = on; }  // `Radio_auxID`
    bool excludeIdentical() const { return m_excludeIdentical; }
    void setExcludeIdentical(bool on) { m_excludeIdentical = on; }  // `Check_wMbusExists`
    const RxvKeySettings& keySettings() const { return m_key; }
    void setKeySettings(const RxvKeySettings& key);

    // ---- the table; edits refused with `kTableBusy` while a run works on it
    void selectCell(int row, int column);
    bool setCell(int row, int column, const std::string& text);
    void setRowSelected(int row, bool selected);
    void toggleRowSelected(int row);
    void selectAll(bool selected);
    bool addRow();
    bool deleteRow();
    bool clearTable();
    bool getFromMeters();
    std::optional<ReceiverImport> importTable(const ImportedTable& imported);
    std::string exportTable(char separator) const;

    // ---- the receiver over the bus; each returns whether something was started
    bool acquire();  // `BitBtn26Click`: starts, or stops a running acquisition
    bool program();  // `BitBtn29Click`: starts, or stops a running programming
    bool saveKey();  // `BitBtn32Click`
    bool bind();     // `BitBtn30Click`
    bool debind();   // `BitBtn31Click`
    bool setDate();
    bool setTime();
    bool setSaveInterval(const QString& text);
    bool setWirelessMode(const QString& item);
    bool setRole(const QString& item);
    bool setWorkMode(const QString& item);
    bool setOption(const QString& item, bool on);
    bool info();
    bool wirelessInfo();

    void applyLanguage();

signals:
    void tablesChanged();
    void pageStateChanged();
    void stepsChanged();
    void keySettingsChanged();
    // A command went out and its answer window ended (empty `answer`: silence).
    void exchanged(const QString& command, const QByteArray& answer);

private:
    class Exchange;
    class Acquisition;
    class Programming;

    bool tableInUse();
    bool sendActions(const RxvActions& actions);
    void setRunning(bool acquiring, bool programming);
    void operationEnded(BusOperation kind);
    RxvClock clockNow() const;

    OperationRunner& m_runner;
    CommunicationLog& m_log;
    LiveSettings& m_settings;
    const MeterTable& m_meters;
    ReceiverTable m_receiver;
    RxvStepSwitches m_steps;
    RxvKeySettings m_key;
    RxvKtPageState m_page;
    bool m_auxId = false;
    bool m_excludeIdentical = false;
    bool m_ownOperation = false;
    std::function<QDateTime()> m_clock;
};

} // namespace veltro
