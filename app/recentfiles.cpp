#include "app/recentfiles.h"

#include <QFileInfo>

namespace kv {

RecentFiles::RecentFiles(QSettings &settings) : m_settings(settings)
{
    m_files = m_settings.value(QLatin1String(settingskeys::RecentFiles)).toStringList();
    m_files.removeAll(QString());
    m_files.removeDuplicates();
    while (m_files.size() > MaxRecentFiles)
        m_files.removeLast();
}

void RecentFiles::add(const QString &fileName)
{
    if (fileName.isEmpty())
        return;
    const QString path = QFileInfo(fileName).absoluteFilePath();
    m_files.removeAll(path);
    m_files.prepend(path);
    while (m_files.size() > MaxRecentFiles)
        m_files.removeLast();
    store();
}

void RecentFiles::remove(const QString &fileName)
{
    if (m_files.removeAll(QFileInfo(fileName).absoluteFilePath()) > 0)
        store();
}

void RecentFiles::store()
{
    m_settings.setValue(QLatin1String(settingskeys::RecentFiles), m_files);
    m_settings.sync();
}

DataFileKind DataFileKindOf(const QString &fileName)
{
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == QLatin1String("ghf"))
        return DataFileKind::Graph;
    if (suffix == QLatin1String("txt") || suffix == QLatin1String("csv"))
        return DataFileKind::Table;
    if (suffix == QLatin1String("rec"))
        return DataFileKind::Collection;
    return DataFileKind::Unknown;
}

} // namespace kv
