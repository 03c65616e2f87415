#include "ui/log_printer.h"

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

bool PrintLog(QPagedPaintDevice& device, const QStringList& lines, const QString& heading) {
    QPainter painter;
    if (!painter.begin(&device)) return false;
    QFont font = painter.font();
    font.setPointSize(LogPrintLayout::kPointSize);
    painter.setFont(font);
    const QFontMetrics metrics(font, &device);
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
