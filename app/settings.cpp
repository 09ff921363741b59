#include "app/settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <limits>
#include <memory>

namespace kv {
namespace {

// A 32-bit integer stored as text, or nothing.
bool ReadInt32(QSettings &settings, const char *key, qint64 &value)
{
    const QVariant v = settings.value(QLatin1String(key));
    if (!v.isValid())
        return false;
    bool ok = false;
    const qint64 n = v.toString().trimmed().toLongLong(&ok);
    if (!ok || n < std::numeric_limits<qint32>::min() || n > std::numeric_limits<quint32>::max())
        return false;
    value = n;
    return true;
}

} // namespace

QSettings *OpenUserSettings()
{
    return new QSettings(QSettings::NativeFormat, QSettings::UserScope, QLatin1String(settingskeys::Organization),
                         QLatin1String(settingskeys::Application));
}

PersistentSettings LoadSettings(QSettings &settings)
{
    PersistentSettings values;
    qint64 n = 0;
    if (ReadInt32(settings, settingskeys::RealTimeRate, n) && n <= std::numeric_limits<qint32>::max())
        values.RealTimeRate = static_cast<int>(n);
    if (ReadInt32(settings, settingskeys::AnnoColor, n))
        values.AnnoColor = static_cast<quint32>(n);
    return values;
}

void SaveSettings(QSettings &settings, const PersistentSettings &values)
{
    settings.setValue(QLatin1String(settingskeys::RealTimeRate), values.RealTimeRate);
    settings.setValue(QLatin1String(settingskeys::AnnoColor), values.AnnoColor);
    settings.sync();
}

QString DetermineDataFolder(const QString &documentsFolder)
{
    if (documentsFolder.isEmpty())
        return {};
    QString documents = QDir::cleanPath(documentsFolder);
    const QString sub = documents + QStringLiteral("/KV3917/");
    const QFileInfo info(sub);
    if ((info.exists() && info.isDir()) || (!info.exists() && QDir().mkpath(sub)))
        return sub;
    return documents;
}

QString DetermineDataFolder()
{
    return DetermineDataFolder(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
}

} // namespace kv

namespace kv {

void AppSettings::load()
{
    const std::unique_ptr<QSettings> settings(OpenUserSettings());
    const PersistentSettings values = LoadSettings(*settings);
    realTimeRate = values.RealTimeRate;
    annotationColor = values.AnnoColor;
}

void AppSettings::save() const
{
    const std::unique_ptr<QSettings> settings(OpenUserSettings());
    SaveSettings(*settings, {realTimeRate, annotationColor});
}

QString AppSettings::initialFolder() const
{
    return dataFolder.isEmpty() ? QCoreApplication::applicationDirPath() : dataFolder;
}

} // namespace kv
