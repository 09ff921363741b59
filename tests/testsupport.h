#pragma once
// Helpers shared by the test executables.

#include <QString>

namespace kvtest {

// Isolates QSettings and the standard folders of a test run.
void UseIsolatedPaths();

QString DataPath(const QString &name);

} // namespace kvtest
