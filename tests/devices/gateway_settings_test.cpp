#include <gtest/gtest.h>

#include <set>

#include "devices/gateway_settings.h"

namespace veltro {
namespace {

using Values = std::vector<std::string>;
using R = GatewayRefusal;

const GatewayClock kFifthOfMarch{2026, 3, 5, 9, 7};
const GatewayLinkModes kSerialOnly{};

// "text | log line | collector" for a command, the refusal otherwise.
std::string Outcome(const GatewayCommandResult& result) {
    if (result.command && result.refusal != R::None) return "a command and a refusal";
    if (!result.command) {
        static const char* const kinds[] = {"none", "logged: ", "silent", "too long", "unknown command", "value count", "bad clock"};
        return kinds[static_cast<int>(result.refusal)] + result.line;
    }
    const GatewayCommand& c = *result.command;
    std::string text = c.text + " |";
    for (const auto& line : c.log) text += " " + line;
    return text + (c.row->startsReplyCollector ? " | collect" : " | no collector");
}

std::string Set(std::string_view name, const Values& values, const GatewayLinkModes& modes = kSerialOnly,
                const GatewayClock& clock = kFifthOfMarch) {
    return Outcome(BuildGatewaySetting(name, values, clock, modes));
}

TEST(GatewaySettings, EveryRowOfTheCommandSet) {
    const struct {
        std::string outcome;
        const char* expected;
    } cases[] = {
        {Set("MASK", {"255.255.255.0"}), "SET MASK=255.255.255.0 | Changing netmask of NLAN-2... | collect"},
        {Set("IPV4", {"192.168.001.010"}), "SET IPV4=192.168.001.010 | Changing own IP of NLAN2... | collect"},
        {Set("GATE", {"192.168.1.1"}), "SET GATE=192.168.1.1 | Changing gateway IP of NLAN-2... | collect"},
        {Set("NETN", {"0.0.0.1"}), "SET NETN=0.0.0.1 | Changing network ID of NLAN-2... | collect"},
        {Set("IPMA", {"10.0.0.2"}), "SET IPMA=10.0.0.2 | Setting manufacturer IP... | collect"},
        {Set("IPCO", {"10.0.0.3"}), "SET IPCO=10.0.0.3 | Setting control IP... | collect"},
        {Set("IPO1", {"10.0.0.4"}), "SET IPO1=10.0.0.4 | Setting IP Op #1... | collect"},
        {Set("IPO2", {"10.0.0.4"}), "SET IPO2=10.0.0.4 | Setting IP Op #2... | collect"},
        {Set("IPO3", {"10.0.0.4"}), "SET IPO3=10.0.0.4 | Setting IP Op #3... | collect"},
        {Set("IPO4", {"10.0.0.4"}), "SET IPO4=10.0.0.4 | Setting IP Op #4... | collect"},
        {Set("PINC", {"0042"}), "SET PINC=0042 | Changing PIN code for GPRS connection... | collect"},
        {Set("USER", {"0"}), "SET USER=0 | Changing username for GPRS connection... | collect"},
        {Set("USER", {"a b"}), "SET USER=\"a b\" | Changing username for GPRS connection... | collect"},
        {Set("PASS", {"0"}), "SET PASS=0 | Changing password for GPRS connection... | collect"},
        {Set("PASS", {"s3cr'et"}), "SET PASS=\"s3cr'et\" | Changing password for GPRS connection... | collect"},
        {Set("APNM", {"internet"}), "SET APNM=\"internet\" | Setting Access point of GPRS connection... | no collector"},
        {Set("PHON", {"0"}), "SET PHON=0 | Setting phone number for GPRS connection... | no collector"},
        {Set("PHON", {"+39 02 1234"}), "SET PHON=\"+39 02 1234\" | Setting phone number for GPRS connection... | no collector"},
        {Set("DUED", {"1", "0", "5"}), "SET DUED=01/00/05 | Changing automatic readout time... | collect"},
        {Set("COM2", {"9600", "None"}), "SET COM2=4,2 | Changing NLAN-2 serial port settings... | collect"},
        {Set("RETN", {"3"}), "SET RETN=03 | Changing retry number for connection to server... | collect"},
        {Set("PITO", {"5"}), "SET PITO=05 | Changing ping server timeout... | collect"},
        {Set("RETI", {"50"}), "SET RETI=50 | Changing NLAN-2 retry timeout... | collect"},
        {Set("NETO", {"25"}), "SET NETO=25 | Changing NLAN-2 m-bus response timeout... | collect"},
        {Set("DATE", {}), "SET DATE=05,03,26 | Setting date of NLAN-2... | collect"},
        {Set("TIME", {}), "SET TIME=09,07 | Setting time of NLAN-2... | collect"},
        {Set("SERV", {"1"}), "SET SERV=1 | Changing NLAN-2 to server, requires RESTART of NLAN-2 | collect"},
        {Set("SERV", {"0"}), "SET SERV=0 | Changing NLAN-2 to client, requires RESTART of NLAN-2 | collect"},
        {Set("TEST", {}), "SET TEST | | collect"},
        {Outcome(BuildGatewayQuery("MAIN", kSerialOnly)), "GET MAIN | | collect"},
        {Outcome(BuildGatewayQuery("SERV", kSerialOnly)), "GET SERV | | collect"},
        {Outcome(BuildGatewayQuery("CONN", kSerialOnly)), "GET CONN | | collect"},
        {Outcome(BuildGatewayQuery("OPER", kSerialOnly)), "GET OPER | | collect"},
        {Outcome(BuildGatewayQuery("GPRS", kSerialOnly)), "GET GPRS | | collect"},
        {Outcome(BuildGatewayQuery("STAT", kSerialOnly)), "GET STAT | | collect"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.outcome, c.expected);
    EXPECT_EQ(GatewayCommandSet().size(), std::size(cases) - 3) << "a case per row; USER, PASS and PHON have two";
}

TEST(GatewaySettings, FieldChecksAndEncodings) {
    const std::string quotes = "logged: Wrong value, double quotes are not allowed, skipping...";
    const struct {
        const char* what;
        std::string outcome;
        std::string expected;
    } cases[] = {
        // IP addresses: checked by the dotted-quad rule, sent as typed.
        {"own IP 192.168.1.300", Set("IPV4", {"192.168.1.300"}), "logged: Wrong IP value, please correct..."},
        {"own IP with a fifth number", Set("IPV4", {"1.2.3.4.5"}), "logged: Wrong IP value, please correct..."},
        {"empty IP does nothing", Set("GATE", {""}), "silent"},
        {"16 characters do not fit the field", Set("GATE", {"192.168.001.0100"}), "too long"},

        // Two digits, within the up-down's range.
        {"ping 48", Set("PITO", {"48"}), "SET PITO=48 | Changing ping server timeout... | collect"},
        {"ping 49 does nothing", Set("PITO", {"49"}), "silent"},
        {"ping 0 is below the range", Set("PITO", {"0"}), "silent"},
        {"ping empty", Set("PITO", {""}), "silent"},
        {"ping not a number", Set("PITO", {"5s"}), "silent"},
        {"ping 05 as typed", Set("PITO", {"05"}), "SET PITO=05 | Changing ping server timeout... | collect"},
        {"ping of many digits", Set("PITO", {"99999999999999999999"}), "silent"},
        {"retries 1..16", Set("RETN", {"16"}) + Set("RETN", {"17"}) + Set("RETN", {"1"}),
         "SET RETN=16 | Changing retry number for connection to server... | collectsilentSET RETN=01 | Changing retry number for connection to server... | collect"},
        {"retry timeout 51", Set("RETI", {"51"}), "silent"},
        {"response timeout 3..25", Set("NETO", {"2"}) + Set("NETO", {"3"}), "silentSET NETO=03 | Changing NLAN-2 m-bus response timeout... | collect"},
        {"response timeout 26", Set("NETO", {"26"}), "silent"},

        // Due date.
        {"due date 31/23/59", Set("DUED", {"31", "23", "59"}), "SET DUED=31/23/59 | Changing automatic readout time... | collect"},
        {"due date empty day", Set("DUED", {"", "0", "5"}), "logged: Wrong readout time, skipping..."},
        {"due date empty minute", Set("DUED", {"1", "0", ""}), "logged: Wrong readout time, skipping..."},
        {"due date day 0", Set("DUED", {"0", "0", "5"}), "logged: Wrong readout time, skipping..."},
        {"due date hour 24", Set("DUED", {"1", "24", "5"}), "logged: Wrong readout time, skipping..."},
        {"due date minute 60", Set("DUED", {"1", "0", "60"}), "logged: Wrong readout time, skipping..."},

        // Serial port: every item's code, speed before parity.
        {"300 Even", Set("COM2", {"300", "Even"}), "SET COM2=0,0 | Changing NLAN-2 serial port settings... | collect"},
        {"1200 Odd", Set("COM2", {"1200", "Odd"}), "SET COM2=1,1 | Changing NLAN-2 serial port settings... | collect"},
        {"2400 None", Set("COM2", {"2400", "None"}), "SET COM2=2,2 | Changing NLAN-2 serial port settings... | collect"},
        {"4800", Set("COM2", {"4800", "Even"}), "SET COM2=3,0 | Changing NLAN-2 serial port settings... | collect"},
        {"19200", Set("COM2", {"19200", "Even"}), "SET COM2=5,0 | Changing NLAN-2 serial port settings... | collect"},
        {"38400", Set("COM2", {"38400", "Even"}), "SET COM2=6,0 | Changing NLAN-2 serial port settings... | collect"},
        {"empty speed: the parity is not examined", Set("COM2", {"", "x"}), "logged: Wrong speed, skipping..."},
        {"speed 115200", Set("COM2", {"115200", "None"}), "logged: Wrong speed, skipping..."},
        {"parity none in lower case", Set("COM2", {"9600", "none"}), "logged: Wrong parity, skipping..."},

        // PIN.
        {"PIN of three digits", Set("PINC", {"123"}), "logged: PIN must be 4 digits, skipping..."},
        {"PIN of five digits", Set("PINC", {"12345"}), "logged: PIN must be 4 digits, skipping..."},
        {"PIN with a letter", Set("PINC", {"12a4"}), "logged: PIN must be 4 digits, skipping..."},
        {"PIN empty", Set("PINC", {""}), "logged: PIN must be 4 digits, skipping..."},

        // Quoted texts.
        {"user 00 is a name, not the delete", Set("USER", {"00"}), "SET USER=\"00\" | Changing username for GPRS connection... | collect"},
        {"empty user is sent as an empty name", Set("USER", {""}), "SET USER=\"\" | Changing username for GPRS connection... | collect"},
        {"APN 0 has no delete form", Set("APNM", {"0"}), "SET APNM=\"0\" | Setting Access point of GPRS connection... | no collector"},
        {"user with a double quote", Set("USER", {"a\"b"}), quotes},
        {"password with a line feed", Set("PASS", {"ab\n"}), quotes},
        {"APN with a carriage return", Set("APNM", {"a\rSET SERV=0"}), quotes},
        {"phone with a tab", Set("PHON", {"\t1"}), quotes},
        {"user with DEL", Set("USER", {"a\x7F"}), quotes},
        {"user with NUL", Set("USER", {std::string("a\0b", 3)}), quotes},
        {"user with the C1 control NEL", Set("USER", {"a\xC2\x85"}), quotes},
        {"user with an accented letter", Set("USER", {"Jos\xC3\xA9"}), "SET USER=\"Jos\xC3\xA9\" | Changing username for GPRS connection... | collect"},
        {"user of 19 characters", Set("USER", {std::string(19, 'u')}),
         "SET USER=\"" + std::string(19, 'u') + "\" | Changing username for GPRS connection... | collect"},
        {"user of 19 two-byte characters", Set("USER", {[] { std::string s; for (int i = 0; i < 19; ++i) s += "\xC3\xA9"; return s; }()}),
         "SET USER=\"" + [] { std::string s; for (int i = 0; i < 19; ++i) s += "\xC3\xA9"; return s; }() +
             "\" | Changing username for GPRS connection... | collect"},
        {"user of 20 characters", Set("USER", {std::string(20, 'u')}), "too long"},
        {"password of 20 characters", Set("PASS", {std::string(20, 'p')}), "too long"},
        {"APN of 28 characters", Set("APNM", {std::string(28, 'a')}), "too long"},
        {"phone of 20 digits", Set("PHON", {std::string(20, '1')}),
         "SET PHON=\"" + std::string(20, '1') + "\" | Setting phone number for GPRS connection... | no collector"},
        {"phone of 21 digits", Set("PHON", {std::string(21, '1')}), "too long"},

        // The clock.
        {"31 December 2099 23:59", Set("DATE", {}, kSerialOnly, {2099, 12, 31, 23, 59}) + Set("TIME", {}, kSerialOnly, {2099, 12, 31, 23, 59}),
         "SET DATE=31,12,99 | Setting date of NLAN-2... | collectSET TIME=23,59 | Setting time of NLAN-2... | collect"},
        {"1 January 2000 00:00", Set("DATE", {}, kSerialOnly, {2000, 1, 1, 0, 0}), "SET DATE=01,01,00 | Setting date of NLAN-2... | collect"},
        {"year 1999", Set("DATE", {}, kSerialOnly, {1999, 12, 31, 0, 0}), "bad clock"},
        {"year 2100", Set("DATE", {}, kSerialOnly, {2100, 1, 1, 0, 0}), "bad clock"},
        {"30 February", Set("DATE", {}, kSerialOnly, {2026, 2, 30, 0, 0}), "bad clock"},
        {"month 13", Set("DATE", {}, kSerialOnly, {2026, 13, 1, 0, 0}), "bad clock"},
        {"hour 24", Set("TIME", {}, kSerialOnly, {2026, 1, 1, 24, 0}), "bad clock"},
        {"minute -1", Set("TIME", {}, kSerialOnly, {2026, 1, 1, 0, -1}), "bad clock"},

        // Names and value counts.
        {"lower-case name", Set("pito", {"5"}), "unknown command"},
        {"no such name", Set("PORT", {"10001"}), "unknown command"},
        {"SERV 2", Set("SERV", {"2"}), "unknown command"},
        {"SERV without a value", Set("SERV", {}), "value count"},
        {"GET as a setting", Set("MAIN", {}), "unknown command"},
        {"TEST as a query", Outcome(BuildGatewayQuery("TEST", kSerialOnly)), "unknown command"},
        {"PITO with two values", Set("PITO", {"5", "6"}), "value count"},
        {"PITO without a value", Set("PITO", {}), "value count"},
        {"DUED with two values", Set("DUED", {"1", "2"}), "value count"},
        {"DATE with a value", Set("DATE", {"05,03,26"}), "value count"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.outcome, c.expected) << c.what;
}

TEST(GatewaySettings, OnlyOverRs232) {
    const std::string rs232 = "logged: Setting of NLAN-2 or NCEL-1A is only RS-232!";
    // The rows that the gateway client mode refuses as well; by hand from the command set.
    const std::set<std::string> allThree = {"MASK", "IPV4", "GATE", "NETN", "IPMA", "IPCO", "IPO1", "IPO2", "IPO3", "IPO4",
                                            "TEST", "GET MAIN", "GET SERV", "GET CONN", "GET OPER", "GET GPRS", "GET STAT"};
    // Values every row accepts.
    const auto valuesOf = [](const GatewayCommandRow& row) -> Values {
        switch (row.value) {
        case GatewayValue::IpAddress: return {"10.0.0.1"};
        case GatewayValue::Pin: return {"1234"};
        case GatewayValue::Quoted: case GatewayValue::QuotedOrZero: return {"x"};
        case GatewayValue::DueDate: return {"1", "0", "5"};
        case GatewayValue::SerialPort: return {"9600", "None"};
        case GatewayValue::TwoDigits: return {"5"};
        case GatewayValue::Fixed: return {std::string(row.fixedValue)};
        default: return {};
        }
    };
    int rows = 0;
    for (const GatewayCommandRow& row : GatewayCommandSet()) {
        const bool get = row.verb == GatewayVerb::Get;
        const std::string label = (get ? "GET " : "") + std::string(row.name) + " " + std::string(row.fixedValue);
        const auto build = [&](GatewayLinkModes modes) {
            return Outcome(get ? BuildGatewayQuery(row.name, modes) : BuildGatewaySetting(row.name, valuesOf(row), kFifthOfMarch, modes));
        };
        const bool refusedByClient = allThree.count((get ? "GET " : "") + std::string(row.name)) > 0;
        EXPECT_NE(build({}).substr(0, 4), "logg") << label << " sent over the serial port";
        EXPECT_EQ(build({true, false, false}), rs232) << label << " with Check_ethernet";
        EXPECT_EQ(build({false, true, false}), rs232) << label << " with Check_xport";
        EXPECT_EQ(build({false, false, true}) == rs232, refusedByClient) << label << " with Check_nlan_server";
        ++rows;
    }
    EXPECT_EQ(rows, 32);

    const GatewayLinkModes client{false, false, true};
    EXPECT_EQ(Set("MASK", {"255.255.255.0"}, client), rs232);
    EXPECT_EQ(Set("PITO", {"5"}, client), "SET PITO=05 | Changing ping server timeout... | collect");
    // The field checks come first; the clock buttons ask the rule before they read the clock.
    const GatewayLinkModes server{true, false, false};
    EXPECT_EQ(Set("NETN", {"1.2.3"}, server), "logged: Wrong IP value, please correct...");
    EXPECT_EQ(Set("PITO", {""}, server), "silent");
    EXPECT_EQ(Set("COM2", {"", "None"}, server), "logged: Wrong speed, skipping...");
    EXPECT_EQ(Set("DATE", {}, server, {1999, 1, 1, 0, 0}), rs232);
}

// Which device choice enables each control, as the page's two lists name them.
TEST(GatewaySettings, DeviceOfEachControl) {
    const std::set<std::string> nlan2 = {"Butt_CMT", "Butt_CET", "Butt_TXG", "Butt_RXG"};
    const std::set<std::string> ncel = {"Butt_gprs_pin", "Butt_gprs_user", "Butt_gprs_pass", "Butt_apn",
                                        "Butt_phone_number", "Butt_gprs_info", "Butt_gprs_stat"};
    for (const GatewayCommandRow& row : GatewayCommandSet()) {
        const std::string button(row.button);
        const GatewayDevice expected = nlan2.count(button) ? GatewayDevice::Nlan2
                                       : ncel.count(button) ? GatewayDevice::Ncel1A
                                                            : GatewayDevice::Both;
        EXPECT_EQ(row.device, expected) << button;
    }
}

} // namespace
} // namespace veltro
