// ActionScript 1/2 action records as the writer lays them out, byte by byte, and the tags that
// carry them.

#include "formats/swf/ActionWriter.h"

#include <QByteArray>

#include <gtest/gtest.h>

using namespace kz;

TEST(ActionWriter, RecordsAreLaidOutAsTheFormatSays) {
    ActionWriter a;
    a.PushString("ab").PushInt(-2).PushNull().GetVariable().Play().Stop().GotoFrame2(true);
    EXPECT_EQ(a.Bytes(), QByteArray::fromHex("9604000061620096050007feffffff960100021c0607"
                                             "9f010001"));
    ActionWriter b;
    b.GetUrl("FSCommand:x", "7").SetTarget("_level1").GetUrl2();
    EXPECT_EQ(b.Finished(), QByteArray::fromHex("830e00") + "FSCommand:x" + QByteArray(1, 0) + "7" +
                                QByteArray(1, 0) + QByteArray::fromHex("8b0800") + "_level1" +
                                QByteArray(1, 0) + QByteArray::fromHex("9a01000000"));
    // A function: the record names its parameters and the size of the body that follows.
    ActionWriter body;
    body.Stop();
    ActionWriter f;
    f.DefineFunction({"n"}, body);
    EXPECT_EQ(f.Bytes(),
              QByteArray::fromHex("9b0700000100") + "n" + QByteArray::fromHex("00010007"));
    // A string stops at its first zero; a body too long for its length field is refused.
    ActionWriter z;
    z.PushString(QByteArray("a\0b", 3));
    EXPECT_EQ(z.Bytes(), QByteArray::fromHex("960300006100"));
    ActionWriter big;
    big.PushString(QByteArray(70000, 'x'));
    EXPECT_TRUE(big.Failed());
    EXPECT_TRUE(big.Bytes().isEmpty());
    EXPECT_EQ(SwfTag(1, {}), QByteArray::fromHex("4000"));
    EXPECT_EQ(SwfTag(12, QByteArray(70, 'a')).left(6), QByteArray::fromHex("3f0346000000"));
}
