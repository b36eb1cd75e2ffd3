#pragma once
// A registry-like store: keys holding named, typed values (32-bit DWORDs and strings whose
// bytes are kept as they are), over an INI file in the user's configuration folder. Each access
// opens the key (creating it), queries or sets values, and closes it; a change is on disk when
// the key is closed.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

namespace kz {

class RegKey {
public:
    virtual ~RegKey() = default;
    // Empty when the value is missing or of another type.
    virtual std::optional<std::uint32_t> QueryDword(const QString &name) const = 0;
    // A string value's bytes, at most maxBytes of them (a longer value fails, as a too-small
    // buffer does); empty when missing or of another type.
    virtual std::optional<QByteArray> QueryString(const QString &name, int maxBytes) const = 0;
    virtual bool SetDword(const QString &name, std::uint32_t value) = 0;
    virtual bool SetString(const QString &name, const QByteArray &bytes) = 0;
    virtual bool DeleteValue(const QString &name) = 0;
};

class RegistryStore {
public:
    virtual ~RegistryStore() = default;
    // Opens a key with create-if-missing. Null when the store cannot be opened (its folder
    // cannot be made, the file is unreadable or damaged, or it cannot be written).
    virtual std::unique_ptr<RegKey> OpenKey(const QString &key) = 0;
};

// The store over an INI file people can read. Types are kept beside the values
// ("m_bAutoPlay=dword:00000001", "m_strSavedDirectory=sz:/home/u/Image"), so a value read as the
// wrong type fails as it would in the registry; a string's bytes are written as they are where
// printable, else as "\xHH", and "\" as "\\". Values in the older "@ByteArray(...)" form are
// read too, and rewritten in the plain one. A damaged file gives no key and is never
// overwritten; writes replace the file atomically, under a lock, over what others wrote since.
class IniRegistryStore final : public RegistryStore {
public:
    // $XDG_CONFIG_HOME (else ~/.config) + "/KZPlayer/registry.ini".
    static QString DefaultPath();
    explicit IniRegistryStore(QString path = DefaultPath());
    std::unique_ptr<RegKey> OpenKey(const QString &key) override;
    QString Path() const { return m_path; }

private:
    QString m_path;
};

} // namespace kz
