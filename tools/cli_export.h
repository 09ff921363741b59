#pragma once
// kv3917-cli export FILE.GHF: a graph file's points as CSV, without a window.

#include <QStringList>

// True for "export" followed by a name ending in .ghf (any case).
bool IsGraphFileExport(const QStringList &args);
int RunGraphFileExport(const QStringList &args);
