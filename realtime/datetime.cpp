#include "realtime/datetime.h"

#include <cmath>

namespace kv {
namespace {
const QDate Epoch(1899, 12, 30);
}

double ToDateTime(const QDateTime &localTime)
{
    const QDate date = localTime.date();
    const QTime time = localTime.time();
    const double days = static_cast<double>(Epoch.daysTo(date));
    return days + time.msecsSinceStartOfDay() / (SecondsPerDay * 1000.0);
}

QDateTime FromDateTime(double dateTime)
{
    double days = std::floor(dateTime);
    qint64 ms = std::llround((dateTime - days) * SecondsPerDay * 1000.0);
    if (ms >= static_cast<qint64>(SecondsPerDay) * 1000) {
        days += 1;
        ms = 0;
    }
    return QDateTime(Epoch.addDays(static_cast<qint64>(days)), QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms)));
}

double NowDateTime() { return ToDateTime(QDateTime::currentDateTime()); }

} // namespace kv
