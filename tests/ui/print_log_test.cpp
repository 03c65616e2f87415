// "Print log": the A4 layout rule, checked on the layout and on the pages of a printed PDF file.
#include "window_fixture.h"

#include <QFile>
#include <QFontInfo>
#include <QPlainTextEdit>
#include <QFont>
#include <QFontMetrics>
#include <QPdfWriter>
#include <QPrinter>
#include <QRegularExpression>

#include "ui/log_printer.h"

namespace veltro::test {
namespace {

// Pages of a PDF file: its "/Type /Page" objects ("/Type /Pages" is the page tree, not a page).
int PdfPageCount(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return -1;
    const QString text = QString::fromLatin1(file.readAll());
    return static_cast<int>(text.count(QRegularExpression(QStringLiteral("/Type\\s*/Page(?![a-zA-Z])"))));
}

// The window's log printed to a PDF file in the program folder, whose path it returns (empty on failure).
QString PrintToPdf(TForm11& window, const QString& path) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    printer.setPageSize(QPageSize(QPageSize::A4));
    return window.printLog(printer) ? path : QString();
}

struct PageCase {
    int lines;
    int pages;
};

class LogPages : public WindowFixture, public ::testing::WithParamInterface<PageCase> {};

TEST_P(LogPages, ThePrintedLogHasItsPages) {
    createWindow();
    for (int i = 0; i < GetParam().lines; ++i) engine->log().append(QStringLiteral("Reading device %1").arg(i));
    const QString path = PrintToPdf(*window, inHome(QStringLiteral("log.pdf")));
    ASSERT_FALSE(path.isEmpty());
    EXPECT_EQ(PdfPageCount(path), GetParam().pages);
    EXPECT_EQ(LayOutLogPrint(GetParam().lines, 9917, 14033, 160).pageCount, GetParam().pages);
}

INSTANTIATE_TEST_SUITE_P(LineCounts, LogPages,
                         ::testing::Values(PageCase{0, 1},    // the heading alone
                                           PageCase{1, 1}, PageCase{36, 1},  // lines 0..35 on the first page
                                           PageCase{37, 2}, PageCase{40, 2}, PageCase{71, 2}, PageCase{72, 3}),
                         [](const auto& test) { return std::to_string(test.param.lines) + "_lines"; });

using PrintLogWindow = WindowFixture;

// The "Respond: " line of a long telegram is wider than the page: its rows take places of their own.
TEST_F(PrintLogWindow, ALongLineIsWrappedOntoRowsInTheLogsMonospacedFont) {
    createWindow();
    for (int i = 0; i < 30; ++i) engine->log().append(QStringLiteral("Reading device %1").arg(i));
    engine->log().append(QStringLiteral("Respond: ") + QStringLiteral("68 ").repeated(261));
    const QString path = PrintToPdf(*window, inHome(QStringLiteral("log.pdf")));
    ASSERT_FALSE(path.isEmpty());
    EXPECT_EQ(PdfPageCount(path), 2);  // 30 rows and at least 7 of the telegram

    const QFontInfo logFont(find<QPlainTextEdit>("Memo_current")->font());
    ASSERT_TRUE(logFont.fixedPitch()) << logFont.family().toStdString();
    QFile pdf(path);
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    // The embedded font's name, with or without its subset tag ("ABCDEF+DejaVuSansMono").
    const QString fontName = logFont.family().remove(QLatin1Char(' '));
    const QRegularExpression baseFont(QStringLiteral("/BaseFont\\s*/([A-Z]+\\+)?") + fontName + QStringLiteral("[\\s/>]"));
    EXPECT_TRUE(QString::fromLatin1(pdf.readAll()).contains(baseFont))
        << fontName.toStdString();
}

struct WrapCase {
    const char* what;
    const char* line;
    int columns;
    QStringList rows;
};

void PrintTo(const WrapCase& c, std::ostream* out) { *out << c.what; }

class LogLineWrap : public ::testing::TestWithParam<WrapCase> {};

TEST_P(LogLineWrap, RowsOfAtMostTheColumns) {
    EXPECT_EQ(WrapLogLine(QString::fromLatin1(GetParam().line), GetParam().columns), GetParam().rows);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, LogLineWrap,
    ::testing::Values(WrapCase{"a line that fits stays whole", "Respond: E5 ", 12, {"Respond: E5 "}},
                      WrapCase{"an empty line is one row", "", 5, {""}},
                      WrapCase{"hex bytes are never split", "Respond: 68 1F 1F 68 08", 14, {"Respond: 68 1F", "1F 68 08"}},
                      WrapCase{"a space at the limit ends the row", "68 1F 1F", 5, {"68 1F", "1F"}},
                      WrapCase{"a word longer than a row is cut at the limit", "Socket_error_10061", 8,
                               {"Socket_e", "rror_100", "61"}}),
    [](const auto& test) {
        std::string name = test.param.what;
        for (char& ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return name;
    });

TEST(LogPrintLayout, FortyLinesAreThirtySixAndFourAtTheirPositions) {
    // An A4 page at 1200 dpi: 1 mm is 47 pixels across (9917 / 210) and 47 down (14033 / 297).
    const LogPrintLayout layout = LayOutLogPrint(40, 9917, 14033, 160);
    ASSERT_EQ(layout.lines.size(), 40u);
    EXPECT_EQ(layout.pageCount, 2);
    EXPECT_EQ(layout.headingX, 22 * 47);
    EXPECT_EQ(layout.headingY, 20 * 47);
    for (int i = 0; i < 40; ++i) {
        const auto& line = layout.lines[static_cast<std::size_t>(i)];
        EXPECT_EQ(line.page, i <= 35 ? 0 : 1) << "line " << i;
        EXPECT_EQ(line.x, 22 * 47);
        // The second page begins one spacing below the first position: s is 35 there.
        EXPECT_EQ(line.y, 30 * 47 + 2 * 160 * (i <= 35 ? i : i - 35)) << "line " << i;
    }
}

TEST(LogPrintLayout, TheFirstPagesLastLineFitsOnAnA4Page) {
    QPdfWriter writer(QStringLiteral("/dev/null"));
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setResolution(600);
    QFont font;
    font.setPointSize(LogPrintLayout::kPointSize);
    const QFontMetrics metrics(font, &writer);
    const LogPrintLayout layout = LayOutLogPrint(36, writer.width(), writer.height(), metrics.height());
    EXPECT_LE(layout.lines.back().y + metrics.height(), writer.height());
}

TEST(LogPrintHeading, NamesTheLogAndTheMoment) {
    const QString heading = LogPrintHeading();
    EXPECT_TRUE(heading.startsWith("Print of log file ")) << heading.toStdString();
    EXPECT_TRUE(heading.contains(", "));
}

} // namespace
} // namespace veltro::test
