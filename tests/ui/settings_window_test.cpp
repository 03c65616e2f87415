// The settings window on the live settings: re-read on opening, "Apply" writes the file, "Cancel"
// does not, the exclusive boxes and groups, the title fields, its caption table.
#include "window_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTest>

#include "app/ini_file.h"
#include "ui/settings_window.h"

namespace veltro::test {
namespace {

class SettingsWindow : public WindowFixture {
protected:
    void open() {
        createWindow();
        settingsWindow = std::make_unique<TSettings>(*engine);
        settingsWindow->show();
    }
    template <class Widget>
    Widget* control(const char* name) {
        auto* widget = settingsWindow->findChild<Widget*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << "no control named " << name;
        return widget;
    }
    // A click as the operator's: only on an enabled control, and it runs the control's handler.
    void click(const char* name) {
        auto* button = control<QAbstractButton>(name);
        ASSERT_TRUE(button->isEnabled()) << name << " is disabled";
        button->click();
    }
    void type(const char* name, const char* text) {
        auto* edit = control<QLineEdit>(name);
        ASSERT_TRUE(edit->isEnabled()) << name << " is disabled";
        edit->selectAll();
        QTest::keyClicks(edit, QString::fromLatin1(text));
    }
    IniFile ini() const { return IniFile::parse(readIni().toStdString()); }

    void TearDown() override {
        settingsWindow.reset();
        WindowFixture::TearDown();
    }

    std::unique_ptr<TSettings> settingsWindow;
};

TEST_F(SettingsWindow, AMissingFileShowsTheDefaults) {
    open();
    EXPECT_EQ(control<QComboBox>("Combo_com_name")->currentText(), "COM1");
    EXPECT_EQ(control<QComboBox>("Combo_com_speed")->currentText(), "300");
    EXPECT_EQ(control<QComboBox>("Combo_com_parity")->currentText(), "Even");
    EXPECT_EQ(control<QSpinBox>("UD_retry_read")->value(), 1);
    EXPECT_TRUE(control<QCheckBox>("Check_MSB")->isChecked());
    EXPECT_FALSE(control<QCheckBox>("Check_LSB")->isChecked());
    EXPECT_EQ(control<QLineEdit>("Edit_tcp_port")->text(), "59615");
    EXPECT_TRUE(control<QCheckBox>("Check_open_tcp")->isChecked());
    EXPECT_TRUE(control<QCheckBox>("Check_keepAlive")->isChecked());
    EXPECT_EQ(control<QLineEdit>("Edit_vodud_ip")->text(), "192.168.1.3");
    EXPECT_EQ(control<QLineEdit>("Edit_vodud_port")->text(), "10001");
    EXPECT_EQ(control<QSpinBox>("UD_eth_timeout")->value(), 50);
    EXPECT_EQ(control<QLineEdit>("Edit_export_separator")->text(), ";");
    EXPECT_EQ(control<QLineEdit>("Edit_decimal")->text(), ".");
}

TEST_F(SettingsWindow, CancelWritesNothingAndTheNextOpeningRereadsTheFile) {
    writeIni("[Misc]\r\nExportSeparator=;\r\nRetry=2\r\n");
    open();
    const QByteArray before = readIni();
    type("Edit_export_separator", ",");
    control<QSpinBox>("UD_retry_read")->setValue(5);
    // What is typed is live at once, for the operations that read it.
    EXPECT_EQ(engine->settings().settings().misc.exportSeparator, ",");
    EXPECT_EQ(engine->settings().settings().misc.retry, 5);
    click("BitBtn2");
    EXPECT_FALSE(settingsWindow->isVisible());
    EXPECT_EQ(readIni(), before);

    settingsWindow->show();
    EXPECT_EQ(control<QLineEdit>("Edit_export_separator")->text(), ";");
    EXPECT_EQ(control<QSpinBox>("UD_retry_read")->value(), 2);
    EXPECT_EQ(engine->settings().settings().misc.retry, 2);
}

TEST_F(SettingsWindow, ApplyWritesTheCommunicationKeysAndCloses) {
    writeIni("[Mbus]\r\nSearchTo=9\r\n");
    open();
    control<QComboBox>("Combo_com_name")->setEditText("ttyUSB0");
    control<QComboBox>("Combo_com_speed")->setCurrentText("2400");
    type("Edit_export_separator", ",");
    type("Edit_decimal", ",");
    control<QSpinBox>("UD_retry_read")->setValue(3);
    click("Check_xport");
    type("Edit_vodud_ip", "10.0.0.7");
    type("Edit_vodud_port", "4001");
    click("Check_multitelegram");
    click("BitBtn1");
    EXPECT_FALSE(settingsWindow->isVisible());
    const IniFile file = ini();
    EXPECT_EQ(file.value("Com port", "Name"), "ttyUSB0");
    EXPECT_EQ(file.value("Com port", "Speed"), "2400");
    EXPECT_EQ(file.value("Misc", "ExportSeparator"), ",");
    EXPECT_EQ(file.value("Misc", "DecSeparator"), ",");
    EXPECT_EQ(file.value("Misc", "Retry"), "3");
    EXPECT_EQ(file.value("Misc", "UseVODUD"), "1");
    EXPECT_EQ(file.value("Misc", "Multitelegram"), "1");
    EXPECT_EQ(file.value("VODUD", "IP"), "10.0.0.7");
    EXPECT_EQ(file.value("VODUD", "Port"), "4001");
    EXPECT_EQ(file.value("Mbus", "SearchTo"), "9");      // another window's key survives
    EXPECT_FALSE(file.value("Titles", "Count").has_value());  // the other page's Apply writes those
}

TEST_F(SettingsWindow, TheTitlesPageShowsCountFieldsAndGivesTheGridItsColumns) {
    open();
    auto* count = control<QSpinBox>("UD_addValues");
    count->setValue(0);
    for (int k = 1; k <= 15; ++k)
        EXPECT_TRUE(control<QLineEdit>(QStringLiteral("Edit%1").arg(k).toLatin1().constData())->isHidden());
    count->setValue(15);
    for (int k = 1; k <= 15; ++k)
        EXPECT_FALSE(control<QLineEdit>(QStringLiteral("Edit%1").arg(k).toLatin1().constData())->isHidden());
    count->setValue(2);
    EXPECT_FALSE(control<QLineEdit>("Edit2")->isHidden());
    EXPECT_TRUE(control<QLineEdit>("Edit3")->isHidden());
    control<QLineEdit>("Edit1")->setText("Energy of tariff 1 kWh");  // 22 characters
    control<QLineEdit>("Edit2")->setText("Flow");
    click("BitBtn3");
    EXPECT_FALSE(settingsWindow->isVisible());
    EXPECT_EQ(ini().value("Titles", "Count"), "2");
    EXPECT_EQ(ini().value("Titles", "Title1"), "Energy of tariff 1 kWh");  // stored in full
    const auto* grid = find<QTableView>("Grid_bmeters");
    ASSERT_EQ(grid->model()->columnCount(), 14);
    EXPECT_EQ(grid->model()->headerData(12, Qt::Horizontal).toString(), "Energy of tarif");  // cut to 15
    EXPECT_EQ(grid->model()->headerData(13, Qt::Horizontal).toString(), "Flow");
}

struct ExclusiveCase {
    const char* what;
    std::vector<const char*> checkedBefore;
    const char* clicked;
    std::vector<const char*> checkedAfter;  // of the boxes below
};

const std::vector<const char*> kExclusiveBoxes{"Check_xport",   "Check_nlan_server", "Check_ethernet", "Check_MSB",
                                               "Check_LSB",     "Check_autoldu",     "Check_autombus", "Check_autoSecondary",
                                               "Check_keepAlive"};

class ExclusiveBoxes : public SettingsWindow, public ::testing::WithParamInterface<ExclusiveCase> {};

TEST_P(ExclusiveBoxes, ClickingOneSetsTheOthers) {
    const ExclusiveCase& c = GetParam();
    open();
    for (const char* box : kExclusiveBoxes) control<QCheckBox>(box)->setChecked(false);
    for (const char* box : c.checkedBefore) control<QCheckBox>(box)->setChecked(true);
    // The automatic reads are in the listening group, usable in the gateway-server mode.
    control<QGroupBox>("GroupBox3")->setEnabled(true);
    click(c.clicked);
    for (const char* box : kExclusiveBoxes) {
        const bool expected = std::find_if(c.checkedAfter.begin(), c.checkedAfter.end(),
                                           [&](const char* name) { return std::string(name) == box; }) != c.checkedAfter.end();
        EXPECT_EQ(control<QCheckBox>(box)->isChecked(), expected) << box;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ExclusiveBoxes,
    ::testing::Values(
        ExclusiveCase{"VODUD over the gateway server", {"Check_ethernet"}, "Check_xport", {"Check_xport"}},
        ExclusiveCase{"gateway client over VODUD", {"Check_xport"}, "Check_nlan_server", {"Check_nlan_server"}},
        ExclusiveCase{"gateway server over both", {"Check_xport"}, "Check_ethernet", {"Check_ethernet"}},
        ExclusiveCase{"LSB after MSB", {"Check_MSB"}, "Check_LSB", {"Check_LSB"}},
        ExclusiveCase{"unchecking MSB checks LSB", {"Check_MSB"}, "Check_MSB", {"Check_LSB"}},
        ExclusiveCase{"auto m-bus clears the other three", {"Check_autoldu", "Check_autoSecondary", "Check_keepAlive"},
                      "Check_autombus", {"Check_autombus"}},
        ExclusiveCase{"auto display clears only auto m-bus", {"Check_autombus", "Check_keepAlive"}, "Check_autoldu",
                      {"Check_autoldu", "Check_keepAlive"}},
        ExclusiveCase{"keep-alive clears the auto reads", {"Check_autoldu", "Check_autombus", "Check_autoSecondary"},
                      "Check_keepAlive", {"Check_keepAlive"}},
        ExclusiveCase{"unchecking changes nothing else", {"Check_autoSecondary", "Check_open_tcp"}, "Check_autoSecondary", {}}),
    [](const auto& test) {
        std::string name = test.param.what;
        for (char& ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return name;
    });

TEST_F(SettingsWindow, TheSystemsPortsAreOfferedWithTheirDescriptionsAndKeptByName) {
    writeIni("[Com port]\r\nName=ttyACM0\r\n");
    open();
    settingsWindow->offerPorts({{"ttyS0", "16550A"}, {"ttyUSB0", "FT232R USB UART"}, {"ttyACM0", ""}, {"ttyS31", ""}});
    auto* ports = control<QComboBox>("Combo_com_name");
    QStringList offered;
    for (int i = 0; i < ports->count(); ++i) offered.append(ports->itemText(i));
    ASSERT_EQ(offered.size(), 30 + 3);
    EXPECT_EQ(offered.first(), "COM1");
    EXPECT_EQ(offered.mid(30), QStringList({"ttyUSB0 - FT232R USB UART", "ttyACM0", "ttyS31"}));  // ttyS0 is COM1

    ports->setCurrentIndex(30);
    EXPECT_EQ(ports->currentText(), "ttyUSB0");
    EXPECT_EQ(engine->settings().settings().comPort.name, "ttyUSB0");
    click("BitBtn1");
    EXPECT_EQ(ini().value("Com port", "Name"), "ttyUSB0");
}

TEST_F(SettingsWindow, TheTransportBoxesEnableTheirGroups) {
    open();
    auto* remote = control<QGroupBox>("GroupBox4");
    auto* listen = control<QGroupBox>("GroupBox3");
    ASSERT_FALSE(control<QCheckBox>("Check_ethernet")->isChecked());
    click("Check_ethernet");
    EXPECT_TRUE(listen->isEnabled());
    EXPECT_FALSE(remote->isEnabled());
    click("Check_xport");
    EXPECT_TRUE(remote->isEnabled());
    EXPECT_FALSE(listen->isEnabled());
    click("Check_xport");  // off again, with no other box: both groups off
    EXPECT_FALSE(remote->isEnabled());
    EXPECT_FALSE(listen->isEnabled());
}

TEST_F(SettingsWindow, PortFieldsTakeDigitsAndTheAddressFieldsAlsoDots) {
    open();
    click("Check_xport");  // the remote fields
    type("Edit_vodud_port", "10a0.1");
    EXPECT_EQ(control<QLineEdit>("Edit_vodud_port")->text(), "1001");
    type("Edit_vodud_ip", "192.168.x1.3");
    EXPECT_EQ(control<QLineEdit>("Edit_vodud_ip")->text(), "192.168.1.3");
    type("Edit_net_number", "1.2-3");
    EXPECT_EQ(control<QLineEdit>("Edit_net_number")->text(), "1.23");
    click("Check_ethernet");  // the listening field
    type("Edit_tcp_port", "5x9.");
    EXPECT_EQ(control<QLineEdit>("Edit_tcp_port")->text(), "59");
}

TEST_F(SettingsWindow, ItalianCaptionsWhenItalianIsChecked) {
    open();
    settingsWindow->hide();
    find<QAction>("Italian1")->trigger();
    settingsWindow->show();
    EXPECT_EQ(settingsWindow->windowTitle(), "Impostazioni");
    EXPECT_EQ(control<QGroupBox>("GroupBox1")->title(), "   Impostazioni seriale   ");
    EXPECT_EQ(control<QLabel>("Label_com_name")->text(), "Nome");
    EXPECT_EQ(control<QLabel>("Label_retry_read")->text(), "Tentativi");
    EXPECT_EQ(control<QPushButton>("BitBtn1")->text(), "Applica");
    EXPECT_EQ(control<QPushButton>("BitBtn2")->text(), "Cancella");
    EXPECT_EQ(control<QCheckBox>("Check_xport")->text(), "Use VODUD");  // not in the table

    settingsWindow->hide();
    find<QAction>("English1")->trigger();
    settingsWindow->show();
    EXPECT_EQ(settingsWindow->windowTitle(), "Settings");
    EXPECT_EQ(control<QGroupBox>("GroupBox1")->title(), "   Serial port settings   ");
    EXPECT_EQ(control<QPushButton>("BitBtn2")->text(), "Cancel");
}

} // namespace
} // namespace veltro::test
