// The local-display and readings pages driven by their control names: the captions in both languages,
// the exclusive boxes, the row boxes of the display table, the cell keys and edits, the file commands,
// and a real write cycle on a pseudo-terminal where no display answers.
#include "window_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>

#include "devices/display_engine.h"
#include "link/operation_runner.h"
#include "sim/pseudo_terminal.h"
#include "ui/device_grid.h"

namespace veltro::test {
namespace {

const QStringList kSwitches{"Check_ldu_active", "Check_ldu_unit",  "Check_ldu_multiplier", "Check_ldu_divider",
                            "Check_ldu_initial", "Check_ldu_user", "Check_ldu_text",       "Check_ldu_text2",
                            "Check_ldu_delete", "Check_ldu_delp"};
// Disabled while the table is written.
const QStringList kWriteLocked{"Butt_ldu_read", "Group_ldu_info", "BitBtn15", "BitBtn16",
                               "Butt_ldu_refresh", "BitBtn11", "BitBtn12", "BitBtn14"};

class DisplayPage : public WindowFixture {
protected:
    void showPages() {
        window->applyLogin({Role::Administrator, true, true, true});
        window->show();
        find<QTabWidget>("PageControl1")->setCurrentWidget(find<QWidget>("TabSheet3"));
    }
    // The serial port on a pseudo-terminal that records what is written and never answers.
    void openOnSilentLine() {
        ASSERT_TRUE(line.open()) << line.errorString().toStdString();
        QObject::connect(&line, &sim::PseudoTerminal::received, [this](const QByteArray& bytes) { heard += bytes; });
        writeIni("[Com port]\r\nName=" + line.slavePath().toLatin1() + "\r\nSpeed=9600\r\n");
        createWindow();
        showPages();
    }
    DisplayEngine& display() { return engine->display(); }
    void click(const char* name) { QTest::mouseClick(find<QAbstractButton>(name), Qt::LeftButton); }
    static QString title(DeviceGrid* grid, int column) { return grid->model()->headerData(column, Qt::Horizontal).toString(); }
    // Types into the cell's editor and commits it with Return.
    void typeInCell(const char* gridName, int row, int column, const QString& text) {
        auto* grid = find<DeviceGrid>(gridName);
        const QModelIndex index = grid->model()->index(row - 1, column);
        grid->setCurrentIndex(index);
        grid->edit(index);
        auto* editor = grid->viewport()->findChild<QLineEdit*>();
        ASSERT_NE(editor, nullptr) << "no editor on row " << row << " column " << column;
        editor->clear();
        QTest::keyClicks(editor, text);
        QTest::keyClick(editor, Qt::Key_Return);
        QApplication::processEvents();  // the delegate commits on a queued call
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // the closed editor goes
    }
    // A left press at one point of the display table and the release at another.
    void pressAndRelease(const QPoint& press, const QPoint& release) {
        QWidget* viewport = find<DeviceGrid>("Grid_ldu")->viewport();
        QTest::mousePress(viewport, Qt::LeftButton, {}, press);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, release);
    }
    QRect cellRect(int row, int column) {
        auto* grid = find<DeviceGrid>("Grid_ldu");
        return grid->visualRect(grid->model()->index(row - 1, column));
    }
    bool waitIdle() {
        return waitFor([&] { return engine->runner().idle(); });
    }

    sim::PseudoTerminal line;
    QByteArray heard;
};

TEST_F(DisplayPage, EveryControlIsThereAndTheCaptionsAndTitlesFollowTheLanguage) {
    createWindow();
    showPages();
    for (const char* name : {"Grid_ldu", "Butt_ldu_set", "Butt_ldu_cleartable", "BitBtn1", "BitBtn2", "BitBtn10", "BitBtn3",
                             "BitBtn4", "BitBtn8", "BitBtn9", "BitBtn11", "BitBtn12", "BitBtn14", "Edit_ldu_refresh",
                             "UD_ldu_refresh", "Butt_ldu_refresh", "BitBtn15", "Check_sort_address", "Check_sort_user",
                             "BitBtn16", "Combo_ldu_general", "Butt_ldu_info", "Butt_ldu_read", "BitBtn20",
                             "Check_main_values", "Check_tarr_values", "BitBtn18", "Grid_historical", "BitBtn13",
                             "Combo_months", "BitBtn21", "Butt_add_hist", "Butt_delete_hist", "Butt_clear_hist",
                             "Butt_sort_hist", "Check_sort_hist_address", "Check_sort_hist_user", "BitBtn17"})
        EXPECT_NE(window->findChild<QWidget*>(name), nullptr) << name;
    EXPECT_EQ(checked(kSwitches), "----------");
    EXPECT_FALSE(find<QWidget>("BitBtn14")->isVisible()) << "Lock is hidden";
    EXPECT_TRUE(find<QCheckBox>("Check_main_values")->isChecked());
    EXPECT_FALSE(find<QCheckBox>("Check_tarr_values")->isChecked());
    const auto* refresh = find<QSpinBox>("UD_ldu_refresh");
    EXPECT_EQ(refresh->minimum(), 4);
    EXPECT_EQ(refresh->maximum(), 12);
    EXPECT_EQ(find<QLineEdit>("Edit_ldu_refresh")->text(), "4");
    auto* general = find<QComboBox>("Combo_ldu_general");
    ASSERT_EQ(general->count(), 6);
    EXPECT_EQ(general->itemText(3), "Get Entry info 1");
    auto* months = find<QComboBox>("Combo_months");
    ASSERT_EQ(months->count(), 13);
    EXPECT_EQ(months->itemText(0), "ALL");
    EXPECT_EQ(months->itemText(12), "Dec");

    auto* ldu = find<DeviceGrid>("Grid_ldu");
    auto* historical = find<DeviceGrid>("Grid_historical");
    ASSERT_EQ(ldu->model()->columnCount(), 13);
    ASSERT_EQ(historical->model()->columnCount(), 24);
    EXPECT_GE(ldu->columnWidth(6), 170) << "the free text's form width";
    EXPECT_LT(ldu->columnWidth(1), ldu->columnWidth(6));

    const struct {
        const char* name;
        QString english, italian;
    } captions[] = {
        {"TabSheet3", "   Local display LDU   ", "   Display Locale LDU   "},
        {"TabSheet4", "   Get Readings   ", "   Acquisisci letture   "},
        {"Butt_ldu_set", "Write table to the display", "Invia tabella al Display"},
        {"BitBtn18", "Read meters", "Aggiorna display"},
        {"BitBtn13", "Get historical values", "Acquisisci solo storico"},
        {"BitBtn10", "Export", "Export"},  // not the meter page's "Salva / Esporta"
        {"BitBtn8", "Select All", "Select All"},
        {"Label_ldu_refresh", "Set display refresh time", "Set display refresh time"},
        {"Butt_ldu_refresh", "Set refresh time", "Set refresh time"},
        {"Group_ldu_info", "   General info   ", "   General info   "},
        {"Butt_ldu_read", "Read Data ", "Read Data "},
        {"Check_sort_user", "by user numb.", "by user numb."},
        {"Check_sort_hist_user", "by user number", "by user number"},
        {"Check_ldu_delp", "Zero initials ", "Zero initials "},
        {"Check_tarr_values", "Tarriff", "Tarriff"},
    };
    const struct {
        DeviceGrid* grid;
        int column;
        QString english, italian;
    } titles[] = {
        {ldu, 2, "Unit ", "Unita "},          {ldu, 5, "User numb. ", "Num. utente "},
        {ldu, 6, "Free text ", "Testo "},     {ldu, 12, "Free text second row (TFT) ", "Free text second row (TFT) "},
        {historical, 5, "User numb. ", "Num. utente "}, {historical, 11, "Tarr 3 ", "Tarr 3 "},
        {historical, 12, "Jan", "Gen"},       {historical, 16, "May", "Mag"},
        {historical, 23, "Dec", "Dic"},
    };
    auto expectLanguage = [&](bool italian) {
        for (const auto& c : captions) EXPECT_EQ(caption(c.name), italian ? c.italian : c.english) << c.name;
        for (const auto& t : titles)
            EXPECT_EQ(title(t.grid, t.column), italian ? t.italian : t.english) << t.grid->objectName().toStdString() << " " << t.column;
    };
    expectLanguage(false);
    find<QAction>("Italian1")->trigger();
    expectLanguage(true);
    find<QAction>("English1")->trigger();
    expectLanguage(false);
}

TEST_F(DisplayPage, ExclusiveBoxesUntickTheirPartners) {
    createWindow();
    showPages();
    // Switches in processing order: Activate, Units, Mult., Div., Initial, User, Text, Text 2, DELETE, Zero.
    const struct {
        const char* what;
        const char* clicked;
        const char* switches;
    } steps[] = {
        {"Activate", "Check_ldu_active", "x---------"},
        {"Units with it", "Check_ldu_unit", "xx--------"},
        {"Free text 2 with them", "Check_ldu_text2", "xx-----x--"},
        {"Zero initials with them", "Check_ldu_delp", "xx-----x-x"},
        {"DELETE unticks all but Free text 2", "Check_ldu_delete", "-------xx-"},
        {"Activate unticks DELETE", "Check_ldu_active", "x------x--"},
        {"DELETE again", "Check_ldu_delete", "-------xx-"},
        {"User number unticks DELETE", "Check_ldu_user", "-----x-x--"},
        {"unticking leaves the rest", "Check_ldu_text2", "-----x----"},
    };
    for (const auto& step : steps) {
        click(step.clicked);
        EXPECT_EQ(checked(kSwitches), step.switches) << step.what;
        EXPECT_EQ(display().switches().isTicked(DisplaySetting::Delete), step.switches[8] == 'x') << step.what;
    }

    const struct {
        const char* first;
        const char* second;
        const char* start;  // "x-": the first ticked at start
    } pairs[] = {{"Check_sort_address", "Check_sort_user", "--"},
                 {"Check_sort_hist_address", "Check_sort_hist_user", "--"},
                 {"Check_main_values", "Check_tarr_values", "x-"}};
    for (const auto& pair : pairs) {
        const QStringList names{pair.first, pair.second};
        find<QTabWidget>("PageControl1")->setCurrentWidget(find<QWidget>(QString(pair.first).contains("hist") ? "TabSheet4" : "TabSheet3"));
        EXPECT_EQ(checked(names), pair.start) << pair.first;
        click(pair.second);
        EXPECT_EQ(checked(names), "-x") << pair.second;
        click(pair.first);
        EXPECT_EQ(checked(names), "x-") << pair.first;
        click(pair.first);
        EXPECT_EQ(checked(names), "--") << pair.first << " unticked leaves neither";
    }
}

TEST_F(DisplayPage, ARowBoxTogglesOnlyOnPressAndReleaseInsideTheSameBox) {
    createWindow();
    showPages();
    ASSERT_TRUE(display().addRow());
    ASSERT_TRUE(display().addRow());
    QApplication::processEvents();
    auto selected = [&] {
        QString marks;
        for (int row = 1; row <= 3; ++row) marks += display().table().rowSelected(row) ? "x" : "-";
        return marks;
    };
    const QPoint box1 = DeviceGrid::CheckBoxRect(cellRect(1, 0)).center();
    const QPoint box2 = DeviceGrid::CheckBoxRect(cellRect(2, 0)).center();
    const QPoint text1(cellRect(1, 0).right() - 3, box1.y());
    const QPoint address1 = cellRect(1, 1).center();
    ASSERT_FALSE(DeviceGrid::CheckBoxRect(cellRect(1, 0)).contains(text1)) << "the ID text lies after the box";

    const struct {
        const char* what;
        QPoint press, release;
        const char* rows;
    } clicks[] = {
        {"inside the first row's box", box1, box1, "x--"},
        {"on the ID text after the box", text1, text1, "x--"},
        {"on the address cell", address1, address1, "x--"},
        {"pressed on one row's box, released on another's", box1, box2, "x--"},
        {"pressed beside the box, released inside it", text1, box1, "x--"},
        {"pressed inside, released beside it", box1, text1, "x--"},
        {"inside the second row's box", box2, box2, "xx-"},
        {"inside the first row's box again", box1, box1, "-x-"},
    };
    for (const auto& c : clicks) {
        pressAndRelease(c.press, c.release);
        EXPECT_EQ(selected(), c.rows) << c.what;
    }
    EXPECT_EQ(display().selectedRow(), 1) << "a press selects its cell";
    EXPECT_EQ(display().selectedColumn(), 0);
    click("BitBtn8");
    EXPECT_EQ(selected(), "xxx");
    click("BitBtn9");
    EXPECT_EQ(selected(), "---");
}

TEST_F(DisplayPage, CellEditsReachTheEngineThroughEachColumnsKeys) {
    createWindow();
    showPages();
    const struct {
        int column;
        const char* typed;
        const char* kept;
    } edits[] = {
        {0, "1234x5678", "12345678"}, {1, "1a2", "12"},     {2, "m3 ", "m3 "},   {3, "1,5.x0", "1,5.0"},
        {4, "10/1a", "10/1"},         {5, "42-", "42"},     {6, "Hall 2, left!", "Hall 2, left!"},
        {7, "any", "any"},            {12, "second row", "second row"},
    };
    for (const auto& e : edits) {
        typeInCell("Grid_ldu", 1, e.column, e.typed);
        EXPECT_EQ(display().table().cell(1, e.column), e.kept) << "column " << e.column;
    }
    EXPECT_EQ(display().selectedAddress(), 12) << "the selected row's address follows its cell";
    typeInCell("Grid_ldu", 1, 1, "7");
    EXPECT_EQ(display().selectedAddress(), 7);
}

TEST_F(DisplayPage, ExportAndImportProposeTheirFilesAndFillBothTables) {
    createWindow();
    showPages();
    display().setCell(1, 0, "12345678");
    display().setCell(1, 1, "5");
    display().setCell(1, 7, "321");
    operatorScript.chosenFile = inHome(QStringLiteral("display.csv"));
    click("BitBtn10");
    ASSERT_EQ(operatorScript.saveDialogs.size(), 1u);
    EXPECT_EQ(operatorScript.saveDialogs[0].proposedName, "lduQ7_data.csv");
    click("Butt_ldu_cleartable");
    EXPECT_TRUE(display().table().isEmpty());

    click("BitBtn2");
    EXPECT_EQ(display().table().cell(1, 1), "5");
    EXPECT_EQ(display().readings().cell(1, 0), "12345678");
    EXPECT_EQ(display().readings().cell(1, 7), "321");
    const QAbstractItemModel* readings = find<DeviceGrid>("Grid_historical")->model();
    EXPECT_EQ(readings->data(readings->index(0, 1)).toString(), "5") << "the readings grid follows";

    operatorScript.chosenFile = inHome(QStringLiteral("readings.csv"));
    click("BitBtn17");
    ASSERT_EQ(operatorScript.saveDialogs.size(), 2u);
    EXPECT_EQ(operatorScript.saveDialogs[1].proposedName, "lduQ7_readings.csv");
    EXPECT_TRUE(QFile::exists(inHome(QStringLiteral("readings.csv"))));
    EXPECT_TRUE(operatorScript.messages.empty());
}

TEST_F(DisplayPage, WritingLocksTheCommandsUntilStoppedOrDoneAndKeepsTheTable) {
    openOnSilentLine();
    display().setCell(1, 1, "5");
    display().setCell(1, 2, "m3");
    ASSERT_TRUE(display().addRow());
    display().setCell(2, 1, "7");
    display().setCell(2, 2, "kWh");
    click("BitBtn8");
    click("Check_ldu_unit");
    auto* write = find<QPushButton>("Butt_ldu_set");
    auto* progress = find<QProgressBar>("ProgressBar1");
    auto expectIdle = [&](const char* when) {
        EXPECT_EQ(write->text(), "Write table to the display") << when;
        for (const QString& name : kWriteLocked)
            EXPECT_TRUE(find<QWidget>(name.toLatin1().constData())->isEnabled()) << when << " " << name.toStdString();
        EXPECT_FALSE(progress->isVisible()) << when;
    };
    expectIdle("before");

    // A window long enough to press the button again while the first row waits for its answer.
    engine->settings().setResponseWindow(3000);
    click("Butt_ldu_set");
    ASSERT_TRUE(waitFor([&] { return heard.contains("SET UNIT=5,2"); }, 3000)) << heard.toStdString();
    EXPECT_EQ(write->text(), "Stop writing table in display");
    EXPECT_TRUE(write->isEnabled());
    for (const QString& name : kWriteLocked) EXPECT_FALSE(find<QWidget>(name.toLatin1().constData())->isEnabled()) << name.toStdString();
    EXPECT_TRUE(progress->isVisible());

    const qsizetype before = engine->log().lines().size();
    typeInCell("Grid_ldu", 1, 1, "9");
    EXPECT_EQ(display().table().cell(1, 1), "5") << "the tables are in use";
    const QAbstractItemModel* table = find<DeviceGrid>("Grid_ldu")->model();
    EXPECT_EQ(table->data(table->index(0, 1)).toString(), "5") << "the grid shows the engine's cell again";
    EXPECT_TRUE(engine->log().lines().mid(before).contains(DisplayEngine::kTablesBusy));

    click("Butt_ldu_set");
    ASSERT_TRUE(waitIdle());
    expectIdle("after the stop");
    EXPECT_EQ(checked({"Check_ldu_unit"}), "x") << "a stopped cycle leaves its switch";
    EXPECT_FALSE(heard.contains("SET UNIT=7")) << heard.toStdString();

    // Run to the end: every selected row once, then the switch is consumed.
    heard.clear();
    engine->settings().setResponseWindow(150);
    click("Butt_ldu_set");
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(heard, "SET UNIT=5,2SET UNIT=7,1");
    EXPECT_EQ(checked(kSwitches), "----------");
    expectIdle("after the cycle");
}

} // namespace
} // namespace veltro::test
