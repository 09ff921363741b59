#include "tests/testsupport.h"

#include <QStandardPaths>

namespace kvtest {

void UseIsolatedPaths() { QStandardPaths::setTestModeEnabled(true); }

QString DataPath(const QString &name) { return QStringLiteral(KV_TEST_DATA_DIR "/") + name; }

} // namespace kvtest
