#include "sound/Wave.h"
#include "RiffBuilder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

namespace k58 {
namespace {

using test::Bytes;
using test::ChunkBytes;
using test::RiffBytes;
using test::operator+;

Bytes Samples(std::size_t n, std::uint8_t seed = 1) {
    Bytes out(n);
    for (std::size_t i = 0; i < n; ++i)
        out[i] = static_cast<std::uint8_t>(seed + i * 7);
    return out;
}

const Bytes Fmt = test::PcmFormat(1, 44100, 16);

void Load(TWave& wave, const Bytes& bytes) {
    TMemoryStream stream(bytes);
    wave.LoadFromStream(stream);
}

Bytes Save(const TWave& wave) {
    TMemoryStream stream;
    wave.SaveToStream(stream);
    return Bytes(stream.Bytes().begin(), stream.Bytes().end());
}

Bytes FormatOf(const TWave& wave) {
    return Bytes(wave.Format(), wave.Format() + wave.FormatSize());
}
Bytes DataOf(const TWave& wave) {
    return Bytes(wave.Data(), wave.Data() + wave.Size());
}

template <typename E>
void ExpectThrowsMessage(const std::function<void()>& action, const std::string& message) {
    try {
        action();
        ADD_FAILURE() << "expected \"" << message << "\"";
    } catch (const E& e) {
        EXPECT_EQ(e.Message(), message);
    }
}

TEST(Wave, NewWaveIsEmpty) {
    TWave wave;
    EXPECT_EQ(wave.Size(), 0);
    EXPECT_EQ(wave.FormatSize(), 0);
    EXPECT_EQ(wave.Data(), nullptr);
    EXPECT_EQ(wave.Format(), nullptr);
    EXPECT_STREQ(wave.ClassName(), "TWave");
}

TEST(Wave, DataBlockGrowsInStepsOf8096AndKeepsLeadingBytes) {
    TWave wave;
    wave.SetSize(8096);
    EXPECT_EQ(wave.DataCapacity(), 8096);
    std::memset(wave.MutableData(), 0xAB, 8096);
    wave.SetSize(8097);
    EXPECT_EQ(wave.Size(), 8097);
    EXPECT_EQ(wave.DataCapacity(), 2 * 8096);
    EXPECT_EQ(wave.Data()[0], 0xAB);
    EXPECT_EQ(wave.Data()[8095], 0xAB);
    wave.SetSize(1);
    EXPECT_EQ(wave.DataCapacity(), 8096);
    EXPECT_EQ(wave.Data()[0], 0xAB);
    wave.SetSize(-5);
    EXPECT_EQ(wave.Size(), 0);
    EXPECT_EQ(wave.DataCapacity(), 0);
    EXPECT_EQ(wave.Data(), nullptr);
}

TEST(Wave, FormatBlockIsSizedExactly) {
    TWave wave;
    wave.SetFormatSize(4);
    std::memcpy(wave.MutableFormat(), "abcd", 4);
    wave.SetFormatSize(2);
    wave.SetFormatSize(3);
    EXPECT_EQ(wave.FormatSize(), 3);
    EXPECT_EQ(wave.Format()[0], 'a');
    EXPECT_EQ(wave.Format()[1], 'b');
    wave.SetFormatSize(-1);
    EXPECT_EQ(wave.FormatSize(), 0);
    EXPECT_EQ(wave.Format(), nullptr);
}

TEST(Wave, LoadReadsFormatAndSamplesAndSaveWritesTheCanonicalLayout) {
    const Bytes samples = Samples(1001);
    const Bytes file = RiffBytes({{"fmt ", Fmt}, {"data", samples}});
    TWave wave;
    Load(wave, file);
    EXPECT_EQ(FormatOf(wave), Fmt);
    EXPECT_EQ(DataOf(wave), samples);
    // 44-byte header, no pad byte after the odd-sized data chunk.
    const Bytes saved = Save(wave);
    EXPECT_EQ(saved, file);
    EXPECT_EQ(saved.size(), 44u + 1001u);
}

TEST(Wave, LoadStartsAtTheStreamPositionAndSaveWritesThere) {
    const Bytes file = RiffBytes({{"fmt ", Fmt}, {"data", Samples(10)}});
    Bytes prefixed = {1, 2, 3};
    prefixed.insert(prefixed.end(), file.begin(), file.end());
    TMemoryStream in(prefixed);
    in.SetPosition(3);
    TWave wave;
    wave.LoadFromStream(in);
    EXPECT_EQ(DataOf(wave), Samples(10));

    TMemoryStream out;
    const std::uint8_t junk[5] = {9, 9, 9, 9, 9};
    out.WriteBuffer(junk, 5);
    wave.SaveToStream(out);
    EXPECT_EQ(out.Position(), out.Size());
    const Bytes written(out.Bytes().begin() + 5, out.Bytes().end());
    EXPECT_EQ(written, file); // RIFF size counts from the origin, not from 0
}

TEST(Wave, ExtraChunksWrongRiffSizeAndChunkOrderChangeNothing) {
    const Bytes samples = Samples(64);
    const Bytes plain = RiffBytes({{"fmt ", Fmt}, {"data", samples}});
    const std::vector<Bytes> variants = {
        RiffBytes({{"LIST", Samples(12)},
                   {"fmt ", Fmt},
                   {"fact", Samples(4)},
                   {"data", samples},
                   {"junk", Samples(9)}}),
        RiffBytes({{"data", samples}, {"fmt ", Fmt}}),
        RiffBytes({{"fmt ", Fmt}, {"data", samples}}, "WAVE", 4),
        RiffBytes({{"fmt ", Fmt}, {"data", samples}}, "WAVE", 0xFFFFFFF0u),
        // An odd-sized chunk with no pad byte: the next header follows its
        // last byte directly.
        RiffBytes({{"fmt ", Fmt}, {"odd!", Samples(3)}, {"data", samples}}),
    };
    for (const Bytes& file : variants) {
        TWave wave;
        Load(wave, file);
        EXPECT_EQ(FormatOf(wave), Fmt);
        EXPECT_EQ(DataOf(wave), samples);
        EXPECT_EQ(Save(wave), plain);
    }
}

TEST(Wave, ChunkWalkEdgeCases) {
    TWave wave;
    // A later "fmt " or "data" replaces an earlier one.
    Load(wave, RiffBytes({{"fmt ", Samples(18)},
                          {"data", Samples(5)},
                          {"fmt ", Fmt},
                          {"data", Samples(7, 40)}}));
    EXPECT_EQ(FormatOf(wave), Fmt);
    EXPECT_EQ(DataOf(wave), Samples(7, 40));
    // Identifiers are exact: "FMT " and "Data" are other chunks.
    Load(wave, RiffBytes({{"FMT ", Fmt}, {"Data", Samples(4)}}));
    EXPECT_EQ(wave.FormatSize(), 0);
    EXPECT_EQ(wave.Size(), 0);
    // An identifier of four zero bytes ends the walk.
    Load(wave,
         RiffBytes({{"fmt ", Fmt}, {std::string(4, '\0'), Samples(4)}, {"data", Samples(6)}}));
    EXPECT_EQ(wave.FormatSize(), 16);
    EXPECT_EQ(wave.Size(), 0);
    // Bytes after the RIFF form are walked as further chunks.
    Bytes file = RiffBytes({{"fmt ", Fmt}});
    const Bytes trailing = ChunkBytes("data", Samples(6));
    file.insert(file.end(), trailing.begin(), trailing.end());
    Load(wave, file);
    EXPECT_EQ(DataOf(wave), Samples(6));
    // A chunk running past the end ends the walk at the next read.
    Load(wave, RiffBytes({{"fmt ", Fmt}, {"data", Samples(6)}}) + ChunkBytes("LIST", {}, 1000000));
    EXPECT_EQ(DataOf(wave), Samples(6));
}

TEST(Wave, HeaderErrors) {
    TWave wave;
    ExpectThrowsMessage<EWaveStreamError>(
        [&] {
            Load(wave, RiffBytes({{"fmt ", Fmt}, {"data", Samples(4)}}, "AVI "));
        },
        "Wave is invalid");
    Bytes notRiff = RiffBytes({{"fmt ", Fmt}, {"data", Samples(4)}});
    std::memcpy(notRiff.data(), "RIFX", 4);
    ExpectThrowsMessage<EWaveStreamError>([&] { Load(wave, notRiff); }, "Wave is invalid");
    EXPECT_EQ(wave.Size(), 0);
    EXPECT_EQ(wave.FormatSize(), 0);
    // An empty stream or a short header cannot give the 12 header bytes.
    ExpectThrowsMessage<EReadError>([&] { Load(wave, {}); }, "Stream read error");
    ExpectThrowsMessage<EReadError>(
        [&] {
            Load(wave, {'R', 'I', 'F', 'F', 0, 0});
        },
        "Stream read error");
}

TEST(Wave, TruncatedOrHostileSizesFailWithTheReadErrorBeforeAllocating) {
    TWave wave;
    // Fewer sample bytes than "data" states: the read error; the format
    // is kept and the wave holds no samples.
    Bytes shortData = RiffBytes({{"fmt ", Fmt}, {"data", Samples(10)}});
    shortData.resize(shortData.size() - 1);
    ExpectThrowsMessage<EReadError>([&] { Load(wave, shortData); }, "Stream read error");
    EXPECT_EQ(wave.FormatSize(), 16);
    EXPECT_EQ(wave.Size(), 0);
    // A 2 GB "fmt " or "data" chunk in a 100-byte file.
    const Bytes hugeFmt = RiffBytes({}) + ChunkBytes("fmt ", Samples(80), 0x7FFFFFF0);
    ExpectThrowsMessage<EReadError>([&] { Load(wave, hugeFmt); }, "Stream read error");
    EXPECT_EQ(wave.FormatSize(), 0);
    const Bytes hugeData = RiffBytes({{"fmt ", Fmt}}) + ChunkBytes("data", Samples(40), 0x7FFFFFF0);
    ExpectThrowsMessage<EReadError>([&] { Load(wave, hugeData); }, "Stream read error");
    EXPECT_EQ(wave.Size(), 0);
    // A chunk size of 2^31 or more would seek backwards: it ends the walk
    // with the read error instead of revisiting chunks.
    for (const std::uint32_t size : {0x80000000u, 0xFFFFFFF4u, 0xFFFFFFFFu}) {
        const Bytes back =
            RiffBytes({{"fmt ", Fmt}, {"data", Samples(4)}}) + ChunkBytes("LIST", {}, size);
        ExpectThrowsMessage<EReadError>([&] { Load(wave, back); }, "Stream read error");
    }
}

TEST(Wave, EmptyWaveSavesAsNothing) {
    TWave wave;
    EXPECT_TRUE(Save(wave).empty());
    wave.SetFormatSize(16);
    EXPECT_TRUE(Save(wave).empty());
    wave.SetFormatSize(0);
    wave.SetSize(10);
    EXPECT_TRUE(Save(wave).empty());
}

class Other : public TPersistent {
public:
    const char* ClassName() const noexcept override { return "TOther"; }
};

TEST(Wave, Assign) {
    TWave source;
    Load(source, RiffBytes({{"fmt ", Fmt}, {"data", Samples(9000)}}));
    TWave copy;
    copy.Assign(&source);
    EXPECT_EQ(FormatOf(copy), Fmt);
    EXPECT_EQ(DataOf(copy), Samples(9000));
    EXPECT_EQ(copy.DataCapacity(), 2 * 8096);
    copy.Assign(&copy);
    EXPECT_EQ(DataOf(copy), Samples(9000));
    copy.Assign(nullptr);
    EXPECT_EQ(copy.Size(), 0);
    EXPECT_EQ(copy.FormatSize(), 0);
    Other other;
    ExpectThrowsMessage<EConvertError>([&] { source.Assign(&other); },
                                       "Cannot assign a TOther to a TWave");
    EXPECT_EQ(source.Size(), 9000);
}

// ---- the wave stream on its own ----

struct OpenedForReading {
    explicit OpenedForReading(const Bytes& file) : underlying(file), stream(underlying) {
        stream.Open(false);
    }
    TMemoryStream underlying;
    TWaveStream stream;
};

TEST(WaveStream, SeekStaysWithinTheSampleData) {
    OpenedForReading f(RiffBytes({{"fmt ", Fmt}, {"data", Samples(100)}}));
    EXPECT_EQ(f.stream.Size(), 100);
    EXPECT_EQ(f.stream.Seek(std::int32_t{500}, soFromBeginning), 100);
    EXPECT_EQ(f.stream.Seek(std::int32_t{-500}, soFromCurrent), 0);
    EXPECT_EQ(f.stream.Seek(std::int32_t{-10}, soFromEnd), 90);
    EXPECT_EQ(f.stream.Seek(std::int32_t{5}, 3), 90);
    EXPECT_EQ(f.stream.Seek(std::int32_t{0x7FFFFFFF}, soFromCurrent), 100);
    std::uint8_t buffer[20];
    f.stream.Seek(std::int32_t{95}, soFromBeginning);
    EXPECT_EQ(f.stream.Read(buffer, 20), 5);
    EXPECT_EQ(f.stream.Position(), 100);
    EXPECT_EQ(f.stream.Read(buffer, 20), 0);
    f.stream.Seek(std::int32_t{1}, soFromBeginning);
    EXPECT_EQ(f.stream.Read(buffer, 3), 3);
    EXPECT_EQ(buffer[0], Samples(100)[1]);
}

TEST(WaveStream, WritesInReadModeOverwriteInPlaceUpToTheDataEnd) {
    const Bytes file = RiffBytes({{"fmt ", Fmt}, {"data", Samples(10)}, {"junk", Samples(4)}});
    OpenedForReading f(file);
    const std::uint8_t ones[8] = {1, 1, 1, 1, 1, 1, 1, 1};
    f.stream.Seek(std::int32_t{6}, soFromBeginning);
    EXPECT_EQ(f.stream.Write(ones, 8), 4);
    EXPECT_EQ(f.underlying.Size(), static_cast<std::int32_t>(file.size()));
    const Bytes after(f.underlying.Bytes().begin(), f.underlying.Bytes().end());
    Bytes expected = file;
    std::fill(expected.begin() + 44 + 6, expected.begin() + 44 + 10, 1);
    EXPECT_EQ(after, expected);
    EXPECT_EQ(f.stream.Size(), 10);
}

TEST(WaveStream, OpenAndSampleErrors) {
    TMemoryStream underlying;
    TWaveStream closed(underlying);
    EXPECT_EQ(closed.Size(), 0);
    std::uint8_t byte = 0;
    ExpectThrowsMessage<EWaveStreamError>([&] { closed.ReadSamples(&byte, 1); },
                                          "Stream not opend");
    ExpectThrowsMessage<EWaveStreamError>([&] { closed.WriteSamples(&byte, 1); },
                                          "Stream not opend");
    ExpectThrowsMessage<EWaveStreamError>([&] { closed.Open(true); }, "Format is invalid");
    closed.SetFormatSize(16);
    closed.Open(true);
    ExpectThrowsMessage<EWaveStreamError>([&] { closed.Open(true); },
                                          "Stream has already been opened");
    ExpectThrowsMessage<EWaveStreamError>([&] { closed.Open(false); },
                                          "Stream has already been opened");
    // A wave stream whose header was invalid is still opened.
    TMemoryStream bad(Bytes(12, 'x'));
    TWaveStream stream(bad);
    EXPECT_THROW(stream.Open(false), EWaveStreamError);
    ExpectThrowsMessage<EWaveStreamError>([&] { stream.Open(false); },
                                          "Stream has already been opened");
}

TEST(WaveStream, WritingGrowsTheDataAndDestructionFinalisesTheHeaders) {
    TMemoryStream underlying;
    {
        TWaveStream stream(underlying);
        stream.SetFormatSize(16);
        std::memcpy(stream.Format(), Fmt.data(), 16);
        stream.Open(true);
        EXPECT_EQ(stream.Size(), 0);
        stream.WriteBuffer(Samples(30).data(), 30);
        EXPECT_EQ(stream.Size(), 30);
        stream.Seek(std::int32_t{10}, soFromBeginning);
        stream.WriteBuffer(Samples(5, 99).data(), 5);
        EXPECT_EQ(stream.Size(), 30);
    }
    Bytes samples = Samples(30);
    std::copy_n(Samples(5, 99).begin(), 5, samples.begin() + 10);
    const Bytes expected = RiffBytes({{"fmt ", Fmt}, {"data", samples}});
    EXPECT_EQ(Bytes(underlying.Bytes().begin(), underlying.Bytes().end()), expected);
    EXPECT_EQ(underlying.Position(), underlying.Size());
}

// A stream that accepts only a limited number of bytes.
class FullStream : public TMemoryStream {
public:
    explicit FullStream(std::int32_t room) : mRoom(room) {}
    std::int32_t Write(const void* buffer, std::int32_t count) override {
        const std::int32_t n = std::min(count, mRoom - Position());
        return n > 0 ? TMemoryStream::Write(buffer, n) : 0;
    }

private:
    std::int32_t mRoom;
};

TEST(WaveStream, SaveReportsAStreamThatTakesTooLittle) {
    TWave wave;
    Load(wave, RiffBytes({{"fmt ", Fmt}, {"data", Samples(100)}}));
    FullStream full(60);
    ExpectThrowsMessage<EWriteError>([&] { wave.SaveToStream(full); }, "Stream write error");
}

} // namespace
} // namespace k58
