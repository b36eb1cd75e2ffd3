// The drag payload between the play-list views: its exact bytes, the refusal of lists whose
// indices could be taken for the end marker, and bytes that are not a payload.

#include "playlist/DragPayload.h"

#include <gtest/gtest.h>

using namespace kz;

namespace {

QByteArray Ints(std::initializer_list<quint32> values) {
    QByteArray out;
    for (quint32 v : values)
        for (int i = 0; i < 4; ++i)
            out.append(char((v >> (8 * i)) & 0xFF));
    return out;
}

} // namespace

TEST(DragPayload, KindAscendingIndicesAndTheEndMarker) {
    const auto bytes = BuildDragPayload(1, {7, 0, 3}, 10);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(*bytes, Ints({1, 0, 3, 7, 0xEEEE}));
    EXPECT_EQ(bytes->size(), 4 * 3 + 8);
    EXPECT_EQ(QByteArray::fromHex("00000000"
                                  "05000000"
                                  "eeee0000"),
              *BuildDragPayload(0, {5}, 6));

    const auto back = ParseDragPayload(*bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->kind, 1);
    EXPECT_EQ(back->rows, (QList<int>{0, 3, 7}));
}

TEST(DragPayload, ListsTooLongForTheMarkerAreRefused) {
    // 61165 rows: the last index, 61164, is still below the marker.
    const auto longest = BuildDragPayload(0, {0, 61164}, 61165);
    ASSERT_TRUE(longest);
    EXPECT_EQ(ParseDragPayload(*longest)->rows, (QList<int>{0, 61164}));
    // From 61166 rows on, even a drag of the first row is refused: the list cannot say where
    // its indices end once one of them may equal the marker.
    EXPECT_FALSE(BuildDragPayload(0, {0}, 61166));
    EXPECT_FALSE(BuildDragPayload(0, {61166}, 70000));
    EXPECT_FALSE(BuildDragPayload(0, {}, 5));
    EXPECT_FALSE(BuildDragPayload(0, {5}, 5)) << "no such row";
    EXPECT_FALSE(BuildDragPayload(0, {-1}, 5));
}

TEST(DragPayload, BytesThatAreNotAPayload) {
    EXPECT_FALSE(ParseDragPayload({}));
    EXPECT_FALSE(ParseDragPayload(Ints({0})));
    EXPECT_FALSE(ParseDragPayload(Ints({0, 1, 2}))) << "no end marker";
    EXPECT_FALSE(ParseDragPayload(Ints({0, 1, 0xEEEE}) + "x")) << "not whole integers";
    EXPECT_FALSE(ParseDragPayload(Ints({0, 3, 1, 0xEEEE}))) << "not ascending";
    EXPECT_FALSE(ParseDragPayload(Ints({0, 3, 3, 0xEEEE}))) << "a row twice";
    EXPECT_FALSE(ParseDragPayload(Ints({0, 1, 0xEEEE, 2, 0xEEEE}))) << "bytes after the marker";
    EXPECT_FALSE(ParseDragPayload(Ints({0, 0xFFFFFFFF, 0xEEEE})));
    // A payload of no rows is well formed and moves nothing.
    const auto none = ParseDragPayload(Ints({0, 0xEEEE}));
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->rows.isEmpty());
}
