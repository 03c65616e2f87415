#include <gtest/gtest.h>

#include <QSignalSpy>

#include "app/file_faults.h"
#include "app/live_settings.h"
#include "app/program_folder.h"
#include "app/scripted_operator.h"

namespace veltro {
namespace {

class LiveSettingsTest : public ::testing::Test {
protected:
    QString home() const { return QString::fromStdString(folder.path().string()); }
    std::filesystem::path iniPath() const { return folder / "veltro.ini"; }

    test::TempFolder folder;
    test::ScriptedOperator operatorAtDesk;
    LiveSettings settings{IniFilePath(ProgramFolder({"veltro", "--home", home()}), "veltro"), home(), &operatorAtDesk};
};

TEST_F(LiveSettingsTest, TheFileIsNamedAfterTheExecutableInTheHomeFolder) {
    EXPECT_EQ(settings.iniFilePath().toStdString(), iniPath().string());
}

TEST_F(LiveSettingsTest, WithoutAFileEveryValueIsItsDefaultAndTheWorkingFolderIsTheProgramFolder) {
    QSignalSpy windowChanged(&settings, &LiveSettings::responseWindowChanged);
    EXPECT_EQ(settings.loadAtStart(), IniLoadResult::Status::Missing);
    EXPECT_TRUE(settings.loadError().isEmpty());
    EXPECT_EQ(settings.settings().comPort.name, "COM1");
    EXPECT_EQ(settings.settings().vodud.ethTimeout, 50);
    EXPECT_EQ(settings.mainWindow().dir, home().toStdString());
    EXPECT_EQ(settings.responseWindow(), 500);
    EXPECT_EQ(settings.language(), Language::English);
    EXPECT_EQ(windowChanged.count(), 0);  // 500 before and after
    EXPECT_FALSE(std::filesystem::exists(iniPath()));  // reading creates nothing
}

TEST_F(LiveSettingsTest, ApplyWritesTheSettingsAndKeepsEveryOtherKey) {
    test::WriteWholeFile(iniPath(), "[Mbus]\r\nTimeout=900\r\n[Legacy]\r\nKeep=me\r\n[Ethernet]\r\nport=4000\r\n");
    settings.loadAtStart();
    EXPECT_EQ(settings.responseWindow(), 900);
    EXPECT_EQ(settings.settings().ethernet.listenPort, "4000");

    Settings typed = settings.settings();
    typed.comPort.name = "ttyUSB0";
    typed.ethernet.listenPort = "4100";
    settings.setSettings(typed);
    ASSERT_TRUE(settings.applyCommunication()) << settings.saveError().toStdString();
    EXPECT_TRUE(operatorAtDesk.messages.empty());

    const IniFile written = LoadIniFile(iniPath()).file;
    EXPECT_EQ(written.value("Com port", "Name"), std::optional<std::string>("ttyUSB0"));
    EXPECT_EQ(written.value("Ethernet", "Port"), std::optional<std::string>("4100"));
    EXPECT_EQ(written.value("Legacy", "Keep"), std::optional<std::string>("me"));
    EXPECT_EQ(written.value("Mbus", "Timeout"), std::optional<std::string>("900"));
}

TEST_F(LiveSettingsTest, OpeningTheSettingsWindowRereadsOnlyItsOwnKeys) {
    settings.loadAtStart();
    settings.setResponseWindow(1000);  // typed in the main window, not yet saved
    Settings typed = settings.settings();
    typed.misc.retry = 5;  // typed in the settings window, then "Cancel"
    settings.setSettings(typed);
    test::WriteWholeFile(iniPath(), "[Misc]\r\nRetry=3\r\n[Mbus]\r\nTimeout=700\r\n");

    settings.reloadSettingsWindow();
    EXPECT_EQ(settings.settings().misc.retry, 3);
    EXPECT_EQ(settings.responseWindow(), 1000);
}

TEST_F(LiveSettingsTest, ClosingWritesTheMainWindowStateAndApplyingTitlesCutsTheMainWindowsCopy) {
    settings.loadAtStart();
    MainWindowState state = settings.mainWindow();
    state.searchFrom = 1;
    state.searchTo = 250;
    state.language = Language::Italian;
    settings.setMainWindow(state);
    Settings typed = settings.settings();
    typed.titles.count = 1;
    typed.titles.titles[0] = "Return temperature";
    settings.setSettings(typed);
    ASSERT_TRUE(settings.applyTitles());
    ASSERT_TRUE(settings.saveMainWindowState());

    EXPECT_EQ(settings.mainWindow().titles.titles[0], "Return temperat");
    const IniFile written = LoadIniFile(iniPath()).file;
    EXPECT_EQ(written.value("Titles", "Title1"), std::optional<std::string>("Return temperature"));
    EXPECT_EQ(written.value("Mbus", "SearchTo"), std::optional<std::string>("250"));
    EXPECT_EQ(written.value("Misc", "Language"), std::optional<std::string>("2"));
    EXPECT_FALSE(written.hasSection("Com port"));  // closing writes only the main window's keys
}

TEST_F(LiveSettingsTest, AWriteIntoAReadOnlyFolderWarnsTheOperatorAndLeavesTheOldFileIntact) {
    const std::string old = "[Com port]\r\nName=COM3\r\n";
    test::WriteWholeFile(iniPath(), old);
    settings.loadAtStart();
    Settings typed = settings.settings();
    typed.comPort.name = "COM9";
    settings.setSettings(typed);

    test::ImmutableFolder readOnly(folder.path());
    if (!readOnly.available()) GTEST_SKIP() << "needs chattr +i on " << folder.path();
    EXPECT_FALSE(settings.applyCommunication());
    EXPECT_FALSE(settings.saveMainWindowState());
    ASSERT_EQ(operatorAtDesk.messages.size(), 2u);
    EXPECT_EQ(operatorAtDesk.messages[0].title, "Saving settings");
    EXPECT_EQ(operatorAtDesk.messages[0].text, "Settings will not be saved, no write permission");
    EXPECT_EQ(operatorAtDesk.messages[0].icon, OperatorInterface::Icon::Warning);
    EXPECT_FALSE(settings.saveError().isEmpty());
    EXPECT_EQ(test::ReadWholeFile(iniPath()), old);
    EXPECT_EQ(settings.settings().comPort.name, "COM9");  // the values stay for this run
}

TEST_F(LiveSettingsTest, AnUnreadableFileGivesTheDefaultsAndIsNeverOverwritten) {
    const std::string huge = "[Com port]\r\nName=COM3\r\n" + std::string(IniFile::kMaxFileSize, ';');
    test::WriteWholeFile(iniPath(), huge);
    EXPECT_EQ(settings.loadAtStart(), IniLoadResult::Status::Failed);
    EXPECT_FALSE(settings.loadError().isEmpty());
    EXPECT_EQ(settings.settings().comPort.name, "COM1");

    EXPECT_FALSE(settings.applyCommunication());
    ASSERT_EQ(operatorAtDesk.messages.size(), 1u);
    EXPECT_EQ(operatorAtDesk.messages[0].text, "Settings will not be saved, no write permission");
    EXPECT_EQ(test::ReadWholeFile(iniPath()), huge);
}

TEST_F(LiveSettingsTest, TheResponseWindowIsAnnouncedWhenItChanges) {
    QSignalSpy changed(&settings, &LiveSettings::responseWindowChanged);
    settings.setResponseWindow(1000);
    settings.setResponseWindow(1000);
    settings.setResponseWindow(50);  // the engine accepts short windows; only the window clamps
    settings.setResponseWindow(0);   // no window at all is refused
    ASSERT_EQ(changed.count(), 2);
    EXPECT_EQ(changed.at(0).at(0).toInt(), 1000);
    EXPECT_EQ(changed.at(1).at(0).toInt(), 50);
    EXPECT_EQ(settings.responseWindow(), 50);
}

} // namespace
} // namespace veltro
