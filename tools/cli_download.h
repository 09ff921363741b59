#pragma once
// kv3917-cli download: `args` is the whole command line (args[1] is
// "download"); returns the exit status.

#include <QStringList>

int RunDownloadCommand(const QStringList &args);
