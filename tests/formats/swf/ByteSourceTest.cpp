// Byte sources: reads and skips stop at the end of the data, for buffers and for files alike.

#include "formats/swf/ByteSource.h"
#include "support/TestSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>

using namespace kz;
using namespace kz::test;

namespace {

// The same checks for any source over the ten bytes 0..9.
void CheckBounds(ByteSource &src) {
    std::array<std::uint8_t, 16> buf{};
    EXPECT_EQ(src.Remaining(), 10u);
    EXPECT_TRUE(src.Read(buf.data(), 0));
    EXPECT_TRUE(src.Skip(0));
    ASSERT_TRUE(src.Read(buf.data(), 3));
    EXPECT_EQ((std::array{buf[0], buf[1], buf[2]}), (std::array<std::uint8_t, 3>{0, 1, 2}));
    EXPECT_EQ(src.Remaining(), 7u);
    EXPECT_FALSE(src.Read(buf.data(), 8)); // one more than there is
    EXPECT_EQ(src.Remaining(), 7u);        // and nothing was taken
    EXPECT_FALSE(src.Skip(8));
    EXPECT_FALSE(src.Skip(UINT64_MAX));
    EXPECT_EQ(src.Remaining(), 7u);
    ASSERT_TRUE(src.Skip(2));
    ASSERT_TRUE(src.Read(buf.data(), 5)); // exactly to the end
    EXPECT_EQ(buf[0], 5);
    EXPECT_EQ(buf[4], 9);
    EXPECT_EQ(src.Remaining(), 0u);
    EXPECT_FALSE(src.Read(buf.data(), 1));
    EXPECT_FALSE(src.Skip(1));
    EXPECT_TRUE(src.Read(buf.data(), 0));
}

const std::uint8_t kTen[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};

} // namespace

TEST(ByteSource, BorrowedOwnedAndFileSourcesShareTheirBounds) {
    MemorySource borrowed(kTen);
    CheckBounds(borrowed);

    auto owned = std::make_unique<std::uint8_t[]>(10);
    std::memcpy(owned.get(), kTen, 10);
    MemorySource owning(std::move(owned), 10);
    CheckBounds(owning);

    QTemporaryDir tmp;
    const QString path = tmp.filePath("ten.bin");
    ASSERT_TRUE(WriteFile(path, QByteArray(reinterpret_cast<const char *>(kTen), 10)));
    auto opened = FileSource::Open(path);
    ASSERT_TRUE(opened);
    CheckBounds(*opened);

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Unbuffered));
    FileSource lent(file);
    CheckBounds(lent);
}

TEST(ByteSource, EmptyDataHasNothingToGive) {
    MemorySource empty(std::span<const std::uint8_t>{});
    std::uint8_t b = 0;
    EXPECT_EQ(empty.Remaining(), 0u);
    EXPECT_FALSE(empty.Read(&b, 1));
    EXPECT_FALSE(empty.Skip(1));
    EXPECT_TRUE(empty.Read(&b, 0));
}

TEST(FileSource, CountsTheBytesReadButNotTheBytesSkipped) {
    QTemporaryDir tmp;
    const QString path = tmp.filePath("m.bin");
    ASSERT_TRUE(WriteFile(path, QByteArray(5000, 'x')));
    ReadCounter counter;
    auto src = FileSource::Open(path, &counter);
    ASSERT_TRUE(src);
    std::array<std::uint8_t, 1000> buf{};
    ASSERT_TRUE(src->Read(buf.data(), 100));
    ASSERT_TRUE(src->Skip(4000));
    ASSERT_TRUE(src->Read(buf.data(), 50));
    EXPECT_FALSE(src->Read(buf.data(), 851)); // refused before reading
    EXPECT_EQ(counter.bytesRead, 150u);
    EXPECT_EQ(src->Remaining(), 850u);
}

TEST(FileSource, StartsWhereTheLentFileStands) {
    QTemporaryDir tmp;
    const QString path = tmp.filePath("m.bin");
    ASSERT_TRUE(WriteFile(path, "headerBODY"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    ASSERT_TRUE(file.seek(6));
    FileSource src(file);
    EXPECT_EQ(src.Remaining(), 4u);
    char body[4];
    ASSERT_TRUE(src.Read(reinterpret_cast<std::uint8_t *>(body), 4));
    EXPECT_EQ(QByteArray(body, 4), "BODY");
}

TEST(FileSource, OnlyRegularFilesOpen) {
    QTemporaryDir tmp;
    EXPECT_FALSE(FileSource::Open(tmp.path()));
    EXPECT_FALSE(FileSource::Open(tmp.filePath("missing")));
    EXPECT_FALSE(FileSource::Open(QString()));
    EXPECT_FALSE(IsRegularFile(tmp.path()));
    EXPECT_FALSE(IsRegularFile("/dev/null"));
    const QString empty = tmp.filePath("empty");
    ASSERT_TRUE(WriteFile(empty, QByteArray()));
    auto src = FileSource::Open(empty);
    ASSERT_TRUE(src);
    EXPECT_EQ(src->Remaining(), 0u);
}
