#pragma once
// The application's profile store: sections of integers and strings (and the dock layout's
// bytes), in an INI file in the program's configuration folder.

#include <QByteArray>
#include <QString>

#include <memory>

class QSettings;

namespace kz {

inline constexpr auto kRegistryRoot = u"应用程序向导生成的本地应用程序";
inline constexpr auto kAppTitle = u"Vobi Flash 播放器";

class ProfileStore {
public:
    // The user's store, beside the machine store: $XDG_CONFIG_HOME/KZPlayer/profile.ini.
    static QString DefaultPath();
    // Where older versions kept it: $XDG_CONFIG_HOME/<registry root>/<application title>.ini.
    static QString OldDefaultPath();
    // The user's store. While it does not exist, the old store (when there is one) is copied
    // into it first; the old file is never changed.
    ProfileStore();
    // A store at that path. The file is the user's alone (0600): it is made so when missing,
    // and narrowed when others may read it.
    explicit ProfileStore(const QString &path);
    ~ProfileStore();

    int GetProfileInt(const QString &section, const QString &name, int defaultValue) const;
    QString GetProfileString(const QString &section, const QString &name,
                             const QString &defaultValue = QString()) const;
    QByteArray GetProfileBinary(const QString &section, const QString &name) const;
    bool WriteProfileInt(const QString &section, const QString &name, int value);
    bool WriteProfileString(const QString &section, const QString &name, const QString &value);
    bool WriteProfileBinary(const QString &section, const QString &name, const QByteArray &value);
    // Writes pending changes to disk.
    void Flush();

private:
    std::unique_ptr<QSettings> m_settings;
};

} // namespace kz
