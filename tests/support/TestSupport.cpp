#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "platform/Paths.h"

#include <zlib.h>

namespace kz::test {

QString CorpusDir() {
    const QString dir = qEnvironmentVariable("KZ_CORPUS_DIR");
    return dir.isEmpty() ? QStringLiteral(KZ_DEFAULT_CORPUS_DIR) : dir;
}

QStringList CorpusFiles() {
    QDir dir(CorpusDir());
    QStringList out;
    for (const QString &name : dir.entryList({QStringLiteral("*.swf")}, QDir::Files, QDir::Name))
        out << dir.filePath(name);
    return out;
}

QString BinDir() {
    const QString dir = qEnvironmentVariable("KZ_BIN_DIR");
    return dir.isEmpty() ? QStringLiteral(KZ_DEFAULT_BIN_DIR) : dir;
}

QString SourceDir() {
    const QString dir = qEnvironmentVariable("KZ_SOURCE_DIR");
    return dir.isEmpty() ? QStringLiteral(KZ_DEFAULT_SOURCE_DIR) : dir;
}

void UsePrivateHome(const QString &home) {
    qputenv("HOME", home.toUtf8());
    qputenv("XDG_CONFIG_HOME", (home + "/config").toUtf8());
    qputenv("XDG_DATA_HOME", (home + "/data").toUtf8());
    qputenv("XDG_RUNTIME_DIR", (home + "/run").toUtf8());
    QDir().mkpath(home + "/run");
    QFile::setPermissions(home + "/run", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QTemporaryDir &TestHome() {
    static QTemporaryDir *home = [] {
        auto *dir = new QTemporaryDir;
        UsePrivateHome(dir->path());
        QDir().mkpath(dir->filePath(QStringLiteral("program")));
        SetProgramDirOverride(dir->filePath(QStringLiteral("program/")));
        return dir;
    }();
    return *home;
}

QString TestProgramDir() {
    return TestHome().filePath(QStringLiteral("program/"));
}

void ClearProxyEnvironment() {
    for (const char *name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy",
                             "ALL_PROXY", "no_proxy", "NO_PROXY"})
        qunsetenv(name);
}

bool WriteFile(const QString &path, const QByteArray &bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray ReadFile(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

namespace {

void PutLe(QByteArray &out, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.append(char((v >> (8 * i)) & 0xFF));
}

int BitsFor(std::int32_t v) {
    int bits = 1;
    while (bits < 31 &&
           (v < -(std::int64_t(1) << (bits - 1)) || v >= (std::int64_t(1) << (bits - 1))))
        ++bits;
    return bits;
}

QByteArray RectBytes(const SwfSpec &s) {
    int n = s.rectBits;
    if (n == 0)
        n = std::max({BitsFor(s.xMin), BitsFor(s.xMax), BitsFor(s.yMin), BitsFor(s.yMax)});
    std::vector<bool> bits;
    for (int i = 4; i >= 0; --i)
        bits.push_back((n >> i) & 1);
    for (std::int32_t v : {s.xMin, s.xMax, s.yMin, s.yMax})
        for (int i = n - 1; i >= 0; --i)
            bits.push_back((std::uint32_t(v) >> i) & 1);
    QByteArray out((bits.size() + 7) / 8, '\0');
    for (std::size_t i = 0; i < bits.size(); ++i)
        if (bits[i])
            out[qsizetype(i / 8)] = char(out[qsizetype(i / 8)] | (0x80 >> (i % 8)));
    return out;
}

} // namespace

QByteArray TagBytes(const SwfTag &tag) {
    QByteArray out;
    const auto len = std::uint32_t(tag.body.size());
    if (tag.longHeader || len >= 0x3F) {
        PutLe(out, (std::uint32_t(tag.code) << 6) | 0x3F, 2);
        PutLe(out, len, 4);
    } else {
        PutLe(out, (std::uint32_t(tag.code) << 6) | len, 2);
    }
    return out + tag.body;
}

QByteArray BackgroundTag(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    QByteArray body;
    body.append(char(r)).append(char(g)).append(char(b));
    return TagBytes({9, body, false});
}

QByteArray Deflate(const QByteArray &bytes) {
    uLongf cap = compressBound(uLong(bytes.size()));
    QByteArray out(qsizetype(cap), '\0');
    compress(reinterpret_cast<Bytef *>(out.data()), &cap,
             reinterpret_cast<const Bytef *>(bytes.constData()), uLong(bytes.size()));
    out.resize(qsizetype(cap));
    return out;
}

QByteArray BuildSwf(const SwfSpec &s) {
    QByteArray body = RectBytes(s);
    body.append(char(s.rateFraction)).append(char(s.rateInteger));
    PutLe(body, s.frameCount, 2);
    for (const SwfTag &t : s.tags)
        body += TagBytes(t);
    if (s.endTag)
        PutLe(body, 0, 2);
    QByteArray out;
    out.append(s.signature).append("WS").append(char(s.version));
    PutLe(out,
          s.declaredLength >= 0 ? std::uint64_t(s.declaredLength) : std::uint64_t(8 + body.size()),
          4);
    out += s.signature == 'C' ? Deflate(body) : body;
    return out;
}

} // namespace kz::test
