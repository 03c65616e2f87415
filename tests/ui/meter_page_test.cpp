// The meter page against the simulated bus: a scan started with "Find", the export and import of the
// grid, the selection by mouse, the row commands and the full read that opens the detailed report.
#include "window_fixture.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QMenu>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTest>

#include "ui/meter_grid.h"
#include "ui/meter_page_view.h"
#include "ui/report_window.h"

namespace veltro::test {
namespace {

using Grid = std::vector<std::vector<QString>>;

// What the grid shows: every cell of every row, as text.
Grid Cells(const QTableView& view) {
    Grid cells;
    const QAbstractItemModel& model = *view.model();
    for (int r = 0; r < model.rowCount(); ++r) {
        cells.emplace_back();
        for (int c = 0; c < model.columnCount(); ++c) cells.back().push_back(model.index(r, c).data().toString());
    }
    return cells;
}

QByteArray ReadBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

class MeterPage : public WindowFixture {
protected:
    void scan(int from, int to) {
        find<QSpinBox>("UD_address_min")->setValue(from);
        find<QSpinBox>("UD_address_max")->setValue(to);
        QTest::mouseClick(find<QPushButton>("Butt_find_primary"), Qt::LeftButton);
    }
    QTableView* grid() { return find<QTableView>("Grid_bmeters"); }
    QString logText() { return find<QPlainTextEdit>("Memo_current")->toPlainText(); }
    QPoint cellCentre(int modelRow, int column) { return grid()->visualRect(grid()->model()->index(modelRow, column)).center(); }
    void click(int modelRow, Qt::KeyboardModifiers modifiers = {}) {
        QTest::mouseClick(grid()->viewport(), Qt::LeftButton, modifiers, cellCentre(modelRow, 0));
    }
    std::vector<int> flaggedRows() { return engine->meters().table().selectedRows(); }
    // The meters at addresses 1 and 2 found on the simulated bus, the first one clicked.
    void scanTwoMetersAndClickTheFirst() {
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        scan(1, 2);
        ASSERT_TRUE(waitIdle());
        click(0);
        ASSERT_EQ(flaggedRows(), (std::vector<int>{1}));
    }
    // A table loaded with the Load button from a file of `rows` lines.
    void loadRows(const QByteArray& lines) {
        const QString path = inHome(QStringLiteral("rows.csv"));
        WriteBytes(path, lines);
        operatorScript.chosenFile = path;
        QTest::mouseClick(find<QPushButton>("Butt_load_data"), Qt::LeftButton);
    }
};

TEST_F(MeterPage, FindScansTheSimulatedBusIntoTheGridAndTheLog) {
    startSimulatedBus();
    window->show();
    scan(0, 20);
    ASSERT_EQ(operatorScript.questions.size(), 1u);
    EXPECT_EQ(operatorScript.questions[0].title, "Clear confirmation");
    EXPECT_EQ(operatorScript.questions[0].text, "Do you want to clear the table?");
    EXPECT_EQ(operatorScript.questions[0].buttons, OperatorInterface::Buttons::YesNoCancel);
    // While it runs: "Stop", the progress bar, the reading commands disabled.
    EXPECT_EQ(find<QPushButton>("Butt_find_primary")->text(), "Stop");
    EXPECT_TRUE(find<QProgressBar>("ProgressBar1")->isVisible());
    EXPECT_EQ(find<QProgressBar>("ProgressBar1")->maximum(), 20);
    EXPECT_FALSE(find<QPushButton>("Butt_readall")->isEnabled());
    EXPECT_FALSE(find<QPushButton>("Butt_readonce")->isEnabled());
    EXPECT_FALSE(find<QPushButton>("Butt_command_send")->isEnabled());
    ASSERT_TRUE(waitIdle());

    const Grid cells = Cells(*grid());
    ASSERT_EQ(cells.size(), 9u + 1u) << logText().toStdString();  // nine meters and the empty row after them
    std::vector<QString> addresses;
    for (const auto& row : cells) addresses.push_back(row[1]);
    EXPECT_EQ(addresses, (std::vector<QString>{"1", "2", "3", "4", "10", "11", "12", "15", "20", ""}));
    EXPECT_EQ(cells[0][0], "40112301");
    EXPECT_EQ(cells[0][4], "kWh");
    EXPECT_EQ(cells[0][5], "Heat (rt)");
    EXPECT_EQ(cells[4][2], "KXR");
    EXPECT_EQ(grid()->model()->headerData(0, Qt::Horizontal).toString(), "ID ");
    // The labels show the last meter found.
    EXPECT_EQ(find<QLabel>("Label_addr")->text(), "Addr.:20");

    const QString log = logText();
    EXPECT_TRUE(log.contains("Reading device 5")) << log.toStdString();
    EXPECT_TRUE(log.contains("Respond: 68 "));
    EXPECT_EQ(find<QPlainTextEdit>("Memo_current")->document()->blockCount(), engine->log().lines().size());
    EXPECT_EQ(find<QPushButton>("Butt_find_primary")->text(), "Find");
    EXPECT_FALSE(find<QProgressBar>("ProgressBar1")->isVisible());
    EXPECT_TRUE(find<QPushButton>("Butt_readall")->isEnabled());
}

TEST_F(MeterPage, FindAllRunsTheSecondarySearchWithItsControlsAndStopSecondaryEndsIt) {
    startSimulatedBus();
    window->show();
    auto* id = find<QLineEdit>("Edit_id");
    QTest::keyClicks(id, "12a3F4f56789");  // only digits and an upper-case F, at most 8
    EXPECT_EQ(id->text(), "123F4567");
    QTest::mouseClick(find<QPushButton>("Butt_find_id"), Qt::LeftButton);
    EXPECT_TRUE(logText().endsWith("Incorrect ID entered")) << logText().toStdString();

    QTest::mouseClick(find<QPushButton>("Butt_find_all"), Qt::LeftButton);
    EXPECT_EQ(id->text(), "FFFFFFFF");
    ASSERT_EQ(engine->meters().busOperation(), BusOperation::SecondarySearch);
    auto* stop = find<QPushButton>("Button1");
    EXPECT_TRUE(stop->isVisible());
    EXPECT_EQ(stop->text(), "Stop secondary");
    for (const char* name : {"Butt_find_primary", "Butt_find_id", "Butt_find_all", "Butt_readall", "Butt_readonce",
                             "Butt_load_data", "Butt_save_data", "Butt_command_send"})
        EXPECT_FALSE(find<QPushButton>(name)->isEnabled()) << name;
    EXPECT_FALSE(id->isEnabled());
    EXPECT_FALSE(find<QCheckBox>("Check_broadcast")->isEnabled());
    auto* progress = find<QProgressBar>("ProgressBar1");
    EXPECT_TRUE(progress->isVisible());
    EXPECT_EQ(progress->minimum(), 1);
    EXPECT_EQ(progress->maximum(), 10);

    ASSERT_TRUE(waitFor([&] { return logText().contains("Checking 2FFFFFFF..."); }));
    QTest::mouseClick(stop, Qt::LeftButton);
    ASSERT_TRUE(waitIdle());
    EXPECT_TRUE(logText().endsWith("Secondary search thread terminated normally.")) << logText().toStdString();
    EXPECT_FALSE(logText().contains("Checking 4FFFFFFF..."));
    EXPECT_FALSE(stop->isVisible());
    EXPECT_FALSE(progress->isVisible());
    for (const char* name : {"Butt_find_primary", "Butt_find_id", "Butt_find_all", "Butt_readall", "Butt_load_data"})
        EXPECT_TRUE(find<QPushButton>(name)->isEnabled()) << name;
    EXPECT_TRUE(id->isEnabled());
    EXPECT_TRUE(find<QCheckBox>("Check_broadcast")->isEnabled());
}

TEST_F(MeterPage, EachConfigurationButtonSendsItsTelegramToTheFlaggedMeter) {
    startSimulatedBus();
    scanTwoMetersAndClickTheFirst();  // the heat meter 40112301 at address 1
    find<QLineEdit>("Edit_new_id")->setText("40112302");
    find<QComboBox>("Combo_medium")->setCurrentText("Water");
    find<QLineEdit>("Edit_valuePulses")->setText("1234");
    find<QSpinBox>("UD_new_address")->setValue(9);
    const struct {
        const char* button;
        std::string frame;  // the beginning of the telegram the bus heard
    } cases[] = {
        {"Butt_reset", "10 40 01 41 16"},
        {"Butt_set_id", "68 09 09 68 73 01 51 0C 79 02 23 11 40"},
        {"Butt_set_medium", "68 0D 0D 68 53 01 51 07 79 02 23 11 40 FF FF FF 07"},
        {"Butt_set_unit", "68 09 09 68 53 01 51 0F 13 03"},
        {"Butt_set_baud", "68 03 03 68 53 01 BB"},
        {"Butt_set_pulse", "68 0B 0B 68 53 01 51 0F FD 0B 04 00 00 00 01"},
        {"Butt_setValue", "68 09 09 68 53 01 51 04 13 D2 04 00 00"},
        {"Butt_counterType", "68 0B 0B 68 53 01 51 0F FF 00 04 FF FE C2 01"},
        {"Butt_set_address", "68 06 06 68 73 FD 51 01 7A 09"},
    };
    for (const auto& c : cases) {
        const std::size_t from = heardFrames().size();
        find<QPushButton>(c.button)->click();  // the group is shown by permission; the button works all the same
        ASSERT_TRUE(waitFor([&] { return heardFrames().size() > from && engine->meters().busOperation() == BusOperation::None; }))
            << c.button << "\n" << logText().toStdString();
        const auto frames = heardFrames();
        const bool heard = std::any_of(frames.begin() + static_cast<std::ptrdiff_t>(from), frames.end(),
                                       [&](const std::string& f) { return f.rfind(c.frame, 0) == 0; });
        EXPECT_TRUE(heard) << c.button << " did not send " << c.frame;
    }
    EXPECT_EQ(find<QLabel>("Label_addr")->text(), "Addr.:9");
}

TEST_F(MeterPage, CancelOnTheClearingQuestionSendsNothing) {
    startSimulatedBus();
    window->show();
    operatorScript.answer = OperatorInterface::Answer::Cancel;
    scan(1, 3);
    EXPECT_EQ(find<QPushButton>("Butt_find_primary")->text(), "Find");
    EXPECT_EQ(engine->meters().busOperation(), BusOperation::None);
    EXPECT_FALSE(logText().contains("Reading device"));
}

TEST_F(MeterPage, ASwappedRangeIsCorrectedInTheFields) {
    startSimulatedBus();
    scan(4, 2);
    EXPECT_EQ(find<QSpinBox>("UD_address_min")->value(), 2);
    EXPECT_EQ(find<QSpinBox>("UD_address_max")->value(), 4);
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(Cells(*grid()).size(), 3u + 1u);
}

TEST_F(MeterPage, ExportThenLoadGivesTheSameGrid) {
    startSimulatedBus();
    window->show();
    scan(1, 12);
    ASSERT_TRUE(waitIdle());
    const Grid scanned = Cells(*grid());
    ASSERT_EQ(scanned.size(), 7u + 1u);

    const QString path = inHome(QStringLiteral("export.csv"));
    operatorScript.chosenFile = path;
    QTest::mouseClick(find<QPushButton>("Butt_save_data"), Qt::LeftButton);
    ASSERT_EQ(operatorScript.saveDialogs.size(), 1u);
    EXPECT_EQ(operatorScript.saveDialogs[0].folder, homePath());  // `Dir` defaults to the program folder
    EXPECT_EQ(operatorScript.saveDialogs[0].proposedName, "meters_data.csv");
    const QList<QByteArray> lines = ReadBytes(path).split('\n');
    ASSERT_EQ(lines.size(), 8 + 1);  // seven meters, the trailing empty row, and the end of the last line
    EXPECT_TRUE(lines[0].startsWith("40112301;1;")) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].endsWith(';'));
    EXPECT_EQ(lines[7], QByteArray(12, ';'));  // the empty row: twelve empty cells

    QTest::mouseClick(find<QPushButton>("Butt_clear_grid"), Qt::LeftButton);
    EXPECT_EQ(Cells(*grid()).size(), 1u);
    QTest::mouseClick(find<QPushButton>("Butt_load_data"), Qt::LeftButton);
    EXPECT_EQ(operatorScript.openDialogFolders, (std::vector<QString>{homePath()}));
    EXPECT_EQ(Cells(*grid()), scanned);
    EXPECT_TRUE(operatorScript.messages.empty());
}

TEST_F(MeterPage, AnExportThatCannotBeWrittenIsReportedAndTheOldFileKept) {
    createWindow();
    loadRows("12345678;5;ABC;\n");
    // A path below a plain file cannot be created, whoever runs the test.
    operatorScript.chosenFile = inHome(QStringLiteral("rows.csv/export.csv"));
    QTest::mouseClick(find<QPushButton>("Butt_save_data"), Qt::LeftButton);
    ASSERT_EQ(operatorScript.messages.size(), 1u);
    EXPECT_EQ(operatorScript.messages[0].title, "Error saving file");
    EXPECT_EQ(operatorScript.messages[0].text, "File cannot be written, no rights!\nContact administrator.");
    EXPECT_EQ(operatorScript.messages[0].icon, OperatorInterface::Icon::Error);
    EXPECT_EQ(ReadBytes(inHome(QStringLiteral("rows.csv"))), "12345678;5;ABC;\n");
}

TEST_F(MeterPage, AFileThatCannotBeReadLeavesTheTableAsItWas) {
    createWindow();
    loadRows("12345678;5;ABC;\n87654321;6;DEF;\n");
    const Grid before = Cells(*grid());
    ASSERT_EQ(before.size(), 2u);
    operatorScript.chosenFile = homePath();  // a folder, not a file
    QTest::mouseClick(find<QPushButton>("Butt_load_data"), Qt::LeftButton);
    ASSERT_EQ(operatorScript.messages.size(), 1u);
    EXPECT_EQ(operatorScript.messages[0].title, "File Error");
    EXPECT_EQ(operatorScript.messages[0].text, "You chose wrong file for import!\nContact administrator!");
    EXPECT_EQ(Cells(*grid()), before);
}

TEST_F(MeterPage, ALineWithTooManyFieldsEndsTheImport) {
    createWindow();
    loadRows("11111111;1;\n" + QByteArray(28, ';') + "\n33333333;3;\n");  // the widest export has 27
    ASSERT_EQ(operatorScript.messages.size(), 1u);
    EXPECT_EQ(operatorScript.messages[0].text, "You are trying to import too many data!!!\nCorrect csv file and try again!");
    const Grid cells = Cells(*grid());
    ASSERT_EQ(cells.size(), 2u);  // the row before it, then one empty row
    EXPECT_EQ(cells[0][0], "11111111");
    EXPECT_EQ(cells[1][0], "");
}

TEST_F(MeterPage, AFileThatIsNoTextExportIsRefusedAndTheTableKept) {
    struct Case {
        const char* what;
        QByteArray bytes;
        const char* message;
    } cases[] = {
        {"NUL bytes", QByteArray("12345678;5;\0\0\0;\n", 16), "The file is not a text file!\nChoose another file."},
        {"text, but over 16 MiB", QByteArray(16 * 1024 * 1024 + 1, 'x'),
         "The file is larger than 16 MiB, it is no table export!\nChoose another file."},
    };
    createWindow();
    loadRows("11111111;1;\n22222222;2;\n");
    const Grid before = Cells(*grid());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        operatorScript.messages.clear();
        const QString path = inHome(QStringLiteral("refused.csv"));
        WriteBytes(path, c.bytes);
        operatorScript.chosenFile = path;
        QTest::mouseClick(find<QPushButton>("Butt_load_data"), Qt::LeftButton);
        ASSERT_EQ(operatorScript.messages.size(), 1u);
        EXPECT_EQ(operatorScript.messages[0].title, "File Error");
        EXPECT_EQ(operatorScript.messages[0].text, c.message);
        EXPECT_EQ(operatorScript.messages[0].icon, OperatorInterface::Icon::Warning);
        EXPECT_EQ(Cells(*grid()), before);
    }
}

TEST_F(MeterPage, ClickCtrlClickAndDoubleClickFlagRows) {
    createWindow();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    loadRows("11111111;1;\n22222222;2;\n33333333;;\n");

    click(1);
    EXPECT_EQ(flaggedRows(), (std::vector<int>{2}));
    EXPECT_EQ(find<QLabel>("Label_id")->text(), "ID:22222222");
    EXPECT_EQ(find<QLabel>("Label_addr")->text(), "Addr.:2");
    const QModelIndex flagged = grid()->model()->index(1, 0);
    const QModelIndex plain = grid()->model()->index(0, 0);
    EXPECT_EQ(flagged.data(Qt::BackgroundRole).value<QColor>(), QApplication::palette().color(QPalette::Active, QPalette::Highlight));
    EXPECT_EQ(flagged.data(Qt::ForegroundRole).value<QColor>(), QColor(Qt::white));
    EXPECT_EQ(plain.data(Qt::BackgroundRole).value<QColor>(), QColor(Qt::white));
    EXPECT_EQ(plain.data(Qt::ForegroundRole).value<QColor>(), QColor(Qt::black));

    click(2, Qt::ControlModifier);
    EXPECT_EQ(flaggedRows(), (std::vector<int>{2, 3}));
    EXPECT_EQ(find<QLabel>("Label_addr")->text(), "Addr.:");  // no address: nothing to show
    click(1, Qt::ControlModifier);
    EXPECT_EQ(flaggedRows(), (std::vector<int>{3}));
    click(0);
    EXPECT_EQ(flaggedRows(), (std::vector<int>{1}));

    // A double click as the window system delivers it: press, release, double click, release.
    QTest::mouseDClick(grid()->viewport(), Qt::LeftButton, {}, cellCentre(0, 0));
    EXPECT_EQ(flaggedRows(), (std::vector<int>{1}));  // nothing yet: the release decides
    QTest::mouseRelease(grid()->viewport(), Qt::LeftButton, {}, cellCentre(0, 0));
    EXPECT_EQ(flaggedRows(), (std::vector<int>{1, 2, 3}));
}

TEST_F(MeterPage, RowCommandsOfTheContextMenuAndTheKeys) {
    createWindow();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    loadRows("11111111;1;\n22222222;2;\n33333333;3;\n");
    click(0);
    find<QAction>("Addrowintable1")->trigger();
    Grid cells = Cells(*grid());
    ASSERT_EQ(cells.size(), 4u);
    EXPECT_EQ(cells[1][0], "");
    EXPECT_EQ(cells[2][0], "22222222");

    click(2);  // the row of 22222222
    QTest::keyClick(grid(), Qt::Key_Delete);
    cells = Cells(*grid());
    ASSERT_EQ(cells.size(), 3u);
    EXPECT_EQ(cells[2][0], "33333333");

    find<QAction>("Cleartable1")->trigger();
    EXPECT_EQ(Cells(*grid()).size(), 1u);
    EXPECT_TRUE(flaggedRows().empty());
}

TEST_F(MeterPage, F1OnTheGridMakesAFullReadThatOpensTheDetailedReport) {
    startSimulatedBus();
    TFormFullMbus report(*engine);
    ASSERT_NO_FATAL_FAILURE(scanTwoMetersAndClickTheFirst());
    EXPECT_FALSE(report.isVisible());
    QTest::keyClick(grid(), Qt::Key_F1);
    ASSERT_TRUE(waitIdle());
    EXPECT_TRUE(report.isVisible());
    const QString text = report.findChild<QPlainTextEdit*>(QStringLiteral("Memo_fullMbus"))->toPlainText();
    EXPECT_TRUE(text.contains("Decoded at ")) << text.toStdString();
    EXPECT_TRUE(text.contains("40112301"));
}

TEST_F(MeterPage, ARightClickSelectsTheRowUnderThePointerForTheMenusCommands) {
    startSimulatedBus();
    TFormFullMbus report(*engine);
    ASSERT_NO_FATAL_FAILURE(scanTwoMetersAndClickTheFirst());

    // The context menu of the window system: the event comes to the grid's viewport.
    const QPoint at = cellCentre(1, 2);
    QContextMenuEvent pointed(QContextMenuEvent::Mouse, at, grid()->viewport()->mapToGlobal(at));
    QApplication::sendEvent(grid()->viewport(), &pointed);
    auto* menu = find<QMenu>("ContextMenuMbus");
    EXPECT_TRUE(menu->isVisible());
    EXPECT_EQ(flaggedRows(), (std::vector<int>{2}));
    EXPECT_EQ(find<QLabel>("Label_id")->text(), "ID:51200417");
    EXPECT_EQ(find<QLabel>("Label_addr")->text(), "Addr.:2");

    find<QAction>("Fullread1")->trigger();
    menu->close();
    ASSERT_TRUE(waitIdle());
    const QString text = report.findChild<QPlainTextEdit*>(QStringLiteral("Memo_fullMbus"))->toPlainText();
    EXPECT_TRUE(text.contains("51200417")) << text.toStdString();
    EXPECT_FALSE(text.contains("40112301"));
}

// The page is a class of its own: away from the main window it still follows the engine's table and
// page state, which the window no longer relays.
TEST_F(MeterPage, APageOutsideTheWindowFollowsTheEngine) {
    startSimulatedBus();
    ::veltro::MeterPageView page(*engine);
    auto* address = page.findChild<QLabel*>(QStringLiteral("Label_addr"));
    auto* readAll = page.findChild<QPushButton*>(QStringLiteral("Butt_readall"));
    ASSERT_TRUE(address && readAll);
    engine->meters().findPrimary(1, 2);
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(address->text(), "Addr.:2");
    EXPECT_EQ(Cells(*page.findChild<QTableView*>(QStringLiteral("Grid_bmeters"))).size(), 2u + 1u);

    engine->settings().setLanguage(Language::Italian);
    engine->meters().applyLanguage();
    EXPECT_EQ(readAll->text(), "Leggi tutti i dispositivi");
}

} // namespace
} // namespace veltro::test
