#include "realtime/datetime.h"

#include <QRegularExpression>

#include <cmath>

namespace kv {
namespace {
// A function, not a global: date-times may be computed during static
// initialisation of other files.
QDate Epoch() { return QDate(1899, 12, 30); }
constexpr qint64 MsPerDay = 86400 * 1000LL;
} // namespace

double ToDateTime(const QDateTime &localTime)
{
    const QDate date = localTime.date();
    const QTime time = localTime.time();
    const double days = static_cast<double>(Epoch().daysTo(date));
    return days + time.msecsSinceStartOfDay() / (SecondsPerDay * 1000.0);
}

void SplitDateTime(double dateTime, QDate *date, QTime *time)
{
    // NaN, infinities and days far beyond any calendar give no date or time
    // (converting them to an integer would be undefined).
    if (!std::isfinite(dateTime) || std::fabs(dateTime) > MaxDateTimeDays) {
        if (date)
            *date = QDate();
        if (time)
            *time = QTime();
        return;
    }
    double days = std::floor(dateTime);
    qint64 ms = std::llround((dateTime - days) * SecondsPerDay * 1000.0);
    if (ms >= MsPerDay) {
        days += 1;
        ms = 0;
    }
    if (date)
        *date = Epoch().addDays(static_cast<qint64>(days));
    if (time)
        *time = QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms));
}

QDateTime FromDateTime(double dateTime)
{
    QDate date;
    QTime time;
    SplitDateTime(dateTime, &date, &time);
    return QDateTime(date, time);
}

double NowDateTime() { return ToDateTime(QDateTime::currentDateTime()); }

QString ShortDateFormat(const QLocale &locale)
{
    // A two-digit year cannot be read back without guessing the century.
    QString format = locale.dateFormat(QLocale::ShortFormat);
    static const QRegularExpression shortYear(QStringLiteral("(?<!y)yy(?!y)"));
    format.replace(shortYear, QStringLiteral("yyyy"));
    return format;
}

QString LongTimeFormat(const QLocale &locale)
{
    QString format = locale.timeFormat(QLocale::LongFormat);
    static const QRegularExpression zone(QStringLiteral("\\s*(?<!')t+(?!')"));
    format.remove(zone);
    return format.trimmed();
}

QString DateText(double dateTime)
{
    QDate date;
    SplitDateTime(dateTime, &date, nullptr);
    const QLocale locale;
    return locale.toString(date, ShortDateFormat(locale));
}

QString TimeText(double dateTime)
{
    QTime time;
    SplitDateTime(dateTime, nullptr, &time);
    const QLocale locale;
    return locale.toString(time, LongTimeFormat(locale));
}

QString DateTimeText(double dateTime) { return DateText(dateTime) + QLatin1Char(' ') + TimeText(dateTime); }

} // namespace kv
