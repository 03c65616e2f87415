#include "app/live_settings.h"


#include "app/operator_interface.h"
#include "app/save_file.h"

namespace veltro {

namespace {

std::string Utf8(const QString& text) { return text.toStdString(); }

} // namespace

LiveSettings::LiveSettings(QString iniFilePath, QString programFolder, OperatorInterface* operatorInterface,
                           QObject* parent)
    : QObject(parent),
      m_iniFilePath(std::move(iniFilePath)),
      m_programFolder(std::move(programFolder)),
      m_operator(operatorInterface) {
    m_mainWindow.dir = Utf8(m_programFolder);
}

void LiveSettings::setSettings(const Settings& settings) {
    m_settings = settings;
    emit settingsChanged();
}

void LiveSettings::setMainWindow(const MainWindowState& state) {
    const bool windowChanged = state.timeout != m_mainWindow.timeout;
    m_mainWindow = state;
    emit mainWindowChanged();
    if (windowChanged) emit responseWindowChanged(m_mainWindow.timeout);
}

void LiveSettings::setLanguage(Language language) {
    m_mainWindow.language = language;
    emit mainWindowChanged();
}

void LiveSettings::setResponseWindow(int milliseconds) {
    if (milliseconds <= 0 || milliseconds == m_mainWindow.timeout) return;
    m_mainWindow.timeout = milliseconds;
    emit mainWindowChanged();
    emit responseWindowChanged(milliseconds);
}

IniLoadResult LiveSettings::load() {
    IniLoadResult result = LoadIniFile(FileSystemPath(m_iniFilePath));
    m_loadError = QString::fromStdString(result.error);
    return result;
}

IniLoadResult::Status LiveSettings::loadAtStart() {
    const IniLoadResult result = load();
    const int previousWindow = m_mainWindow.timeout;
    m_mainWindow = ReadMainWindowState(result.file, Utf8(m_programFolder));
    m_settings = ReadSettings(result.file);
    emit mainWindowChanged();
    emit settingsChanged();
    if (m_mainWindow.timeout != previousWindow) emit responseWindowChanged(m_mainWindow.timeout);
    return result.status;
}

IniLoadResult::Status LiveSettings::reloadSettingsWindow() {
    const IniLoadResult result = load();
    m_settings = ReadSettings(result.file);
    emit settingsChanged();
    return result.status;
}

template <class Change>
bool LiveSettings::rewrite(Change&& change) {
    IniLoadResult current = load();
    bool ok = current.status != IniLoadResult::Status::Failed;
    if (!ok) m_saveError = m_loadError;
    if (ok && !change(current.file)) {
        ok = false;
        m_saveError = QStringLiteral("A value holds a line break and cannot be stored");
    }
    if (ok) {
        const FileWriteResult written = SaveIniFile(FileSystemPath(m_iniFilePath), current.file);
        ok = written.ok;
        if (!ok) m_saveError = QString::fromStdString(written.error);
    }
    if (ok) m_saveError.clear();
    else if (m_operator) m_operator->message(kSaveFailedTitle, kSaveFailedText, OperatorInterface::Icon::Warning);
    return ok;
}

bool LiveSettings::applyCommunication() {
    return rewrite([this](IniFile& ini) { return WriteCommunicationSettings(m_settings, ini); });
}

bool LiveSettings::applyTitles() {
    const bool ok = rewrite([this](IniFile& ini) { return WriteTitleSettings(m_settings.titles, ini); });
    // The main window takes the titles whether or not they reached the file: they stay for this run.
    m_mainWindow.titles = MainWindowTitles(m_settings.titles);
    emit mainWindowChanged();
    return ok;
}

bool LiveSettings::saveMainWindowState() {
    return rewrite([this](IniFile& ini) { return WriteMainWindowState(m_mainWindow, ini); });
}

} // namespace veltro
