#include "playlist/ListFileInfo.h"
#include "platform/Paths.h"
#include "platform/TextRecords.h"
#include "playlist/ListFile.h"
#include "support/TestSupport.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace kz;
using namespace kz::test;

TEST(ListFileInfo, KeysMatchAnywhereFirstKeyWinsValueAfterLastEquals) {
    const ListFileInfo info = ParseListFileInfo({
        "KZNAME=first",
        "xx KZNAME=second",            // the key may stand anywhere; the later one wins
        "KZEMAIL=a@b.cn KZNAME=third", // the name key is tested first
        "KZEMAIL=me@example.cn",
        "KZMSN=msn",
        "KZOTHER=",
        "KZWEB=http://x.cn/p?a=b", // the value starts after the last "="
        "KZDETAIL=动画合集",
        "KZNAME without equals",
        "unrelated",
    });
    EXPECT_EQ(info.sharer, "third");
    EXPECT_EQ(info.email, "me@example.cn");
    EXPECT_EQ(info.msn, "msn");
    EXPECT_EQ(info.other, "");
    EXPECT_EQ(info.web, "b");
    EXPECT_EQ(info.details, "动画合集");
}

TEST(ListFileInfo, ReadFromTheInformationEntry) {
    QTemporaryDir tmp;
    const QString list = tmp.filePath("shared.tpl");
    ASSERT_TRUE(CreateListFile(list));
    ListFileInfo info;
    info.sharer = "stale";
    EXPECT_FALSE(ReadListFileInfo(list, info));
    EXPECT_EQ(info.sharer, "");
    EXPECT_FALSE(ReadListFileInfo(tmp.filePath("none.tpl"), info));

    const QString record = tmp.filePath("src/KZinfo.data");
    ASSERT_TRUE(WriteFile(record, QByteArray()));
    ASSERT_TRUE(WriteTextRecordFile(record, {"KZNAME=小明", "KZWEB=http://site.cn/"}));
    ASSERT_TRUE(AddMovie(record, list));
    ASSERT_TRUE(ReadListFileInfo(list, info));
    EXPECT_EQ(info.sharer, "小明");
    EXPECT_EQ(info.web, "http://site.cn/");
    EXPECT_EQ(info.email, "");
}

// A record far larger than any honest one is read only as far as kMaxListInfoBytes: what
// stands before that counts, what comes after is never seen.
TEST(ListFileInfo, OnlyTheHeadOfAHugeRecordIsRead) {
    QTemporaryDir tmp;
    const QString list = tmp.filePath("shared.tpl");
    ASSERT_TRUE(CreateListFile(list));
    QStringList texts{"KZNAME=early", "KZWEB=https://early.cn/"};
    qsizetype bytes = 0;
    while (bytes < 4 * kMaxListInfoBytes) {
        texts << QStringLiteral("KZOTHER=") + QString(2000, u'x');
        bytes += EncodeTextRecord(texts.back()).size();
    }
    texts << "KZNAME=late";
    const QString record = tmp.filePath("src/KZinfo.data");
    ASSERT_TRUE(WriteFile(record, QByteArray()));
    ASSERT_TRUE(WriteTextRecordFile(record, texts));
    ASSERT_GT(QFileInfo(record).size(), 4 * kMaxListInfoBytes);
    ASSERT_TRUE(AddMovie(record, list));
    ListFileInfo info;
    ASSERT_TRUE(ReadListFileInfo(list, info));
    EXPECT_EQ(info.sharer, "early");
    EXPECT_EQ(info.web, "https://early.cn/");
    EXPECT_EQ(info.other, QString(2000, u'x'));

    QByteArray head;
    ASSERT_TRUE(ReadEntryHead(list, "KZinfo.data", 100, head));
    EXPECT_EQ(head, ReadFile(record).left(100));
    ASSERT_TRUE(ReadEntryHead(list, "KZinfo.data", qint64(1) << 40, head));
    EXPECT_EQ(head, ReadFile(record));
    EXPECT_FALSE(ReadEntryHead(list, "none", 100, head));
    EXPECT_TRUE(head.isEmpty());
}
