// The RXVpico receiver's controls of the main window ("   Global RXVpico   ", "   RXVpico single meter
// settings   ", the meter table's receiver entries) and the key-entry window `TEnterAES`.
#include "window_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTableWidget>
#include <QTest>

#include "devices/rxvpico_engine.h"
#include "link/operation_runner.h"
#include "ui/enter_aes_window.h"
#include "ui/meter_page_view.h"

namespace veltro::test {
namespace {

struct Row {
    std::string id, key;
};

class Rxvpico : public WindowFixture {
protected:
    // Data rows with an ID and a key each; an empty ID keeps an address, so the row is no empty row.
    void loadTable(const std::vector<Row>& rows) {
        std::vector<std::vector<std::string>> cells;
        for (std::size_t r = 0; r < rows.size(); ++r) {
            std::vector<std::string> row(MeterTable::kFixedColumns);
            row[0] = rows[r].id;
            row[MeterTable::kAddressColumn] = std::to_string(r + 1);
            row[MeterTable::kKeyColumn] = rows[r].key;
            cells.push_back(std::move(row));
        }
        ASSERT_TRUE(engine->meters().replaceRows(cells));
    }
    std::vector<std::string> keys() const {
        const MeterTable& table = engine->meters().table();
        std::vector<std::string> result;
        for (int row = 1; row < table.rowCount(); ++row) result.push_back(table.cell(row, MeterTable::kKeyColumn));
        return result;
    }
    QTableView* grid() { return find<QTableView>("Grid_bmeters"); }
    void clickCell(int row, int column, Qt::KeyboardModifiers modifiers = {}) {
        const QPoint at = grid()->visualRect(grid()->model()->index(row - 1, column)).center();
        QTest::mouseClick(grid()->viewport(), Qt::LeftButton, modifiers, at);
    }
    // The field a control types into: a line edit, or an editable combo box's.
    QLineEdit* lineOf(const char* name) {
        if (auto* combo = window->findChild<QComboBox*>(QString::fromLatin1(name))) return combo->lineEdit();
        return find<QLineEdit>(name);
    }
    bool waitRunnerIdle() {
        return waitFor([&] { return engine->runner().idle(); });
    }
    // The last log line that starts with `prefix`.
    QString lastLine(const QString& prefix) const {
        const QStringList lines = engine->log().lines();
        for (auto it = lines.crbegin(); it != lines.crend(); ++it)
            if (it->startsWith(prefix)) return *it;
        return QStringLiteral("<no line %1>").arg(prefix);
    }
};

const std::string kA = "11111111", kB = "22222222", kC = "33333333";
const std::string kPadded16 = "0123456789ABCDEF0000000000000000";
const std::string kFac = "FAC81200000000000000000000000000";

// ---- the key-entry window -----------------------------------------------------------------------

struct AesCase {
    const char* what;
    std::vector<Row> table;
    int openedOn;      // the row selected when the window opens
    bool all;          // `Check_allAES`
    const char* typed;
    const char* shown;     // what the field keeps
    const char* keyTo;     // the control with the focus when the last key comes
    Qt::Key lastKey;
    std::vector<std::string> keys;  // column 11 afterwards
};

class AesEntry : public Rxvpico, public ::testing::WithParamInterface<AesCase> {};

TEST_P(AesEntry, TypedKeyReachesTheTable) {
    const AesCase& c = GetParam();
    createWindow();
    TEnterAES dialog(*engine);
    window->setEnterAesWindow(&dialog);
    ASSERT_NO_FATAL_FAILURE(loadTable(c.table));
    window->meterPage().Grid_bmetersSelectCell(c.openedOn, 0);
    find<QAction>("EnterAES128key1")->trigger();
    ASSERT_TRUE(dialog.isVisible());
    EXPECT_FALSE(dialog.isModal());

    auto* field = dialog.findChild<QLineEdit*>(QStringLiteral("Edit_enterKey"));
    dialog.findChild<QCheckBox*>(QStringLiteral("Check_allAES"))->setChecked(c.all);
    QTest::keyClicks(field, QString::fromLatin1(c.typed));
    EXPECT_EQ(field->text().toStdString(), c.shown);
    QWidget* target = QByteArray(c.keyTo) == "TEnterAES" ? &dialog : dialog.findChild<QWidget*>(QString::fromLatin1(c.keyTo));
    ASSERT_NE(target, nullptr) << c.keyTo;
    QTest::keyClick(target, c.lastKey);

    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(keys(), c.keys);
    EXPECT_EQ(field->text().toStdString(), c.shown);  // hidden, not destroyed: the text stays
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AesEntry,
    ::testing::Values(
        AesCase{"sixteen hex digits and Enter are padded to 32 in the selected row",
                {{kA, "K1"}, {kB, "K2"}, {kC, "K3"}}, 2, false, "0123456789ABCDEF", "0123456789ABCDEF",
                "Edit_enterKey", Qt::Key_Return, {"K1", kPadded16, "K3"}},
        AesCase{"for all: every row with an ID, the one without left alone",
                {{kA, "K1"}, {"", "K2"}, {kC, "K3"}}, 1, true, "FAC812", "FAC812", "Edit_enterKey", Qt::Key_Enter,
                {kFac, "K2", kFac}},
        AesCase{"g, a blank and - are discarded, a stays lower case", {{kA, ""}}, 1, false, "g -a", "a", "Edit_enterKey",
                Qt::Key_Return, {"a0000000000000000000000000000000"}},
        AesCase{"Enter with the Cancel button focused is still Done", {{kA, ""}, {kB, ""}}, 2, false, "1", "1", "BitBtn2",
                Qt::Key_Return, {"", "10000000000000000000000000000000"}},
        AesCase{"Escape in the field leaves the table", {{kA, "K1"}}, 1, false, "1234", "1234", "Edit_enterKey",
                Qt::Key_Escape, {"K1"}},
        AesCase{"Escape with Done focused is Cancel", {{kA, "K1"}}, 1, true, "1234", "1234", "BitBtn1",
                Qt::Key_Escape, {"K1"}},
        AesCase{"an empty field writes nothing, not even for all", {{kA, "K1"}, {kB, "K2"}}, 1, true, "", "",
                "TEnterAES", Qt::Key_Return, {"K1", "K2"}}),
    [](const auto& info) {
        std::string name = info.param.what;
        for (char& ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return name;
    });

// The window writes to the row it was opened on: a table changed under it takes no key there, and
// opening it again on another row moves the key to that one.
TEST_F(Rxvpico, TheKeyGoesToTheRowItWasOpenedOnOrNowhere) {
    createWindow();
    TEnterAES dialog(*engine);
    window->setEnterAesWindow(&dialog);
    EXPECT_EQ(dialog.windowTitle(), "Enter AES-128 key ");
    EXPECT_TRUE(dialog.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowCloseButtonHint);
    ASSERT_NO_FATAL_FAILURE(loadTable({{kA, ""}, {kB, ""}, {kC, ""}}));
    auto* field = dialog.findChild<QLineEdit*>(QStringLiteral("Edit_enterKey"));
    auto* done = dialog.findChild<QPushButton*>(QStringLiteral("BitBtn1"));

    window->meterPage().Grid_bmetersSelectCell(2, 0);  // meter B
    find<QAction>("EnterAES128key1")->trigger();
    window->meterPage().Grid_bmetersSelectCell(1, 0);
    ASSERT_TRUE(engine->meters().deleteSelectedRow());  // B moves up, C takes row 2
    QTest::keyClicks(field, "12");
    QTest::mouseClick(done, Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(keys(), (std::vector<std::string>{"", ""}));
    EXPECT_EQ(engine->log().lines().last(), TEnterAES::kRowChangedPrefix + QString::fromStdString(kB));

    window->meterPage().Grid_bmetersSelectCell(1, 0);
    find<QAction>("EnterAES128key1")->trigger();
    window->meterPage().Grid_bmetersSelectCell(2, 0);
    find<QAction>("EnterAES128key1")->trigger();  // open already: now for row 2
    QTest::mouseClick(done, Qt::LeftButton);
    EXPECT_EQ(keys(), (std::vector<std::string>{"", "12000000000000000000000000000000"}));
}

// ---- the receiver groups ------------------------------------------------------------------------

TEST_F(Rxvpico, TheGroupsAndMenuEntriesWithTheirCaptionsAndKeys) {
    createWindow();
    const std::pair<const char*, const char*> captions[] = {
        {"Group_pico", "   Global RXVpico   "},
        {"BitBtn51", "Get meters"},
        {"BitBtn52", "Read status of RXV"},
        {"BitBtn53", "Set"},
        {"BitBtn54", "Send table"},
        {"Group_picoMeter", "   RXVpico single meter settings   "},
        {"Group_picoFilters", "Filters in RXVpico"},
        {"Check_deleteAll", "All"},
        {"Check_picoFlag", "Set/Clear Flag"},
        {"AddIDinRXVpico1", "Add IDs in RXVpico"},
        {"DeleteIDinRXVpico1", "Delete IDs in RXVpico"},
        {"SetAESkey1", "Set AES key"},
        {"SetallinRXVpico1", "Set all in RXVpico"},
        {"EnterAES128key1", "Enter AES-128 key"},
    };
    for (const auto& [name, text] : captions) EXPECT_EQ(caption(name).toStdString(), text) << name;
    EXPECT_EQ(find<QAction>("AddIDinRXVpico1")->shortcut(), QKeySequence(Qt::Key_F2));
    EXPECT_EQ(find<QAction>("DeleteIDinRXVpico1")->shortcut(), QKeySequence(Qt::Key_F3));
    EXPECT_EQ(find<QAction>("SetAESkey1")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_A));
    EXPECT_EQ(find<QAction>("SetallinRXVpico1")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F));
    EXPECT_EQ(find<QPushButton>("BitBtn45")->toolTip(), "Save in RXVpico");
    EXPECT_EQ(find<QPushButton>("BitBtn49")->toolTip(), "Read ID filter");
    for (const char* name : {"BitBtn42", "BitBtn43", "BitBtn44", "Butt_setAES", "Butt_readAES", "BitBtn46", "BitBtn47",
                             "BitBtn48", "BitBtn50"})
        EXPECT_NE(find<QPushButton>(name), nullptr);
    for (const char* name : {"UD_filterID", "UD_filterManf", "UD_filterMedium"}) {
        auto* position = find<QSpinBox>(name);
        EXPECT_EQ(position->value(), 1) << name;
        EXPECT_EQ(position->maximum(), 8) << name;
    }
    EXPECT_EQ(find<QComboBox>("Combo_rxvFlags")->count(), 9);
    EXPECT_EQ(find<QComboBox>("Combo_filterMedium")->count(), 15);
    EXPECT_EQ(find<QComboBox>("Combo_filterManf")->itemText(0), "All");
    auto* filters = find<QTableWidget>("Grid_filters");
    EXPECT_EQ(filters->columnCount(), 2);
    EXPECT_EQ(filters->rowCount(), 8);
    EXPECT_EQ(filters->item(7, 0)->text(), "8");
}

struct FieldCase {
    const char* field;
    const char* typed;
    const char* shown;
};

class PicoFields : public Rxvpico, public ::testing::WithParamInterface<FieldCase> {};

TEST_P(PicoFields, TakeOnlyTheirKeysUpToTheirLength) {
    const FieldCase& c = GetParam();
    createWindow();
    window->show();
    QLineEdit* field = lineOf(c.field);
    ASSERT_NE(field, nullptr);
    field->clear();
    QTest::keyClicks(field, QString::fromLatin1(c.typed));
    EXPECT_EQ(field->text().toStdString(), c.shown);
}

INSTANTIATE_TEST_SUITE_P(Fields, PicoFields,
                         ::testing::Values(FieldCase{"Edit_picoID", "12a34-5678 9", "12345678"},
                                           FieldCase{"Edit_rxvAddress", "3x0F57", "305"},
                                           FieldCase{"Edit_IDpico", "1234F5678", "12345678"},
                                           FieldCase{"Edit_aesKey", "0aF9-G1bC", "0F91C"},  // upper case only
                                           FieldCase{"Edit_filterID", "12Fx4f", "12F4"},
                                           FieldCase{"Combo_filterManf", "k1R-zQ", "kRz"}));

TEST_F(Rxvpico, ACellClickFillsTheMetersIdAndKey) {
    createWindow();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    ASSERT_NO_FATAL_FAILURE(loadTable({{kA, "000102030405060708090A0B0C0D0E0F"}, {kB, "abc"}}));
    auto* id = find<QLineEdit>("Edit_IDpico");
    auto* key = find<QLineEdit>("Edit_aesKey");
    clickCell(2, 4);
    EXPECT_EQ(id->text(), QString::fromStdString(kB));
    EXPECT_EQ(key->text(), "abc");  // as the table holds it; sending it is refused with its line
    clickCell(1, 0);
    EXPECT_EQ(id->text(), QString::fromStdString(kA));
    EXPECT_EQ(key->text(), "000102030405060708090A0B0C0D0E0F");
}

// Both groups against the simulated receiver at primary address 30 of the default bus: an ID added
// from the table with F2, its key stored with Ctrl+A and read back, a manufacturer filter saved and
// read, the table sent with Ctrl+F, and the list read back into the table.
TEST_F(Rxvpico, BothGroupsDriveTheSimulatedReceiver) {
    startSimulatedBus();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    auto* address = find<QLineEdit>("Edit_rxvAddress");
    address->clear();
    QTest::keyClicks(address, "30");
    EXPECT_EQ(engine->rxvpico().receiverAddress(), "30");
    const std::string key = "000102030405060708090A0B0C0D0E0F";
    ASSERT_NO_FATAL_FAILURE(loadTable({{"12345678", key}, {"87654321", ""}}));

    clickCell(1, 0);  // flags row 1, fills the single meter fields
    QTest::keyClick(grid(), Qt::Key_F2);
    ASSERT_TRUE(waitRunnerIdle());
    QTest::mouseClick(find<QPushButton>("BitBtn52"), Qt::LeftButton);
    ASSERT_TRUE(waitRunnerIdle());
    EXPECT_EQ(lastLine("Currently activated devices: ").toStdString(), "Currently activated devices: 1")
        << engine->log().lines().join('\n').toStdString();

    QTest::mouseClick(find<QCheckBox>("Check_ascii"), Qt::LeftButton);
    QTest::keyClick(grid(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_TRUE(find<QCheckBox>("Check_hex")->isChecked());  // the key goes through the console's window
    ASSERT_TRUE(waitRunnerIdle());
    auto* shownKey = find<QLineEdit>("Edit_aesKey");
    shownKey->clear();
    QTest::mouseClick(find<QPushButton>("Butt_readAES"), Qt::LeftButton);
    ASSERT_TRUE(waitRunnerIdle());
    EXPECT_EQ(shownKey->text().toStdString(), key);

    find<QComboBox>("Combo_filterManf")->setEditText("KXR");
    find<QSpinBox>("UD_filterManf")->setValue(3);
    QTest::mouseClick(find<QPushButton>("BitBtn45"), Qt::LeftButton);
    ASSERT_TRUE(waitRunnerIdle());
    QTest::mouseClick(find<QPushButton>("BitBtn50"), Qt::LeftButton);
    ASSERT_TRUE(waitRunnerIdle());
    auto* filters = find<QTableWidget>("Grid_filters");
    EXPECT_EQ(filters->item(2, 1)->text().toStdString(), "KXR");
    EXPECT_EQ(filters->horizontalHeaderItem(1)->text().toStdString(), "Manufacturer");

    QTest::keyClick(grid(), Qt::Key_F, Qt::ControlModifier);  // "Send table": the whole list, then the table's IDs
    ASSERT_EQ(operatorScript.questions.size(), 1u);
    EXPECT_EQ(operatorScript.questions[0].text, "Are you sure you want to delete ALL?");
    EXPECT_TRUE(find<QCheckBox>("Check_deleteAll")->isChecked());
    ASSERT_TRUE(waitRunnerIdle());
    QTest::mouseClick(find<QPushButton>("BitBtn52"), Qt::LeftButton);
    ASSERT_TRUE(waitRunnerIdle());
    EXPECT_EQ(lastLine("Currently activated devices: ").toStdString(), "Currently activated devices: 2");

    QTest::mouseClick(find<QPushButton>("BitBtn51"), Qt::LeftButton);  // "Get meters"
    ASSERT_TRUE(waitRunnerIdle());
    std::vector<std::string> ids;
    const MeterTable& table = engine->meters().table();
    for (int row = 1; row < table.rowCount(); ++row)
        if (!table.cell(row, 0).empty()) ids.push_back(table.cell(row, 0));
    EXPECT_EQ(ids, (std::vector<std::string>{"12345678", "87654321"}));
}

} // namespace
} // namespace veltro::test
