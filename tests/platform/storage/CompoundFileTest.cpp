#include "support/StorageTestUtil.h"

#include "platform/storage/CompoundFile.h"
#include "support/TestSupport.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <thread>
#include <unistd.h>

using namespace kz;
using namespace kz::test;
using Access = CompoundFile::Access;
using Kind = CompoundFile::Kind;
constexpr CompoundFile::Id kRoot = CompoundFile::kRootId;

namespace {

// olefile's view of a file: every stream's SHA-1 by path, the in-order names of every
// storage's sibling tree, and any fault in those trees (order, red-black rules).
const char *kOleCheck = R"PY(
import hashlib, json, sys, olefile
o = olefile.OleFileIO(sys.argv[1])
streams = {}
for p in o.listdir(streams=True, storages=False):
    streams['/'.join(p)] = hashlib.sha1(o.openstream(p).read()).hexdigest()
NO = 0xFFFFFFFF
errors, order = [], {}
def key(n): return (len(n), n.upper())
def walk(sid, names, lo, hi):
    if sid == NO: return 1
    e = o.direntries[sid]
    k = key(e.name)
    if (lo is not None and not lo < k) or (hi is not None and not k < hi):
        errors.append('order at ' + e.name)
    hl = walk(e.sid_left, names, lo, k)
    names.append(e.name)
    hr = walk(e.sid_right, names, k, hi)
    if hl != hr: errors.append('black height at ' + e.name)
    if e.color == 0:
        for c in (e.sid_left, e.sid_right):
            if c != NO and o.direntries[c].color == 0: errors.append('red-red at ' + e.name)
    return hl + (1 if e.color == 1 else 0)
def storage(entry, path):
    names = []
    if entry.sid_child != NO and o.direntries[entry.sid_child].color == 0:
        errors.append('red root in ' + path)
    walk(entry.sid_child, names, None, None)
    order[path] = names
    for k in entry.kids:
        if k.entry_type == olefile.STGTY_STORAGE: storage(k, path + '/' + k.name)
storage(o.root, '')
print(json.dumps({'streams': streams, 'order': order, 'errors': errors}))
)PY";

QJsonObject OleView(const QString &path) {
    const ProcResult r = RunPython(QString::fromLatin1(kOleCheck), {path});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    return QJsonDocument::fromJson(r.out).object();
}

QByteArray ReadAll(CompoundFile &f, CompoundFile::Id id, qint64 chunk = 10240) {
    auto r = f.OpenReader(id);
    if (!r)
        return "<no reader>";
    QByteArray out, buf(chunk, '\0');
    for (;;) {
        const auto n = r->Read(buf.data(), chunk);
        if (n < 0)
            return "<read error>";
        if (n == 0)
            break;
        out.append(buf.constData(), n);
    }
    return out;
}

bool WriteStream(CompoundFile &f, CompoundFile::Id parent, const QString &name,
                 const QByteArray &bytes, qint64 piece = 10240) {
    const auto id = f.CreateStream(parent, name);
    if (!id)
        return false;
    auto w = f.OpenWriter(*id);
    if (!w)
        return false;
    for (qint64 at = 0; at < bytes.size(); at += piece)
        if (!w->Write(bytes.constData() + at, std::min<qint64>(piece, bytes.size() - at)))
            return false;
    return true;
}

QStringList Names(const std::vector<CompoundFile::Element> &els) {
    QStringList out;
    for (const auto &e : els)
        out << e.name;
    return out;
}

} // namespace

TEST(CompoundFile, NamesFollowTheFormatsRules) {
    EXPECT_TRUE(CompoundFile::IsValidName("abc.swf"));
    EXPECT_TRUE(CompoundFile::IsValidName(QString(31, u'x')));
    EXPECT_TRUE(CompoundFile::IsValidName(QStringLiteral("动画 片.swf")));
    for (const QString &bad :
         {QString(), QString(32, u'x'), QStringLiteral("a/b"), QStringLiteral("a\\b"),
          QStringLiteral("a:b"), QStringLiteral("a!b")})
        EXPECT_FALSE(CompoundFile::IsValidName(bad)) << bad.toStdString();
    // Shorter first, then without regard to case.
    EXPECT_LT(CompoundFile::CompareNames("zz", "aaa"), 0);
    EXPECT_LT(CompoundFile::CompareNames("abc", "ABD"), 0);
    EXPECT_EQ(CompoundFile::CompareNames("Movie.SWF", "movie.swf"), 0);
}

// Streams of the sizes around every boundary (mini sectors, the mini cut-off, sectors, chunks),
// written in pieces of several sizes, come back byte for byte through us, olefile and gsf, and
// every sibling tree is a valid, ordered red-black tree.
TEST(CompoundFile, StreamsRoundTripThroughUsAndIndependentReaders) {
    QTemporaryDir tmp;
    const QString path = tmp.filePath("sizes.tpl");
    const std::vector<qint64> sizes{0,    1,    63,   64,    65,    511,   512,
                                    4095, 4096, 4097, 10240, 10241, 100000};
    std::map<QString, QByteArray> want;
    {
        auto f = CompoundFile::Create(path);
        ASSERT_TRUE(f);
        int i = 0;
        for (const qint64 size : sizes) {
            const QString name = QStringLiteral("Entry%1_%2.swf").arg(i).arg(size);
            const auto st = f->CreateStorage(kRoot, name);
            ASSERT_TRUE(st);
            const QByteArray bytes = PatternBytes(size, quint32(i));
            const qint64 piece = std::array<qint64, 4>{10240, 1000, 4095, 7}[i % 4];
            ASSERT_TRUE(WriteStream(*f, *st, name, bytes, piece)) << name.toStdString();
            want[name + "/" + name] = bytes;
            ++i;
        }
    }
    auto f = CompoundFile::Open(path, Access::Read);
    ASSERT_TRUE(f);
    const auto kids = f->Children(kRoot);
    ASSERT_EQ(kids.size(), sizes.size());
    for (std::size_t i = 1; i < kids.size(); ++i)
        EXPECT_LT(CompoundFile::CompareNames(kids[i - 1].name, kids[i].name), 0);
    for (const auto &k : kids) {
        const auto s = f->Find(k.id, k.name);
        ASSERT_TRUE(s);
        EXPECT_EQ(ReadAll(*f, s->id, 777), want[k.name + "/" + k.name]) << k.name.toStdString();
    }

    const QJsonObject ole = OleView(path);
    EXPECT_TRUE(ole["errors"].toArray().isEmpty()) << QJsonDocument(ole).toJson().toStdString();
    const QJsonObject streams = ole["streams"].toObject();
    EXPECT_EQ(streams.size(), qsizetype(want.size()));
    for (const auto &[p, bytes] : want)
        EXPECT_EQ(streams[p].toString(), Sha1(bytes)) << p.toStdString();
    QStringList oleOrder;
    for (const auto v : ole["order"].toObject()[""].toArray())
        oleOrder << v.toString();
    EXPECT_EQ(oleOrder, Names(kids));

    // gsf list: "f <size> <path>" per stream.
    const ProcResult list = RunProgram("gsf", {"list", path});
    ASSERT_EQ(list.exitCode, 0) << list.err.toStdString();
    std::map<QString, qint64> listed;
    for (const QString &line : QString::fromUtf8(list.out).split(u'\n')) {
        const QStringList f = line.simplified().split(u' ');
        if (f.size() == 3 && f[0] == u"f")
            listed[f[2]] = f[1].toLongLong();
    }
    EXPECT_EQ(listed.size(), want.size());
    for (const auto &[p, bytes] : want)
        EXPECT_EQ(listed[p], bytes.size()) << p.toStdString();
    for (const auto &[p, bytes] : want) {
        const ProcResult cat = RunProgram("gsf", {"cat", path, p});
        ASSERT_EQ(cat.exitCode, 0) << cat.err.toStdString();
        EXPECT_EQ(cat.out, bytes) << p.toStdString();
    }
}

// More than 109 FAT sectors need DIFAT sectors; olefile must agree on the content.
TEST(CompoundFile, LargeStreamUsesDifatAndReadsBackEverywhere) {
    QTemporaryDir tmp;
    const QString path = tmp.filePath("large.tpl");
    const QByteArray big = PatternBytes(9 * 1024 * 1024 + 123, 99);
    {
        auto f = CompoundFile::Create(path);
        ASSERT_TRUE(f);
        const auto st = f->CreateStorage(kRoot, "big.swf");
        ASSERT_TRUE(st && WriteStream(*f, *st, "big.swf", big));
        const auto st2 = f->CreateStorage(kRoot, "after.swf");
        ASSERT_TRUE(st2 && WriteStream(*f, *st2, "after.swf", "tail"));
    }
    QFile raw(path);
    ASSERT_TRUE(raw.open(QIODevice::ReadOnly));
    const QByteArray header = raw.read(512);
    const quint32 numDifat = quint8(header[72]) | quint8(header[73]) << 8;
    EXPECT_GE(numDifat, 1u);
    const QJsonObject streams = OleView(path)["streams"].toObject();
    EXPECT_EQ(streams["big.swf/big.swf"].toString(), Sha1(big));
    EXPECT_EQ(streams["after.swf/after.swf"].toString(), Sha1("tail"));
    auto f = CompoundFile::Open(path, Access::Read);
    ASSERT_TRUE(f);
    EXPECT_EQ(ReadAll(*f, f->Find(f->Find(kRoot, "big.swf")->id, "big.swf")->id), big);
}

// A stream copied out file to file holds what reading it gives: across sector runs broken by
// another stream's sectors, from the middle of a stream, from the mini stream, into a pipe
// (which the kernel's file copy refuses), and it fails on a file that ends early.
TEST(CompoundFile, CopyToWritesWhatReadingGives) {
    QTemporaryDir tmp;
    const QString path = tmp.filePath("two.tpl");
    const QByteArray a = PatternBytes(3 * 1024 * 1024 + 77, 5), b = PatternBytes(700 * 1024, 9);
    const QByteArray small = PatternBytes(3000, 3);
    {
        auto f = CompoundFile::Create(path);
        ASSERT_TRUE(f);
        auto ia = f->CreateStream(kRoot, "a"), ib = f->CreateStream(kRoot, "b");
        ASSERT_TRUE(ia && ib);
        auto wa = f->OpenWriter(*ia), wb = f->OpenWriter(*ib);
        // Interleaved pieces: each stream's chain is runs of consecutive sectors with gaps.
        for (qsizetype at = 0; at < a.size(); at += 100 * 1024) {
            ASSERT_TRUE(
                wa->Write(a.constData() + at, std::min<qsizetype>(100 * 1024, a.size() - at)));
            if (at < b.size())
                ASSERT_TRUE(
                    wb->Write(b.constData() + at, std::min<qsizetype>(100 * 1024, b.size() - at)));
        }
        ASSERT_TRUE(WriteStream(*f, kRoot, "small", small));
    }
    auto f = CompoundFile::Open(path, Access::Read);
    ASSERT_TRUE(f);
    const auto copyOut = [&](const QString &name, qint64 skip, const QString &out) -> qint64 {
        auto r = f->OpenReader(f->Find(kRoot, name)->id);
        QByteArray head(skip, '\0');
        EXPECT_EQ(r->Read(head.data(), skip), skip);
        QFile file(out);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        return r->CopyTo(file.handle());
    };
    EXPECT_EQ(copyOut("a", 0, tmp.filePath("a")), a.size());
    EXPECT_EQ(ReadFile(tmp.filePath("a")), a);
    EXPECT_EQ(copyOut("a", 1000, tmp.filePath("a2")), a.size() - 1000);
    EXPECT_EQ(ReadFile(tmp.filePath("a2")), a.mid(1000));
    EXPECT_EQ(copyOut("b", 0, tmp.filePath("b")), b.size());
    EXPECT_EQ(ReadFile(tmp.filePath("b")), b);
    EXPECT_EQ(copyOut("small", 100, tmp.filePath("s")), small.size() - 100);
    EXPECT_EQ(ReadFile(tmp.filePath("s")), small.mid(100));

    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    QByteArray fromPipe;
    std::thread drain([&] {
        char buf[65536];
        ssize_t n;
        while ((n = ::read(pipeFds[0], buf, sizeof buf)) > 0)
            fromPipe.append(buf, n);
    });
    auto rb = f->OpenReader(f->Find(kRoot, "b")->id);
    EXPECT_EQ(rb->CopyTo(pipeFds[1]), b.size());
    ::close(pipeFds[1]);
    drain.join();
    ::close(pipeFds[0]);
    EXPECT_EQ(fromPipe, b);

    // The file cut short under an open reader: the copy fails instead of passing for whole.
    auto ra = f->OpenReader(f->Find(kRoot, "a")->id);
    ASSERT_EQ(::truncate(QFile::encodeName(path).constData(), QFileInfo(path).size() / 2), 0);
    QFile out(tmp.filePath("cut"));
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    EXPECT_EQ(ra->CopyTo(out.handle()), -1);
}

TEST(CompoundFile, CreateReplacesAndFindIgnoresCaseButKeepsIt) {
    QTemporaryDir tmp;
    const QString path = tmp.filePath("case.tpl");
    auto f = CompoundFile::Create(path);
    ASSERT_TRUE(f);
    const auto a = f->CreateStorage(kRoot, "Movie.SWF");
    ASSERT_TRUE(a && WriteStream(*f, *a, "Movie.SWF", "old"));
    const auto b = f->CreateStorage(kRoot, "movie.swf");
    ASSERT_TRUE(b && WriteStream(*f, *b, "movie.swf", "new"));
    EXPECT_EQ(Names(f->Children(kRoot)), QStringList{"movie.swf"});
    const auto found = f->Find(kRoot, "MOVIE.swf");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->name, "movie.swf");
    EXPECT_EQ(found->kind, Kind::Storage);
    EXPECT_EQ(ReadAll(*f, f->Find(found->id, "MOVIE.SWF")->id), "new");
    EXPECT_FALSE(f->CreateStorage(kRoot, QString(32, u'n')));
    EXPECT_FALSE(f->CreateStream(kRoot, "a:b"));
    EXPECT_FALSE(f->Find(kRoot, "missing"));
}

TEST(CompoundFile, DestroyFreesSectorsForReuseAndRenameKeepsContent) {
    QTemporaryDir tmp;
    const QString path = tmp.filePath("reuse.tpl");
    const QByteArray big = PatternBytes(300000, 5), small = PatternBytes(1000, 6);
    auto f = CompoundFile::Create(path);
    ASSERT_TRUE(f);
    for (const char *name : {"one.swf", "two.swf"}) {
        const auto st = f->CreateStorage(kRoot, name);
        ASSERT_TRUE(st && WriteStream(*f, *st, name, big));
        const auto sub = f->CreateStorage(*st, "inner");
        ASSERT_TRUE(sub && WriteStream(*f, *sub, "s", small));
    }
    const qint64 sizeBefore = QFileInfo(path).size();
    ASSERT_TRUE(f->Destroy(kRoot, "ONE.swf"));
    EXPECT_FALSE(f->Destroy(kRoot, "one.swf"));
    const auto st = f->CreateStorage(kRoot, "three.swf");
    ASSERT_TRUE(st && WriteStream(*f, *st, "three.swf", big));
    const auto sub = f->CreateStorage(*st, "inner");
    ASSERT_TRUE(sub && WriteStream(*f, *sub, "s", small));
    EXPECT_EQ(QFileInfo(path).size(), sizeBefore); // the freed sectors were used again

    EXPECT_FALSE(f->Rename(kRoot, "two.swf", "THREE.swf")); // taken
    EXPECT_FALSE(f->Rename(kRoot, "two.swf", "bad/name"));
    EXPECT_FALSE(f->Rename(kRoot, "none.swf", "x"));
    ASSERT_TRUE(f->Rename(kRoot, "two.swf", "a.swf"));
    EXPECT_EQ(Names(f->Children(kRoot)), (QStringList{"a.swf", "three.swf"}));
    // Replacing: the other element goes, with its subtree, in the same change.
    const auto gone = f->CreateStorage(kRoot, "gone");
    ASSERT_TRUE(gone && WriteStream(*f, *gone, "g", big));
    const qint64 sizeWithGone = QFileInfo(path).size();
    ASSERT_TRUE(f->Rename(kRoot, "gone", "THREE.SWF", /*replace=*/true));
    EXPECT_EQ(Names(f->Children(kRoot)), (QStringList{"a.swf", "THREE.SWF"}));
    ASSERT_TRUE(f->Rename(kRoot, "THREE.SWF", "three.swf")); // a change of case is no clash
    ASSERT_TRUE(f->Destroy(kRoot, "three.swf"));
    const auto st3 = f->CreateStorage(kRoot, "three.swf");
    ASSERT_TRUE(st3 && WriteStream(*f, *st3, "three.swf", big));
    const auto sub3 = f->CreateStorage(*st3, "inner");
    ASSERT_TRUE(sub3 && WriteStream(*f, *sub3, "s", small));
    EXPECT_EQ(QFileInfo(path).size(), sizeWithGone); // what was replaced was freed and reused
    f.reset();

    const QJsonObject ole = OleView(path);
    EXPECT_TRUE(ole["errors"].toArray().isEmpty());
    const QJsonObject streams = ole["streams"].toObject();
    EXPECT_EQ(streams.keys(), (QStringList{"a.swf/inner/s", "a.swf/two.swf", "three.swf/inner/s",
                                           "three.swf/three.swf"}));
    EXPECT_EQ(streams["a.swf/two.swf"].toString(), Sha1(big));
    EXPECT_EQ(streams["three.swf/inner/s"].toString(), Sha1(small));
}

TEST(CompoundFile, ManySiblingsStayAValidTreeThroughInsertsAndRemovals) {
    QTemporaryDir tmp;
    const QString path = tmp.filePath("many.tpl");
    auto f = CompoundFile::Create(path);
    ASSERT_TRUE(f);
    for (int i = 0; i < 300; ++i)
        ASSERT_TRUE(f->CreateStream(kRoot, QStringLiteral("n%1").arg((i * 37) % 300)));
    for (int i = 0; i < 300; i += 3)
        ASSERT_TRUE(f->Destroy(kRoot, QStringLiteral("N%1").arg(i)));
    f.reset();
    const QJsonObject ole = OleView(path);
    EXPECT_TRUE(ole["errors"].toArray().isEmpty()) << QJsonDocument(ole).toJson().toStdString();
    EXPECT_EQ(ole["order"].toObject()[""].toArray().size(), 200);
}

TEST(CompoundFile, CopyStorageCopiesTheWholeTree) {
    QTemporaryDir tmp;
    const QString src = tmp.filePath("src.tpl"), dst = tmp.filePath("dst.tpl");
    const QByteArray big = PatternBytes(50000, 1);
    {
        auto f = CompoundFile::Create(src);
        ASSERT_TRUE(f);
        const auto a = f->CreateStorage(kRoot, "a");
        const auto b = f->CreateStorage(*a, "b");
        ASSERT_TRUE(a && b && WriteStream(*f, *b, "deep", big) && WriteStream(*f, *a, "x", "xx") &&
                    WriteStream(*f, kRoot, "top", ""));
        auto d = CompoundFile::Create(dst);
        ASSERT_TRUE(d && f->CopyStorageTo(kRoot, *d, kRoot));
    }
    const QJsonObject streams = OleView(dst)["streams"].toObject();
    EXPECT_EQ(streams.keys(), (QStringList{"a/b/deep", "a/x", "top"}));
    EXPECT_EQ(streams["a/b/deep"].toString(), Sha1(big));
}

// Write access is exclusive, read access shared, across separate opens of the same file.
TEST(CompoundFile, AdvisoryLockKeepsWritersApart) {
    QTemporaryDir tmp;
    const QString path = tmp.filePath("lock.tpl");
    {
        auto writer = CompoundFile::Create(path);
        ASSERT_TRUE(writer);
        EXPECT_FALSE(CompoundFile::Open(path, Access::Write));
        EXPECT_FALSE(CompoundFile::Open(path, Access::Read));
        EXPECT_FALSE(CompoundFile::Create(path)); // nor is it truncated under the writer
    }
    {
        auto r1 = CompoundFile::Open(path, Access::Read);
        ASSERT_TRUE(r1);
        EXPECT_TRUE(CompoundFile::Open(path, Access::Read));
        EXPECT_FALSE(CompoundFile::Open(path, Access::Write));
        EXPECT_FALSE(r1->CreateStream(kRoot, "x")); // read access changes nothing
    }
    EXPECT_TRUE(CompoundFile::Open(path, Access::Write));
}

// Files written by libgsf and by the npm package cfb.
TEST(CompoundFile, ReadsFilesOfOtherWriters) {
    QTemporaryDir tmp;
    const QByteArray a = PatternBytes(3000, 11), b = PatternBytes(200000, 12);
    ASSERT_TRUE(WriteFile(tmp.filePath("Small.swf"), a));
    ASSERT_TRUE(WriteFile(tmp.filePath("big.swf"), b));
    const QString gsfFile = tmp.filePath("gsf.tpl");
    const ProcResult made = RunProgram(
        "gsf", {"createole", gsfFile, tmp.filePath("Small.swf"), tmp.filePath("big.swf")});
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    {
        auto f = CompoundFile::Open(gsfFile, Access::Read);
        ASSERT_TRUE(f);
        EXPECT_EQ(Names(f->Children(kRoot)), (QStringList{"big.swf", "Small.swf"}));
        EXPECT_EQ(ReadAll(*f, f->Find(kRoot, "small.swf")->id), a);
        EXPECT_EQ(ReadAll(*f, f->Find(kRoot, "big.swf")->id), b);
    }
    // And we can change it: what we add, olefile reads; what was there stays.
    {
        auto f = CompoundFile::Open(gsfFile, Access::Write);
        ASSERT_TRUE(f);
        ASSERT_TRUE(WriteStream(*f, kRoot, "added", a));
        ASSERT_TRUE(f->Destroy(kRoot, "big.swf"));
    }
    const QJsonObject streams = OleView(gsfFile)["streams"].toObject();
    EXPECT_EQ(streams.keys(), (QStringList{"Small.swf", "added"}));
    EXPECT_EQ(streams["Small.swf"].toString(), Sha1(a));

    const QString cfbFile = tmp.filePath("cfb.tpl");
    const ProcResult node =
        RunNode("const CFB = require('cfb'); const fs = require('fs'); const [out, a, b] = "
                "process.argv.slice(-3); const c = CFB.utils.cfb_new(); "
                "CFB.utils.cfb_add(c, '/Movie.SWF/Movie.SWF', fs.readFileSync(a)); "
                "CFB.utils.cfb_add(c, '/b.swf/b.swf', fs.readFileSync(b)); CFB.writeFile(c, out);",
                {cfbFile, tmp.filePath("Small.swf"), tmp.filePath("big.swf")});
    ASSERT_EQ(node.exitCode, 0) << node.err.toStdString();
    auto f = CompoundFile::Open(cfbFile, Access::Read);
    ASSERT_TRUE(f);
    const auto movie = f->Find(kRoot, "movie.swf");
    ASSERT_TRUE(movie);
    EXPECT_EQ(movie->name, "Movie.SWF");
    EXPECT_EQ(ReadAll(*f, f->Find(movie->id, "Movie.SWF")->id), a);
    EXPECT_EQ(ReadAll(*f, f->Find(f->Find(kRoot, "b.swf")->id, "b.swf")->id), b);
}

namespace {
void Put32At(QByteArray &b, qsizetype at, quint32 v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = char((v >> (8 * i)) & 0xFF);
}
void Put16At(QByteArray &b, qsizetype at, quint16 v) {
    b[at] = char(v & 0xFF);
    b[at + 1] = char(v >> 8);
}
void PutEntry(QByteArray &b, qsizetype at, const QString &name, int type, int color, quint32 left,
              quint32 right, quint32 child, quint32 start, quint32 size) {
    for (int i = 0; i < name.size(); ++i)
        Put16At(b, at + 2 * i, name[i].unicode());
    Put16At(b, at + 64, quint16((name.size() + 1) * 2));
    b[at + 66] = char(type);
    b[at + 67] = char(color);
    Put32At(b, at + 68, left);
    Put32At(b, at + 72, right);
    Put32At(b, at + 76, child);
    Put32At(b, at + 116, start);
    Put32At(b, at + 120, size);
}
} // namespace

// Version 4 (4096-byte sectors), written here by hand: read, and changed, by us; olefile agrees.
TEST(CompoundFile, ReadsAndChangesVersion4Files) {
    constexpr quint32 kEnd = 0xFFFFFFFE, kNo = 0xFFFFFFFF;
    const qsizetype ss = 4096;
    QByteArray b(ss * 7, '\0');
    const char sig[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
    b.replace(0, 8, QByteArray(sig, 8));
    Put16At(b, 24, 0x3E);
    Put16At(b, 26, 4);
    Put16At(b, 28, 0xFFFE);
    Put16At(b, 30, 12);
    Put16At(b, 32, 6);
    Put32At(b, 40, 1); // directory sectors
    Put32At(b, 44, 1); // FAT sectors
    Put32At(b, 48, 1); // first directory sector
    Put32At(b, 56, 4096);
    Put32At(b, 60, 2); // first mini FAT sector
    Put32At(b, 64, 1);
    Put32At(b, 68, kEnd);
    for (int i = 0; i < 109; ++i)
        Put32At(b, 76 + 4 * i, i == 0 ? 0 : kNo);
    auto sector = [&](int s) { return (s + 1) * ss; };
    for (int i = 0; i < 1024; ++i)
        Put32At(b, sector(0) + 4 * i, kNo);
    const quint32 fat[] = {0xFFFFFFFD, kEnd, kEnd, kEnd, 5, kEnd};
    for (int i = 0; i < 6; ++i)
        Put32At(b, sector(0) + 4 * i, fat[i]);
    PutEntry(b, sector(1), "Root Entry", 5, 1, kNo, kNo, 1, 3, 128);
    PutEntry(b, sector(1) + 128, "small", 2, 1, kNo, 2, kNo, 0, 100);
    PutEntry(b, sector(1) + 256, "big.bin", 2, 0, kNo, kNo, kNo, 4, 5000);
    for (int i = 0; i < 1024; ++i)
        Put32At(b, sector(2) + 4 * i, i == 0 ? 1 : i == 1 ? kEnd : kNo);
    const QByteArray small = PatternBytes(100, 1), big = PatternBytes(5000, 2);
    b.replace(sector(3), small.size(), small);
    b.replace(sector(4), big.size(), big);

    QTemporaryDir tmp;
    const QString path = tmp.filePath("v4.cfb");
    ASSERT_TRUE(WriteFile(path, b));
    {
        auto f = CompoundFile::Open(path, Access::Read);
        ASSERT_TRUE(f);
        EXPECT_EQ(Names(f->Children(kRoot)), (QStringList{"small", "big.bin"}));
        EXPECT_EQ(ReadAll(*f, f->Find(kRoot, "small")->id), small);
        EXPECT_EQ(ReadAll(*f, f->Find(kRoot, "BIG.BIN")->id), big);
    }
    const QByteArray added = PatternBytes(10000, 3), addedSmall = PatternBytes(300, 4);
    {
        auto f = CompoundFile::Open(path, Access::Write);
        ASSERT_TRUE(f);
        ASSERT_TRUE(WriteStream(*f, kRoot, "added", added));
        ASSERT_TRUE(WriteStream(*f, kRoot, "tiny", addedSmall));
        ASSERT_TRUE(f->Destroy(kRoot, "small"));
    }
    const QJsonObject ole = OleView(path);
    EXPECT_TRUE(ole["errors"].toArray().isEmpty());
    const QJsonObject streams = ole["streams"].toObject();
    EXPECT_EQ(streams.keys(), (QStringList{"added", "big.bin", "tiny"}));
    EXPECT_EQ(streams["big.bin"].toString(), Sha1(big));
    EXPECT_EQ(streams["added"].toString(), Sha1(added));
    EXPECT_EQ(streams["tiny"].toString(), Sha1(addedSmall));
}
