#pragma once
// The files opened or saved last, newest first, kept in the settings.

#include <QSettings>
#include <QStringList>

namespace kv {

namespace settingskeys {
constexpr char RecentFiles[] = "RecentFiles";
} // namespace settingskeys

constexpr int MaxRecentFiles = 8;

class RecentFiles {
public:
    // Reads the list from `settings`, which must outlive this object.
    explicit RecentFiles(QSettings &settings);

    // Puts `fileName` (made absolute) first, drops an older entry of the
    // same file and the entries beyond the eighth, and writes the list.
    void add(const QString &fileName);
    // Drops `fileName` (e.g. when it can no longer be opened).
    void remove(const QString &fileName);
    QStringList files() const { return m_files; }

private:
    void store();

    QSettings &m_settings;
    QStringList m_files;
};

// What a file is, by its extension (case-insensitive).
enum class DataFileKind { Graph, Table, Collection, Unknown };
DataFileKind DataFileKindOf(const QString &fileName);

} // namespace kv
