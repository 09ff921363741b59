#pragma once
// kv3917-cli sets and export: the data sets of a collection file (.REC) and
// their samples as CSV.  `args` is the whole command line.

#include <QStringList>

int RunLoggerSets(const QStringList &args);
int RunLoggerExport(const QStringList &args);
