// The communication-devices page driven by its control names against the simulator's gateway settings
// port on a real pseudo-terminal: the device choice and what it enables, the operator slots, the key
// filters and up-down ranges, the refusals that write nothing and the commands the gateway receives.
#include "window_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>

#include "devices/gateway_settings.h"
#include "link/operation_runner.h"
#include "link/serial_channel.h"
#include "sim/gateway_settings.h"
#include "sim/gateway_settings_port.h"
#include "ui/gateway_page_view.h"

namespace veltro::test {
namespace {

const QStringList kNlan2Only{"Edit_own_ip", "Butt_CMT", "Edit_mask_ip", "Butt_CET", "UD_retries", "Edit_retries",
                             "Butt_TXG", "UD_retry_timeout", "Edit_retry_timeout", "Butt_RXG"};
const QStringList kNcel1AOnly{"Edit_gprs_pin", "Butt_gprs_pin", "Edit_gprs_username", "Butt_gprs_user",
                              "Edit_gprs_pass", "Butt_gprs_pass", "Edit_apn", "Butt_apn", "Edit_phone_number",
                              "Butt_phone_number", "Butt_gprs_info", "Butt_gprs_stat"};
const QStringList kBoth{"Edit_gw_ip", "Butt_MET", "Edit_op1_ip", "Butt_nlan2_op1", "Combo_com2_speed", "Butt_DDT",
                        "UD_ping", "Butt_DPP", "UD_day", "Butt_OHA", "Butt_eth_date", "BitBtn39", "Butt_eth_main",
                        "Butt_nlan2_test"};

class GatewayPage : public WindowFixture {
protected:
    void showPage() {
        window->show();
        find<QTabWidget>("PageControl1")->setCurrentWidget(find<QWidget>("TabSheet2"));
    }
    // The main window with its serial port on the simulated gateway's settings port.
    void openOnGateway() {
        ASSERT_TRUE(m_port.open()) << m_port.errorString().toStdString();
        QObject::connect(&m_port, &sim::GatewaySettingsPort::log, [this](const QString& line) {
            static const QString kPrefix = QStringLiteral("gateway settings <- ");
            if (line.startsWith(kPrefix)) received << line.mid(kPrefix.size()).section(QStringLiteral(" -> "), 0, 0);
        });
        writeIni("[Com port]\r\nName=" + m_port.slavePath().toLatin1() + "\r\nSpeed=9600\r\n");
        createWindow();
        engine->settings().setResponseWindow(300);
        QObject::connect(&engine->serial(), &SerialChannel::openChanged, [this](bool open) { opened += open ? 1 : 0; });
        showPage();
    }
    QWidget* control(const QString& name) const {
        auto* widget = window->findChild<QWidget*>(name);
        EXPECT_NE(widget, nullptr) << "no control named " << name.toStdString();
        return widget;
    }
    void click(const char* name) { QTest::mouseClick(find<QAbstractButton>(name), Qt::LeftButton); }
    void type(const char* name, const QString& text) {
        auto* field = find<QLineEdit>(name);
        field->clear();
        QTest::keyClicks(field, text);
    }
    QStringList logSince(qsizetype from) const { return engine->log().lines().mid(from); }
    bool waitIdle() {
        return waitFor([&] { return engine->runner().idle(); });
    }

    sim::GatewaySettings gateway{{0, 0, 0, 1}, true};
    QStringList received;  // the commands the gateway heard, in order
    int opened = 0;        // times the serial port was opened

private:
    sim::GatewaySettingsPort m_port{gateway};
};

TEST_F(GatewayPage, EveryCommandHasItsButtonOnThePageAndTheCaptionsFollowTheLanguage) {
    createWindow();
    auto* page = find<GatewayPageView>("TabSheet2");
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(find<QTabWidget>("PageControl1")->indexOf(page), 1);
    for (const GatewayCommandRow& row : GatewayCommandSet())
        EXPECT_NE(page->findChild<QPushButton*>(QString::fromLatin1(row.button.data(), row.button.size())), nullptr)
            << row.button;
    int setButtons = 0;
    for (const auto* button : page->findChildren<QPushButton*>()) setButtons += button->text() == "Set" ? 1 : 0;
    EXPECT_EQ(setButtons, 18);

    const struct {
        const char* name;
        QString english, italian;
    } captions[] = {
        {"Group_network", "   Network related options   ", "   Network related options   "},
        {"Label_own_ip", "Set Own IPv4", "IPv4"},
        {"Label_man_ip", "Manufacturer IP", "IP di fabbrica"},
        {"Label_due_date", "Set Due date (dd/hh/mm)", "Impostata data conn."},
        {"Label_retry_timeout", "Set retry timeoue (0.1 - 5s)", "Set retry timeoue (0.1 - 5s)"},
        {"Butt_eth_oper", "OPs info", "OPs info"},
        {"Butt_gprs_stat", "Get GPRS status", "Get GPRS status"},
    };
    auto caption = [&](const char* name) {
        if (auto* group = page->findChild<QGroupBox*>(name)) return group->title();
        if (auto* label = page->findChild<QLabel*>(name)) return label->text();
        if (auto* button = page->findChild<QPushButton*>(name)) return button->text();
        return QStringLiteral("<no control>");
    };
    for (const auto& c : captions) EXPECT_EQ(caption(c.name), c.english) << c.name;
    find<QAction>("Italian1")->trigger();
    for (const auto& c : captions) EXPECT_EQ(caption(c.name), c.italian) << c.name;
}

TEST_F(GatewayPage, TheDeviceChoiceIsAPairAndEnablesItsOwnControls) {
    createWindow();
    showPage();
    auto* nlan2 = find<QCheckBox>("Check_nlan2");
    auto* ncel = find<QCheckBox>("Check_ncel");
    const struct {
        const char* what;
        const char* clicked;  // nullptr: as at start
        bool nlan2Chosen;
    } steps[] = {
        {"NLAN at start", nullptr, true},
        {"checking NCEL unchecks NLAN", "Check_ncel", false},
        {"unchecking NCEL checks NLAN", "Check_ncel", true},
        {"unchecking NLAN checks NCEL", "Check_nlan2", false},
        {"checking NLAN unchecks NCEL", "Check_nlan2", true},
    };
    for (const auto& step : steps) {
        if (step.clicked) click(step.clicked);
        EXPECT_EQ(nlan2->isChecked(), step.nlan2Chosen) << step.what;
        EXPECT_EQ(ncel->isChecked(), !step.nlan2Chosen) << step.what;
        for (const QString& name : kNlan2Only) EXPECT_EQ(control(name)->isEnabled(), step.nlan2Chosen) << step.what << " " << name.toStdString();
        for (const QString& name : kNcel1AOnly) EXPECT_EQ(control(name)->isEnabled(), !step.nlan2Chosen) << step.what << " " << name.toStdString();
        for (const QString& name : kBoth) EXPECT_TRUE(control(name)->isEnabled()) << step.what << " " << name.toStdString();
    }
}

TEST_F(GatewayPage, OperatorSlotsAreExclusiveAndTheFieldsTakeOnlyTheirCharacters) {
    createWindow();
    showPage();
    auto checkedSlots = [&] {
        QString checked;
        for (const char* name : {"Check_op1", "Check_op2", "Check_op3", "Check_op4"})
            checked += find<QCheckBox>(name)->isChecked() ? "x" : "-";
        return checked;
    };
    EXPECT_EQ(checkedSlots(), "x---");
    click("Check_op3");
    EXPECT_EQ(checkedSlots(), "--x-") << "checking #3 while #1 is checked";
    click("Check_op4");
    EXPECT_EQ(checkedSlots(), "---x");
    click("Check_op4");
    EXPECT_EQ(checkedSlots(), "----") << "unchecking leaves no slot";

    const struct {
        const char* field;
        const char* typed;
        const char* kept;
    } keys[] = {
        {"Edit_gw_ip", "192.168.a1.1x", "192.168.1.1"},
        {"Edit_op1_ip", "255.255.255.255.1", "255.255.255.255"},  // 15 characters
        {"Edit_gprs_pin", "12a345", "1234"},
        {"Edit_gprs_username", "0123456789 abcdefghij", "0123456789 abcdefgh"},
        {"Edit_apn", "internet.provider.example.com", "internet.provider.example.c"},
        {"Edit_phone_number", "+39 012 345 678 901 234", "+39 012 345 678 901 "},
    };
    click("Check_ncel");
    for (const auto& k : keys) {
        type(k.field, k.typed);
        EXPECT_EQ(find<QLineEdit>(k.field)->text(), k.kept) << k.field;
    }

    const struct {
        const char* upDown;
        int low, high;
    } ranges[] = {{"UD_retries", 1, 16}, {"UD_ping", 1, 48}, {"UD_retry_timeout", 1, 50}, {"UD_nlan_mbus", 3, 25},
                  {"UD_day", 1, 31},     {"UD_hour", 0, 23}, {"UD_minute", 0, 59}};
    for (const auto& r : ranges) {
        const auto* upDown = find<QSpinBox>(r.upDown);
        EXPECT_EQ(upDown->minimum(), r.low) << r.upDown;
        EXPECT_EQ(upDown->maximum(), r.high) << r.upDown;
        EXPECT_EQ(upDown->value(), r.low) << r.upDown << " starts at its lowest";
    }
    EXPECT_EQ(find<QComboBox>("Combo_com2_speed")->count(), 7);
    EXPECT_EQ(find<QComboBox>("Combo_com2_parity")->itemText(2), "None");
}

TEST_F(GatewayPage, ARefusalLogsItsLineOrNothingAndWritesNothing) {
    openOnGateway();
    const struct {
        const char* what;
        std::function<void()> fill;
        const char* button;
        QStringList logged;
    } refusals[] = {
        {"an IP number above 255", [&] { type("Edit_own_ip", "192.168.1.300"); }, "Butt_CMT", {"Wrong IP value, please correct..."}},
        {"an empty IP field", [&] { type("Edit_gw_ip", ""); }, "Butt_MET", {}},
        {"an operator IP of three parts", [&] { type("Edit_op1_ip", "10.0.3"); }, "Butt_nlan2_op1", {"Wrong IP value, please correct..."}},
        {"an empty speed, the parity not examined",
         [&] { find<QComboBox>("Combo_com2_parity")->setEditText("Mark"); }, "Butt_DDT", {"Wrong speed, skipping..."}},
        {"a parity not in the list",
         [&] { find<QComboBox>("Combo_com2_speed")->setEditText("9600"); }, "Butt_DDT", {"Wrong parity, skipping..."}},
        {"an empty ping timeout", [&] { type("Edit_ping", ""); }, "Butt_DPP", {}},
        {"an empty due-date minute", [&] { type("Edit_minute", ""); }, "Butt_OHA", {"Wrong readout time, skipping..."}},
        {"a PIN of three digits",
         [&] {
             click("Check_ncel");
             type("Edit_gprs_pin", "123");
         },
         "Butt_gprs_pin", {"PIN must be 4 digits, skipping..."}},
        {"a user name with a double quote", [&] { type("Edit_gprs_username", "a\"b"); }, "Butt_gprs_user",
         {QString::fromLatin1(kQuotesNotAllowed.data(), kQuotesNotAllowed.size())}},
        {"the netmask with the NLAN-2 server mode checked",
         [&] {
             click("Check_nlan2");
             Settings s = engine->settings().settings();
             s.misc.useNlanServ = true;
             engine->settings().setSettings(s);
             type("Edit_mask_ip", "255.255.255.0");
         },
         "Butt_CET", {"Setting of NLAN-2 or NCEL-1A is only RS-232!"}},
    };
    for (const auto& r : refusals) {
        r.fill();
        const qsizetype from = engine->log().lines().size();
        click(r.button);
        EXPECT_EQ(logSince(from), r.logged) << r.what;
        QTest::qWait(100);  // the gateway's pause that ends a command
    }
    EXPECT_EQ(opened, 0) << "the serial port was never opened";
    EXPECT_TRUE(received.isEmpty()) << received.join(", ").toStdString();

    // The same mode leaves the commands refused only by the other two alone.
    type("Edit_ping", "5");
    click("Butt_DPP");
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(received, QStringList{"SET PITO=05"});
}

TEST_F(GatewayPage, ACommandIsLoggedWrittenAsBuiltAndItsAnswerShownAsText) {
    openOnGateway();
    const struct {
        const char* what;
        std::function<void()> fill;
        const char* button;
        QString sent;
        QStringList logged;  // before the port's own line
        QString answer;      // the last log line; empty: nothing collected
    } commands[] = {
        {"a ping timeout of one digit", [&] { type("Edit_ping", "5"); }, "Butt_DPP", "SET PITO=05",
         {"Changing ping server timeout..."}, "OK\r\n"},
        {"the due date", [&] { type("Edit_day", "1"); type("Edit_hour", "0"); type("Edit_minute", "5"); }, "Butt_OHA",
         "SET DUED=01/00/05", {"Changing automatic readout time..."}, "OK\r\n"},
        {"the serial port by its items",
         [&] {
             find<QComboBox>("Combo_com2_speed")->setCurrentText("9600");
             find<QComboBox>("Combo_com2_parity")->setCurrentText("None");
         },
         "Butt_DDT", "SET COM2=4,2", {"Changing NLAN-2 serial port settings..."}, "OK\r\n"},
        {"an IP address as typed", [&] { type("Edit_own_ip", "192.168.001.010"); }, "Butt_CMT", "SET IPV4=192.168.001.010",
         {"Changing own IP of NLAN2..."}, "OK\r\n"},
        {"the third operator slot",
         [&] {
             click("Check_op3");
             type("Edit_op1_ip", "10.0.0.3");
         },
         "Butt_nlan2_op1", "SET IPO3=10.0.0.3", {"Setting IP Op #3..."}, "OK\r\n"},
        {"server mode, a fixed value", [] {}, "BitBtn39", "SET SERV=1", {"Changing NLAN-2 to server, requires RESTART of NLAN-2"},
         "OK\r\n"},
        {"the information of a group", [] {}, "Butt_eth_oper", "GET OPER", {},
         "IPO1=0.0.0.0\r\nIPO2=0.0.0.0\r\nIPO3=10.0.0.3\r\nIPO4=0.0.0.0\r\n"},
        {"a user name in quotes",
         [&] {
             click("Check_ncel");
             type("Edit_gprs_username", "a b");
         },
         "Butt_gprs_user", "SET USER=\"a b\"", {"Changing username for GPRS connection..."}, "OK\r\n"},
        {"the APN, whose answer is not collected", [&] { type("Edit_apn", "internet"); }, "Butt_apn", "SET APNM=\"internet\"",
         {"Setting Access point of GPRS connection..."}, {}},
    };
    for (const auto& c : commands) {
        c.fill();
        received.clear();
        const qsizetype from = engine->log().lines().size();
        click(c.button);
        ASSERT_TRUE(waitIdle()) << c.what;
        waitFor([&] { return !received.isEmpty(); }, 1000);
        EXPECT_EQ(received, QStringList{c.sent}) << c.what;
        const QStringList lines = logSince(from);
        ASSERT_GE(lines.size(), c.logged.size() + 1) << c.what;
        EXPECT_EQ(lines.mid(0, c.logged.size()), c.logged) << c.what;
        if (!c.answer.isEmpty()) EXPECT_EQ(lines.last(), c.answer) << c.what;
        else EXPECT_EQ(lines.size(), c.logged.size() + 1) << c.what << ": only the port's line follows";
    }
    EXPECT_EQ(gateway.answer("GET APNM"), "APNM=\"internet\"\r\n");

    // No operator slot checked: nothing is written, the answer window runs all the same.
    click("Check_op3");
    received.clear();
    const int openedBefore = opened;
    click("Butt_nlan2_op1");
    ASSERT_TRUE(waitIdle());
    QTest::qWait(100);
    EXPECT_TRUE(received.isEmpty()) << received.join(", ").toStdString();
    EXPECT_EQ(opened, openedBefore + 1);
}

} // namespace
} // namespace veltro::test
