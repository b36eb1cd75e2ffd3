// The search history file: order, bound, and entries whose code units hold a byte 0xFF.

#include "netsearch/SearchHistory.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace kz;

namespace {
constexpr QFile::Permissions kOthersAndGroup(QFile::ReadGroup | QFile::WriteGroup |
                                             QFile::ExeGroup | QFile::ReadOther |
                                             QFile::WriteOther | QFile::ExeOther);
} // namespace

TEST(SearchHistory, MostRecentFirstWithoutDuplicatesAndAtMostForty) {
    QStringList h;
    for (const char *w : {"abc", "xyz", "abc"})
        h = WithSearch(h, w);
    EXPECT_EQ(h, QStringList({"abc", "xyz"}));
    // Exact and case-sensitive.
    h = WithSearch(h, "ABC");
    EXPECT_EQ(h, QStringList({"ABC", "abc", "xyz"}));
    // A file written elsewhere with the words twice: both older copies go.
    EXPECT_EQ(WithSearch({"a", "xyz", "a"}, "a"), QStringList({"a", "xyz"}));

    QTemporaryDir dir;
    const QString path = dir.filePath("sub/slist.data");
    QStringList many;
    for (int i = 0; i < 45; ++i)
        many << QStringLiteral("w%1").arg(i);
    ASSERT_TRUE(SaveHistory(path, many));
    const QStringList back = LoadHistory(path);
    ASSERT_EQ(back.size(), 40);
    EXPECT_EQ(back, many.mid(0, 40));
    // What the user searched for is the user's alone, also over a file others could read.
    EXPECT_EQ(QFile::permissions(path) & kOthersAndGroup, 0);
    QFile::setPermissions(path, QFile::permissions(path) | QFile::ReadGroup | QFile::ReadOther);
    ASSERT_TRUE(SaveHistory(path, {"x"}));
    EXPECT_EQ(QFile::permissions(path) & kOthersAndGroup, 0);
    EXPECT_TRUE(QFile::permissions(path) & QFile::WriteOwner);
}

TEST(SearchHistory, TheFileFormatAndItsOddOffsets) {
    // Each entry: UTF-16LE code units, then one byte 0xFF.
    const QByteArray bytes = FormatHistory({"ab", QStringLiteral("游")});
    EXPECT_EQ(bytes, QByteArray("a\0b\0\xff\x38\x6e\xff", 8));
    EXPECT_EQ(ParseHistory(bytes), QStringList({"ab", QStringLiteral("游")}));

    // "（" is U+FF08: its 0xFF stands at an odd offset from its entry's start, also when the
    // entry itself starts at an odd offset of the file.
    const QStringList withParens = {QStringLiteral("游戏（一）"), QStringLiteral("x（y"),
                                    QStringLiteral("）")};
    QTemporaryDir dir;
    const QString path = dir.filePath("slist.data");
    ASSERT_TRUE(SaveHistory(path, withParens));
    EXPECT_EQ(LoadHistory(path), withParens);

    // What a code-unit reader still cannot tell from a separator: a unit whose low byte is
    // 0xFF ("仿" U+4EFF) ends its entry there.
    EXPECT_NE(ParseHistory(FormatHistory({QStringLiteral("仿")})),
              QStringList{QStringLiteral("仿")});

    // Bytes after the last separator, a half code unit, empty entries: ignored.
    EXPECT_EQ(ParseHistory(QByteArray("a\0\xff\xff"
                                      "b",
                                      5)),
              QStringList({"a"}));
    EXPECT_TRUE(ParseHistory(QByteArray()).isEmpty());
    // A missing file is an empty history.
    EXPECT_TRUE(LoadHistory(dir.filePath("none")).isEmpty());
}

TEST(SearchHistory, LongEntriesAndLongFilesAreBounded) {
    QTemporaryDir dir;
    const QString path = dir.filePath("slist.data");
    ASSERT_TRUE(SaveHistory(path, {QString(600, u'q'), "b"}));
    const QStringList back = LoadHistory(path);
    ASSERT_EQ(back.size(), 2);
    EXPECT_EQ(back.at(0).size(), kHistoryMaxUnits);
    EXPECT_EQ(back.at(1), "b");

    // A huge file is read only as far as 40 full entries go.
    QByteArray huge;
    for (int i = 0; i < 2000; ++i)
        huge += FormatHistory({QStringLiteral("e%1").arg(i)});
    huge += QByteArray(1 << 20, 'x');
    ASSERT_TRUE(test::WriteFile(path, huge));
    const QStringList many = LoadHistory(path);
    EXPECT_GE(many.size(), 40);
    EXPECT_EQ(many.first(), "e0");
    // The file lives in the user's data folder.
    EXPECT_TRUE(HistoryPath().endsWith("/KZPlayer/slist.data"));
}
