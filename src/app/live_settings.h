#pragma once

#include <QObject>
#include <QString>

#include "app/ini_file.h"
#include "app/settings.h"

namespace veltro {

class OperatorInterface;

// The live configuration: what the settings window's controls and the main window's persisted fields
// hold right now, applied or only typed. Every other part reads it at the moment it needs a value,
// never a copy taken earlier. It reads and writes `<program folder>/<executable name>.ini`.
class LiveSettings : public QObject {
    Q_OBJECT

public:
    static inline const QString kSaveFailedTitle = QStringLiteral("Saving settings");
    static inline const QString kSaveFailedText = QStringLiteral("Settings will not be saved, no write permission");

    // `operatorInterface` is told when a write fails; it may be null (the failure is still returned).
    LiveSettings(QString iniFilePath, QString programFolder, OperatorInterface* operatorInterface = nullptr,
                 QObject* parent = nullptr);

    const QString& iniFilePath() const { return m_iniFilePath; }
    const QString& programFolder() const { return m_programFolder; }

    const Settings& settings() const { return m_settings; }
    void setSettings(const Settings& settings);
    const MainWindowState& mainWindow() const { return m_mainWindow; }
    void setMainWindow(const MainWindowState& state);

    // The language switch and the response window, the two main-window values read most often.
    Language language() const { return m_mainWindow.language; }
    void setLanguage(Language language);
    int responseWindow() const { return m_mainWindow.timeout; }
    // `Edit_timeoutChange`. Any positive interval is accepted here; the window's control clamps
    // to 300..30000 ms, and tests use short windows.
    void setResponseWindow(int milliseconds);

    // `FormCreate`: the main window's keys and the settings window's keys. A missing file gives the
    // defaults; an unreadable one too, and the reason is returned (and kept in loadError()).
    IniLoadResult::Status loadAtStart();
    // Opening the settings window re-reads its keys (and only those) into the live values.
    IniLoadResult::Status reloadSettingsWindow();
    const QString& loadError() const { return m_loadError; }

    // `BitBtn1Click`: writes `Com port`, `Misc`, `Ethernet`, `VODUD`.
    bool applyCommunication();
    // `BitBtn3Click`: writes `Titles` and gives the main window its copy, each title cut to 15 characters.
    bool applyTitles();
    // `FormClose`: writes `Mbus`, `Misc` `Dir` and `Language`, `RXVpico`.
    bool saveMainWindowState();
    // The reason the last write failed.
    const QString& saveError() const { return m_saveError; }

signals:
    void settingsChanged();
    void mainWindowChanged();
    void responseWindowChanged(int milliseconds);

private:
    IniLoadResult load();
    // Reads the current file, lets `change` set its keys, writes it back atomically. Keys of other
    // parts and unknown keys survive because the file is re-read first. A file that exists but cannot
    // be read is not overwritten, since its content would be lost.
    template <class Change>
    bool rewrite(Change&& change);

    QString m_iniFilePath;
    QString m_programFolder;
    OperatorInterface* m_operator;
    Settings m_settings;
    MainWindowState m_mainWindow;
    QString m_loadError;
    QString m_saveError;
};

} // namespace veltro
