#include "ui/log_printer.h"

#include <algorithm>

#include <QDate>
#include <QFont>
#include <QFontMetrics>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QTime>

#include "app/local_time_text.h"

namespace veltro {
LogPrintLayout LayOutLogPrint(int lineCount, int pageWidth, int pageHeight, int textHeight) {
    LogPrintLayout layout;
    const int millimetreX = pageWidth / 210;
    const int millimetreY = pageHeight / 297;
    const int left = LogPrintLayout::kLeftMillimetres * millimetreX;
    layout.headingX = left;
    layout.headingY = LogPrintLayout::kHeadingTopMillimetres * millimetreY;
    const int firstLine = LogPrintLayout::kFirstLineMillimetres * millimetreY;
    int page = 0;
    int breakIndex = 0;  // s
    for (int i = 0; i < lineCount; ++i) {
        layout.lines.push_back({page, left, firstLine + 2 * textHeight * (i - breakIndex)});
        // The break after the last line is left out: it would only print a heading.
        if (i > 0 && i % LogPrintLayout::kLinesPerBreak == 0 && i + 1 < lineCount) {
            ++page;
            breakIndex = i;
        }
    }
    layout.pageCount = page + 1;
    return layout;
}

QString LogPrintHeading() {
    return QStringLiteral("Print of log file ") + CurrentShortDateText() + QStringLiteral(", ") + CurrentLongTimeText();
}

QStringList WrapLogLine(const QString& line, int columns) {
    columns = std::max(1, columns);
    QStringList rows;
    QStringView rest(line);
    while (rest.size() > columns) {
        const qsizetype space = rest.left(columns + 1).lastIndexOf(u' ');
        if (space > 0) {
            rows.append(rest.left(space).toString());
            rest = rest.mid(space + 1);
        } else {
            rows.append(rest.left(columns).toString());
            rest = rest.mid(columns);
        }
    }
    rows.append(rest.toString());
    return rows;
}

bool PrintLog(QPagedPaintDevice& device, const QStringList& logLines, const QString& heading, const QFont& logFont) {
    QPainter painter;
    if (!painter.begin(&device)) return false;
    QFont font = logFont;
    font.setPointSize(LogPrintLayout::kPointSize);
    painter.setFont(font);
    const QFontMetrics metrics(font, &device);
    // The widest letter, so a row fits even should the font not be monospaced after all.
    const int printable = device.width() - 2 * LogPrintLayout::kLeftMillimetres * (device.width() / 210);
    const int columns = printable / std::max(1, metrics.horizontalAdvance(QLatin1Char('W')));
    QStringList lines;
    for (const QString& line : logLines) lines += WrapLogLine(line, columns);
    const LogPrintLayout layout = LayOutLogPrint(static_cast<int>(lines.size()), device.width(), device.height(),
                                                 metrics.height());
    auto print = [&](int x, int top, const QString& text) { painter.drawText(x, top + metrics.ascent(), text); };
    print(layout.headingX, layout.headingY, heading);
    int page = 0;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const LogPrintLayout::Placed& placed = layout.lines[static_cast<std::size_t>(i)];
        if (placed.page != page) {
            if (!device.newPage()) {
                painter.end();
                return false;
            }
            page = placed.page;
            print(layout.headingX, layout.headingY, heading);
        }
        print(placed.x, placed.y, lines[i]);
    }
    return painter.end();
}

} // namespace veltro
