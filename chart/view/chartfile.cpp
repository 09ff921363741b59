#include "chart/view/chartfile.h"

#include "chart/model/graphfile.h"
#include "chart/view/chart.h"

#include <QDir>

namespace kv {

bool WriteGraphFile(const Chart &chart, const QString &path, QString *error)
{
    return WriteGraphFileBlock(path, chart.storeState(), error);
}

bool ReadGraphFile(Chart &chart, const QString &path, QString *error)
{
    QByteArray block;
    if (!ReadGraphFileBlock(path, &block, error))
        return false;
    QString why;
    if (!chart.loadState(block, &why)) {
        if (error)
            *error = QObject::tr("\"%1\" does not hold a graph: %2").arg(QDir::toNativeSeparators(path), why);
        return false;
    }
    return true;
}

} // namespace kv
