// "Print log": the A4 layout rule, checked on the layout and on the pages of a printed PDF file.
#include "window_fixture.h"

#include <QFile>
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

struct PageCase {
    int lines;
    int pages;
};

class LogPages : public WindowFixture, public ::testing::WithParamInterface<PageCase> {};

TEST_P(LogPages, ThePrintedLogHasItsPages) {
    createWindow();
    for (int i = 0; i < GetParam().lines; ++i) engine->log().append(QStringLiteral("Reading device %1").arg(i));
    const QString path = inHome(QStringLiteral("log.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    printer.setPageSize(QPageSize(QPageSize::A4));
    ASSERT_TRUE(window->printLog(printer));
    EXPECT_EQ(PdfPageCount(path), GetParam().pages);
    EXPECT_EQ(LayOutLogPrint(GetParam().lines, 9917, 14033, 160).pageCount, GetParam().pages);
}

INSTANTIATE_TEST_SUITE_P(LineCounts, LogPages,
                         ::testing::Values(PageCase{0, 1},    // the heading alone
                                           PageCase{1, 1}, PageCase{36, 1},  // lines 0..35 on the first page
                                           PageCase{37, 2}, PageCase{40, 2}, PageCase{71, 2}, PageCase{72, 3}),
                         [](const auto& test) { return std::to_string(test.param.lines) + "_lines"; });

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
