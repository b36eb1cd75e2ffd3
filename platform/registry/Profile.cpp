#include "Profile.h"

#include "platform/UserDirs.h"

#include <QSettings>

namespace kz {

QString ProfileStore::DefaultPath() {
    return ConfigHome() + u'/' + QString::fromUtf16(kRegistryRoot) + u'/' +
           QString::fromUtf16(kAppTitle) + QStringLiteral(".ini");
}

ProfileStore::ProfileStore(const QString &path)
    : m_settings(std::make_unique<QSettings>(path, QSettings::IniFormat)) {}

ProfileStore::~ProfileStore() = default;

namespace {
QString Key(const QString &section, const QString &name) { return section + u'/' + name; }
} // namespace

int ProfileStore::GetProfileInt(const QString &section, const QString &name,
                                int defaultValue) const {
    bool ok = false;
    const int v = m_settings->value(Key(section, name)).toInt(&ok);
    return ok ? v : defaultValue;
}

QString ProfileStore::GetProfileString(const QString &section, const QString &name,
                                       const QString &defaultValue) const {
    const QVariant v = m_settings->value(Key(section, name));
    return v.isValid() ? v.toString() : defaultValue;
}

QByteArray ProfileStore::GetProfileBinary(const QString &section, const QString &name) const {
    return m_settings->value(Key(section, name)).toByteArray();
}

bool ProfileStore::WriteProfileInt(const QString &section, const QString &name, int value) {
    m_settings->setValue(Key(section, name), value);
    return m_settings->isWritable();
}

bool ProfileStore::WriteProfileString(const QString &section, const QString &name,
                                      const QString &value) {
    m_settings->setValue(Key(section, name), value);
    return m_settings->isWritable();
}

bool ProfileStore::WriteProfileBinary(const QString &section, const QString &name,
                                      const QByteArray &value) {
    m_settings->setValue(Key(section, name), value);
    return m_settings->isWritable();
}

void ProfileStore::Flush() { m_settings->sync(); }

} // namespace kz
