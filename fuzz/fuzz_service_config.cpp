// Reads fuzzed bytes as the service's settings file.  A refusal must say
// why; accepted settings must lie in their ranges, and reading the same file
// again must give the same settings.

#include "service/config.h"

#include <QFile>
#include <QTemporaryFile>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QTemporaryFile file;
    if (!file.open())
        return 0;
    file.write(reinterpret_cast<const char *>(data), qint64(size));
    file.close();

    kv::service::ServiceConfig first;
    first.configFileGiven = true;
    QString error;
    QStringList warnings;
    const bool ok = kv::service::ReadConfigFile(file.fileName(), {}, first, &error, &warnings);
    if (!ok) {
        if (error.isEmpty())
            abort();
        return 0;
    }
    if (first.periodMs < kv::service::MinPollPeriodMs || first.periodMs > kv::service::MaxPollPeriodMs
        || first.demo < 0 || first.demo > kv::service::MaxDemoMeters)
        abort();
    for (const QString &port : first.ports)
        if (port.trimmed().isEmpty() || first.ports.count(port) != 1)
            abort();
    kv::service::ServiceConfig second;
    second.configFileGiven = true;
    if (!kv::service::ReadConfigFile(file.fileName(), {}, second, &error) || second != first)
        abort();
    return 0;
}
