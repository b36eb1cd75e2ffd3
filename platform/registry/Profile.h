#pragma once
// The application's profile store: sections of integers and strings (and the dock layout's
// bytes), in an INI file named after the registry root and the application title.

#include <QByteArray>
#include <QString>

#include <memory>

class QSettings;

namespace kz {

inline constexpr auto kRegistryRoot = u"应用程序向导生成的本地应用程序";
inline constexpr auto kAppTitle = u"Vobi Flash 播放器";

class ProfileStore {
public:
    // The user's store: $XDG_CONFIG_HOME/<registry root>/<application title>.ini.
    static QString DefaultPath();
    explicit ProfileStore(const QString &path = DefaultPath());
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
