#pragma once
// The two values the program keeps between runs, and the per-user data folder.

#include <QSettings>
#include <QString>

namespace kv {

namespace settingskeys {
constexpr char Organization[] = "KV3917";
constexpr char Application[] = "KV3917";
constexpr char RealTimeRate[] = "RealTimeRate";
constexpr char AnnoColor[] = "AnnoColor";
} // namespace settingskeys

constexpr int DefaultRealTimeRate = 2;
constexpr quint32 DefaultAnnoColor = 0;

struct PersistentSettings {
    int RealTimeRate = DefaultRealTimeRate;
    quint32 AnnoColor = DefaultAnnoColor;
};

// The user's settings file (on Linux ~/.config/KV3917/KV3917.conf).
QSettings *OpenUserSettings();

// A missing value or one that is not a 32-bit integer gives the default.
PersistentSettings LoadSettings(QSettings &settings);
// Writes both values; a failure to write one does not stop the other.
void SaveSettings(QSettings &settings, const PersistentSettings &values);

// The documents folder plus "/KV3917/"; the documents folder itself (no
// trailing separator) when the subfolder neither exists nor can be made;
// empty when there is no documents folder.
QString DetermineDataFolder(const QString &documentsFolder);
QString DetermineDataFolder();

// The settings every window shares: the two persistent values and the
// folder the file dialogs start in.
class AppSettings {
public:
    // Reads the persistent values from the user's settings file.
    void load();
    // Writes them to the user's settings file.
    void save() const;
    // The data folder, else the program's folder.
    QString initialFolder() const;

    int realTimeRate = DefaultRealTimeRate; // seconds between real-time samples
    quint32 annotationColor = DefaultAnnoColor;
    QString dataFolder;
};

} // namespace kv
