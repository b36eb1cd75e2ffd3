// Damaged and hostile compound files, made here from a valid one: every one fails cleanly or
// opens into something that can be walked, read and changed without a crash, in bounded time.

#include "support/StorageTestUtil.h"

#include "platform/storage/CompoundFile.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <random>

using namespace kz;
using namespace kz::test;
using Access = CompoundFile::Access;
constexpr CompoundFile::Id kRoot = CompoundFile::kRootId;

namespace {

quint32 Get32(const QByteArray &b, qsizetype at) {
    quint32 v = 0;
    for (int i = 0; i < 4; ++i)
        v |= quint32(quint8(b[at + i])) << (8 * i);
    return v;
}
void Put32(QByteArray &b, qsizetype at, quint32 v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = char((v >> (8 * i)) & 0xFF);
}
void Put16(QByteArray &b, qsizetype at, quint16 v) {
    b[at] = char(v & 0xFF);
    b[at + 1] = char(v >> 8);
}
qsizetype SectorAt(quint32 s) {
    return (qsizetype(s) + 1) * 512;
}

// root, a.swf/a.swf (3000 bytes, mini stream), b.swf/b.swf (20000 bytes).
QByteArray BaseFile(const QString &dir) {
    const QString path = dir + "/base.tpl";
    {
        auto f = CompoundFile::Create(path);
        for (const auto &[name, size] : {std::pair{"a.swf", 3000}, std::pair{"b.swf", 20000}}) {
            const auto st = f->CreateStorage(kRoot, name);
            const auto s = f->CreateStream(*st, name);
            f->OpenWriter(*s)->Write(PatternBytes(size, size).constData(), size);
        }
    }
    return ReadFile(path);
}

struct Layout {
    quint32 fat0, dir0, dir1;
    qsizetype Entry(int id) const {
        return id < 4 ? SectorAt(dir0) + id * 128 : SectorAt(dir1) + (id - 4) * 128;
    }
    qsizetype FatEntry(quint32 s) const { return SectorAt(fat0) + 4 * s; }
};

Layout LayoutOf(const QByteArray &b) {
    Layout l{Get32(b, 76), Get32(b, 48), 0};
    l.dir1 = Get32(b, l.FatEntry(l.dir0));
    return l;
}

// Opens, walks every element, reads every stream, then tries changes on a writable open.
// Returns whether the read-only open succeeded.
bool Exercise(const QString &path) {
    bool opened = false;
    if (auto f = CompoundFile::Open(path, Access::Read)) {
        opened = true;
        std::vector<CompoundFile::Id> todo{kRoot};
        std::size_t visited = 0;
        char buf[4096];
        while (!todo.empty() && visited < 100000) {
            const auto id = todo.back();
            todo.pop_back();
            for (const auto &e : f->Children(id)) {
                ++visited;
                EXPECT_TRUE(f->Find(id, e.name));
                if (e.kind == CompoundFile::Kind::Storage) {
                    todo.push_back(e.id);
                } else if (auto r = f->OpenReader(e.id)) {
                    while (r->Read(buf, sizeof buf) > 0) {
                    }
                }
            }
        }
    }
    if (auto f = CompoundFile::Open(path, Access::Write)) {
        const QByteArray probe = PatternBytes(5000, 3);
        if (const auto s = f->CreateStream(kRoot, "probe"))
            if (auto w = f->OpenWriter(*s))
                w->Write(probe.constData(), probe.size());
        f->Destroy(kRoot, "a.swf");
        f->Rename(kRoot, "b.swf", "c.swf");
    }
    return opened;
}

} // namespace

TEST(HostileFiles, NamedDamagesFailCleanly) {
    QTemporaryDir tmp;
    const QByteArray base = BaseFile(tmp.path());
    const Layout l = LayoutOf(base);
    ASSERT_NE(l.dir1, 0xFFFFFFFEu);
    struct Case {
        const char *name;
        std::function<void(QByteArray &)> damage;
        bool mustFail; // else it may open, but must then behave
    };
    const std::vector<Case> cases{
        {"signature", [](QByteArray &b) { b[0] = 'X'; }, true},
        {"byte order", [](QByteArray &b) { Put16(b, 28, 0xFEFF); }, true},
        {"sector shift", [](QByteArray &b) { Put16(b, 30, 16); }, true},
        {"mini sector shift", [](QByteArray &b) { Put16(b, 32, 9); }, true},
        {"FAT sector count huge", [](QByteArray &b) { Put32(b, 44, 0x7FFFFFFF); }, true},
        {"FAT sector out of range", [](QByteArray &b) { Put32(b, 76, 0x00FFFFFF); }, true},
        {"DIFAT loops on itself",
         [&](QByteArray &b) {
             Put32(b, 44, 120);
             Put32(b, 72, 3);
             Put32(b, 68, l.dir0);
             Put32(b, SectorAt(l.dir0) + 508, l.dir0);
         },
         true},
        {"directory chain cycle", [&](QByteArray &b) { Put32(b, l.FatEntry(l.dir1), l.dir0); },
         true},
        {"directory start out of range", [](QByteArray &b) { Put32(b, 48, 0x12345678); }, true},
        {"mini FAT chain free", [&](QByteArray &b) { Put32(b, 60, l.dir0 + 100000); }, true},
        {"sibling points to itself", [&](QByteArray &b) { Put32(b, l.Entry(1) + 68, 1); }, true},
        {"sibling points to an ancestor", [&](QByteArray &b) { Put32(b, l.Entry(2) + 72, 1); },
         true},
        {"child points to root", [&](QByteArray &b) { Put32(b, l.Entry(1) + 76, 0); }, true},
        {"child id out of range", [&](QByteArray &b) { Put32(b, l.Entry(0) + 76, 99999); }, true},
        {"root of wrong type", [&](QByteArray &b) { b[l.Entry(0) + 66] = 1; }, true},
        {"unknown entry type", [&](QByteArray &b) { b[l.Entry(1) + 66] = 7; }, true},
        {"name length odd", [&](QByteArray &b) { Put16(b, l.Entry(1) + 64, 11); }, true},
        {"name length over 64", [&](QByteArray &b) { Put16(b, l.Entry(1) + 64, 200); }, true},
        {"name length zero", [&](QByteArray &b) { Put16(b, l.Entry(1) + 64, 0); }, true},
        {"name with slash", [&](QByteArray &b) { b[l.Entry(1) + 2] = '/'; }, true},
        {"name with colon", [&](QByteArray &b) { b[l.Entry(1) + 2] = ':'; }, true},
        {"name with bang", [&](QByteArray &b) { b[l.Entry(1) + 2] = '!'; }, true},
        {"name of 32 characters",
         [&](QByteArray &b) {
             for (int i = 0; i < 32; ++i)
                 Put16(b, l.Entry(1) + 2 * i, 'x');
             Put16(b, l.Entry(1) + 64, 66);
         },
         true},
        {"stream size beyond the file",
         [&](QByteArray &b) { Put32(b, l.Entry(4) + 120, 0xFFFFFFF0); }, true},
        {"mini stream beyond the file",
         [&](QByteArray &b) { Put32(b, l.Entry(0) + 120, 0x7FFFFFC0); }, true},
        {"mini stream size larger than its chain",
         [&](QByteArray &b) { Put32(b, l.Entry(0) + 120, 64 * 1024); }, true},
        {"stream chain loops",
         [&](QByteArray &b) {
             const quint32 start = Get32(b, l.Entry(4) + 116);
             Put32(b, l.FatEntry(Get32(b, l.FatEntry(start))), start);
         },
         false},
        {"stream chain ends early",
         [&](QByteArray &b) { Put32(b, l.FatEntry(Get32(b, l.Entry(4) + 116)), 0xFFFFFFFE); },
         false},
        {"stream start out of range",
         [&](QByteArray &b) { Put32(b, l.Entry(4) + 116, 0x00ABCDEF); }, false},
        {"mini stream start out of range", [&](QByteArray &b) { Put32(b, l.Entry(2) + 116, 5000); },
         false},
        {"header only", [](QByteArray &b) { b.truncate(512); }, true},
        {"shorter than a header", [](QByteArray &b) { b.truncate(300); }, true},
    };
    for (const Case &c : cases) {
        QByteArray bad = base;
        c.damage(bad);
        const QString path = tmp.filePath("bad.tpl");
        ASSERT_TRUE(WriteFile(path, bad));
        const bool opened = Exercise(path);
        if (c.mustFail) {
            EXPECT_FALSE(opened) << c.name;
        }
        // Whatever opened must not hand out the damaged stream as if whole.
        if (opened && !c.mustFail) {
            ASSERT_TRUE(WriteFile(path, bad));
            auto f = CompoundFile::Open(path, Access::Read);
            ASSERT_TRUE(f) << c.name;
            const auto st = f->Find(kRoot, QString::fromLatin1(c.name).startsWith("mini")
                                               ? QStringLiteral("a.swf")
                                               : QStringLiteral("b.swf"));
            ASSERT_TRUE(st) << c.name;
            const auto s = f->Find(st->id, st->name);
            ASSERT_TRUE(s) << c.name;
            EXPECT_FALSE(f->OpenReader(s->id)) << c.name;
        }
    }
}

TEST(HostileFiles, TruncationsAndRandomDamageNeverCrash) {
    QTemporaryDir tmp;
    const QByteArray base = BaseFile(tmp.path());
    const QString path = tmp.filePath("fuzz.tpl");
    for (qsizetype cut = 0; cut < base.size(); cut += 173) {
        ASSERT_TRUE(WriteFile(path, base.left(cut)));
        Exercise(path);
    }
    std::mt19937 rng(20261207);
    int opened = 0;
    for (int round = 0; round < 400; ++round) {
        QByteArray bad = base;
        const int flips = 1 + int(rng() % 8);
        // Damage lands on the structures (header, FAT, directory) most of the time.
        for (int i = 0; i < flips; ++i) {
            const qsizetype at = (rng() % 4 == 0)
                                     ? qsizetype(rng() % bad.size())
                                     : qsizetype(rng() % std::min<qsizetype>(2048, bad.size()));
            bad[at] = char(rng() & 0xFF);
        }
        ASSERT_TRUE(WriteFile(path, bad));
        opened += Exercise(path) ? 1 : 0;
    }
    // Some damage is harmless, so some files still open.
    EXPECT_GT(opened, 0);
}

// A sparse file that claims a huge size, or a FAT far larger than any file needs, is refused
// before anything of that size is allocated.
TEST(HostileFiles, HugeClaimsAreRefusedWithoutHugeAllocations) {
    QTemporaryDir tmp;
    QByteArray bad = BaseFile(tmp.path());
    Put32(bad, 44, 0x00100000);
    const QString path = tmp.filePath("sparse.tpl");
    ASSERT_TRUE(WriteFile(path, bad));
    QFile f(path);
    for (const qint64 size : {qint64(1) << 30, qint64(64) << 30}) {
        ASSERT_TRUE(f.resize(size));
        EXPECT_FALSE(Exercise(path)) << size;
    }
}

// The mini FAT never needs more sectors than it takes to describe the mini stream (the root's
// size ÷ 64 entries). A chain that runs on past those — into a loop, out of the file, or into
// the directory — is read only that far: the file opens, its mini streams read right, and
// changes keep it whole for an independent reader (which reads as many mini FAT sectors as the
// header counts).
TEST(HostileFiles, MiniFatChainIsCappedByTheMiniStreamSize) {
    QTemporaryDir tmp;
    const QByteArray base = BaseFile(tmp.path());
    const Layout l = LayoutOf(base);
    const quint32 miniFat0 = Get32(base, 60);
    ASSERT_EQ(Get32(base, 64), 1u);
    ASSERT_EQ(Get32(base, l.FatEntry(miniFat0)), 0xFFFFFFFEu);
    const QByteArray a = PatternBytes(3000, 3000), b = PatternBytes(20000, 20000);
    for (const quint32 next : {miniFat0, 0x00FFFFF0u, l.dir0}) {
        QByteArray bad = base;
        Put32(bad, l.FatEntry(miniFat0), next);
        const QString path = tmp.filePath(QStringLiteral("mini%1.tpl").arg(next));
        ASSERT_TRUE(WriteFile(path, bad));
        {
            auto f = CompoundFile::Open(path, Access::Read);
            ASSERT_TRUE(f) << next;
            const auto st = f->Find(kRoot, "a.swf");
            ASSERT_TRUE(st);
            auto r = f->OpenReader(f->Find(st->id, "a.swf")->id);
            ASSERT_TRUE(r);
            QByteArray got(3000, '\0');
            EXPECT_EQ(r->Read(got.data(), got.size()), 3000);
            EXPECT_EQ(got, a);
        }
        EXPECT_TRUE(Exercise(path)) << next; // adds "probe", drops a.swf, b.swf becomes c.swf
        const QJsonObject ole = OleStreams(path);
        EXPECT_EQ(ole["c.swf/b.swf"].toString(), Sha1(b)) << next;
        EXPECT_EQ(ole["probe"].toString(), Sha1(PatternBytes(5000, 3))) << next;
        EXPECT_FALSE(ole.contains("a.swf/a.swf"));
    }
}
