#include "Registry.h"

#include "platform/Paths.h"
#include "platform/UserDirs.h"

#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QStringList>

#include <vector>

namespace kz {

namespace {

const QByteArray kDwordTag = "dword:";
const QByteArray kStringTag = "sz:";
const QByteArray kOldBytesPrefix = "@ByteArray(";
constexpr qint64 kMaxStoreBytes = 4 * 1024 * 1024;
constexpr int kLockWaitMs = 5000;
constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr char kLowerHexDigits[] = "0123456789abcdef";

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Section and key names are escaped the way Qt's INI files escape them, so files written
// before keep their sections and keys: "/" becomes "\", anything but letters, digits and
// "_-." becomes %XX or %UXXXX.
QByteArray EscapeKey(const QString &key) {
    QByteArray out;
    for (const QChar qc : key) {
        const char16_t c = qc.unicode();
        if (c == u'/') {
            out += '\\';
        } else if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                   (c >= u'0' && c <= u'9') || c == u'_' || c == u'-' || c == u'.') {
            out += char(c);
        } else if (c <= 0xFF) {
            out += '%';
            out += kHexDigits[c >> 4];
            out += kHexDigits[c & 0xF];
        } else {
            out += "%U";
            for (int shift = 12; shift >= 0; shift -= 4)
                out += kHexDigits[(c >> shift) & 0xF];
        }
    }
    return out;
}

QString UnescapeKey(const QByteArray &raw) {
    QString out;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == '\\') {
            out += u'/';
            continue;
        }
        if (c == '%') {
            const bool wide = i + 1 < raw.size() && raw[i + 1] == 'U';
            const int digits = wide ? 4 : 2;
            const qsizetype from = i + (wide ? 2 : 1);
            int value = 0;
            bool ok = from + digits <= raw.size();
            for (int d = 0; ok && d < digits; ++d) {
                const int h = HexValue(raw[from + d]);
                ok = h >= 0;
                value = value * 16 + h;
            }
            if (ok) {
                out += QChar(char16_t(value));
                i = from + digits - 1;
                continue;
            }
        }
        out += QChar(char16_t(uchar(c)));
    }
    return out;
}

// A typed value's text as written: printable ASCII stays, "\" and everything else becomes
// "\\" or "\xHH", and so do blanks at either end (which a reader of the line would trim).
QByteArray EscapeValue(const QByteArray &bytes) {
    QByteArray out;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const uchar b = uchar(bytes[i]);
        const bool edge = i == 0 || i == bytes.size() - 1;
        if (b == '\\') {
            out += "\\\\";
        } else if (b > 0x20 && b < 0x7F) {
            out += char(b);
        } else if (b == 0x20 && !edge) {
            out += ' ';
        } else {
            out += "\\x";
            out += kLowerHexDigits[b >> 4];
            out += kLowerHexDigits[b & 0xF];
        }
    }
    return out;
}

std::optional<QByteArray> UnescapeValue(const QByteArray &text) {
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '\\') {
            out += '\\';
            ++i;
            continue;
        }
        if (i + 3 < text.size() && text[i + 1] == 'x') {
            const int hi = HexValue(text[i + 2]), lo = HexValue(text[i + 3]);
            if (hi >= 0 && lo >= 0) {
                out += char(hi * 16 + lo);
                i += 3;
                continue;
            }
        }
        return std::nullopt;
    }
    return out;
}

// The older form, "@ByteArray(...)" with Qt's INI string escapes (possibly quoted). A list (a
// comma outside quotes) or anything but a byte array is not a typed value.
std::optional<QByteArray> UnescapeOldValue(const QByteArray &text) {
    QString s;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size();) {
        const char c = text[i++];
        if (c == '"') {
            quoted = !quoted;
            continue;
        }
        if (c == ',' && !quoted)
            return std::nullopt;
        if (c != '\\') {
            s += QChar(char16_t(uchar(c)));
            continue;
        }
        if (i >= text.size())
            return std::nullopt;
        const char e = text[i++];
        switch (e) {
        case 'a':
            s += u'\a';
            break;
        case 'b':
            s += u'\b';
            break;
        case 'f':
            s += u'\f';
            break;
        case 'n':
            s += u'\n';
            break;
        case 'r':
            s += u'\r';
            break;
        case 't':
            s += u'\t';
            break;
        case 'v':
            s += u'\v';
            break;
        case 'x': {
            uint value = 0;
            while (i < text.size() && HexValue(text[i]) >= 0 && value <= 0xFFFF)
                value = value * 16 + uint(HexValue(text[i++]));
            if (value > 0xFF)
                return std::nullopt; // never a byte of a byte array
            s += QChar(char16_t(value));
            break;
        }
        default:
            if (e >= '0' && e <= '7') {
                uint value = uint(e - '0');
                while (i < text.size() && text[i] >= '0' && text[i] <= '7' && value <= 0xFFFF)
                    value = value * 8 + uint(text[i++] - '0');
                if (value > 0xFF)
                    return std::nullopt;
                s += QChar(char16_t(value));
            } else {
                s += QChar(char16_t(uchar(e))); // \" \' \? \\ and the like
            }
        }
    }
    if (quoted || !s.startsWith(QLatin1String(kOldBytesPrefix)) || !s.endsWith(u')'))
        return std::nullopt;
    return s.mid(kOldBytesPrefix.size(), s.size() - kOldBytesPrefix.size() - 1).toLatin1();
}

// A value's typed text ("dword:…" or "sz:…" with its bytes), from either written form.
std::optional<QByteArray> TypedText(const QByteArray &value) {
    if (value.startsWith('@') || value.startsWith('"'))
        return UnescapeOldValue(value);
    return UnescapeValue(value);
}

// The file as lines, so that a rewrite changes only the values set and keeps comments, order
// and whatever it does not understand.
struct IniLine {
    enum class Kind { Other, Section, Entry } kind = Kind::Other;
    QByteArray text;  // the line as read, or as it is to be written
    QString section;  // sections: their name ("" for the general one)
    QString fullKey;  // entries: section + "/" + key, as the store speaks of them
    QByteArray key;   // entries: the key as written
    QByteArray value; // entries: the value as written
};

struct IniFile {
    std::vector<IniLine> lines;

    // False when the bytes are not an INI file.
    bool Parse(const QByteArray &bytes) {
        lines.clear();
        if (bytes.contains('\0'))
            return false;
        QString section;
        // An editor's byte-order mark is not part of the first line.
        const QByteArray text = bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes;
        for (const QByteArray &raw : text.split('\n')) {
            IniLine line;
            line.text = raw.endsWith('\r') ? raw.chopped(1) : raw;
            const QByteArray t = line.text.trimmed();
            if (t.isEmpty() || t.startsWith(';') || t.startsWith('#')) {
                lines.push_back(line);
                continue;
            }
            if (t.startsWith('[')) {
                if (!t.endsWith(']') || t.size() < 3)
                    return false;
                section = UnescapeKey(t.mid(1, t.size() - 2).trimmed());
                if (section.compare(QLatin1String("general"), Qt::CaseInsensitive) == 0)
                    section.clear();
                else if (section.compare(QLatin1String("%general"), Qt::CaseInsensitive) == 0)
                    section = QStringLiteral("General");
                line.kind = IniLine::Kind::Section;
                line.section = section;
                lines.push_back(line);
                continue;
            }
            const qsizetype eq = t.indexOf('=');
            if (eq <= 0)
                return false;
            line.kind = IniLine::Kind::Entry;
            line.key = t.left(eq).trimmed();
            line.value = t.mid(eq + 1).trimmed();
            const QString key = UnescapeKey(line.key);
            line.fullKey = section.isEmpty() ? key : section + u'/' + key;
            line.section = section;
            lines.push_back(line);
        }
        // The split leaves one empty piece after the final line break.
        if (!lines.empty() && lines.back().kind == IniLine::Kind::Other &&
            lines.back().text.isEmpty())
            lines.pop_back();
        return true;
    }

    QByteArray Serialize() const {
        QByteArray out;
        for (const IniLine &line : lines)
            out += line.text + '\n';
        return out;
    }

    const IniLine *Find(const QString &fullKey) const {
        for (auto it = lines.rbegin(); it != lines.rend(); ++it)
            if (it->kind == IniLine::Kind::Entry && it->fullKey == fullKey)
                return &*it;
        return nullptr;
    }

    void Set(const QString &fullKey, const QByteArray &typed) {
        const QByteArray value = EscapeValue(typed);
        bool found = false;
        for (IniLine &line : lines) {
            if (line.kind == IniLine::Kind::Entry && line.fullKey == fullKey) {
                line.value = value;
                line.text = line.key + '=' + value;
                found = true;
            }
        }
        if (found)
            return;
        // A new key goes to the end of its section (the first component of its path).
        const qsizetype slash = fullKey.indexOf(u'/');
        const QString section = slash < 0 ? QString() : fullKey.left(slash);
        IniLine entry;
        entry.kind = IniLine::Kind::Entry;
        entry.fullKey = fullKey;
        entry.section = section;
        entry.key = EscapeKey(slash < 0 ? fullKey : fullKey.mid(slash + 1));
        entry.value = value;
        entry.text = entry.key + '=' + value;
        std::optional<std::size_t> at;
        bool inSection = section.isEmpty(); // the lines before any header are the general ones
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].kind == IniLine::Kind::Section)
                inSection = lines[i].section == section;
            if (inSection && lines[i].kind != IniLine::Kind::Other)
                at = i + 1;
        }
        if (at) {
            lines.insert(lines.begin() + std::ptrdiff_t(*at), entry);
            return;
        }
        if (!lines.empty() && !lines.back().text.trimmed().isEmpty())
            lines.push_back({});
        IniLine header;
        header.kind = IniLine::Kind::Section;
        header.section = section;
        header.text = '[' +
                      (section.isEmpty()                     ? QByteArray("General")
                       : section == QLatin1String("General") ? QByteArray("%General")
                                                             : EscapeKey(section)) +
                      ']';
        lines.push_back(header);
        lines.push_back(entry);
    }

    void Remove(const QString &fullKey) {
        std::erase_if(lines, [&](const IniLine &line) {
            return line.kind == IniLine::Kind::Entry && line.fullKey == fullKey;
        });
    }

    // Values still in the older form are written in the plain one.
    void Modernize() {
        for (IniLine &line : lines) {
            const bool old = line.value.startsWith('@') || line.value.startsWith('"');
            if (line.kind != IniLine::Kind::Entry || !old)
                continue;
            const std::optional<QByteArray> typed = UnescapeOldValue(line.value);
            if (typed && (typed->startsWith(kDwordTag) || typed->startsWith(kStringTag))) {
                line.value = EscapeValue(*typed);
                line.text = line.key + '=' + line.value;
            }
        }
    }
};

// The store's bytes; empty when missing, nothing when it cannot be read or is too large to be
// one.
std::optional<QByteArray> ReadStoreBytes(const QString &path) {
    QFile file(path);
    if (!file.exists())
        return QByteArray();
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxStoreBytes)
        return std::nullopt;
    QByteArray bytes = file.read(kMaxStoreBytes + 1);
    if (bytes.size() > kMaxStoreBytes)
        return std::nullopt;
    return bytes;
}

// Nothing when the store cannot be read or is damaged.
std::optional<IniFile> ReadStore(const QString &path) {
    const std::optional<QByteArray> bytes = ReadStoreBytes(path);
    IniFile ini;
    if (!bytes || !ini.Parse(*bytes))
        return std::nullopt;
    return ini;
}

class IniRegKey final : public RegKey {
public:
    IniRegKey(QString path, IniFile snapshot, QString group)
        : m_path(std::move(path)), m_snapshot(std::move(snapshot)), m_group(std::move(group)) {}
    ~IniRegKey() override { Commit(); }

    std::optional<std::uint32_t> QueryDword(const QString &name) const override {
        const QByteArray raw = Typed(name);
        if (!raw.startsWith(kDwordTag))
            return std::nullopt;
        bool ok = false;
        const qulonglong v = raw.mid(kDwordTag.size()).toULongLong(&ok, 16);
        if (!ok || v > 0xFFFFFFFFull)
            return std::nullopt;
        return std::uint32_t(v);
    }

    std::optional<QByteArray> QueryString(const QString &name, int maxBytes) const override {
        const QByteArray raw = Typed(name);
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
        const QString key = FullKey(name);
        if (!m_snapshot.Find(key))
            return false;
        m_snapshot.Remove(key);
        m_changes.push_back({key, std::nullopt});
        return true;
    }

private:
    struct Change {
        QString fullKey;
        std::optional<QByteArray> typed; // empty: deleted
    };

    // Value names may hold the path separators of keys.
    QString FullKey(const QString &name) const {
        QString escaped = name;
        escaped.replace(u'/', QStringLiteral("%2F")).replace(u'\\', QStringLiteral("%5C"));
        return m_group.isEmpty() ? escaped : m_group + u'/' + escaped;
    }
    QByteArray Typed(const QString &name) const {
        const IniLine *line = m_snapshot.Find(FullKey(name));
        if (!line)
            return {};
        return TypedText(line->value).value_or(QByteArray());
    }
    bool Set(const QString &name, const QByteArray &typed) {
        m_snapshot.Set(FullKey(name), typed);
        m_changes.push_back({FullKey(name), typed});
        return true;
    }

    // Other processes may have written since the open: their values stay, ours go on top.
    // A file damaged meanwhile is left as it is.
    void Commit() {
        if (m_changes.empty())
            return;
        QLockFile lock(m_path + QStringLiteral(".lock"));
        if (!lock.tryLock(kLockWaitMs))
            return;
        const std::optional<QByteArray> before = ReadStoreBytes(m_path);
        IniFile ini;
        if (!before || !ini.Parse(*before))
            return;
        for (const Change &c : m_changes) {
            if (c.typed)
                ini.Set(c.fullKey, *c.typed);
            else
                ini.Remove(c.fullKey);
        }
        ini.Modernize();
        const QByteArray after = ini.Serialize();
        if (after == *before)
            return;
        QSaveFile out(m_path);
        if (!out.open(QIODevice::WriteOnly))
            return;
        // The user's settings, folders and addresses: for the user alone.
        out.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        if (out.write(after) == after.size())
            out.commit();
    }

    QString m_path;
    IniFile m_snapshot;
    QString m_group;
    std::vector<Change> m_changes;
};

} // namespace

QString IniRegistryStore::DefaultPath() {
    return ConfigHome() + QStringLiteral("/KZPlayer/registry.ini");
}

IniRegistryStore::IniRegistryStore(QString path) : m_path(std::move(path)) {}

std::unique_ptr<RegKey> IniRegistryStore::OpenKey(const QString &key) {
    if (!MakeSureDirectoryPathExists(m_path))
        return nullptr;
    const QFileInfo info(m_path);
    if (info.exists() && (!info.isFile() || !info.isReadable() || !info.isWritable()))
        return nullptr;
    if (!info.exists() && !QFileInfo(info.absolutePath()).isWritable())
        return nullptr;
    std::optional<IniFile> ini = ReadStore(m_path);
    if (!ini)
        return nullptr;
    // The same key path however it is written: "A\B\", "A/B".
    QString group = key;
    group.replace(u'\\', u'/');
    QStringList parts = group.split(u'/', Qt::SkipEmptyParts);
    return std::make_unique<IniRegKey>(m_path, std::move(*ini), parts.join(u'/'));
}

} // namespace kz
