#include "SwfFixtures.h"

#include "formats/swf/SwfFraming.h"
#include "formats/swf/SwfTagCodes.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace kz::test {

QByteArray TagBytes(const SwfTag &tag) {
    QByteArray out;
    PutTagHeader(out, tag.code, std::uint32_t(tag.body.size()), tag.longHeader);
    return out + tag.body;
}

QByteArray BackgroundTag(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    QByteArray body;
    body.append(char(r)).append(char(g)).append(char(b));
    return TagBytes({kTagSetBackgroundColor, body, false});
}

QByteArray Deflate(const QByteArray &bytes) {
    return ZlibCompress(bytes);
}

QByteArray CompressMovie(const QByteArray &fws) {
    if (fws.size() < qsizetype(kSwfHeaderBytes))
        return {};
    return MovieBytes('C', std::uint8_t(fws[3]), std::uint32_t(fws.size()),
                      fws.mid(kSwfHeaderBytes));
}

bool PackLzmaMovie(const QString &from, const QString &to) {
    QString source = qEnvironmentVariable("KZ_SOURCE_DIR");
    if (source.isEmpty())
        source = QStringLiteral(KZ_DEFAULT_SOURCE_DIR);
    QProcess p;
    // Debian's python3, as the package list installs it.
    p.start(QStringLiteral("/usr/bin/python3"),
            {source + QStringLiteral("/tests/support/zws_pack.py"), from, to});
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return false;
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        qWarning("zws_pack.py failed: %s", p.readAllStandardError().constData());
        return false;
    }
    return true;
}

QByteArray LzmaMovie(const QByteArray &movie) {
    QTemporaryDir dir;
    QFile in(dir.filePath(QStringLiteral("in.swf")));
    if (!dir.isValid() || !in.open(QIODevice::WriteOnly) || in.write(movie) != movie.size())
        return {};
    in.close();
    const QString out = dir.filePath(QStringLiteral("out.swf"));
    if (!PackLzmaMovie(in.fileName(), out))
        return {};
    QFile f(out);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray BuildSwf(const SwfSpec &s) {
    MovieBodyHeader head;
    head.stage = {s.xMin, s.xMax, s.yMin, s.yMax};
    head.rectFieldBits = s.rectBits;
    head.rateFraction = s.rateFraction;
    head.rateInteger = s.rateInteger;
    head.frameCount = s.frameCount;
    QByteArray body = MovieBodyHeaderBytes(head);
    for (const SwfTag &t : s.tags)
        body += TagBytes(t);
    if (s.endTag)
        PutLe(body, kTagEnd, 2);
    const auto length = s.declaredLength >= 0 ? std::uint64_t(s.declaredLength)
                                              : std::uint64_t(kSwfHeaderBytes + body.size());
    if (s.signature == 'Z')
        return LzmaMovie(MovieBytes('F', s.version, std::uint32_t(length), body));
    return MovieBytes(s.signature, s.version, std::uint32_t(length), body);
}

QByteArray MovieOfSize(qsizetype bytes) {
    SwfSpec spec;
    const qsizetype bare = BuildSwf(spec).size();
    SwfTag pad;
    pad.code = 77;
    pad.longHeader = true;
    pad.body = QByteArray(bytes - bare - 6, 'x');
    spec.tags = {pad};
    return BuildSwf(spec);
}

} // namespace kz::test
