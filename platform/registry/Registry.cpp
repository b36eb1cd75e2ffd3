#include "Registry.h"

#include "platform/Paths.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace kz {

namespace {

const QByteArray kDwordTag = "dword:";
const QByteArray kStringTag = "sz:";

class IniRegKey final : public RegKey {
public:
    IniRegKey(std::unique_ptr<QSettings> settings, QString group)
        : m_settings(std::move(settings)) {
        m_settings->beginGroup(group);
    }
    ~IniRegKey() override {
        m_settings->endGroup();
        m_settings->sync();
    }

    std::optional<std::uint32_t> QueryDword(const QString &name) const override {
        const QByteArray raw = Raw(name);
        if (!raw.startsWith(kDwordTag))
            return std::nullopt;
        bool ok = false;
        const qulonglong v = raw.mid(kDwordTag.size()).toULongLong(&ok, 16);
        if (!ok || v > 0xFFFFFFFFull)
            return std::nullopt;
        return std::uint32_t(v);
    }

    std::optional<QByteArray> QueryString(const QString &name, int maxBytes) const override {
        const QByteArray raw = Raw(name);
        if (!raw.startsWith(kStringTag))
            return std::nullopt;
        QByteArray bytes = raw.mid(kStringTag.size());
        if (bytes.size() > maxBytes)
            return std::nullopt;
        return bytes;
    }

    bool SetDword(const QString &name, std::uint32_t value) override {
        return Set(name, kDwordTag + QByteArray::number(value, 16).rightJustified(8, '0'));
    }
    bool SetString(const QString &name, const QByteArray &bytes) override {
        return Set(name, kStringTag + bytes);
    }
    bool DeleteValue(const QString &name) override {
        if (!m_settings->contains(Escape(name)))
            return false;
        m_settings->remove(Escape(name));
        return true;
    }

private:
    // Value names may hold characters QSettings gives a meaning to.
    static QString Escape(const QString &name) {
        QString out = name;
        out.replace(u'/', QStringLiteral("%2F")).replace(u'\\', QStringLiteral("%5C"));
        return out;
    }
    QByteArray Raw(const QString &name) const {
        const QVariant v = m_settings->value(Escape(name));
        return v.typeId() == QMetaType::QByteArray ? v.toByteArray() : QByteArray();
    }
    bool Set(const QString &name, const QByteArray &raw) {
        m_settings->setValue(Escape(name), raw);
        return m_settings->status() == QSettings::NoError;
    }

    std::unique_ptr<QSettings> m_settings;
};

} // namespace

QString IniRegistryStore::DefaultPath() {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/KZPlayer/registry.ini");
}

IniRegistryStore::IniRegistryStore(QString path) : m_path(std::move(path)) {}

std::unique_ptr<RegKey> IniRegistryStore::OpenKey(const QString &key) {
    if (!MakeSureDirectoryPathExists(m_path))
        return nullptr;
    const QFileInfo info(m_path);
    if (info.exists() && (!info.isFile() || !info.isReadable() || !info.isWritable()))
        return nullptr;
    auto settings = std::make_unique<QSettings>(m_path, QSettings::IniFormat);
    if (settings->status() != QSettings::NoError || !settings->isWritable())
        return nullptr;
    QString group = key;
    group.replace(u'\\', u'/');
    while (group.endsWith(u'/'))
        group.chop(1);
    return std::make_unique<IniRegKey>(std::move(settings), group);
}

} // namespace kz
