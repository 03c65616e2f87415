// The detailed report window: what "Clear", "Save" and "Export CSV" write, and how a failure shows.
#include "window_fixture.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "ui/report_window.h"

namespace veltro::test {
namespace {

class ReportWindow : public WindowFixture {
protected:
    void SetUp() override {
        createWindow();
        report = std::make_unique<TFormFullMbus>(*engine);
    }
    void TearDown() override {
        report.reset();
        WindowFixture::TearDown();
    }
    void press(const char* name) {
        auto* button = report->findChild<QPushButton*>(QString::fromLatin1(name));
        ASSERT_NE(button, nullptr) << name;
        button->click();
    }
    QString memo() { return report->findChild<QPlainTextEdit*>(QStringLiteral("Memo_fullMbus"))->toPlainText(); }
    static QByteArray read(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    std::unique_ptr<TFormFullMbus> report;
};

TEST_F(ReportWindow, ExportRightAfterClearWritesOneLineOfFiveSeparators) {
    engine->meters().report().append(ReportAppend{{"ID:12345678"}, {ReportGridRow{"Instantenous value ", "12.000", "m3", "", ""}}});
    press("Butt_clear");
    EXPECT_TRUE(memo().isEmpty());
    const QString path = inHome(QStringLiteral("report.csv"));
    operatorScript.chosenFile = path;
    press("Butt_export");
    ASSERT_EQ(operatorScript.saveDialogs.size(), 1u);
    EXPECT_EQ(operatorScript.saveDialogs[0].proposedName, "meters_data.csv");
    EXPECT_EQ(read(path), ";;;;;\n");
}

TEST_F(ReportWindow, ExportWritesEachRowWithTheSeparatorAfterEveryCell) {
    writeIni("[Misc]\r\nExportSeparator=|\r\n");
    createWindow();
    report = std::make_unique<TFormFullMbus>(*engine);
    engine->meters().report().append(ReportAppend{{}, {ReportGridRow{"Instantenous value ", "12.000", "m3", "", ""}}});
    const QString path = inHome(QStringLiteral("report.csv"));
    operatorScript.chosenFile = path;
    press("Butt_export");
    EXPECT_EQ(read(path), "Instantenous value |12.000|m3|||\n|||||\n");
}

TEST_F(ReportWindow, SaveWritesTheLogAndAFailureIsToldInTheLogItself) {
    engine->meters().report().append(ReportAppend{{"ID:12345678", "Decoded at 10:00:00 1/1/2026"}, {}});
    report->showReport();
    EXPECT_TRUE(report->isVisible());
    const QString path = inHome(QStringLiteral("report.txt"));
    operatorScript.chosenFile = path;
    press("Butt_save");
    EXPECT_EQ(read(path), "\nID:12345678\nDecoded at 10:00:00 1/1/2026\n");

    operatorScript.chosenFile = inHome(QStringLiteral("report.txt/inside.txt"));  // below a plain file
    press("Butt_save");
    const QString lastLine = memo().split(QLatin1Char('\n')).constLast();
    EXPECT_TRUE(lastLine.startsWith(TFormFullMbus::kSaveFailedPrefix)) << memo().toStdString();
    EXPECT_GT(lastLine.size(), TFormFullMbus::kSaveFailedPrefix.size());  // with the reason
    EXPECT_TRUE(operatorScript.messages.empty());

    press("Butt_close");
    EXPECT_FALSE(report->isVisible());
    EXPECT_TRUE(memo().contains("ID:12345678"));  // closing keeps the content
}

TEST_F(ReportWindow, AnExportThatCannotBeWrittenShowsTheMessage) {
    const QString file = inHome(QStringLiteral("plain"));
    ASSERT_TRUE(QFile(file).open(QIODevice::WriteOnly));
    operatorScript.chosenFile = file + QStringLiteral("/report.csv");
    press("Butt_export");
    ASSERT_EQ(operatorScript.messages.size(), 1u);
    EXPECT_EQ(operatorScript.messages[0].title, "Error saving file");
    EXPECT_EQ(operatorScript.messages[0].text, "File cannot be written, no rights!\nContact administrator.");
    EXPECT_EQ(operatorScript.messages[0].icon, OperatorInterface::Icon::Error);
}

} // namespace
} // namespace veltro::test
