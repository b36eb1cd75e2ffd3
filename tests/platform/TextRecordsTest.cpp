#include "platform/TextRecords.h"

#include "support/TestSupport.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace kz;

namespace {
QByteArray Record(const char marker[2], std::uint32_t n, const QByteArray &body) {
    QByteArray out(marker, 2);
    for (int i = 0; i < 4; ++i)
        out.append(char((n >> (8 * i)) & 0xFF));
    return out + body;
}
} // namespace

TEST(TextRecords, EncodesMarkerLengthTextAndZero) {
    const QByteArray bytes = EncodeTextRecord(QStringLiteral("a中"));
    const QByteArray expected("\xFF\xFF\x06\x00\x00\x00"
                              "a\x00\x2D\x4E\x00\x00",
                              12);
    EXPECT_EQ(bytes, expected);
}

TEST(TextRecords, RoundTripsThroughAFile) {
    QTemporaryDir tmp;
    const QString path = tmp.filePath("1list.ini");
    const QStringList rows{QStringLiteral("/home/u/动画/a.swf"), QString(),
                           QStringLiteral("/x/fun.tpl/b.swf")};
    ASSERT_TRUE(WriteTextRecordFile(path, rows));
    EXPECT_EQ(ReadTextRecordFile(path), rows);
    // An empty list gives an empty file, which reads as no records.
    ASSERT_TRUE(WriteTextRecordFile(path, {}));
    EXPECT_EQ(QFile(path).size(), 0);
    EXPECT_EQ(ReadTextRecordFile(path), QStringList());
    EXPECT_EQ(ReadTextRecordFile(tmp.filePath("missing.ini")), std::nullopt);
}

TEST(TextRecords, AcceptsOneMarkerByteAndStopsAtNone) {
    QByteArray bytes = Record("\xFF\x00", 4, QByteArray("x\0\0\0", 4));
    bytes += Record("\x00\xFF", 4, QByteArray("y\0\0\0", 4));
    bytes += Record("\x00\x00", 4, QByteArray("z\0\0\0", 4));
    bytes += EncodeTextRecord("after");
    EXPECT_EQ(ReadTextRecordsFromBytes(bytes), (QStringList{"x", "y"}));
}

TEST(TextRecords, StopsAtShortReadsAndOversizedRecords) {
    const QByteArray good = EncodeTextRecord("good");
    // A length cut short, a text cut short, and a length beyond the buffer each end the reading.
    EXPECT_EQ(ReadTextRecordsFromBytes(good + QByteArray("\xFF\xFF\x02", 3)), QStringList{"good"});
    EXPECT_EQ(ReadTextRecordsFromBytes(good + Record("\xFF\xFF", 10, "ab")), QStringList{"good"});
    EXPECT_EQ(ReadTextRecordsFromBytes(good + Record("\xFF\xFF", 0xFFFFFFF0u, "") + good),
              QStringList{"good"});
    EXPECT_EQ(ReadTextRecordsFromBytes(QByteArray("\xFF", 1)), QStringList());
}

TEST(TextRecords, HoldsLongPathsAndToleratesOddLengths) {
    const QString longPath = QString(4096, QChar(u'p'));
    EXPECT_EQ(ReadTextRecordsFromBytes(EncodeTextRecord(longPath)), QStringList{longPath});
    // A text without its zero, and an odd byte count, still give the characters present.
    EXPECT_EQ(ReadTextRecordsFromBytes(Record("\xFF\xFF", 5, QByteArray("a\0b\0c", 5))),
              QStringList{"ab"});
    EXPECT_EQ(ReadTextRecordsFromBytes(Record("\xFF\xFF", 0, "")), QStringList{QString()});

    // Found by fuzzing: a record of exactly the buffer's size without its zero is read whole,
    // 4097 characters, without reading past it. Such a text is one character longer than a
    // record the reader takes back: written whole it ended a later reading and lost the
    // records behind it, so it is written cut to the longest text the reader takes.
    QByteArray full;
    for (int i = 0; i < 4097; ++i)
        full.append("x\0", 2);
    ASSERT_EQ(std::uint32_t(full.size()), kTextRecordBufferBytes);
    const QString longest(4097, QChar(u'x'));
    EXPECT_EQ(ReadTextRecordsFromBytes(Record("\xFF\xFF", kTextRecordBufferBytes, full)),
              QStringList{longest});
    EXPECT_EQ(ReadTextRecordsFromBytes(EncodeTextRecord(longest) + EncodeTextRecord("next")),
              QStringList({longest.left(kTextRecordMaxChars), "next"}));
    // A surrogate pair across the cut is left out whole.
    const QString pairAtCut = QString(kTextRecordMaxChars - 1, u'y') + QStringLiteral("\U0001F600");
    EXPECT_EQ(ReadTextRecordsFromBytes(EncodeTextRecord(pairAtCut)),
              QStringList{pairAtCut.left(kTextRecordMaxChars - 1)});
}

TEST(TextRecords, WritingIntoAMissingFolderFails) {
    QTemporaryDir tmp;
    EXPECT_FALSE(WriteTextRecordFile(tmp.filePath("nofolder/2list.ini"), {"x"}));
}
