#include "playlist/ListFileInfo.h"
#include "platform/Paths.h"
#include "platform/TextRecords.h"
#include "playlist/ListFile.h"
#include "support/TestSupport.h"

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
