#pragma once

#include <QDate>
#include <QLocale>
#include <QString>
#include <QTime>

namespace veltro {

// The time of day in the locale's long time format without a time-zone name ("14:03:27" in the C
// locale, whose long format would add " UTC"), as the log lines "Connected TCP/IP, at ..." show it.
QString LongTimeText(const QTime& time, const QLocale& locale = QLocale::system());
QString CurrentLongTimeText();

// The date in the locale's short date format.
QString ShortDateText(const QDate& date, const QLocale& locale = QLocale::system());
QString CurrentShortDateText();

} // namespace veltro
