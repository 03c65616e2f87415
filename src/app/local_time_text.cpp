#include "app/local_time_text.h"

#include <QRegularExpression>

namespace veltro {

QString LongTimeText(const QTime& time, const QLocale& locale) {
    QString format = locale.timeFormat(QLocale::LongFormat);
    static const QRegularExpression kTimeZone(QStringLiteral("\\s*\\bt+\\b"));
    format.remove(kTimeZone);
    return locale.toString(time, format.trimmed());
}

QString CurrentLongTimeText() { return LongTimeText(QTime::currentTime()); }

QString ShortDateText(const QDate& date, const QLocale& locale) { return locale.toString(date, QLocale::ShortFormat); }

QString CurrentShortDateText() { return ShortDateText(QDate::currentDate()); }

} // namespace veltro
