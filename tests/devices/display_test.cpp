#include <gtest/gtest.h>

#include "devices/display_commands.h"
#include "devices/display_tables.h"
#include "meters/meter_table.h"

namespace veltro {
namespace {

using Cells = std::vector<std::string>;
using enum DisplaySetting;

// A display row: address, unit, start, mult/div, user number, free text, second-row text.
Cells Row(std::string address, std::string unit = "", std::string start = "", std::string multDiv = "",
          std::string user = "", std::string text = "", std::string text2 = "") {
    Cells cells(kDisplayColumns);
    cells[kDisplayAddressColumn] = std::move(address), cells[kDisplayUnitColumn] = std::move(unit);
    cells[kDisplayStartColumn] = std::move(start), cells[kDisplayMultDivColumn] = std::move(multDiv);
    cells[kDisplayUserColumn] = std::move(user), cells[kDisplayTextColumn] = std::move(text);
    cells[kDisplayText2Column] = std::move(text2);
    return cells;
}

// "command | log line" or "- | log line".
std::string Outcome(const std::vector<std::string>& log, const std::optional<std::string>& command) {
    std::string text = command ? *command : "-";
    for (const auto& line : log) text += " | " + line;
    return text;
}

TEST(DisplayCommands, RowCommandOfEverySetting) {
    const std::string fifty(50, 'x');
    const struct {
        DisplaySetting setting;
        Cells cells;
        std::string expected;
    } cases[] = {
        {Activate, Row("5"), "SET ENTR=5 | Activating device 5..."},
        {Units, Row("5", "m3"), "SET UNIT=5,2 | Setting unit of device 5..."},
        {Units, Row("7", "kWh"), "SET UNIT=7,1 | Setting unit of device 7..."},
        {Units, Row("7", "m3 "), "SET UNIT=7,2 | Setting unit of device 7..."},
        {Units, Row("7", "MJ"), "SET UNIT=7,4 | Setting unit of device 7..."},
        {Units, Row("7", ""), "SET UNIT=7, | Setting unit of device 7..."},
        {Units, Row("7", "GJ"), "- | Skipping unit of device 7...wrong"},
        // Mult/Div split
        {Multiplier, Row("5", "", "", "10/1"), "SET CONM=5,10 | Setting multiplier of device 5..."},
        {Divider, Row("5", "", "", "10/1"), "SET COND=5,1 | Setting divider of device 5..."},
        {Multiplier, Row("5", "", "", "/5"), "SET CONM=5,1 | Setting multiplier of device 5..."},
        {Divider, Row("5", "", "", "/5"), "SET COND=5,5 | Setting divider of device 5..."},
        {Multiplier, Row("5", "", "", "3"), "SET CONM=5,3 | Setting multiplier of device 5..."},
        {Divider, Row("5", "", "", "3"), "SET COND=5,1 | Setting divider of device 5..."},
        {Divider, Row("5", "", "", "3/"), "SET COND=5,1 | Setting divider of device 5..."},
        {Multiplier, Row("5", "", "", ""), "SET CONM=5,1 | Setting multiplier of device 5..."},
        {Multiplier, Row("5", "", "", "12345/1"), "- | Skipping multiplier of device 5...wrong"},
        {Multiplier, Row("5", "", "", "1a/1"), "- | Skipping multiplier of device 5...wrong"},
        {Divider, Row("5", "", "", "1/10000"), "- | Skipping divider of device 5...wrong"},
        {Divider, Row("5", "", "", "1/-2"), "- | Skipping divider of device 5...wrong"},
        // initial value: "," is a decimal mark, two marks or a non-number are refused
        {Initial, Row("5", "", "1,5"), "SET INIT=5,1.5 | Setting initial value of device 5..."},
        {Initial, Row("5", "", ""), "SET INIT=5,0 | Setting initial value of device 5..."},
        {Initial, Row("5", "", "1,5,0"), "- | Error in initial value of device 5, skipping"},
        {Initial, Row("5", "", "1.5,0"), "- | Error in initial value of device 5, skipping"},
        {Initial, Row("5", "", "-3"), "- | Error in initial value of device 5, skipping"},
        {Initial, Row("5", "", "."), "- | Error in initial value of device 5, skipping"},
        {User, Row("5", "", "", "", "9999"), "SET NUMB=5,9999 | Setting user number of device 5..."},
        {User, Row("5", "", "", "", ""), "- | Skipping user number of device 5...wrong"},
        {User, Row("5", "", "", "", "10000"), "- | Skipping user number of device 5...wrong"},
        {User, Row("5", "", "", "", "1 2"), "- | Skipping user number of device 5...wrong"},
        // free texts: Windows-1251, CR LF as blanks, 50 characters (not bytes), empty as one blank
        {Text, Row("5", "", "", "", "", "Ab\r\nЖ€"), "SET TEXT=5,Ab  \xC6\x88 | Setting free text of device 5..."},
        {Text, Row("5", "", "", "", "", "Ж" + fifty), "SET TEXT=5,\xC6" + fifty.substr(1) + " | Setting free text of device 5..."},
        {Text, Row("5"), "SET TEXT=5,  | Setting free text of device 5..."},
        {Text2, Row("5", "", "", "", "", "first", "中"), "SET TEX2=5,? | Setting free text second row of device 5..."},
        {Delete, Row("5"), "DEL ENTR=5 | Deleting device 5..."},
        {ZeroInitials, Row("5"), "SET DELP=5,0 | Zeroing initial value of device 5..."},
        {Activate, Row("251"), "-"},
        {Activate, {"id"}, "-"},
    };
    for (const auto& c : cases) {
        const DisplayRowCommand result = BuildDisplayRowCommand(c.setting, c.cells);
        EXPECT_EQ(Outcome(result.log, result.command), c.expected) << DisplaySettingName(c.setting);
    }
}

// The write cycle's order: each ticked switch over every selected row, then the next switch.
std::vector<std::string> WriteCycle(DeviceTable& table, DisplaySwitches switches) {
    std::vector<std::string> sent;
    while (const auto setting = switches.first()) {
        for (int row : table.selectedRows()) {
            const DisplayAddressCheck check = CheckDisplayAddress(table.cell(row, kDisplayAddressColumn), row);
            const DisplayRowCommand command = BuildDisplayRowCommand(*setting, table.rowCells(row));
            sent.push_back(check.address ? Outcome({}, command.command) : check.line);
        }
        switches.tick(*setting, false);
    }
    return sent;
}

TEST(DisplayCommands, WriteCycleOverSelectedRows) {
    DeviceTable table = NewDisplayTable();
    table.replaceRows({Row("5", "m3", "", "", "1"), Row("6", "MJ"), Row("7", "kWh", "", "", "2"), Row("251"), Row("0"),
                       Row(""), Row("x")});
    table.selectAll(true);
    table.setRowSelected(2, false);
    DisplaySwitches units;
    units.tick(Units, true);
    EXPECT_EQ(WriteCycle(table, units),
              (Cells{"SET UNIT=5,2", "SET UNIT=7,1", "Error in device address at row 4, skipping",
                     "Error in device address at row 5, skipping", "Error in device address at row 6",
                     "Error in device address at row 7, skipping"}));

    table.replaceRows({Row("5", "", "", "", "1"), Row("7", "", "", "", "2")});
    table.selectAll(true);
    DisplaySwitches activateThenUser;
    activateThenUser.tick(User, true);
    activateThenUser.tick(Activate, true);
    EXPECT_EQ(WriteCycle(table, activateThenUser), (Cells{"SET ENTR=5", "SET ENTR=7", "SET NUMB=5,1", "SET NUMB=7,2"}));
    EXPECT_TRUE(DisplayActivationAcknowledged("Entry 5 Active\r\n"));
    EXPECT_TRUE(DisplayActivationAcknowledged("Already active"));
    EXPECT_FALSE(DisplayActivationAcknowledged("ERROR active"));
}

TEST(DisplayCommands, SwitchExclusions) {
    DisplaySwitches s;
    for (DisplaySetting setting : kDisplaySettingOrder) {
        EXPECT_EQ(DisplaySettingNamed(DisplaySettingName(setting)), setting);
        if (setting != Delete) s.tick(setting, true);
    }
    EXPECT_EQ(s.count(), 9);
    s.tick(Delete, true);
    EXPECT_EQ(s.count(), 2) << "DELETE keeps only Free text 2";
    EXPECT_TRUE(s.isTicked(Text2) && s.isTicked(Delete));
    EXPECT_EQ(s.first(), Text2);
    s.tick(Units, true);
    EXPECT_FALSE(s.isTicked(Delete));
    EXPECT_EQ(s.first(), Units);
    EXPECT_EQ(DisplaySettingCaption(ZeroInitials), "Zero initials ");
}

TEST(DisplayCommands, SingleCommands) {
    const DisplayClock fifthOfMarch{2026, 3, 5, 9, 7};
    const auto out = [](const DisplayCommand& c) { return Outcome(c.log, c.command); };
    const struct {
        std::string outcome;
        const char* expected;
    } cases[] = {
        {out(BuildDisplayRefresh("4")), "SET REFR=04 | Setting refresh time of LDU-Q7/LDM..."},
        {out(BuildDisplayRefresh("12")), "SET REFR=12 | Setting refresh time of LDU-Q7/LDM..."},
        {out(BuildDisplayRefresh("13")), "-"},
        {out(BuildDisplayRefresh("99999999999")), "-"},
        {out(BuildDisplayRefresh("4s")), "- | Wrong value for refresh time of LDU-Q7/LDM..."},
        {out(BuildDisplayRefresh("")), "- | Wrong value for refresh time of LDU-Q7/LDM..."},
        {out(BuildDisplayDate(fifthOfMarch)), "SET DATE=05/03/26 | Setting date of LDU-Q7/LDM..."},
        {out(BuildDisplayDate({2100, 1, 1, 0, 0})), "- | Incorrect year of the PC, skipping datetime set..."},
        {out(BuildDisplayDate({1999, 12, 31, 0, 0})), "- | Incorrect year of the PC, skipping datetime set..."},
        {out(BuildDisplayTime(fifthOfMarch)), "SET TIME=09:07 | Setting time of LDU-Q7/LDM..."},
        {out(BuildDisplayLock()), "SET LOCK | Locking LDU-Q7/LDM..."},
        {out(BuildDisplayCreateSortTable()), "SET SORT | Creating sort table in LDU-Q7/LDM, please wait..."},
        {out(BuildDisplaySort(true, false)), "SET SRTP=0 | Sorting LDU-Q7/LDM by address..."},
        {out(BuildDisplaySort(false, true)), "SET SRTP=1 | Sorting LDU-Q7/LDM by user number..."},
        {out(BuildDisplaySort(false, false)), "-"},
        {out(BuildDisplayReadMeters()), "SET READ | Updating readings of LDU-Q7..."},
        {out(BuildDisplayInfo(DisplayInfo::Service, 0)), "GET SERV"},
        {out(BuildDisplayInfo(DisplayInfo::Entry1, 5)), "GET ENTR=5,0"},
        {out(BuildDisplayInfo(DisplayInfo::Entry3, 250)), "GET ENTR=250,2"},
        {out(BuildDisplayInfo(DisplayInfo::Entry2, 0)), "- | Not valid address selected..."},
        {DisplayTariffRequest(5, 3) + " " + DisplayHistoryRequest(5, 12), "GET TARR=5,3 GET HIST=5,12"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.outcome, c.expected);
}

std::vector<std::string> Lines(std::string_view answer) { return DisplayAnswerLines(answer); }

TEST(DisplayAnswers, ActiveAddresses) {
    const struct {
        const char* answer;
        std::optional<std::vector<int>> expected;
    } cases[] = {
        {"GET ADDR\r\nActive devices: 1,3,5-7\r\n", std::vector<int>{1, 3, 5, 6, 7}},
        {"Active devices: \r\n4\r\n9\r\n", std::vector<int>{4, 9}},
        {"Active devices: 2\xFF" "8, 0,251,x,9-3", std::vector<int>{2, 8}},
        {"Active devices: 0\nActive devices: 12", std::vector<int>{12}},
        {"Active devices: 3-", std::vector<int>{}},
        {"Active devices:", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(ReadActiveAddresses(Lines(c.answer)), c.expected) << c.answer;

    const auto huge = ReadActiveAddresses(Lines("Active devices: 1-4000000000,5"));
    ASSERT_TRUE(huge);
    EXPECT_EQ(huge->size(), 250u) << "a range stops at 250, and the list at 250 addresses";
    EXPECT_EQ(huge->back(), 250);
    EXPECT_EQ(Lines("a\r\n\r\nb\rc\n"), (Cells{"a", "", "b", "c"}));
}

TEST(DisplayAnswers, EntryUserTariffAndHistory) {
    const auto entry = DecodeEntryValues(
        Lines("GET ENTR=5,1\r\nTotal pulses: 1234\r\nUser mult/div: 10/1\r\nInit.: 12.5 m3\r\nTotal: 345.6 m3\r\n"));
    ASSERT_TRUE(entry);
    EXPECT_EQ(std::tie(entry->multiplierDivider, entry->initial, entry->unit, entry->total),
              std::tie("10/1", "12.5", "m3", "345.6"));
    const auto starred = DecodeEntryValues(Lines("Total pulses *100/3 imp\r\n 0 kWh\r\nT: 7\r\nUser mult/div"));
    ASSERT_TRUE(starred);
    EXPECT_EQ(std::tie(starred->multiplierDivider, starred->initial, starred->unit, starred->total),
              std::tie("100/3", "0", "kWh", "7"));
    EXPECT_FALSE(DecodeEntryValues(Lines("Total pulses\r\n1\r\n2\r\n3\r\n4\r\n5\r\n6")));

    const auto user = DecodeUserInfo(Lines("User #: 42\r\nText: \xC4\xEE\xEC 3"));
    ASSERT_TRUE(user);
    EXPECT_EQ(std::tie(user->userNumber, user->freeText), std::tie("42", "Дом 3"));
    EXPECT_FALSE(DecodeUserInfo(Lines("User #: 1\r\n\r\n\r\n\r\n\r\n")));
    EXPECT_EQ(kUserInfoMissing, "Unexpected error decodingUser info");

    EXPECT_EQ(DecodeTariff(Lines("Total pulses\r\nUser mult/div: 1/1\r\nx\r\nTarr: 88.5 kWh")), "88.5");
    EXPECT_EQ(DecodeTariff(Lines("Total pulses\r\nx\r\nTarr: 9")), "9");
    EXPECT_FALSE(DecodeTariff(Lines("Tarr: 9")));

    const struct {
        const char* answer;
        const char* value;
        std::optional<int> month;
    } history[] = {
        {"Hist values: 12 345.6\r\nDate 31/\xC4\xE5\xEA" "25", "12345.6", 12},
        {"Hist values: 7\r\nT1: 1\r\nT2: 2\r\nT3: 3\r\n01/Noe24", "7", 11},
        {"Hist values: 7\r\n01/Jan24", "7", 1},
        {"Hist values: 7\r\n01/Jan00", "7", std::nullopt},
        {"Hist values: 7\r\n01/Jan", "7", std::nullopt},
        {"Hist values: 7\r\n01/   24", "7", std::nullopt},
        {"Hist values: 7\r\nT1: 1", "7", std::nullopt},
    };
    for (const auto& h : history) {
        const auto decoded = DecodeHistoryValue(Lines(h.answer));
        ASSERT_TRUE(decoded) << h.answer;
        EXPECT_EQ(decoded->value, h.value);
        EXPECT_EQ(decoded->month, h.month) << h.answer;
    }
    EXPECT_FALSE(DecodeHistoryValue(Lines("Hist values: 1\r\n1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7")));
}

TEST(DisplayAnswers, HistoryIndexForEveryMonthPair) {
    // Index 1 is the display's latest month, one month back; index k >= 2 is 14 - k months back.
    for (int latest = 1; latest <= 12; ++latest) {
        for (int chosen = 1; chosen <= 12; ++chosen) {
            const int monthsBack = (latest - chosen + 12) % 12 + 1;
            const int index = DisplayHistoryIndex(latest, chosen);
            ASSERT_TRUE(index >= 1 && index <= 12);
            EXPECT_EQ(index == 1 ? 1 : 14 - index, monthsBack) << latest << " " << chosen;
        }
    }
}

TEST(DisplayAnswers, Windows1251) {
    const std::string pangram = "Съешь же ещё этих мягких французских булок, да выпей чаю. ЁЇЎ №";
    const std::string bytes = Utf8ToWindows1251(pangram);
    EXPECT_EQ(bytes.size(), 63u) << "one byte a character";
    EXPECT_EQ(Windows1251ToUtf8(bytes), pangram);
    EXPECT_EQ(Utf8ToWindows1251("Яя\r\n€中\xFF\xC0\xAF\xED\xA0\x80"), "\xDF\xFF  \x88???????");
    EXPECT_EQ(Windows1251ToUtf8("\x98\xB9\xC0"), "?№А");
    for (int month = 1; month <= 12; ++month) EXPECT_EQ(DisplayMonthNumber(DisplayMonthName(month)), month);
    EXPECT_EQ(DisplayMonthNumber(Utf8ToWindows1251("Май")), 5);
    EXPECT_EQ(DisplayMonthNumber("Май"), std::nullopt) << "UTF-8 bytes are no Windows-1251 month";
}

TEST(DisplayTables, RowsMoveWithTheirFlags) {
    DeviceTable table = NewDisplayTable();
    table.replaceRows({Row("1"), Row("2"), Row("3")});
    table.setRowSelected(3, true);
    table.deleteRow(1);
    EXPECT_EQ(table.cell(2, kDisplayAddressColumn), "3");
    EXPECT_EQ(table.selectedRows(), std::vector<int>{2});
    table.deleteRow(1), table.deleteRow(1);
    EXPECT_TRUE(table.isEmpty()) << "the last row is emptied, not removed";
    for (int i = 1; i < kDisplayMaxEntries; ++i) EXPECT_TRUE(table.addRow());
    EXPECT_FALSE(table.addRow());
    EXPECT_EQ(table.dataRowCount(), kDisplayMaxEntries);
    EXPECT_EQ(table.cell(0, 12), "Free text second row (TFT) ");
    EXPECT_EQ(NewDisplayTable(Language::Italian).cell(0, kDisplayUserColumn), "Num. utente ");
    EXPECT_EQ(NewReadingsTable(Language::Italian).cell(0, 23), "Dic");
}

TEST(DisplayTables, SortKeepsKeylessRowsAfterTheSorted) {
    DeviceTable readings = NewReadingsTable(Language::English);
    readings.replaceRows({Row("9", "a"), Row("", "b"), Row("3", "c"), Row("251", "d"), Row("9", "e"), Row("x", "f")});
    readings.setRowSelected(5, true);
    SortReadings(readings, true);
    std::string order;
    for (int r = 1; r < readings.rowCount(); ++r) order += readings.cell(r, kDisplayUnitColumn);
    EXPECT_EQ(order, "caebdf");
    EXPECT_EQ(readings.selectedRows(), std::vector<int>{3});
}

TEST(DisplayTables, FillFromMetersImportAndExport) {
    MeterTable meters;
    Cells heat(12), empty(12);
    heat[0] = "12345678", heat[1] = "5", heat[3] = "12,34", heat[4] = "kWh", heat[9] = "MB2";
    Cells water = heat;
    water[1] = "6", water[3] = "", water[9] = "";
    meters.replaceRows({heat, water, empty});
    DeviceTable display = NewDisplayTable();
    const DisplayFill fill = FillDisplayFromMeters(display, meters);
    EXPECT_EQ(fill.rows, 3);
    EXPECT_FALSE(fill.full);

    display.setCell(1, kDisplayText2Column, "второй; ряд");
    DeviceTable readings = NewReadingsTable(Language::English);
    const std::string exported = ExportDeviceTableText(display, ';');
    EXPECT_EQ(exported, "12345678;5;kWh;12.3;10/1;1;;;;;;;второй  ряд;\n"
                        "12345678;6;kWh;0;0/0;2;;;;;;;;\n"
                        ";;;;;;;;;;;;;\n");
    const DisplayImport back = ApplyDisplayImport(display, readings, ParseImportText(exported, ';'));
    EXPECT_EQ(back.rows, 3);
    EXPECT_EQ(display.cell(1, kDisplayText2Column), "второй  ряд");
    EXPECT_EQ(readings.cell(1, 12), "") << "a 13-field line fills no month";

    readings.setCell(2, 23, "99.5");
    const std::string readingsText = ExportDeviceTableText(readings, ';');
    ApplyDisplayImport(display, readings, ParseImportText(readingsText, ';'));
    EXPECT_EQ(ExportDeviceTableText(readings, ';'), readingsText) << "a 24-field export comes back whole";
    EXPECT_EQ(display.cell(2, kDisplayText2Column), "") << "months are no second-row text";

    const DisplayImport tooWide = ApplyDisplayImport(display, readings, ParseImportText("1;2;\n" + std::string(25, ';'), ';'));
    EXPECT_TRUE(tooWide.tooManyFields);
    EXPECT_EQ(display.dataRowCount(), 2) << "the rows before it and one empty row";
    std::string many;
    for (int i = 0; i < 300; ++i) many += std::to_string(i) + ";\n";
    const DisplayImport capped = ApplyDisplayImport(display, readings, ParseImportText(many, ';'));
    EXPECT_TRUE(capped.truncatedAtCapacity);
    EXPECT_EQ(readings.dataRowCount(), kDisplayMaxEntries);
}

TEST(DisplayTables, DecodedAnswersGoToTheRowsOfTheirAddress) {
    DeviceTable display = NewDisplayTable();
    DeviceTable readings = NewReadingsTable(Language::English);
    ApplyActiveAddresses(display, readings, *ReadActiveAddresses(Lines("Active devices: 1,3,5-7")));
    ASSERT_EQ(readings.dataRowCount(), 5);
    ApplyHistoryValue(readings, "5", *DecodeHistoryValue(Lines("Hist values: 4.5\r\n01/\xC4\xE5\xEA" "25")));
    ApplyHistoryValue(readings, "6", *DecodeHistoryValue(Lines("Hist values: 4.5\r\n01/Dec00")));
    ApplyTariff(display, readings, "7", 3, "8");
    EXPECT_EQ(readings.cell(3, 23), "4.5");
    EXPECT_EQ(readings.cell(4, 23), "");
    EXPECT_EQ(display.cell(5, 11) + readings.cell(5, 11), "88");
}

} // namespace
} // namespace veltro
