#include "files/filefilters.h"

#include <QFileInfo>

namespace kv {
namespace {

const QString GraphFilterComma =
    QStringLiteral("Graph file(*.ghf,only for KV3917)|*.GHF|TXT file(*.txt,data seperated by tab)|*.TXT");
const QString GraphFilterPoint =
    QStringLiteral("Graph file(*.ghf,only for KV3917)|*.GHF|TXT file(*.txt,data seperated by tab)|*.TXT|"
                   "EXCEL file format(*.CSV,seperated by comma)|*.CSV");
const QString TableFilterComma = QStringLiteral(" TXT file(*.txt,data seperated by tab) |*.TXT");
const QString TableFilterPoint =
    QStringLiteral("TXT file(*.txt,data seperated by tab)|*.TXT                             "
                   "|EXCEL file format(*.CSV,seperated by comma) |*.CSV");
const QString OpenSingleComma = QStringLiteral("Open single data flle(*.TXT,*.GHF)");
const QString OpenSinglePoint = QStringLiteral("Open single data file(*.TXT,*.CSV,*.GHF)");

constexpr int MaxFilterExtensions = 5;
constexpr int ExtensionChars = 4;

} // namespace

bool UsesDecimalComma(const QLocale &locale) { return locale.decimalPoint() == QLatin1String(","); }

QString GraphFileFilter(const QLocale &locale)
{
    return UsesDecimalComma(locale) ? GraphFilterComma : GraphFilterPoint;
}

QString TableFileFilter(const QLocale &locale)
{
    return UsesDecimalComma(locale) ? TableFilterComma : TableFilterPoint;
}

QString OpenSingleFileCaption(const QLocale &locale)
{
    return UsesDecimalComma(locale) ? OpenSingleComma : OpenSinglePoint;
}

QString QtFileFilter(const QString &pipes)
{
    const QStringList parts = pipes.split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString &p : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const QString pattern = p.trimmed();
            if (pattern.isEmpty())
                continue;
            patterns << pattern;
            if (pattern.toLower() != pattern)
                patterns << pattern.toLower();
        }
        filters << QStringLiteral("%1 (%2)").arg(parts[i], patterns.join(QLatin1Char(' ')));
    }
    return filters.join(QStringLiteral(";;"));
}

QStringList FilterExtensionTable(const QString &pipes)
{
    const QString star = QStringLiteral("*.");
    QStringList table;
    QString text = pipes;
    while (text.contains(star) && table.size() < MaxFilterExtensions) {
        text = text.mid(text.indexOf(star) + 1);          // the "." in the description
        const qsizetype next = text.indexOf(star);
        if (next < 0)
            break;
        text = text.mid(next + 1);                        // the "." of the pattern
        if (text.size() < ExtensionChars)
            break;
        table << text.left(ExtensionChars);
    }
    return table;
}

QString NameForFilter(const QString &pipes, int filterIndex, const QString &currentName)
{
    const QStringList table = FilterExtensionTable(pipes);
    if (filterIndex < 1 || filterIndex > table.size() || table.at(filterIndex - 1).isEmpty())
        return {};
    const QFileInfo info(currentName);
    const QString name = info.fileName();
    // Nothing typed: the box stays empty rather than naming a file.
    if (name.isEmpty())
        return {};
    const QString suffix = info.suffix();
    const QString base = suffix.isEmpty() && !name.endsWith(QLatin1Char('.')) ? name
                                                                            : name.left(name.size() - suffix.size() - 1);
    return base + table.at(filterIndex - 1);
}

} // namespace kv
