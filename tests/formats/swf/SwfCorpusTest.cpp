// Every corpus movie through the module, checked against an independent reader (Python).

#include "formats/swf/ByteSource.h"
#include "formats/swf/SwfFraming.h"
#include "formats/swf/TagWalker.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>

#include <gtest/gtest.h>

using namespace kz;
using namespace kz::test;

namespace {

// name -> "xMin xMax yMin yMax rateInteger frameCount", from a reader that shares no code
// with ours: it inflates what it can of a compressed body (zlib, or LZMA through Python's lzma
// module) and unpacks the RECT bit by bit.
const char *kIndependentReader = R"(
import lzma, os, sys, zlib
for name in sorted(os.listdir(sys.argv[1])):
    if not name.endswith('.swf'):
        continue
    data = open(os.path.join(sys.argv[1], name), 'rb').read()
    if len(data) < 8 or data[1:3] != b'WS' or data[0:1] not in (b'F', b'C', b'Z'):
        continue
    body = data[8:]
    if data[0:1] == b'C':
        try:
            body = zlib.decompressobj().decompress(body, 64)
        except zlib.error:
            continue
    if data[0:1] == b'Z':
        if len(data) < 17:
            continue
        d = data[12]
        lzma1 = {'id': lzma.FILTER_LZMA1, 'lc': d % 9, 'lp': (d // 9) % 5, 'pb': d // 45,
                 'dict_size': int.from_bytes(data[13:17], 'little')}
        try:
            body = lzma.LZMADecompressor(lzma.FORMAT_RAW, filters=[lzma1]).decompress(data[17:], 64)
        except lzma.LZMAError:
            continue
    if not body:
        continue
    n = body[0] >> 3
    need = (5 + 4 * n + 7) // 8
    if len(body) < need + 4:
        continue
    bits = ''.join(format(b, '08b') for b in body[:need])
    vals = []
    for i in range(4):
        field = bits[5 + i * n: 5 + (i + 1) * n]
        v = int(field, 2) if field else 0
        if n and field[0] == '1':
            v -= 1 << n
        vals.append(v)
    rate = body[need + 1]
    count = body[need + 2] | (body[need + 3] << 8)
    print(name, *vals, rate, count)
)";

QHash<QString, QString> IndependentHeaders() {
    QProcess py;
    py.start("/usr/bin/python3", {"-c", kIndependentReader, CorpusDir()});
    if (!py.waitForFinished(120000) || py.exitCode() != 0)
        return {};
    QHash<QString, QString> out;
    for (const QByteArray &line : py.readAllStandardOutput().split('\n')) {
        const qsizetype space = line.indexOf(' ');
        if (space > 0)
            out.insert(QString::fromUtf8(line.left(space)), QString::fromUtf8(line.mid(space + 1)));
    }
    return out;
}

} // namespace

TEST(SwfCorpus, BodyHeadersAgreeWithAnIndependentReaderAndWalksEnd) {
    const QHash<QString, QString> expected = IndependentHeaders();
    ASSERT_GT(expected.size(), 250);
    int compared = 0, walked = 0;
    for (const QString &path : CorpusFiles()) {
        const QString name = QFileInfo(path).fileName();
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray head = file.read(8);
        const auto *sig = reinterpret_cast<const std::uint8_t *>(head.constData());
        std::unique_ptr<ByteSource> body;
        if (head.size() == 8 && IsSwfSignature(sig, 'F')) {
            body = std::make_unique<FileSource>(file);
        } else if (head.size() == 8 && (IsSwfSignature(sig, 'C') || IsSwfSignature(sig, 'Z'))) {
            auto inflated = InflateMovie(path);
            if (inflated)
                body = std::make_unique<MemorySource>(std::move(inflated->data), inflated->size);
        }
        MovieBodyHeader h;
        if (body && ReadMovieBodyHeader(*body, h) && expected.contains(name)) {
            const QString got = QStringLiteral("%1 %2 %3 %4 %5 %6")
                                    .arg(h.stage.xMin)
                                    .arg(h.stage.xMax)
                                    .arg(h.stage.yMin)
                                    .arg(h.stage.yMax)
                                    .arg(h.rateInteger)
                                    .arg(h.frameCount);
            EXPECT_EQ(got, expected.value(name)) << name.toStdString();
            ++compared;
        }
        // The walker ends every movie cleanly, damaged ones included.
        if (auto tags = OpenMovieTags(path)) {
            TagWalker walker;
            int seen = 0;
            for (std::uint16_t code = 1; code < 100; ++code)
                walker.On(code, [&](TagBody &) {
                    ++seen;
                    return TagStep::Next;
                });
            const WalkEnd end = walker.Walk(*tags);
            EXPECT_NE(end, WalkEnd::Stopped) << name.toStdString();
            walked += end == WalkEnd::EndTag && seen > 0;
        }
    }
    EXPECT_GT(compared, 250);
    EXPECT_GT(walked, 250);
}
