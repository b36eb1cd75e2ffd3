#include "Profile.h"

#include "platform/FdIo.h"
#include "platform/Paths.h"
#include "platform/UserDirs.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kz {

namespace {

// Makes the store's file, empty, for the user alone, or narrows an existing one: QSettings
// writes a new file beside it and renames it over, keeping the old file's permissions.
void MakePrivate(const QString &path) {
    if (!MakeSureDirectoryPathExists(path))
        return;
    const QByteArray name = QFile::encodeName(path);
    const int fd =
        ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
        return;
    }
    struct stat st;
    if (::lstat(name.constData(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 0077) != 0)
        ::chmod(name.constData(), st.st_mode & 0700);
}

} // namespace

QString ProfileStore::DefaultPath() {
    return ConfigHome() + QStringLiteral("/KZPlayer/profile.ini");
}

QString ProfileStore::OldDefaultPath() {
    return ConfigHome() + u'/' + QString::fromUtf16(kRegistryRoot) + u'/' +
           QString::fromUtf16(kAppTitle) + QStringLiteral(".ini");
}

ProfileStore::ProfileStore() {
    const QString path = DefaultPath();
    const QString old = OldDefaultPath();
    if (!QFileInfo::exists(path) && QFileInfo(old).isFile() && MakeSureDirectoryPathExists(path)) {
        QFile from(old);
        // A settings file is small; a huge one is no store of ours.
        if (from.open(QIODevice::ReadOnly) && from.size() <= 16 * 1024 * 1024)
            WriteNewFile(path, from.readAll(), 0600);
    }
    MakePrivate(path);
    m_settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
}

ProfileStore::ProfileStore(const QString &path) {
    MakePrivate(path);
    m_settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
}

ProfileStore::~ProfileStore() = default;

namespace {
QString Key(const QString &section, const QString &name) {
    return section + u'/' + name;
}
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

void ProfileStore::Flush() {
    m_settings->sync();
}

} // namespace kz
