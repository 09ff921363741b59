#pragma once
// A sample value as the command-line tool writes it in CSV: one decimal with
// a point; the range markers as OL and -OL; no value (9999) as an empty field.

#include "realtime/channels.h"

#include <QString>

#include <cmath>

inline QString CsvValue(float value)
{
    if (value == kv::OverRangeValue)
        return QStringLiteral("OL");
    if (value == kv::UnderRangeValue)
        return QStringLiteral("-OL");
    if (value == kv::NoValue || !std::isfinite(value))
        return QString();
    QString text = QString::number(static_cast<double>(value), 'f', 1);
    if (text == QLatin1String("-0.0"))
        text = QStringLiteral("0.0");
    return text;
}
