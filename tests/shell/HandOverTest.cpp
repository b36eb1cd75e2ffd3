#include "shell/HandOver.h"
#include "shell/SingleInstance.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalSocket>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QThread>

#include "platform/Paths.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <thread>
#include <unistd.h>

using namespace kz;

namespace {} // namespace

TEST(HandOver, FileNamesTravelAsUtf16WithTheirZero) {
    EXPECT_EQ(FileNameBytes(""), QByteArray(2, '\0')) << "no name: just the zero";
    const QByteArray b = FileNameBytes(u"/电影/a.swf"_qs);
    EXPECT_EQ(b.size(), (9 + 1) * 2);
    EXPECT_EQ(b.mid(0, 2), QByteArray("/\0", 2));
    EXPECT_EQ(FileNameFromBytes(b), u"/电影/a.swf"_qs);
    EXPECT_EQ(FileNameFromBytes(QByteArray(2, '\0')), "");
    // Without a zero, or with text after it.
    EXPECT_EQ(FileNameFromBytes(QByteArray("a\0b\0", 4)), "ab");
    EXPECT_EQ(FileNameFromBytes(QByteArray("a\0\0\0b\0", 6)), "a");
    EXPECT_FALSE(FileNameFromBytes(QByteArray("abc", 3)).has_value()) << "odd byte count";
}

TEST(HandOver, ReaderSplitsAStreamAndRefusesHugeCounts) {
    const HandOverRecord a{0, FileNameBytes("/x.swf")};
    const HandOverRecord b{0x8888, {}};
    const QByteArray stream = EncodeRecord(a) + EncodeRecord(b);
    HandOverReader r;
    // Byte by byte: records appear only when complete.
    int got = 0;
    for (char c : stream) {
        r.Append(QByteArray(1, c));
        while (auto rec = r.Next()) {
            EXPECT_EQ(*rec, got == 0 ? a : b);
            ++got;
        }
    }
    EXPECT_EQ(got, 2);
    EXPECT_FALSE(r.Failed());

    HandOverReader bad;
    bad.Append(QByteArray("\0\0\0\0\xff\xff\xff\x7f", 8));
    EXPECT_FALSE(bad.Next().has_value());
    EXPECT_TRUE(bad.Failed());
    bad.Append(EncodeRecord(a));
    EXPECT_FALSE(bad.Next().has_value()) << "a failed stream stays failed";

    // Data words other than the file's and the FTP client's end the stream, even after a
    // good record, and as soon as the word is there (before its bytes).
    for (const quint32 word : {1u, 0x8887u, 0x8889u, 0x88880000u, 0xFFFFFFFFu}) {
        HandOverReader other;
        other.Append(EncodeRecord(a) + EncodeRecord({word, FileNameBytes("/y.swf")}).left(8));
        EXPECT_EQ(other.Next(), a);
        EXPECT_FALSE(other.Next().has_value()) << word;
        EXPECT_TRUE(other.Failed()) << word;
    }
}

TEST(SingleInstance, SecondStartHandsItsRecordToTheFirst) {
    QTemporaryDir dir;
    SingleInstance first(dir.path());
    ASSERT_TRUE(first.TryBecomeFirst());
    EXPECT_TRUE(first.TryBecomeFirst()) << "asking again keeps the lock";
    SingleInstance second(dir.path());
    EXPECT_FALSE(second.TryBecomeFirst());

    QList<QPair<quint32, QByteArray>> received;
    QObject::connect(&first, &SingleInstance::RecordReceived, [&](quint32 w, const QByteArray &d) {
        received.append({w, d});
    });

    // Not listening yet: the second start retries, and gives up after its tries.
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(second.SendToFirst({0, FileNameBytes("/a.swf")}, 3, 20));
    EXPECT_LT(t.elapsed(), 3000);

    // It keeps trying while the first finishes its start-up, then gets through.
    bool sent = false;
    std::thread sender([&] { sent = second.SendToFirst({0, FileNameBytes("/b.swf")}, 99, 20); });
    QThread::msleep(200);
    ASSERT_TRUE(first.Listen());
    EXPECT_TRUE(test::PumpUntil([&] { return !received.isEmpty(); }));
    sender.join();
    EXPECT_TRUE(sent);
    ASSERT_EQ(received.size(), 1);
    EXPECT_EQ(received[0].first, 0u);
    EXPECT_EQ(FileNameFromBytes(received[0].second), "/b.swf");

    // A hostile client cannot make the first instance hold a huge record.
    QLocalSocket evil;
    evil.connectToServer(first.ServerPath());
    ASSERT_TRUE(evil.waitForConnected(1000));
    evil.write(QByteArray("\0\0\0\0\xff\xff\xff\xff", 8) + QByteArray(1000, 'x'));
    evil.waitForBytesWritten(1000);
    EXPECT_TRUE(
        test::PumpUntil([&] { return evil.state() == QLocalSocket::UnconnectedState; }, 3000));
    EXPECT_EQ(received.size(), 1);

    // Nor hand over a record of a kind the player does not know.
    QLocalSocket other;
    other.connectToServer(first.ServerPath());
    ASSERT_TRUE(other.waitForConnected(1000));
    other.write(EncodeRecord({7, FileNameBytes("/c.swf")}));
    other.waitForBytesWritten(1000);
    EXPECT_TRUE(
        test::PumpUntil([&] { return other.state() == QLocalSocket::UnconnectedState; }, 3000));
    EXPECT_EQ(received.size(), 1);
}

// The lock and the socket live in the session's runtime folder when it is a private one, and
// otherwise in the private temporary folder: never under a fixed name in /tmp that another
// user could take first.
TEST(SingleInstance, WithoutARuntimeFolderThePrivateTemporaryFolder) {
    QTemporaryDir dir;
    const QByteArray oldRuntime = qgetenv("XDG_RUNTIME_DIR"), oldTmp = qgetenv("TMPDIR");
    const bool hadRuntime = qEnvironmentVariableIsSet("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", QFile::encodeName(dir.filePath("tmp")));
    ASSERT_TRUE(QDir().mkpath(dir.filePath("tmp")));
    const QString privateTemp = TempFolder();
    ASSERT_FALSE(privateTemp.isEmpty());

    qunsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(QDir(SingleInstance::DefaultFolder()), QDir(privateTemp));
    {
        SingleInstance first(SingleInstance::DefaultFolder());
        ASSERT_TRUE(first.TryBecomeFirst());
        ASSERT_TRUE(first.Listen());
        EXPECT_TRUE(QFileInfo(first.ServerPath()).absolutePath().startsWith(dir.path()));
        EXPECT_EQ(QFileInfo(privateTemp).permissions() & 0x0077, 0) << "only the user";
        SingleInstance second(SingleInstance::DefaultFolder());
        EXPECT_FALSE(second.TryBecomeFirst());
    }
    qputenv("XDG_RUNTIME_DIR", "");
    EXPECT_EQ(QDir(SingleInstance::DefaultFolder()), QDir(privateTemp));
    qputenv("XDG_RUNTIME_DIR", "relative/run");
    EXPECT_EQ(QDir(SingleInstance::DefaultFolder()), QDir(privateTemp));
    // A runtime folder others may write to is no private one.
    const QString open = dir.filePath("open");
    ASSERT_TRUE(QDir().mkpath(open));
    ASSERT_TRUE(QFile::setPermissions(open, QFileDevice::Permissions(0x7777)));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(open));
    EXPECT_EQ(QDir(SingleInstance::DefaultFolder()), QDir(privateTemp));
    // A private one is used as it is.
    const QString run = dir.filePath("run");
    ASSERT_TRUE(QDir().mkpath(run));
    ASSERT_TRUE(QFile::setPermissions(run, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                               QFileDevice::ExeOwner));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(run));
    EXPECT_EQ(QDir(SingleInstance::DefaultFolder()), QDir(run));

    // No private place at all: the player runs on its own rather than share a name.
    qputenv("TMPDIR", QFile::encodeName(open)); // a foreign-looking KZPlayer-<uid> link inside
    ASSERT_TRUE(QFile::link("/", open + QStringLiteral("/KZPlayer-%1").arg(::getuid())));
    qunsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(SingleInstance::DefaultFolder(), "");
    SingleInstance alone(SingleInstance::DefaultFolder());
    EXPECT_TRUE(alone.TryBecomeFirst());
    EXPECT_FALSE(alone.Listen());

    if (hadRuntime)
        qputenv("XDG_RUNTIME_DIR", oldRuntime);
    else
        qunsetenv("XDG_RUNTIME_DIR");
    if (oldTmp.isEmpty())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", oldTmp);
}

TEST(SingleInstance, ALockLeftByADeadProcessIsTakenOver) {
    QTemporaryDir dir;
    {
        SingleInstance crashed(dir.path());
        ASSERT_TRUE(crashed.TryBecomeFirst());
        ASSERT_TRUE(crashed.Listen());
    }
    // A lock file naming a process that no longer runs.
    QFile lock(dir.filePath("KZPlayer.lock"));
    ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
    lock.write("999999\nKZPlayer\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    lock.close();
    SingleInstance next(dir.path());
    EXPECT_TRUE(next.TryBecomeFirst());
    EXPECT_TRUE(next.Listen()) << "a socket file left behind does not block the server";
}
