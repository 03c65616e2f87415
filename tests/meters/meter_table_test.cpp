#include <gtest/gtest.h>

#include <algorithm>

#include "meters/meter_table.h"
#include "meters/table_file.h"

namespace veltro {
namespace {

MeterTableRow Meter(const std::string& id, const std::string& address, std::optional<std::string> battery = "") {
    MeterTableRow row;
    row.columns = {id, address, "KAN", "1.000", "m3", "Water", "10:00:00", "2026-12-08", "00", "", "Unknown", ""};
    row.battery = std::move(battery);
    row.additional = {"20.000 deg. C"};
    return row;
}

TEST(MeterTable, StartsWithHeaderAndOneEmptyRowInEitherLanguage) {
    MeterTable english(2, Language::English, {"Flow ", "Return "});
    EXPECT_EQ(english.rowCount(), 2);
    EXPECT_EQ(english.columnCount(), 14);
    EXPECT_EQ(english.cell(0, 0), "ID ");
    EXPECT_EQ(english.cell(0, 2), "Mfr. ");
    EXPECT_EQ(english.cell(0, 11), "AES-128 key ");
    EXPECT_EQ(english.cell(0, 12), "Flow ");
    EXPECT_EQ(english.cell(0, 13), "Return ");
    english.setHeader(Language::Italian, {"Mandata ", "Ritorno "});
    EXPECT_EQ(english.cell(0, 2), "Produttore ");
    EXPECT_EQ(english.cell(0, 5), "Consumo ");
    EXPECT_EQ(english.cell(0, 12), "Mandata ");
    english.setHeader(Language::English, {"Flow ", "Return "});
    const auto titles = MeterTableTitles(Language::English);
    for (int c = 0; c < MeterTable::kFixedColumns; ++c) EXPECT_EQ(english.cell(0, c), titles[static_cast<std::size_t>(c)]);
    EXPECT_EQ(english.selectedAddress(), "256");
}

TEST(MeterTable, ChangingTheNumberOfTitlesKeepsTheLanguageTheHeaderWasWrittenIn) {
    struct Case {
        const char* what;
        Language language;
        const char* makerCellBefore;  // nothing: the header as written
        const char* makerTitle;
    } cases[] = {
        {"English header", Language::English, nullptr, "Mfr. "},
        {"Italian header", Language::Italian, nullptr, "Produttore "},
        {"English table whose maker cell reads as Italian", Language::English, "Produttore ", "Mfr. "},
        {"Italian table whose maker cell was overwritten", Language::Italian, "Maker", "Produttore "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MeterTable table(1, c.language, {"Flow "});
        if (c.makerCellBefore) table.setCell(0, 2, c.makerCellBefore);
        table.setAdditionalCount(2, {"Flow ", "Return "});
        EXPECT_EQ(table.language(), c.language);
        EXPECT_EQ(table.columnCount(), 14);
        EXPECT_EQ(table.cell(0, 2), c.makerTitle);
        EXPECT_EQ(table.cell(0, 13), "Return ");
    }
}

TEST(MeterTable, AnAppendWritesOnlyIntoAnEmptyRow) {
    struct Case {
        const char* what;
        int importedMeters;
        bool trailingEmptyLine;
        Placement placement;
        std::vector<std::vector<int>> written;  // per meter found
        int rowsAfter;
    } cases[] = {
        {"an import with its trailing empty line", 3, true, Placement::Append, {{4}, {5}, {6}}, 8},
        {"an import without it: the scan goes below its last meter", 3, false, Placement::Append, {{4}, {5}, {6}}, 8},
        {"448 meters and the empty row 449: one more, then the table is full", 448, true, Placement::Append,
         {{449}, {}, {}}, 450},
        {"448 meters without the empty row: row 449 is added once", 448, false, Placement::Append, {{449}, {}, {}}, 450},
        {"449 meters: nothing is written", 449, false, Placement::Append, {{}, {}, {}}, 450},
        {"a secondary search in a full table adds nothing either", 449, false, Placement::ById, {{}, {}, {}}, 450},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::vector<std::string>> rows;
        for (int i = 1; i <= c.importedMeters; ++i) rows.push_back({std::to_string(10000000 + i), std::to_string(i % 250)});
        if (c.trailingEmptyLine) rows.emplace_back();
        MeterTable table(1);
        table.replaceRows(rows);
        for (std::size_t k = 0; k < c.written.size(); ++k) {
            EXPECT_EQ(table.canAppend(), !c.written[k].empty()) << "meter " << k + 1;
            EXPECT_EQ(table.place(Meter(std::to_string(20000001 + k), std::to_string(k + 1)), c.placement), c.written[k])
                << "meter " << k + 1;
        }
        EXPECT_EQ(table.rowCount(), c.rowsAfter);
        for (int i = 1; i <= c.importedMeters; ++i) EXPECT_EQ(table.cell(i, 0), std::to_string(10000000 + i)) << "row " << i;
        for (int row : c.written[0]) EXPECT_EQ(table.cell(row, 0), "20000001");
    }
}

TEST(MeterTable, ReadByAddressRewritesEveryMatchingRowAndAddsNothing) {
    MeterTable table(1);
    table.place(Meter("11111111", "5"), Placement::Append);
    table.place(Meter("22222222", "5"), Placement::Append);
    table.place(Meter("33333333", "7"), Placement::Append);
    auto written = table.place(Meter("44444444", "5"), Placement::ByPrimaryAddress);
    EXPECT_EQ(written, (std::vector<int>{1, 2}));
    EXPECT_EQ(table.cell(1, 0), "44444444");
    EXPECT_EQ(table.cell(2, 0), "44444444");
    EXPECT_EQ(table.cell(3, 0), "33333333");
    EXPECT_EQ(table.selectedId(), "44444444");
    EXPECT_EQ(table.selectedAddress(), "5");
    EXPECT_EQ(table.currentRow(), 2);
    const int rows = table.rowCount();
    EXPECT_TRUE(table.place(Meter("55555555", "9"), Placement::ByPrimaryAddress).empty());
    EXPECT_EQ(table.rowCount(), rows);
    EXPECT_EQ(table.selectedId(), "44444444");
}

TEST(MeterTable, SecondarySearchRewritesByIdOrAppends) {
    MeterTable table(0);
    table.place(Meter("11111111", "0"), Placement::Append);
    table.place(Meter("11111111", "3"), Placement::ById);
    EXPECT_EQ(table.rowCount(), 3);
    EXPECT_EQ(table.cell(1, 1), "3");
    table.place(Meter("22222222", "0"), Placement::ById);
    EXPECT_EQ(table.rowCount(), 4);
    EXPECT_EQ(table.cell(2, 0), "22222222");
}

TEST(MeterTable, TheKeyColumnTakesOnlyABatteryVoltageThatWasRead) {
    const std::string key = "000102030405060708090A0B0C0D0E0F";  // typed by the operator
    struct Case {
        const char* what;
        std::optional<std::string> battery;
        const char* cell;
    } cases[] = {
        {"battery decoded as 0", std::nullopt, key.c_str()},
        {"a meter without a battery block", std::string(), key.c_str()},
        {"a voltage read", std::string("3.53V"), "3.53V"},
    };
    for (const Case& c : cases) {
        MeterTable table(0);
        table.place(Meter("11111111", "1", std::nullopt), Placement::Append);
        table.setCell(1, MeterTable::kKeyColumn, key);
        table.place(Meter("11111111", "1", c.battery), Placement::ByPrimaryAddress);
        EXPECT_EQ(table.cell(1, MeterTable::kKeyColumn), c.cell) << c.what;
    }
}

TEST(MeterTable, SelectionByClickCtrlClickAndDoubleClick) {
    MeterTable table(0);
    for (const char* a : {"1", "2", "3", "4"}) table.place(Meter("1000000" + std::string(a), a), Placement::Append);
    table.mouseRelease(2, false);
    EXPECT_EQ(table.selectedRows(), (std::vector<int>{2}));
    table.mouseRelease(3, true);
    table.mouseRelease(4, true);
    EXPECT_EQ(table.selectedRows(), (std::vector<int>{2, 3, 4}));
    table.mouseRelease(3, true);
    EXPECT_EQ(table.selectedRows(), (std::vector<int>{2, 4}));
    table.mouseRelease(1, false);
    EXPECT_EQ(table.selectedRows(), (std::vector<int>{1}));
    table.doubleClick();
    table.mouseRelease(1, false);
    EXPECT_EQ(table.selectedRows(), (std::vector<int>{1, 2, 3, 4, 5}));
    table.mouseRelease(0, false);  // the header row is not selectable
    EXPECT_EQ(table.selectedRows().size(), 5u);
}

TEST(MeterTable, SelectedCellCopiesIdAddressAndPulse) {
    MeterTable table(0);
    table.place(Meter("12345678", "5"), Placement::Append);
    table.setCell(1, 9, "50ms");
    table.selectCell(1, 3);
    EXPECT_EQ(table.selectedId(), "12345678");
    EXPECT_EQ(table.selectedAddress(), "5");
    EXPECT_EQ(table.selectedPulse(), "50ms");
    EXPECT_EQ(table.idLabel(), "ID:12345678");
    EXPECT_EQ(table.addressLabel(), "Addr.:5");
    table.selectCell(2, 0);  // the empty row: no address
    EXPECT_EQ(table.selectedAddress(), "256");
    EXPECT_EQ(table.addressLabel(), "Addr.:");
    table.clear();
    EXPECT_EQ(table.rowCount(), 2);
    EXPECT_EQ(table.selectedAddress(), "256");
    EXPECT_TRUE(table.selectedRows().empty());
}

TEST(MeterTable, RowOperationsMoveSelectionFlagsWithTheirRows) {
    MeterTable table(0);
    for (const char* a : {"1", "2", "3", "4", "5"}) table.setCell(0, 0, "ID "), table.place(Meter(std::string("0000000") + a, a), Placement::Append);
    // Rows 1..5 hold addresses 1..5, row 6 is the trailing empty row. Flag the meter at address 4.
    table.mouseRelease(4, false);
    table.selectCell(2, 0);
    ASSERT_TRUE(table.addRowBelowSelected());
    EXPECT_EQ(table.cell(3, 1), "");     // the new row below row 2 is empty
    EXPECT_EQ(table.cell(4, 1), "3");    // rows 3.. moved down
    EXPECT_EQ(table.cell(6, 1), "5");
    EXPECT_EQ(table.selectedRows(), (std::vector<int>{5}));  // the flag moved with address 4
    EXPECT_EQ(table.cell(5, 1), "4");

    table.selectCell(1, 0);
    table.deleteSelectedRow();
    EXPECT_EQ(table.cell(1, 1), "2");
    EXPECT_EQ(table.selectedRows(), (std::vector<int>{4}));
    EXPECT_EQ(table.cell(4, 1), "4");  // still the operator's meter

    MeterTable single(0);
    single.place(Meter("12345678", "5"), Placement::Append);
    single.replaceRows({{"12345678", "5"}});
    single.selectCell(1, 0);
    single.deleteSelectedRow();
    EXPECT_EQ(single.rowCount(), 2);
    EXPECT_EQ(single.cell(1, 0), "");  // a single data row stays, emptied
}

TEST(MeterTable, AddRowRespectsTheCapacity) {
    MeterTable table(0);
    std::vector<std::vector<std::string>> rows(449, std::vector<std::string>{"x"});
    EXPECT_EQ(table.replaceRows(rows), 449);
    EXPECT_EQ(table.rowCount(), 450);
    table.selectCell(10, 0);
    EXPECT_FALSE(table.addRowBelowSelected());
    EXPECT_EQ(table.rowCount(), 450);
}

TEST(MeterTable, AddressCellsThatAreNoMeterAddress) {
    EXPECT_EQ(MeterTable::AddressOf("5"), 5);
    EXPECT_EQ(MeterTable::AddressOf("250"), 250);
    for (const char* bad : {"", "256", "251", "300", "-1", "5a", " 5"}) EXPECT_FALSE(MeterTable::AddressOf(bad)) << bad;
}

TEST(TableFile, ExportWritesEveryCellWithItsSeparatorAndOnlyTheDecimalMarkChanges) {
    MeterTable table(1);
    MeterTableRow meter = Meter("12345678", "5");
    meter.columns[2] = "ABC";
    meter.columns[3] = "12,5";
    table.place(meter, Placement::Append);
    meter.columns[0] = "87654321";
    meter.columns[3] = "-3,2";
    table.place(meter, Placement::Append);
    meter.columns[3] = "No data ";
    table.place(meter, Placement::Append);
    meter.columns[3] = "1,2345679E8";
    table.place(meter, Placement::Append);
    const std::string text = ExportTableText(table, ';', '.', ',');
    std::vector<std::string> lines;
    for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    ASSERT_EQ(lines.size(), 5u);  // four meters and the trailing empty row, no header line
    EXPECT_EQ(lines[0].rfind("12345678;5;ABC;12.5;m3;", 0), 0u) << lines[0];
    EXPECT_EQ(lines[0].back(), ';');
    EXPECT_EQ(lines[1].rfind("87654321;5;ABC;-3.2;", 0), 0u) << lines[1];
    EXPECT_NE(lines[2].find(";No data ;"), std::string::npos);
    EXPECT_NE(lines[3].find(";1.2345679E8;"), std::string::npos);
    EXPECT_EQ(lines[4], std::string(13, ';'));
    EXPECT_EQ(table.cell(1, 3), "12,5");  // the table is left as it was
}

TEST(TableFile, ImportRoundTripAndItsLimits) {
    MeterTable table(2, Language::English, {"A ", "B "});
    table.place(Meter("12345678", "5"), Placement::Append);
    table.place(Meter("87654321", "7"), Placement::Append);
    const std::string exported = ExportTableText(table, ';', '.', '.');
    MeterTable back(2);
    ApplyImport(back, ParseImportText(exported, ';'));
    ASSERT_EQ(back.rowCount(), table.rowCount());
    for (int r = 1; r < table.rowCount(); ++r) EXPECT_EQ(back.rowCells(r), table.rowCells(r)) << r;

    // CR LF line ends, a field over 50 characters, text after the last separator ignored.
    const auto parsed = ParseImportText(std::string(60, 'x') + ";5;tail\r\n", ';');
    ASSERT_EQ(parsed.rows.size(), 1u);
    EXPECT_EQ(parsed.rows[0], (std::vector<std::string>{std::string(50, 'x'), "5"}));

    // 27 fields (the widest export) are fine, 28 stop the import; the rows before stay, followed by one
    // empty row.
    EXPECT_FALSE(ParseImportText(std::string(27, ';'), ';').tooManyFields);
    const auto tooMany = ParseImportText("1;2;\n" + std::string(28, ';') + "\n3;4;\n", ';');
    EXPECT_TRUE(tooMany.tooManyFields);
    ASSERT_EQ(tooMany.rows.size(), 1u);
    MeterTable partial(0);
    ApplyImport(partial, tooMany);
    EXPECT_EQ(partial.rowCount(), 3);
    EXPECT_EQ(partial.cell(1, 0), "1");
    EXPECT_EQ(partial.cell(2, 0), "");

    // An empty file leaves the empty table.
    MeterTable empty(0);
    ApplyImport(empty, ParseImportText("", ';'));
    EXPECT_EQ(empty.rowCount(), 2);

    // More lines than the table holds: cut at the capacity, flagged.
    std::string many;
    for (int i = 0; i < 500; ++i) many += std::to_string(i) + ";\n";
    const auto capped = ParseImportText(many, ';');
    EXPECT_TRUE(capped.truncatedAtCapacity);
    EXPECT_EQ(capped.rows.size(), 449u);
}

TEST(TableFile, TheWidestExportImportsBack) {
    std::vector<std::string> titles(kMaxAdditionalValues, "T ");
    MeterTable table(kMaxAdditionalValues, Language::English, titles);
    MeterTableRow meter = Meter("12345678", "5");
    meter.additional.assign(kMaxAdditionalValues, "1.000 m3");
    table.place(meter, Placement::Append);
    const std::string exported = ExportTableText(table, ';', '.', '.');
    const ImportedTable parsed = ParseImportText(exported, ';');
    EXPECT_FALSE(parsed.tooManyFields);
    MeterTable back(kMaxAdditionalValues);
    ApplyImport(back, parsed);
    ASSERT_EQ(back.rowCount(), table.rowCount());
    EXPECT_EQ(back.rowCells(1), table.rowCells(1));
}

TEST(TableFile, ExportKeepsEachRowOnOneLineOfTheSameFields) {
    struct Case {
        const char* what;
        char separator;
        const char* cell;
        const char* field;
    } cases[] = {
        {"a meter's text with CR LF", ';', "Line 1\r\nLine 2", "Line 1  Line 2"},
        {"a lone LF", ';', "A\nB", "A B"},
        {"the separator", ';', "Flat 3;4", "Flat 3 4"},
        {"another control character", ';', "A\x01" "B", "A B"},
        {"a comma when the separator is ';'", ';', "A,B", "A,B"},
        // A blank cannot stand in for a blank separator.
        {"a blank when the separator is a blank", ' ', "Flat 3\r\n", "Flat_3__"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MeterTable table(0);
        MeterTableRow meter = Meter("12345678", "5");
        meter.columns[10] = c.cell;
        table.place(meter, Placement::Append);
        const std::string text = ExportTableText(table, c.separator, '.', '.');
        ASSERT_EQ(std::count(text.begin(), text.end(), '\n'), 2);  // the meter and the trailing empty row
        const ImportedTable back = ParseImportText(text, c.separator);
        EXPECT_EQ(back.refusal, ImportRefusal::None);
        ASSERT_EQ(back.rows.size(), 2u);
        ASSERT_EQ(back.rows[0].size(), 12u);
        EXPECT_EQ(back.rows[0][10], c.field);
        EXPECT_EQ(back.rows[0][11], "");
    }
}

TEST(TableFile, ImportRefusesWhatIsNoTextExport) {
    struct Case {
        const char* what;
        std::string text;
        ImportRefusal refusal;
    } cases[] = {
        {"a NUL byte", std::string("12345678;5;\n\0;\n", 15), ImportRefusal::NotText},
        {"a control character", "12345678;5;\x02;\n", ImportRefusal::NotText},
        {"DEL", "12345678;5;\x7F;\n", ImportRefusal::NotText},
        {"TAB, CR LF and 8-bit letters are text", "Jos\xE9\t;5;\r\nJos\xC3\xA9;6;\r\n", ImportRefusal::None},
        {"16 MiB exactly", std::string(kMaxImportFileSize, 'x'), ImportRefusal::None},
        {"one byte more", std::string(kMaxImportFileSize + 1, 'x'), ImportRefusal::TooLarge},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ImportedTable parsed = ParseImportText(c.text, ';');
        EXPECT_EQ(parsed.refusal, c.refusal);
        if (c.refusal == ImportRefusal::None) continue;
        EXPECT_TRUE(parsed.rows.empty());
        MeterTable table(0);
        table.place(Meter("12345678", "5"), Placement::Append);
        const auto before = table.rowCells(1);
        ApplyImport(table, parsed);
        EXPECT_EQ(table.rowCount(), 3);
        EXPECT_EQ(table.rowCells(1), before);
    }
}

} // namespace
} // namespace veltro
