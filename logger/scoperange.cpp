#include "logger/scoperange.h"

#include <cstdlib>
#include <utility>

namespace kv {
namespace {

bool ParseMagnitude(const QString &text, int *value)
{
    bool ok = false;
    const qlonglong n = text.trimmed().toLongLong(&ok);
    if (!ok || n < -2147483647LL || n > 2147483647LL)
        return false;
    *value = int(std::llabs(n));
    return true;
}

} // namespace

RowRange RangeRequest(bool all, const QString &fromText, const QString &toText, int count)
{
    RowRange range;
    if (all) {
        range.valid = true;
        range.from = 1;
        range.to = count;
        return range;
    }
    if (!ParseMagnitude(fromText, &range.from) || !ParseMagnitude(toText, &range.to))
        return range;
    range.valid = true;
    if (range.to < range.from)
        std::swap(range.from, range.to);
    if (range.to > count)
        range.to = count;
    if (range.from == 0)
        range.from = 1;
    return range;
}

} // namespace kv
