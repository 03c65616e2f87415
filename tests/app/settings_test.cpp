#include <gtest/gtest.h>

#include "app/settings.h"

namespace veltro {
namespace {

TEST(SettingsDefaults, AMissingFileGivesExactlyTheDefaultsOfTheSettingsWindow) {
    const Settings s = ReadSettings(IniFile{});
    EXPECT_EQ(s.comPort.name, "COM1");
    EXPECT_EQ(s.comPort.speed, "300");
    EXPECT_EQ(s.comPort.parity, "Even");
    EXPECT_FALSE(s.comPort.rts);
    EXPECT_FALSE(s.comPort.dtr);
    EXPECT_EQ(s.misc.exportSeparator, ";");
    EXPECT_EQ(s.misc.decSeparator, ".");
    EXPECT_EQ(s.misc.retry, 1);
    EXPECT_FALSE(s.misc.useEthernet);
    EXPECT_FALSE(s.misc.useVodud);
    EXPECT_FALSE(s.misc.useNlanServ);
    EXPECT_FALSE(s.misc.use5B);
    EXPECT_FALSE(s.misc.globalInit);
    EXPECT_TRUE(s.misc.msbSearch);
    EXPECT_FALSE(s.misc.lsbSearch);
    EXPECT_FALSE(s.misc.multitelegram);
    EXPECT_FALSE(s.misc.decodeApator);
    EXPECT_FALSE(s.misc.decodeTechem);
    EXPECT_EQ(s.ethernet.listenPort, "59615");
    EXPECT_TRUE(s.ethernet.autoOpen);
    EXPECT_FALSE(s.ethernet.autoLdu);
    EXPECT_FALSE(s.ethernet.autoMbus);
    EXPECT_FALSE(s.ethernet.autoSecondary);
    EXPECT_TRUE(s.ethernet.keepAlive);
    EXPECT_EQ(s.ethernet.timerReload, 0);
    EXPECT_EQ(s.vodud.ip, "192.168.1.3");
    EXPECT_EQ(s.vodud.port, "10001");
    EXPECT_EQ(s.vodud.netNumber, "");
    EXPECT_EQ(s.vodud.ethTimeout, 50);
    EXPECT_FALSE(s.vodud.closeTcp);
    EXPECT_EQ(s.titles.count, 0);
    for (const auto& title : s.titles.titles) EXPECT_EQ(title, "");
}

TEST(SettingsDefaults, AMissingFileGivesExactlyTheDefaultsOfTheMainWindow) {
    const MainWindowState m = ReadMainWindowState(IniFile{}, "/opt/veltro");
    EXPECT_EQ(m.searchFrom, 0);
    EXPECT_EQ(m.searchTo, 0);
    EXPECT_EQ(m.timeout, 500);
    EXPECT_EQ(m.dir, "/opt/veltro");
    EXPECT_EQ(m.language, Language::English);
    EXPECT_EQ(m.titles.count, 0);
    for (const auto& title : m.titles.titles) EXPECT_EQ(title, "");
    EXPECT_EQ(m.picoSecondary, "00000001");
    EXPECT_EQ(m.picoPrimary, "0");
}

// The file a first run writes, which pins every section and key name, the value formats and the order.
TEST(SettingsFile, AFirstRunWritesEveryKeyUnderItsNameInWindowOrder) {
    IniFile ini;
    ASSERT_TRUE(WriteCommunicationSettings(Settings{}, ini));
    ASSERT_TRUE(WriteTitleSettings(AdditionalTitles{}, ini));
    MainWindowState state;
    state.dir = "/opt/veltro";
    ASSERT_TRUE(WriteMainWindowState(state, ini));
    EXPECT_EQ(ini.render(),
              "[Com port]\r\nName=COM1\r\nSpeed=300\r\nParity=Even\r\nRTS=0\r\nDTR=0\r\n"
              "[Misc]\r\nExportSeparator=;\r\nDecSeparator=.\r\nRetry=1\r\nUseEthernet=0\r\nUseVODUD=0\r\n"
              "UseNlanServ=0\r\nUse5B=0\r\nGlobalInit=0\r\nMSBSearch=1\r\nLSBSearch=0\r\nMultitelegram=0\r\n"
              "wApator=0\r\nwTechem=0\r\nDir=/opt/veltro\r\nLanguage=1\r\n"
              "[Ethernet]\r\nPort=59615\r\nAutoOpen=1\r\nAutoLDU=0\r\nAutoMbus=0\r\nAutoSec=0\r\nKeepAlive=1\r\n"
              "TReload=0\r\n"
              "[VODUD]\r\nIP=192.168.1.3\r\nPort=10001\r\nNetNumber=\r\nEthTimeout=50\r\nCloseTCP=0\r\n"
              "[Titles]\r\nCount=0\r\nTitle1=\r\nTitle2=\r\nTitle3=\r\nTitle4=\r\nTitle5=\r\nTitle6=\r\n"
              "Title7=\r\nTitle8=\r\nTitle9=\r\nTitle10=\r\nTitle11=\r\nTitle12=\r\nTitle13=\r\nTitle14=\r\n"
              "Title15=\r\n"
              "[Mbus]\r\nSearchFrom=0\r\nSearchTo=0\r\nTimeout=500\r\nFastResponse=0\r\nFastAllowance=100\r\n"
              "[RXVpico]\r\nSecondary=00000001\r\nPrimary=0\r\n");
}

TEST(SettingsFile, EveryValueSurvivesAWriteAndARead) {
    Settings s;
    s.comPort = {"ttyUSB0", "9600", "None", true, true};
    s.misc = {",", ",", 7, true, true, true, true, true, false, true, true, true, true};
    s.ethernet = {"4000", false, true, true, true, false, 9};
    s.vodud = {"10.0.0.7", "", "17", 999, true};
    s.titles.count = 15;
    for (int i = 0; i < kAdditionalTitleCount; ++i) s.titles.titles[i] = " Energy " + std::to_string(i);
    IniFile ini;
    ASSERT_TRUE(WriteCommunicationSettings(s, ini));
    ASSERT_TRUE(WriteTitleSettings(s.titles, ini));
    const Settings r = ReadSettings(IniFile::parse(ini.render()));
    EXPECT_EQ(r.comPort.name, "ttyUSB0");
    EXPECT_EQ(r.comPort.speed, "9600");
    EXPECT_EQ(r.comPort.parity, "None");
    EXPECT_TRUE(r.comPort.rts && r.comPort.dtr);
    EXPECT_EQ(r.misc.exportSeparator, ",");
    EXPECT_EQ(r.misc.decSeparator, ",");
    EXPECT_EQ(r.misc.retry, 7);
    EXPECT_TRUE(r.misc.useEthernet && r.misc.useVodud && r.misc.useNlanServ && r.misc.use5B && r.misc.globalInit);
    EXPECT_FALSE(r.misc.msbSearch);
    EXPECT_TRUE(r.misc.lsbSearch && r.misc.multitelegram && r.misc.decodeApator && r.misc.decodeTechem);
    EXPECT_EQ(r.ethernet.listenPort, "4000");
    EXPECT_FALSE(r.ethernet.autoOpen);
    EXPECT_TRUE(r.ethernet.autoLdu && r.ethernet.autoMbus && r.ethernet.autoSecondary);
    EXPECT_FALSE(r.ethernet.keepAlive);
    EXPECT_EQ(r.ethernet.timerReload, 9);
    EXPECT_EQ(r.vodud.ip, "10.0.0.7");
    EXPECT_EQ(r.vodud.port, "");
    EXPECT_EQ(r.vodud.netNumber, "17");
    EXPECT_EQ(r.vodud.ethTimeout, 999);
    EXPECT_TRUE(r.vodud.closeTcp);
    EXPECT_EQ(r.titles.count, 15);
    EXPECT_EQ(r.titles.titles[14], " Energy 14");  // the leading blank survives
}

TEST(SettingsFile, KeysOfAnOlderLayoutSurviveARewrite) {
    // An older file: lower-case "port", keys and a section this version does not know, comments.
    const IniFile older = IniFile::parse(
        "[Com port]\r\nName=COM4\r\nFlowControl=1\r\n"
        "; operator note\r\n"
        "[Ethernet]\r\nport=4000\r\nGateways=3\r\n"
        "[Printer]\r\nMargin=22\r\n");
    Settings s = ReadSettings(older);
    EXPECT_EQ(s.ethernet.listenPort, "4000");  // read under "port"
    EXPECT_EQ(s.comPort.name, "COM4");
    s.ethernet.listenPort = "4100";

    IniFile rewritten = older;
    ASSERT_TRUE(WriteCommunicationSettings(s, rewritten));
    const std::string text = rewritten.render();
    const IniFile reread = IniFile::parse(text);
    EXPECT_EQ(reread.value("Com port", "FlowControl"), std::optional<std::string>("1"));
    EXPECT_EQ(reread.value("Ethernet", "Gateways"), std::optional<std::string>("3"));
    EXPECT_EQ(reread.value("Printer", "Margin"), std::optional<std::string>("22"));
    EXPECT_NE(text.find("; operator note\r\n"), std::string::npos);
    EXPECT_EQ(reread.value("Ethernet", "Port"), std::optional<std::string>("4100"));
    // One listen-port line, not a "port" and a "Port".
    EXPECT_EQ(text.find("ort=4100"), text.rfind("ort=4100"));
    EXPECT_EQ(text.find("port=4000"), std::string::npos);
    // The older layout's order stands: [Com port] before [Ethernet] before [Printer], new sections after.
    EXPECT_LT(text.find("[Com port]"), text.find("[Ethernet]"));
    EXPECT_LT(text.find("[Ethernet]"), text.find("[Printer]"));
    EXPECT_LT(text.find("[Printer]"), text.find("[Misc]"));
}

TEST(SettingsFile, TheTwoWindowsWriteOnlyTheirOwnKeys) {
    const IniFile before = IniFile::parse("[Misc]\r\nDir=/data\r\nLanguage=2\r\nRetry=5\r\n[Mbus]\r\nTimeout=900\r\n");
    IniFile afterSettingsWindow = before;
    ASSERT_TRUE(WriteCommunicationSettings(ReadSettings(before), afterSettingsWindow));
    EXPECT_EQ(afterSettingsWindow.value("Misc", "Dir"), std::optional<std::string>("/data"));
    EXPECT_EQ(afterSettingsWindow.value("Misc", "Language"), std::optional<std::string>("2"));
    EXPECT_EQ(afterSettingsWindow.value("Mbus", "Timeout"), std::optional<std::string>("900"));
    EXPECT_FALSE(afterSettingsWindow.hasSection("Titles"));

    IniFile afterMainWindow = before;
    MainWindowState state = ReadMainWindowState(before, "/opt");
    state.timeout = 1200;
    ASSERT_TRUE(WriteMainWindowState(state, afterMainWindow));
    EXPECT_EQ(afterMainWindow.value("Misc", "Retry"), std::optional<std::string>("5"));
    EXPECT_EQ(afterMainWindow.value("Mbus", "Timeout"), std::optional<std::string>("1200"));
    EXPECT_FALSE(afterMainWindow.hasSection("Com port"));
    EXPECT_FALSE(afterMainWindow.hasSection("Titles"));  // the main window never writes the titles
}

TEST(SettingsFile, ValuesThatDoNotParseTakeTheirDefaultAndOutOfRangeValuesAreClamped) {
    const IniFile ini = IniFile::parse(
        "[Misc]\r\nRetry=many\r\nMSBSearch=yes\r\nUseVODUD=2\r\n"
        "[Ethernet]\r\nTReload=12\r\nKeepAlive=\r\n"
        "[VODUD]\r\nEthTimeout=5\r\n"
        "[Titles]\r\nCount=40\r\n"
        "[Mbus]\r\nSearchFrom=-4\r\nSearchTo=300\r\nTimeout=abc\r\nFastResponse=2\r\nFastAllowance=9999\r\n"
        "[Misc]\r\nLanguage=7\r\n");
    const Settings s = ReadSettings(ini);
    EXPECT_EQ(s.misc.retry, 1);           // not a number: default
    EXPECT_TRUE(s.misc.msbSearch);        // not a boolean: default
    EXPECT_TRUE(s.misc.useVodud);         // non-zero is true
    EXPECT_EQ(s.ethernet.timerReload, 9); // 0..9
    EXPECT_TRUE(s.ethernet.keepAlive);    // empty: default
    EXPECT_EQ(s.vodud.ethTimeout, 20);    // 20..999
    EXPECT_EQ(s.titles.count, 15);        // 0..15
    const MainWindowState m = ReadMainWindowState(ini, "/opt");
    EXPECT_EQ(m.searchFrom, 0);
    EXPECT_EQ(m.searchTo, 255);
    EXPECT_EQ(m.timeout, 500);
    EXPECT_TRUE(m.fastResponse);        // non-zero is true
    EXPECT_EQ(m.fastAllowance, 5000);   // 0..5000
    EXPECT_EQ(m.language, Language::English);  // only 2 means Italian; and the second [Misc] is not read

    EXPECT_EQ(ReadMainWindowState(IniFile::parse("[Misc]\nLanguage=2\n"), "/").language, Language::Italian);
    EXPECT_EQ(ReadMainWindowState(IniFile::parse("[Mbus]\nTimeout=100\n"), "/").timeout, 300);
    EXPECT_EQ(ReadMainWindowState(IniFile::parse("[Mbus]\nTimeout=40000\n"), "/").timeout, 30000);
}

TEST(SettingsFile, AValueThatCannotBeStoredLeavesTheFileUntouched) {
    IniFile ini = IniFile::parse("[Com port]\r\nName=COM2\r\n");
    Settings s = ReadSettings(ini);
    s.comPort.name = "COM3";
    s.vodud.ip = "10.0.0.1\r\n[Injected]";
    EXPECT_FALSE(WriteCommunicationSettings(s, ini));
    EXPECT_EQ(ini.render(), "[Com port]\r\nName=COM2\r\n");
}

TEST(AdditionalTitles, TheFileKeepsTheWholeTitleAndTheMainWindowItsFirst15Characters) {
    AdditionalTitles titles;
    titles.count = 2;
    titles.titles[0] = "Flow temperature";        // 16 characters
    titles.titles[1] = "Volume 12345678901234";   // 21 characters
    IniFile ini;
    ASSERT_TRUE(WriteTitleSettings(titles, ini));
    EXPECT_EQ(ini.value("Titles", "Title2"), std::optional<std::string>("Volume 12345678901234"));
    const MainWindowState m = ReadMainWindowState(ini, "/");
    EXPECT_EQ(m.titles.count, 2);
    EXPECT_EQ(m.titles.titles[0], "Flow temperatur");
    EXPECT_EQ(m.titles.titles[1], "Volume 12345678");
}

TEST(AdditionalTitles, CuttingCountsCharactersAndNeverSplitsOne) {
    struct Case {
        const char* what;
        std::string text;
        std::size_t count;
        std::string expected;
    } cases[] = {
        {"short text stays", "abc", 15, "abc"},
        {"ASCII cut", "abcdef", 3, "abc"},
        {"two-byte characters count once", "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", 3, "\xC3\xA9\xC3\xA9\xC3\xA9"},
        {"three-byte character kept whole", "ab\xE2\x82\xAC" "cd", 3, "ab\xE2\x82\xAC"},
        {"8-bit text is cut by bytes", "\xE9\xE9\xE9\xE9", 2, "\xE9\xE9"},
        {"truncated sequence is 8-bit text", "abcd\xC3", 3, "abc"},
        {"zero characters", "abc", 0, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(CutToCharacters(c.text, c.count), c.expected) << c.what;
}

} // namespace
} // namespace veltro
