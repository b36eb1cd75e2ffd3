#include "shell/HandOver.h"
#include "shell/SingleInstance.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QThread>

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <thread>

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
