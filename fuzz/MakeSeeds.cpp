// kz_fuzz_seeds CORPUS OUT: writes the seeds of the targets whose input the program itself
// makes or meets: list files (with movies and an information record) and damaged ones,
// play-list state files and information records, packaged programs, drag payloads, engine
// result pages, search histories, update packages and movies to instrument. One folder per
// target under OUT. The SWF targets take the shared corpus too (scripts/fuzz.sh copies it).

#include "formats/swf/ActionWriter.h"
#include "formats/swf/SwfFraming.h"
#include "formats/swf/SwfWriter.h"
#include "netsearch/Engines.h"
#include "netsearch/SearchHistory.h"
#include "platform/TextRecords.h"
#include "platform/storage/CompoundFile.h"
#include "playlist/DragPayload.h"
#include "playlist/ListFile.h"
#include "tools/Packaging.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace {

using namespace kz;

bool Save(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray Load(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void Put32(QByteArray &b, qsizetype at, quint32 v) {
    if (at < 0 || at + 4 > b.size())
        return;
    for (int i = 0; i < 4; ++i)
        b[at + i] = char((v >> (8 * i)) & 0xFF);
}

quint32 Get32(const QByteArray &b, qsizetype at) {
    if (at < 0 || at + 4 > b.size())
        return 0;
    quint32 v = 0;
    for (int i = 0; i < 4; ++i)
        v |= quint32(quint8(b[at + i])) << (8 * i);
    return v;
}

QByteArray InfoRecord() {
    QByteArray out;
    for (const char *t : {"KZNAME=分享者", "KZEMAIL=someone@example.org", "KZMSN=msn",
                          "KZOTHER=其他", "KZWEB=https://example.org/", "KZDETAIL=说明=两个"})
        out += EncodeTextRecord(QString::fromUtf8(t));
    return out;
}

// The smallest movies of the corpus, up to `count`.
QStringList SmallMovies(const QString &corpus, int count) {
    QDir dir(corpus);
    const QFileInfoList all =
        dir.entryInfoList({QStringLiteral("*.swf")}, QDir::Files, QDir::Size | QDir::Reversed);
    QStringList out;
    for (const QFileInfo &fi : all) {
        if (fi.size() >= 200 && out.size() < count)
            out << fi.filePath();
    }
    return out;
}

void ListFiles(const QString &corpus, const QString &out, const QString &scratch) {
    const QStringList movies = SmallMovies(corpus, 6);
    const QString info = scratch + QString::fromUtf16(kInfoEntryName);
    Save(info, InfoRecord());

    // Two movies and the information record: the program's own list file.
    const QString small = out + QStringLiteral("two-movies.tpl");
    CreateListFile(small);
    for (int i = 0; i < 2 && i < movies.size(); ++i)
        AddMovie(movies[i], small);
    AddMovie(info, small);

    // More entries, one movie larger than the mini stream's limit.
    const QString many = out + QStringLiteral("six-movies.tpl");
    CreateListFile(many);
    for (const QString &m : movies)
        AddMovie(m, many);
    const QString big = scratch + QStringLiteral("big.swf");
    QByteArray bigBytes = Load(movies.value(0));
    while (bigBytes.size() < 9000)
        bigBytes += bigBytes;
    Save(big, bigBytes);
    AddMovie(big, many);
    CreateListFile(out + QStringLiteral("empty.tpl"));

    // Damaged copies: what the reader must refuse or survive.
    const QByteArray base = Load(small);
    const auto sectorAt = [](quint32 s) { return qsizetype(512) * (qsizetype(s) + 1); };
    const quint32 fat0 = Get32(base, 76), dir0 = Get32(base, 48);
    const auto fatEntry = [&](quint32 s) { return sectorAt(fat0) + 4 * qsizetype(s); };
    QByteArray b = base;
    Put32(b, fatEntry(dir0), dir0); // the directory chain loops on itself
    Save(out + QStringLiteral("dir-loop.tpl"), b);
    b = base;
    Put32(b, 44, 120); // DIFAT pointing at itself
    Put32(b, 72, 3);
    Put32(b, 68, dir0);
    Put32(b, sectorAt(dir0) + 508, dir0);
    Save(out + QStringLiteral("difat-loop.tpl"), b);
    b = base;
    Put32(b, sectorAt(dir0) + 128 + 76, 0); // a child pointing at the root
    Save(out + QStringLiteral("child-root.tpl"), b);
    b = base;
    Put32(b, sectorAt(dir0) + 120, 0x7FFFFFC0); // the mini stream beyond the file
    Save(out + QStringLiteral("mini-huge.tpl"), b);
    Save(out + QStringLiteral("truncated.tpl"), base.left(base.size() / 2 + 100));
    Save(out + QStringLiteral("header-only.tpl"), base.left(512));
}

void Records(const QString &corpus, const QString &out) {
    Save(out + QStringLiteral("info.data"), InfoRecord());
    QByteArray list;
    for (const QString &m : SmallMovies(corpus, 4))
        list += EncodeTextRecord(m);
    list += EncodeTextRecord(QStringLiteral("/home/用户/收藏.tpl/入口.swf"));
    Save(out + QStringLiteral("1list.ini"), list);
    Save(out + QStringLiteral("long.ini"),
         EncodeTextRecord(QString(4096, u'x')) + EncodeTextRecord(QString()));
}

void Projectors(const QString &corpus, const QString &out) {
    const QStringList movies = SmallMovies(corpus, 2);
    const QByteArray stub = QByteArrayLiteral("\x7F"
                                              "ELF stub of the projector");
    int n = 0;
    for (const QString &m : movies) {
        const QByteArray movie = Load(m);
        QByteArray trailer(kProjectorTrailerBytes, '\0');
        Put32(trailer, 0, kProjectorMagic);
        Put32(trailer, 4, quint32(movie.size()));
        Save(out + QStringLiteral("program%1.exe").arg(n++), stub + movie + trailer);
        Put32(trailer, 4, quint32(movie.size() + stub.size() + 1)); // longer than the file
        Save(out + QStringLiteral("program%1.exe").arg(n++), stub + movie + trailer);
    }
}

void DragPayloads(const QString &out) {
    const QList<QList<int>> sets{{0}, {0, 1, 2}, {5, 3, 9}, {61164}};
    int n = 0;
    for (const QList<int> &rows : sets)
        if (const auto p = BuildDragPayload(n % 2, rows, 61165))
            Save(out + QStringLiteral("rows%1").arg(n++), *p);
}

// Engine pages: byte 0 picks the engine (and the read size), byte 1 the scanner's window.
void EnginePages(const QString &out) {
    const QByteArray direct =
        "<html><body><div>" +
        QByteArray("<a href=\"http://movies.example.org/a.swf\" class=l onclick=\"go()\">"
                   "A <b>movie</b> &amp; more</a>\r\n")
            .repeated(3) +
        "<a href=\"http://example.org/x/b.SWF?x=1&amp;y=2\"><img src=\"http://t.example/i.png\">"
        "<script>alert(1)</script>B \xe7\x94\xbb</a>"
        "<a href=\"javascript:a.swf\">bad</a><a href=\"http://a.example/plain.html\">page</a>"
        "<a href=\"http://example.org/&#x63;.swf\">\"quoted\" &lt;tag&gt;</a><a hr";
    const QByteArray intermediate =
        "<a href=\"http://links.example/p1.html\">one.swf</a>\r\n"
        "<a href=\"/dl?id=2\">\xe4\xb8\x8b\xe8\xbd\xbd two.swf</a>\r\n"
        "<a href=\"http://links.example/p3.html\">\xd2\xbb three.swf</a>"
        "<a href=\"http://m.example/three.swf\">the movie</a>";
    // Engine 4 is given the same bytes as its search answer and as every file list, so one
    // document that is both makes it list movies; engine 5's is the capture index.
    const QByteArray library =
        R"({"response":{"numFound":"3","docs":[{"identifier":"a-1","title":["T <b>","U"]},)"
        R"({"identifier":["b_2"]},{"identifier":"../x"},{"title":7}]},)"
        R"("files":[{"name":"dir/游 戏.SWF","size":"419170"},{"name":"x.png"},)"
        R"({"name":"a&b\".swf","size":12},{"name":"../up.swf"}]})";
    const QByteArray captures =
        R"([["urlkey","timestamp","original","mimetype","statuscode","digest","length"],)"
        R"(["k","20050101120000","http://flash.example.cn/a.swf","m","200","D","1"],)"
        R"(["k","2005","http://flash.example.cn/b.swf","m","200","D","1"],)"
        R"(["k","20060101120000","http://flash.example.cn/c.SWF","m","200","D","1"],)"
        R"(["k","20060101120000","http://flash.example.cn/d.php?x=.swf","m","200","D","1"]])";
    const QList<QPair<int, QByteArray>> pages{
        {1, direct},  {2, direct},  {0, intermediate}, {3, intermediate}, {1, direct.repeated(40)},
        {4, library}, {5, captures}};
    int n = 0;
    for (const auto &[engine, page] : pages) {
        const char head[2] = {char(engine + kEngineCount * (n * 7 % 42)), char(n * 37)};
        Save(out + QStringLiteral("page%1.html").arg(n++), QByteArray(head, 2) + page);
    }
}

void Histories(const QString &out) {
    Save(
        out + QStringLiteral("slist.data"),
        FormatHistory({QStringLiteral("flash"), QStringLiteral("（动画）"),
                       QStringLiteral("mp3 下载"), QString(300, u'z'), QStringLiteral("e\u0301")}));
    Save(out + QStringLiteral("odd.data"), QByteArray("a\0\xff\xff\x08\xff\xff", 7));
}

// An element that is a storage holding one stream of its own name: the layout of a package's
// groups and of the files inside them.
bool PutElement(CompoundFile &file, const QString &name, const QByteArray &bytes) {
    const auto storage = file.CreateStorage(CompoundFile::kRootId, name);
    const auto stream = storage ? file.CreateStream(*storage, name) : std::nullopt;
    const auto writer = stream ? file.OpenWriter(*stream) : nullptr;
    return writer && writer->Write(bytes.constData(), bytes.size());
}

QByteArray CompoundBytes(const QString &path, const QList<QPair<QString, QByteArray>> &elements) {
    {
        const std::unique_ptr<CompoundFile> file = CompoundFile::Create(path);
        if (!file)
            return {};
        for (const auto &[name, bytes] : elements)
            if (!PutElement(*file, name, bytes))
                return {};
    }
    const QByteArray bytes = Load(path);
    QFile::remove(path);
    return bytes;
}

void Packages(const QString &out, const QString &scratch) {
    const QString tmp = scratch + QStringLiteral("package");
    const QByteArray root =
        CompoundBytes(tmp, {{QStringLiteral("KZPlayer"), QByteArray("#!/bin/sh\nexit 0\n")},
                            {QStringLiteral("readme.txt"), QByteArray(700, 'r')}});
    const QByteArray res = CompoundBytes(tmp, {{QStringLiteral("page.html"), "<html></html>"},
                                               {QStringLiteral("big.bin"), QByteArray(5000, 'b')}});
    Save(out + QStringLiteral("root-res.zip"),
         CompoundBytes(tmp, {{QStringLiteral("root"), root}, {QStringLiteral("1.res"), res}}));
    // Names the reader must refuse once patched in at byte level ("aa" -> "..", "a\\b").
    const QByteArray odd =
        CompoundBytes(tmp, {{QStringLiteral("aa"), "x"}, {QStringLiteral("ab"), "y"}});
    QByteArray dots = odd, slash = odd;
    dots.replace(QByteArray("a\0a\0\0\0", 6), QByteArray(".\0.\0\0\0", 6));
    slash.replace(QByteArray("a\0b\0\0\0", 6), QByteArray("/\0b\0\0\0", 6));
    Save(out + QStringLiteral("dots.zip"), CompoundBytes(tmp, {{QStringLiteral("root"), dots}}));
    Save(out + QStringLiteral("slash.zip"), CompoundBytes(tmp, {{QStringLiteral("2.res"), slash}}));
    Save(out + QStringLiteral("not-nested.zip"),
         CompoundBytes(tmp, {{QStringLiteral("root"), QByteArray("PK\3\4 a zip")}}));
}

// Movies to instrument: ActionScript 1/2 ones of both kinds (SWF 8 and older), compressed or
// not, halting themselves at frame 3; an ActionScript 3 one; cut ones; and one of more empty
// frames than are instrumented, in a few hundred bytes.
void InstrumentMovies(const QString &out) {
    const auto movie = [](int version, int frames, bool compressed) {
        SwfWriter w(64, 48, 12, std::uint8_t(version));
        w.SetBackgroundColor(QColor(0x20, 0x40, 0x60));
        w.Place(w.DefinePolygon({{0, 0}, {20, 0}, {20, 20}}, Qt::red), 1);
        for (int f = 1; f <= frames; ++f) {
            if (f > 1)
                w.Move(1, SwfMatrix::Translate(f, f));
            if (f == 3) {
                ActionWriter stop;
                stop.Stop();
                w.AddTag(kTagDoAction, stop.Finished());
            }
            w.ShowFrame();
        }
        return w.Finish(compressed);
    };
    Save(out + QStringLiteral("v8.swf"), movie(8, 5, false));
    Save(out + QStringLiteral("v8-cws.swf"), movie(8, 5, true));
    Save(out + QStringLiteral("v4.swf"), movie(4, 4, false));
    Save(out + QStringLiteral("v6-cws.swf"), movie(6, 4, true));
    QByteArray cut = movie(8, 12, true);
    cut.chop(cut.size() / 3);
    Save(out + QStringLiteral("cut-cws.swf"), cut);
    cut = movie(6, 6, false);
    cut.chop(7);
    Save(out + QStringLiteral("cut-v6.swf"), cut);

    SwfWriter as3(64, 48, 12, 9);
    as3.AddTag(kTagFileAttributes, QByteArray("\x08\0\0\0", 4));
    as3.ShowFrame();
    Save(out + QStringLiteral("as3.swf"), as3.Finish(false));

    MovieBodyHeader head;
    head.stage = {0, 20, 0, 20};
    head.frameCount = 65535;
    const QByteArray body = MovieBodyHeaderBytes(head) + SwfTag(kTagShowFrame, {}).repeated(70000) +
                            SwfTag(kTagEnd, {});
    Save(out + QStringLiteral("empty-frames-cws.swf"),
         MovieBytes('C', 8, std::uint32_t(kSwfHeaderBytes + body.size()), body, 9));
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: kz_fuzz_seeds CORPUS OUT\n");
        return 2;
    }
    const QString corpus = QString::fromLocal8Bit(argv[1]);
    const QString out = QDir(QString::fromLocal8Bit(argv[2])).absolutePath() + u'/';
    const QString scratch = out + QStringLiteral("scratch/");
    for (const char *d : {"scratch", "fuzz_compound_file", "fuzz_text_records",
                          "fuzz_projector_trailer", "fuzz_drag_payload", "fuzz_harvest",
                          "fuzz_search_history", "fuzz_package_install", "fuzz_instrument"})
        QDir().mkpath(out + QString::fromLatin1(d));
    ListFiles(corpus, out + QStringLiteral("fuzz_compound_file/"), scratch);
    Records(corpus, out + QStringLiteral("fuzz_text_records/"));
    Projectors(corpus, out + QStringLiteral("fuzz_projector_trailer/"));
    DragPayloads(out + QStringLiteral("fuzz_drag_payload/"));
    EnginePages(out + QStringLiteral("fuzz_harvest/"));
    Histories(out + QStringLiteral("fuzz_search_history/"));
    Packages(out + QStringLiteral("fuzz_package_install/"), scratch);
    InstrumentMovies(out + QStringLiteral("fuzz_instrument/"));
    QDir(scratch).removeRecursively();
    return 0;
}
