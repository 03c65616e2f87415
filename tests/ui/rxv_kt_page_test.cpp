// The RXV-KT page driven by its control names: its controls and English captions in both languages, the
// exclusive boxes and what they hand the engine, the cell keys and address labels, the context menu,
// and both runs on a pseudo-terminal locking the page, with the single commands the receiver hears.
#include "window_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>

#include "devices/rxv_kt_engine.h"
#include "link/operation_runner.h"
#include "sim/pseudo_terminal.h"
#include "ui/device_grid.h"

namespace veltro::test {
namespace {

const QStringList kSteps{"CheckBox1", "CheckBox2", "Check_bind", "CheckBox3"};
// Every command of the page but the two run buttons.
const QStringList kCommands{"Check_wMbusExists", "CheckBox1", "CheckBox2", "Check_bind", "CheckBox3", "Radio_mainID",
                            "Radio_auxID", "Edit_encryption", "Check_encr_ascii", "Check_encr_hex", "Check_encr_primary",
                            "Check_encr_id", "Check_master_key", "BitBtn32", "BitBtn38", "BitBtn27", "BitBtn28",
                            "BitBtn24", "BitBtn25", "UD_wreadout", "BitBtn33", "Combo_wmode", "BitBtn34", "Combo_wtype",
                            "BitBtn35", "Combo_wwrk", "BitBtn36", "Combo_rxvOnOff", "Check_rssi", "BitBtn37"};

class RxvKtPage : public WindowFixture {
protected:
    void showPage() {
        window->show();
        find<QTabWidget>("PageControl1")->setCurrentWidget(find<QWidget>("TabSheet5"));
    }
    // The serial port on a pseudo-terminal that records what is written and never answers.
    void openOnSilentLine() {
        ASSERT_TRUE(line.open()) << line.errorString().toStdString();
        QObject::connect(&line, &sim::PseudoTerminal::received, [this](const QByteArray& bytes) { heard += bytes; });
        writeIni("[Com port]\r\nName=" + line.slavePath().toLatin1() + "\r\nSpeed=9600\r\n");
        createWindow();
        engine->settings().setResponseWindow(100);
        showPage();
    }
    RxvKtEngine& rxv() { return engine->rxvKt(); }
    // On the box of a check box or radio button, which may be narrower than its cell.
    void click(const char* name) {
        auto* button = find<QAbstractButton>(name);
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(std::min(8, button->width() / 2), button->height() / 2));
    }
    void typeInCell(int row, int column, const QString& text) {
        auto* grid = find<DeviceGrid>("Grid_rxv");
        const QModelIndex index = grid->model()->index(row - 1, column);
        grid->setCurrentIndex(index);
        grid->edit(index);
        auto* editor = grid->viewport()->findChild<QLineEdit*>();
        ASSERT_NE(editor, nullptr) << "no editor on row " << row << " column " << column;
        editor->clear();
        QTest::keyClicks(editor, text);
        QTest::keyClick(editor, Qt::Key_Return);
        QApplication::processEvents();  // the delegate commits on a queued call
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    void selectCell(int row, int column) {
        auto* grid = find<DeviceGrid>("Grid_rxv");
        grid->setCurrentIndex(grid->model()->index(row - 1, column));
    }
    void menu(const char* action) { find<QAction>(action)->trigger(); }
    QString rows() {
        QString text;
        for (int row = 1; row <= rxv().table().dataRowCount(); ++row)
            text += QString::fromStdString(rxv().table().cell(row, kRxvIdColumn)) + (rxv().table().rowSelected(row) ? "x " : "- ");
        return text.trimmed();
    }
    bool waitIdle() {
        return waitFor([&] { return engine->runner().idle() && !rxv().running(); });
    }

    sim::PseudoTerminal line;
    QByteArray heard;
};

TEST_F(RxvKtPage, EveryControlIsThereAndKeepsItsEnglishCaptionInItalian) {
    createWindow();
    showPage();
    for (const char* name : {"Grid_rxv", "ContextMenuRXV", "Label45", "Label46", "BitBtn26", "BitBtn29", "BitBtn30",
                             "BitBtn31", "ProgressBar2", "Edit_wreadout"})
        EXPECT_NE(window->findChild<QObject*>(name), nullptr) << name;
    for (const QString& name : kCommands) EXPECT_TRUE(find<QWidget>(name.toLatin1().constData())->isVisible()) << name.toStdString();
    EXPECT_FALSE(find<QWidget>("BitBtn30")->isVisible());
    EXPECT_FALSE(find<QWidget>("BitBtn31")->isVisible());
    EXPECT_FALSE(find<QWidget>("ProgressBar2")->isVisible());
    EXPECT_EQ(checked({"Radio_mainID", "Radio_auxID", "Check_encr_ascii", "Check_encr_hex"}), "x--x");
    EXPECT_EQ(find<QLineEdit>("Edit_encryption")->maxLength(), 50);
    const auto* interval = find<QSpinBox>("UD_wreadout");
    EXPECT_EQ(interval->minimum(), 1);
    EXPECT_EQ(interval->maximum(), 240);
    EXPECT_EQ(find<QLineEdit>("Edit_wreadout")->text(), "1");
    const struct {
        const char* name;
        QStringList items;
    } combos[] = {{"Combo_wmode", {"T1", "T2", "S1", "S2", "R", "T1+C", "T2+C"}},
                  {"Combo_wtype", {"Master", "Repeater", "Slave"}},
                  {"Combo_wwrk", {"Normal", "Accept All"}},
                  {"Combo_rxvOnOff", {"RSSI", "Timestamp", "Min/Hours", "Transparent", "Secondary ID", "Master Key"}}};
    for (const auto& c : combos) {
        QStringList items;
        for (int i = 0; i < find<QComboBox>(c.name)->count(); ++i) items << find<QComboBox>(c.name)->itemText(i);
        EXPECT_EQ(items, c.items) << c.name;
    }

    const QStringList english{"   Wireless receiver RXV-KT   ", "Acquire RF meters", "Exclude identical", "Program RXV-KT",
                              "Activate selected", "Save unit", "Save AES-128 key", "Delete selected", "Address", "Use ID",
                              "One key all", "Save in RXV", "Get from m-bus table", "Date", "Time", "Info", "wm-bus", "Set",
                              "0/1", "Select All", "Deselect All", "Add row", "Delete Row", "Clear Table", "Export", "Import"};
    const char* names[] = {"TabSheet5", "BitBtn26", "Check_wMbusExists", "BitBtn29", "CheckBox1", "CheckBox2", "Check_bind",
                           "CheckBox3", "Check_encr_primary", "Check_encr_id", "Check_master_key", "BitBtn32", "BitBtn38",
                           "BitBtn27", "BitBtn28", "BitBtn24", "BitBtn25", "BitBtn33", "Check_rssi", "SelectAll1",
                           "DeselectAll1", "AddRow1", "DeleteRow1", "ClearTable1", "Export1", "Import1"};
    static_assert(std::size(names) == 26);
    ASSERT_EQ(english.size(), 26);
    const QAbstractItemModel* grid = find<DeviceGrid>("Grid_rxv")->model();
    auto expectEnglish = [&](const char* when) {
        for (std::size_t i = 0; i < std::size(names); ++i) EXPECT_EQ(caption(names[i]), english[static_cast<qsizetype>(i)]) << when << " " << names[i];
        EXPECT_EQ(grid->headerData(kRxvManufacturerColumn, Qt::Horizontal).toString(), "MFR ") << when;
        EXPECT_EQ(grid->headerData(kRxvTelegramColumn, Qt::Horizontal).toString(), "Telegram ") << when;
    };
    expectEnglish("English");
    find<QAction>("Italian1")->trigger();
    ASSERT_EQ(caption("TabSheet2"), "   Comunicazione    ") << "the other pages are in Italian";
    expectEnglish("Italian");
}

TEST_F(RxvKtPage, StepAndKeyBoxesAreExclusiveAndHandTheirStateToTheEngine) {
    createWindow();
    showPage();
    // Steps in programming order: Activate, Unit, Key, Delete.
    const struct {
        const char* what;
        const char* clicked;
        const char* steps;
    } steps[] = {
        {"Activate", "CheckBox1", "x---"},     {"Unit with it", "CheckBox2", "xx--"},
        {"Key with them", "Check_bind", "xxx-"}, {"Delete unticks the others", "CheckBox3", "---x"},
        {"Unit unticks Delete", "CheckBox2", "-x--"}, {"unticking leaves none", "CheckBox2", "----"},
    };
    for (const auto& s : steps) {
        click(s.clicked);
        EXPECT_EQ(checked(kSteps), s.steps) << s.what;
        QString engineSteps;
        for (RxvStep step : kRxvStepOrder) engineSteps += rxv().steps().isTicked(step) ? "x" : "-";
        EXPECT_EQ(engineSteps, s.steps) << s.what;
    }

    const QStringList pair{"Check_encr_ascii", "Check_encr_hex"};
    const struct {
        const char* clicked;
        const char* boxes;
    } keyFormats[] = {{"Check_encr_ascii", "x-"}, {"Check_encr_ascii", "-x"}, {"Check_encr_hex", "x-"}, {"Check_encr_hex", "-x"}};
    for (const auto& k : keyFormats) {
        click(k.clicked);
        EXPECT_EQ(checked(pair), k.boxes) << "after " << k.clicked;
        EXPECT_EQ(rxv().keySettings().ascii, k.boxes[0] == 'x') << "after " << k.clicked;
    }

    QTest::keyClicks(find<QLineEdit>("Edit_encryption"), "00112233445566778899AABBCCDDEEFF");
    click("Check_encr_primary");
    click("Check_master_key");
    click("Radio_auxID");
    click("Check_wMbusExists");
    RxvKeySettings key = rxv().keySettings();
    EXPECT_EQ(key.keyText, "00112233445566778899AABBCCDDEEFF");
    EXPECT_TRUE(key.byAddress && key.oneKeyAll && !key.byId && !key.ascii);
    EXPECT_TRUE(rxv().auxId());
    EXPECT_TRUE(rxv().excludeIdentical());

}

TEST_F(RxvKtPage, CellKeysFollowTheirColumnAndTheLabelsTheSelectedRow) {
    createWindow();
    showPage();
    EXPECT_EQ(caption("Label45"), "Address unknown");
    for (int column = 0; column < kRxvColumns; ++column) {
        typeInCell(1, column, "1a/2");
        const bool digits = column == 0 || column == 1 || column == 3 || column == 4 || column == 6;
        EXPECT_EQ(rxv().table().cell(1, column), digits ? "12" : "1a/2") << "column " << column;
    }
    EXPECT_EQ(caption("Label45"), "Address 12") << "the address typed into the selected row";
    typeInCell(1, kRxvIdColumn, "12345678");
    EXPECT_EQ(caption("Label46"), "ID: 12345678");

    ASSERT_TRUE(rxv().addRow());
    QApplication::processEvents();
    selectCell(2, kRxvMediumColumn);
    EXPECT_EQ(caption("Label45"), "Address unknown");
    EXPECT_EQ(caption("Label46"), "ID: ");
    typeInCell(2, kRxvAddressColumn, "5");
    EXPECT_EQ(caption("Label45"), "Address 5");
}

TEST_F(RxvKtPage, TheContextMenuOpensOnARightClickAndWorksOnTheTable) {
    createWindow();
    showPage();
    auto* grid = find<DeviceGrid>("Grid_rxv");
    auto* contextMenu = find<QMenu>("ContextMenuRXV");
    const QPoint at = grid->visualRect(grid->model()->index(0, 2)).center();
    QContextMenuEvent rightClick(QContextMenuEvent::Mouse, at, grid->viewport()->mapToGlobal(at));
    QApplication::sendEvent(grid->viewport(), &rightClick);
    EXPECT_TRUE(contextMenu->isVisible());
    contextMenu->hide();

    typeInCell(1, kRxvIdColumn, "11111111");
    menu("AddRow1");
    menu("AddRow1");
    typeInCell(2, kRxvIdColumn, "22222222");
    typeInCell(3, kRxvIdColumn, "33333333");
    EXPECT_EQ(grid->model()->rowCount(), 3);
    menu("SelectAll1");
    EXPECT_EQ(rows(), "11111111x 22222222x 33333333x");
    menu("DeselectAll1");
    EXPECT_EQ(rows(), "11111111- 22222222- 33333333-");
    selectCell(2, kRxvNoteColumn);
    menu("DeleteRow1");
    EXPECT_EQ(rows(), "11111111- 33333333-");
    EXPECT_EQ(grid->model()->rowCount(), 2);

    operatorScript.chosenFile = inHome(QStringLiteral("receiver.csv"));
    menu("Export1");
    ASSERT_EQ(operatorScript.saveDialogs.size(), 1u);
    EXPECT_EQ(operatorScript.saveDialogs[0].proposedName, "rxv_data.csv");
    menu("ClearTable1");
    EXPECT_EQ(rows(), "-");
    menu("Import1");
    EXPECT_EQ(rows(), "11111111- 33333333-");
    EXPECT_TRUE(operatorScript.messages.empty());

    // Eleven fields on a line: refused with its message, the table as it was.
    QFile wide(inHome(QStringLiteral("wide.csv")));
    ASSERT_TRUE(wide.open(QIODevice::WriteOnly));
    wide.write("1;2;3;4;5;6;7;8;9;10;11;\r\n");
    wide.close();
    operatorScript.chosenFile = wide.fileName();
    menu("Import1");
    EXPECT_EQ(rows(), "11111111- 33333333-");
    ASSERT_EQ(operatorScript.messages.size(), 1u);
    EXPECT_TRUE(operatorScript.messages[0].text.contains("too many data")) << operatorScript.messages[0].text.toStdString();
}

TEST_F(RxvKtPage, EachRunLocksThePageButItsOwnButtonAndTheProgrammingUnticksWhatItUsed) {
    openOnSilentLine();
    auto* acquire = find<QPushButton>("BitBtn26");
    auto* program = find<QPushButton>("BitBtn29");
    auto expectLocked = [&](const QPushButton* running, const char* when) {
        for (const QString& name : kCommands)
            EXPECT_EQ(find<QWidget>(name.toLatin1().constData())->isEnabled(), !running) << when << " " << name.toStdString();
        EXPECT_EQ(acquire->isEnabled(), !running || running == acquire) << when;
        EXPECT_EQ(program->isEnabled(), !running || running == program) << when;
        EXPECT_EQ(find<QWidget>("Butt_command_send")->isEnabled(), !running) << when;
        EXPECT_EQ(find<QWidget>("ProgressBar2")->isVisible(), running == program) << when;
    };

    click("BitBtn26");
    ASSERT_TRUE(waitFor([&] { return heard.contains("set rtra=1"); }, 3000)) << heard.toStdString();
    EXPECT_EQ(acquire->text(), "Stop acquire");
    expectLocked(acquire, "acquiring");
    click("BitBtn26");
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(heard, "set rtra=1set rtra=0set rtra=0");
    EXPECT_EQ(acquire->text(), "Acquire RF meters");
    expectLocked(nullptr, "acquisition stopped");

    // The key step with "One key all": the run keys the row by its address and unticks both boxes.
    heard.clear();
    engine->settings().setResponseWindow(1000);
    typeInCell(1, kRxvAddressColumn, "5");
    rxv().setRowSelected(1, true);
    QTest::keyClicks(find<QLineEdit>("Edit_encryption"), "00112233445566778899AABBCCDDEEFF");
    for (const char* box : {"Check_encr_primary", "Check_master_key", "Check_bind"}) click(box);
    click("BitBtn29");
    ASSERT_TRUE(waitFor([&] { return heard.startsWith("set encr="); }, 3000)) << heard.toStdString();
    EXPECT_EQ(program->text(), "Stop programming");
    expectLocked(program, "programming");
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(heard, "set encr=5," + QByteArray::fromHex("00112233445566778899AABBCCDDEEFF"));
    EXPECT_EQ(checked({"Check_bind", "Check_master_key", "Check_encr_primary"}), "--x");
    EXPECT_EQ(program->text(), "Program RXV-KT");
    expectLocked(nullptr, "programming done");

    // The single commands take their fields as shown.
    heard.clear();
    engine->settings().setResponseWindow(100);
    find<QSpinBox>("UD_wreadout")->setValue(240);
    click("BitBtn33");
    ASSERT_TRUE(waitIdle());
    find<QComboBox>("Combo_wmode")->setCurrentText("S2");
    click("BitBtn34");
    ASSERT_TRUE(waitIdle());
    find<QComboBox>("Combo_rxvOnOff")->setCurrentText("Transparent");
    click("Check_rssi");
    click("BitBtn37");
    ASSERT_TRUE(waitIdle());
    click("BitBtn25");
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(heard, "set pito=240set wmod=0set trns=1get wsta");
}

} // namespace
} // namespace veltro::test
