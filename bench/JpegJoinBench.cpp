// JPEG extraction of hostile movies: compressed movies whose image tags are runs of FF D9 FF D8
// marker pairs in front of a real image. The time should grow with the tag's size, not with its
// square; the join alone is timed too.

#include "tests/tools/ToolsTestSupport.h"
#include "tools/JpegExtract.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <vector>

using namespace kz;
using namespace kz::test;

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv); // image plugins for the sample JPEG
    const QByteArray jpeg = MakeJpeg(64, 64, 1);
    const QByteArray soi("\xFF\xD8", 2);
    std::printf("%10s %12s %12s %12s\n", "tag MB", "movie KB", "extract ms", "join ms");
    for (const int mb : {1, 4, 16, 64}) {
        const QByteArray pairs = QByteArray("\xFF\xD9\xFF\xD8", 4).repeated(mb * 1024 * 1024 / 4);
        SwfSpec s;
        s.tags = {DefineBitsJpeg2Tag(1, soi + pairs + jpeg.mid(2))};
        const QByteArray packed = CompressMovie(BuildSwf(s));
        QTemporaryDir tmp;
        const QString movie = tmp.filePath("flood.swf");
        WriteFile(movie, packed);

        QElapsedTimer t;
        t.start();
        const bool ok = ExtractJpeg(movie, tmp.path() + u'/');
        const double extractMs = double(t.nsecsElapsed()) / 1e6;

        const QByteArray stream = soi + pairs + jpeg.mid(2);
        std::vector<std::uint8_t> v(stream.begin(), stream.end());
        t.restart();
        JoinJpegStream(v);
        const double joinMs = double(t.nsecsElapsed()) / 1e6;
        std::printf("%10d %12.1f %12.1f %12.1f%s\n", mb, double(packed.size()) / 1024, extractMs,
                    joinMs, ok && v.size() == std::size_t(jpeg.size()) ? "" : "  (wrong output)");
    }
    return 0;
}
