// The walk of a made tree and the movie test: the size limit, letter case, files that only look
// like movies, links, pipes, unreadable and foreign folders, the stop flag and the process's
// current folder; drives mounted inside the tree and folders bound twice.

#include "search/FileWalk.h"
#include "search/FixedDisks.h"
#include "search/LocalSearch.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kz;
using namespace kz::test;

namespace {

constexpr int kFilterKb = 3;
constexpr qsizetype kLimit = kFilterKb * 1024;

QString Cwd() {
    char buf[4096];
    return getcwd(buf, sizeof buf) ? QString::fromLocal8Bit(buf) : QString();
}

QStringList Search(const QString &root, std::int64_t minBytes = kLimit,
                   const std::atomic<bool> *stop = nullptr) {
    QStringList hits;
    SearchFolder(root, minBytes, stop, [&](const MovieHit &hit) { hits << hit.path; });
    return hits;
}

// The tree every case below looks at.
class MadeTree : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_root = m_dir.path() + "/tree";
        const QString r = m_root;
        ASSERT_TRUE(WriteFile(r + "/exact.swf", MovieOfSize(kLimit)));
        ASSERT_TRUE(WriteFile(r + "/short.swf", MovieOfSize(kLimit - 1)));
        ASSERT_TRUE(WriteFile(r + "/b/A.SWF", MovieOfSize(kLimit + 500)));
        ASSERT_TRUE(WriteFile(r + "/b/x.swf", QByteArray(kLimit * 2, 't')));
        ASSERT_TRUE(WriteFile(r + "/b/movie.swf.txt", MovieOfSize(kLimit)));
        SwfSpec noLength;
        noLength.declaredLength = 0; // damaged: declares no length
        QByteArray damaged = BuildSwf(noLength);
        damaged += QByteArray(kLimit, '\0');
        ASSERT_TRUE(WriteFile(r + "/b/damaged.swf", damaged));
        // A compressed movie whose body is no zlib stream is still a movie by its header
        // (defaults for what could not be read), as the player treats it.
        QByteArray cws = MovieOfSize(kLimit);
        cws[0] = 'C';
        ASSERT_TRUE(WriteFile(r + "/b/garbled-cws.swf", cws));
        // A folder named like a movie is walked, not read.
        ASSERT_TRUE(WriteFile(r + "/c.swf/inner.swf", MovieOfSize(kLimit)));
        ASSERT_TRUE(QDir().mkpath(r + "/a/deeper"));
        ASSERT_TRUE(WriteFile(r + "/a/deeper/z.swf", MovieOfSize(kLimit)));
        // A loop and a link to a movie: neither is followed.
        ASSERT_EQ(symlink("..", QFile::encodeName(r + "/a/deeper/loop").constData()), 0);
        ASSERT_EQ(symlink(QFile::encodeName(r + "/exact.swf").constData(),
                          QFile::encodeName(r + "/a/link.swf").constData()),
                  0);
        // A pipe named like a movie: opening it for reading would wait for a writer.
        ASSERT_EQ(mkfifo(QFile::encodeName(r + "/a/f.swf").constData(), 0644), 0);
    }

    QTemporaryDir m_dir;
    QString m_root;
};

} // namespace

TEST_F(MadeTree, FindsQualifyingMoviesInWalkOrder) {
    const QString before = Cwd();
    QStringList seenCwd;
    QStringList hits;
    const WalkResult result = SearchFolder(m_root, kLimit, nullptr, [&](const MovieHit &hit) {
        hits << hit.path;
        seenCwd << Cwd();
        EXPECT_EQ(hit.length, QFileInfo(hit.path).size());
        EXPECT_TRUE(IsPlayableMovie(hit.header));
    });
    EXPECT_EQ(result, WalkResult::Done);
    // Files of a folder first, then its sub-folders, names in byte order. Exactly the limit is
    // enough, one byte less is not; the capital extension counts; the text file, the damaged
    // movie, the link, the loop and the pipe do not.
    const QString r = m_root + '/';
    EXPECT_EQ(hits, (QStringList{r + "exact.swf", r + "a/deeper/z.swf", r + "b/A.SWF",
                                 r + "b/garbled-cws.swf", r + "c.swf/inner.swf"}));
    // The process's current folder never moves, during the walk or after.
    EXPECT_EQ(seenCwd, QStringList(hits.size(), before));
    EXPECT_EQ(Cwd(), before);
}

TEST_F(MadeTree, SizeLimitIsCheckedBeforeTheHeaderAndIsSixtyFourBit) {
    EXPECT_EQ(MinMovieBytes(100), 102400);
    EXPECT_EQ(MinMovieBytes(0), 0);
    EXPECT_EQ(MinMovieBytes(-5), 0);
    EXPECT_EQ(MinMovieBytes(std::int64_t(3) << 31), (std::int64_t(3) << 31) * 1024);
    EXPECT_GT(MinMovieBytes(std::numeric_limits<std::int64_t>::max()), 0);
    // A limit above every file finds nothing; no limit finds the short movie too.
    EXPECT_TRUE(Search(m_root, MinMovieBytes(std::int64_t(1) << 40)).isEmpty());
    EXPECT_TRUE(Search(m_root, 0).contains(m_root + "/short.swf"));

    // A file too short is not read at all: the bytes in a pipe stay where they are.
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const QByteArray movie = MovieOfSize(200);
    ASSERT_EQ(write(fds[1], movie.constData(), size_t(movie.size())), movie.size());
    EXPECT_FALSE(TestMovie(fds[0], movie.size(), movie.size() + 1));
    char back[512];
    EXPECT_EQ(read(fds[0], back, sizeof back), movie.size());
    close(fds[0]);
    close(fds[1]);
    // By path, a pipe or a link is not opened as a movie at all.
    EXPECT_FALSE(TestMovieFile(m_root + "/a/f.swf", 0));
    EXPECT_FALSE(TestMovieFile(m_root + "/a/link.swf", 0));
    std::int64_t length = 0;
    EXPECT_TRUE(TestMovieFile(m_root + "/exact.swf", kLimit, &length));
    EXPECT_EQ(length, kLimit);
}

TEST_F(MadeTree, StopFlagEndsTheWalkAndMissingRootsAreReported) {
    std::atomic<bool> stop{false};
    QStringList hits;
    const WalkResult result = SearchFolder(m_root, kLimit, &stop, [&](const MovieHit &hit) {
        hits << hit.path;
        stop = true;
    });
    EXPECT_EQ(result, WalkResult::Stopped);
    EXPECT_EQ(hits, QStringList{m_root + "/exact.swf"});
    std::atomic<bool> already{true};
    EXPECT_EQ(SearchFolder(m_root, 0, &already, [](const MovieHit &) { FAIL(); }),
              WalkResult::Stopped);

    EXPECT_EQ(SearchFolder(m_root + "/nothing", 0, nullptr, {}), WalkResult::NotAFolder);
    EXPECT_EQ(SearchFolder(m_root + "/exact.swf", 0, nullptr, {}), WalkResult::NotAFolder);
    EXPECT_EQ(SearchFolder(QString(), 0, nullptr, {}), WalkResult::NotAFolder);
    // A root given as a link to a folder is walked (the user named it); below it none is.
    const QString rootLink = m_dir.path() + "/rootlink";
    ASSERT_EQ(symlink(QFile::encodeName(m_root + "/b").constData(),
                      QFile::encodeName(rootLink).constData()),
              0);
    EXPECT_EQ(Search(rootLink), (QStringList{rootLink + "/A.SWF", rootLink + "/garbled-cws.swf"}));
}

TEST(FileWalk, DepthIsBoundedAndEveryFolderIsClosed) {
    QTemporaryDir dir;
    QString path = dir.path();
    for (int i = 0; i < 12; ++i) {
        path += "/d";
        ASSERT_TRUE(WriteFile(path + "/m.swf", MovieOfSize(100)));
    }
    const auto openFds = [] {
        return QDir("/proc/self/fd")
            .entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System)
            .size();
    };
    const qsizetype fdsBefore = openFds();
    int found = 0;
    WalkLimits limits;
    limits.maxDepth = 4;
    WalkMovieFiles(
        dir.path(), nullptr, [&](const WalkFile &) { ++found; }, limits);
    EXPECT_EQ(found, 4); // the levels 1 to 4 below the root; deeper ones are passed over
    found = 0;
    WalkMovieFiles(dir.path(), nullptr, [&](const WalkFile &) { ++found; });
    EXPECT_EQ(found, 12);
    EXPECT_EQ(openFds(), fdsBefore);

    EXPECT_TRUE(HasSwfExtension(QStringLiteral("a.Swf")));
    EXPECT_TRUE(HasSwfExtension(".swf", 4));
    EXPECT_FALSE(HasSwfExtension("swf", 3));
    EXPECT_FALSE(HasSwfExtension("a.swfx", 6));
    EXPECT_FALSE(HasSwfExtension("a_swf", 5));
}

// Without a say of the caller's, a walk (the disk search's) does not enter another file system
// mounted inside the tree: /dev/shm inside /dev.
TEST(FileWalk, StaysOnItsFileSystem) {
    struct stat dev, shm;
    if (stat("/dev", &dev) != 0 || stat("/dev/shm", &shm) != 0 || dev.st_dev == shm.st_dev)
        GTEST_SKIP() << "/dev/shm is no mount of its own here";
    QTemporaryDir inShm(QStringLiteral("/dev/shm/kzwalk-XXXXXX"));
    ASSERT_TRUE(inShm.isValid());
    ASSERT_TRUE(WriteFile(inShm.path() + "/m.swf", MovieOfSize(100)));
    EXPECT_EQ(Search(inShm.path(), 0), QStringList{inShm.path() + "/m.swf"});
    QStringList hits;
    WalkMovieFiles("/dev", nullptr, [&](const WalkFile &file) { hits << file.path; });
    EXPECT_FALSE(hits.contains(inShm.path() + "/m.swf"));
}

namespace {

// Runs `work` in a child process once `prepare` (in the child) says nothing; its lines, or
// what `prepare` said, or "FAILED child".
QStringList LinesFromChild(const std::function<QString()> &prepare,
                           const std::function<QStringList()> &work) {
    int fds[2];
    if (pipe(fds) != 0)
        return {"SKIP no pipe"};
    const pid_t child = fork();
    if (child < 0)
        return {"SKIP no fork"};
    if (child == 0) {
        close(fds[0]);
        const QString refused = prepare();
        const QStringList lines = refused.isEmpty() ? work() : QStringList{refused};
        const QByteArray out = lines.join('\n').toUtf8();
        const bool ok = write(fds[1], out.constData(), size_t(out.size())) == out.size();
        _exit(ok ? 0 : 4);
    }
    close(fds[1]);
    QByteArray got;
    char buf[1024];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;)
        got.append(buf, n);
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return {"FAILED child"};
    return QString::fromUtf8(got).split('\n', Qt::SkipEmptyParts);
}

// Runs `work` in a child process with a mount namespace of its own, so its mounts vanish with
// it and nobody else sees them; its lines, or "SKIP ..." where mounts cannot be made here.
QStringList InOwnMountNamespace(const std::function<QStringList()> &work) {
    return LinesFromChild(
        [] {
            return unshare(CLONE_NEWNS) != 0 ||
                           mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
                       ? QStringLiteral("SKIP no mount namespace")
                       : QString();
        },
        work);
}

bool Mount(const QString &source, const QString &target, const char *type, unsigned long flags) {
    return QDir().mkpath(target) &&
           mount(QFile::encodeName(source).constData(), QFile::encodeName(target).constData(), type,
                 flags, nullptr) == 0;
}

} // namespace

// The folder search goes into a drive mounted below its folder (a tmpfs here); a folder bound
// to a second place, or a drive mounted twice, is visited once. The disk search walks each
// mounted tree on its own and lists a folder reached from two of them once.
TEST(FileWalk, FolderSearchEntersMountedDrivesAndVisitsEachFolderOnce) {
    QTemporaryDir dir;
    const QString r = dir.path() + "/tree";
    ASSERT_TRUE(WriteFile(r + "/top.swf", MovieOfSize(100)));
    ASSERT_TRUE(WriteFile(r + "/a/a.swf", MovieOfSize(100)));
    const QStringList lines = InOwnMountNamespace([&]() -> QStringList {
        if (!Mount("kzwalk", r + "/drive", "tmpfs", 0))
            return {"SKIP no tmpfs mount"};
        if (!WriteFile(r + "/drive/in.swf", MovieOfSize(100)) ||
            !WriteFile(r + "/drive/sub/deep.swf", MovieOfSize(100)) ||
            !Mount(r + "/drive", r + "/mirror", nullptr, MS_BIND) ||
            !Mount(r + "/a", r + "/z/again", nullptr, MS_BIND))
            return {"SKIP no bind mount"};
        QStringList out;
        for (const QString &hit : Search(r, 0))
            out << "folder " + hit;
        const auto disks = [&](const QStringList &roots, const QString &tag) {
            SearchDisks(roots, 0, nullptr, [&](const MovieHit &hit) { out << tag + hit.path; });
        };
        disks({r}, "one ");
        disks({r, r + "/drive", r + "/mirror"}, "three ");
        return out;
    });
    if (!lines.isEmpty() && lines.first().startsWith("SKIP"))
        GTEST_SKIP() << lines.first().toStdString();
    const QStringList inDrive{r + "/drive/in.swf", r + "/drive/sub/deep.swf"};
    QStringList want;
    for (const QString &hit : QStringList{r + "/top.swf", r + "/a/a.swf"} + inDrive)
        want << "folder " + hit;
    for (const QString &hit : QStringList{r + "/top.swf", r + "/a/a.swf"})
        want << "one " + hit;
    for (const QString &hit : QStringList{r + "/top.swf", r + "/a/a.swf"} + inDrive)
        want << "three " + hit;
    EXPECT_EQ(lines, want);
}

// Which mounted file systems the folder search enters, by a made mount table; a device the
// table does not name after a second read is judged by statfs.
TEST(FileWalk, WhichMountedFileSystemsTheFolderSearchEnters) {
    int reads = 0;
    QByteArray table;
    const struct {
        int minor;
        const char *type;
        bool enter;
    } cases[] = {{40, "tmpfs", true},     {41, "ext4", true},     {42, "fuseblk", true},
                 {43, "btrfs", true},     {44, "vfat", true},     {45, "zfs", true},
                 {46, "overlay", true},   {50, "proc", false},    {51, "sysfs", false},
                 {52, "devtmpfs", false}, {53, "cgroup2", false}, {54, "devpts", false},
                 {55, "nfs4", false},     {56, "cifs", false},    {57, "fuse.sshfs", false},
                 {58, "fuse", false},     {59, "9p", false},      {60, "debugfs", false}};
    for (const auto &c : cases)
        table +=
            QStringLiteral("%1 1 0:%1 / /m/%1 rw - %2 src rw\n").arg(c.minor).arg(c.type).toUtf8();
    MountedFileSystems mounts([&] {
        ++reads;
        return table;
    });
    for (const auto &c : cases)
        EXPECT_EQ(mounts.MayEnter(-1, makedev(0, unsigned(c.minor))), c.enter) << c.type;
    EXPECT_EQ(reads, 1);

    // Mounted after the first read: the table is read again.
    table += "70 1 0:70 / /m/late rw - nfs server:/x rw\n";
    EXPECT_FALSE(mounts.MayEnter(-1, makedev(0, 70)));
    EXPECT_EQ(reads, 2);
    // Named nowhere: by the kind of the file system the descriptor is on.
    QTemporaryDir dir;
    const int proc = open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const int tmp =
        open(QFile::encodeName(dir.path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(proc, 0);
    ASSERT_GE(tmp, 0);
    EXPECT_FALSE(mounts.MayEnter(proc, makedev(0, 90)));
    EXPECT_TRUE(mounts.MayEnter(tmp, makedev(0, 91)));
    EXPECT_FALSE(mounts.MayEnter(-1, makedev(0, 92)));
    close(proc);
    close(tmp);
    // Each device is decided once.
    const int before = reads;
    EXPECT_TRUE(mounts.MayEnter(-1, makedev(0, 91)));
    EXPECT_EQ(reads, before);
}

// A folder the searching user may not read is passed over silently. Root reads everything, so
// then the walk runs in a child process as an unprivileged user.
TEST(FileWalk, UnreadableFolderIsSkipped) {
    char tmpl[] = "/tmp/kzwalk-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const QString root = QString::fromLocal8Bit(tmpl);
    ASSERT_TRUE(WriteFile(root + "/open/m.swf", MovieOfSize(100)));
    ASSERT_TRUE(WriteFile(root + "/shut/s.swf", MovieOfSize(100)));
    ASSERT_TRUE(WriteFile(root + "/z.swf", MovieOfSize(100)));
    for (const char *p : {"", "/open"})
        chmod(QFile::encodeName(root + p).constData(), 0755);
    for (const char *p : {"/open/m.swf", "/z.swf"})
        chmod(QFile::encodeName(root + p).constData(), 0644);
    chmod(QFile::encodeName(root + "/shut").constData(), 0);

    const QStringList want{root + "/z.swf", root + "/open/m.swf"};
    if (geteuid() != 0) {
        EXPECT_EQ(Search(root, 0), want);
    } else {
        // As nobody, the shut folder is unreadable.
        const QStringList got = LinesFromChild(
            [] {
                return setgid(65534) != 0 || setuid(65534) != 0 ? QStringLiteral("FAILED setuid")
                                                                : QString();
            },
            [&] { return Search(root, 0); });
        EXPECT_EQ(got, want);
    }
    chmod(QFile::encodeName(root + "/shut").constData(), 0755);
    QDir(root).removeRecursively();
}

// The header read through the walk's descriptor is the player's header read, movie by movie.
TEST(FileWalk, DescriptorReadsMatchThePathReaderOverTheCorpus) {
    const QStringList files = CorpusFiles();
    ASSERT_FALSE(files.isEmpty());
    int playable = 0;
    for (const QString &path : files) {
        SwfHeaderInfo byPath;
        ReadSwfHeader(path, byPath);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        file.seek(5); // wherever the file stands, the read starts at its beginning
        SwfHeaderInfo byFile;
        ReadSwfHeader(file, byFile);
        EXPECT_EQ(byFile, byPath) << path.toStdString();
        const auto tested = TestMovieFile(path, 0);
        EXPECT_EQ(bool(tested), IsPlayableMovie(byPath)) << path.toStdString();
        playable += tested ? 1 : 0;
    }
    EXPECT_GT(playable, 0);
}
