#pragma once

#include <vector>

#include <QString>
#include <QStringList>

class QFont;
class QPagedPaintDevice;

namespace veltro {

// Where "Print log" puts each printed row, in device pixels. The page is taken as A4 whatever the paper: one
// millimetre is width / 210 across and height / 297 down (integer division). Every page starts with
// the heading at 22 mm from the left and 20 mm from the top; line i at 22 mm and
// 30 mm + 2 x text height x (i - s), s being the line after which the last page break came (0 on the
// first page). A page break follows every line whose index is a positive multiple of 35, so the first
// page carries lines 0..35 and each further page 35 lines; no page is started for no lines.
struct LogPrintLayout {
    static constexpr int kLeftMillimetres = 22;
    static constexpr int kHeadingTopMillimetres = 20;
    static constexpr int kFirstLineMillimetres = 30;
    static constexpr int kLinesPerBreak = 35;
    // Small enough that the 36 lines of the first page fit below the 30 mm mark of an A4 page.
    static constexpr int kPointSize = 8;

    struct Placed {
        int page = 0;  // 0-based
        int x = 0;
        int y = 0;     // top of the text
    };

    int pageCount = 1;
    int headingX = 0;
    int headingY = 0;
    std::vector<Placed> lines;
};

LogPrintLayout LayOutLogPrint(int lineCount, int pageWidth, int pageHeight, int textHeight);

// "Print of log file " + date + ", " + time.
QString LogPrintHeading();

// Cuts a log line into printed rows of at most `columns` characters: after the last space that fits, so
// a telegram's hex bytes stay whole, or at the limit for a word longer than a row. An empty line is one
// empty row.
QStringList WrapLogLine(const QString& line, int columns);

// Prints `lines` on `device` (a printer, or a PDF writer in the tests) in `font` (the log's monospaced
// font) at kPointSize, each line wrapped to the page between 22 mm margins, the rows placed by the layout
// above. False when the device cannot be painted on or a page cannot be added.
bool PrintLog(QPagedPaintDevice& device, const QStringList& lines, const QString& heading, const QFont& font);

} // namespace veltro
