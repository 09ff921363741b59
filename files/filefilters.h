#pragma once
// Texts of the file dialogs and of the open chooser, which depend on the
// locale's decimal separator (with a decimal comma the comma-separated format
// is never offered), and the file-type switch of the save dialog.  Filters
// are written as "Description|*.EXT|Description|*.EXT".  UI-free.

#include <QLocale>
#include <QString>
#include <QStringList>

namespace kv {

bool UsesDecimalComma(const QLocale &locale = QLocale());

// Saving a graph and opening a single file.
QString GraphFileFilter(const QLocale &locale = QLocale());
// Saving a table.
QString TableFileFilter(const QLocale &locale = QLocale());
// The open chooser's button for one file.
QString OpenSingleFileCaption(const QLocale &locale = QLocale());

const QString GraphDefaultExtension = QStringLiteral("GHF");
const QString TableDefaultExtension = QStringLiteral("TXT");
const QString OpenDefaultExtension = QStringLiteral("*.ghf");

// A filter as Qt's file dialogs take it ("Desc (*.A);;Desc2 (*.B)").  The
// descriptions stay as they are; every pattern also matches its lower-case
// name, since file names on Linux tell cases apart.
QString QtFileFilter(const QString &pipes);

// The extension of each entry of a filter (".GHF", ".TXT", ...), at most
// five, found as the save dialog has always found them: each one follows the
// second "*." after the previous one (the first is in the description).
QStringList FilterExtensionTable(const QString &pipes);

// The name to show when the user switches the save dialog to filter
// `filterIndex` (from 1): `currentName` without its folder and with that
// filter's extension; empty when the table has no entry for it or no name
// is typed.
QString NameForFilter(const QString &pipes, int filterIndex, const QString &currentName);

} // namespace kv
