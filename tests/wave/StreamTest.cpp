#include "platform/Stream.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace k58 {
namespace {

TEST(MemoryStream, ReadWriteSeekAndSize) {
    TMemoryStream stream;
    const std::uint8_t bytes[5] = {1, 2, 3, 4, 5};
    EXPECT_EQ(stream.Write(bytes, 5), 5);
    EXPECT_EQ(stream.Size(), 5);
    EXPECT_EQ(stream.Position(), 5);
    EXPECT_EQ(stream.Seek(std::int32_t{-2}, soFromEnd), 3);
    std::uint8_t in[8] = {};
    EXPECT_EQ(stream.Read(in, 8), 2);
    EXPECT_EQ(in[0], 4);
    EXPECT_EQ(stream.Read(in, 8), 0);
    EXPECT_EQ(stream.Seek(std::int32_t{7}, 9), 5); // unknown origin: unchanged
    // Writing beyond the end fills the gap with zeros.
    stream.SetPosition(8);
    EXPECT_EQ(stream.Write(bytes, 1), 1);
    EXPECT_EQ(stream.Size(), 9);
    stream.SetPosition(5);
    EXPECT_EQ(stream.Read(in, 4), 4);
    EXPECT_EQ(in[0], 0);
    EXPECT_EQ(in[3], 1);
    stream.SetSize(2);
    EXPECT_EQ(stream.Position(), 2);
    EXPECT_EQ(stream.Size(), 2);
}

TEST(MemoryStream, PositionsStayWithin32BitsAndOutsideTheDataMoveNothing) {
    TMemoryStream stream(std::vector<std::uint8_t>(4, 7));
    constexpr std::int32_t Max = std::numeric_limits<std::int32_t>::max();
    stream.SetPosition(Max - 1);
    EXPECT_EQ(stream.Seek(std::int32_t{Max}, soFromCurrent), Max);
    EXPECT_EQ(stream.Seek(std::int64_t{1} << 40, soFromCurrent), std::int64_t{Max});
    std::uint8_t byte = 1;
    EXPECT_EQ(stream.Write(&byte, 1), 0);
    EXPECT_EQ(stream.Size(), 4);
    EXPECT_EQ(stream.Seek(std::int32_t{-10}, soFromBeginning), -10);
    EXPECT_EQ(stream.Read(&byte, 1), 0);
    EXPECT_EQ(stream.Write(&byte, 1), 0);
    stream.SetPosition(0);
    EXPECT_EQ(stream.Read(&byte, -3), 0);
    EXPECT_EQ(stream.Write(&byte, -3), 0);
    EXPECT_EQ(stream.Position(), 0);
}

TEST(Stream, AllOrErrorForms) {
    TMemoryStream stream(std::vector<std::uint8_t>(3, 7));
    std::uint8_t in[4] = {};
    stream.ReadBuffer(in, 0);
    EXPECT_EQ(stream.Position(), 0);
    try {
        stream.ReadBuffer(in, 4);
        ADD_FAILURE();
    } catch (const EReadError& e) {
        EXPECT_EQ(e.Message(), "Stream read error");
        EXPECT_STREQ(e.ClassName(), "EReadError");
    }
    stream.SetPosition(0);
    stream.ReadBuffer(in, 3);
    EXPECT_EQ(in[2], 7);
}

// The base stream's 64-bit seek and size forms pass on to the 32-bit ones.
class Counting : public TStream {
public:
    using TStream::Seek;
    std::int32_t Read(void*, std::int32_t) override { return 0; }
    std::int32_t Write(const void*, std::int32_t) override { return 0; }
    std::int32_t Seek(std::int32_t offset, int origin) override {
        if (origin == soFromEnd)
            return 40 + offset;
        return mPosition = origin == soFromBeginning ? offset : mPosition + offset;
    }
    std::int32_t mPosition = 3;
};

TEST(Stream, BaseFormsAndWriteError) {
    Counting stream;
    EXPECT_EQ(stream.Size(), 40);
    EXPECT_EQ(stream.Position(), 3);
    EXPECT_EQ(stream.Seek(std::int64_t{5}, soFromBeginning), 5);
    EXPECT_THROW(stream.Seek(std::int64_t{1} << 33, soFromBeginning), EStreamError);
    EXPECT_THROW(stream.SetSize(std::int64_t{1} << 33), EStreamError);
    const std::uint8_t byte = 0;
    stream.WriteBuffer(&byte, 0);
    try {
        stream.WriteBuffer(&byte, 1);
        ADD_FAILURE();
    } catch (const EWriteError& e) {
        EXPECT_EQ(e.Message(), "Stream write error");
    }
}

} // namespace
} // namespace k58
