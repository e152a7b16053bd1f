// Interchange with another tool: files sox writes load, and what
// SaveToStream writes sox reads back.
#include "RiffBuilder.h"
#include "sound/Wave.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace k58 {
namespace {

using test::Bytes;
using test::Chunk;
using test::FindChunk;
using test::RiffBytes;
using test::SplitChunks;

namespace fs = std::filesystem;

bool HaveSox() {
    return std::system("sox --version >/dev/null 2>&1") == 0;
}

// Output of a shell command, or the test fails.
std::string Shell(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        ADD_FAILURE() << "cannot run " << command;
        return out;
    }
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    EXPECT_EQ(pclose(pipe), 0) << command;
    return out;
}

class Sox : public testing::Test {
protected:
    void SetUp() override {
        if (!HaveSox())
            GTEST_SKIP() << "sox is not installed";
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        mDir = fs::temp_directory_path() /
               ("k58-sox-" + std::string(info->name()) + "-" + std::to_string(getpid()));
        fs::create_directories(mDir);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(mDir, ignored);
    }

    std::string PathOf(const std::string& name) const { return (mDir / name).string(); }

    static Bytes ReadFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
    static void WriteFile(const std::string& path, const Bytes& bytes) {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
    static Bytes Raw(const std::string& path) {
        const std::string out = Shell("sox '" + path + "' -t raw - 2>/dev/null");
        return Bytes(out.begin(), out.end());
    }

    static void Load(TWave& wave, const Bytes& bytes) {
        TMemoryStream stream(bytes);
        wave.LoadFromStream(stream);
    }

    fs::path mDir;
};

Bytes DataOf(const TWave& wave) {
    return Bytes(wave.Data(), wave.Data() + wave.Size());
}

TEST_F(Sox, FilesSoxWritesLoadWithTheirSamples) {
    struct Case {
        const char* options;
        int formatSize;
    };
    // 16-bit mono has the 16-byte record; 24-bit stereo the 40-byte
    // extensible one; 8-bit with an odd sample count an odd "data" chunk.
    for (const Case& c : {Case{"-r 22050 -b 16 -c 1", 16}, Case{"-r 48000 -b 24 -c 2", 40},
                          Case{"-r 8000 -b 8 -c 1", 16}}) {
        const std::string path = PathOf("in.wav");
        Shell(std::string("sox -n ") + c.options + " '" + path +
              "' synth 0.0125125 sine 300 sine 500 2>/dev/null");
        TWave wave;
        Load(wave, ReadFile(path));
        EXPECT_GE(wave.FormatSize(), 16) << c.options;
        EXPECT_EQ(DataOf(wave), Raw(path)) << c.options;
        const auto chunks = SplitChunks(ReadFile(path));
        ASSERT_NE(FindChunk(chunks, "fmt "), nullptr);
        EXPECT_EQ(wave.FormatSize(), static_cast<int>(FindChunk(chunks, "fmt ")->body.size()));
        EXPECT_EQ(wave.FormatSize(), c.formatSize) << c.options;
    }
}

// A LIST/INFO chunk with an odd-length comment, as tagging tools write it
// (this sox writes none itself, so the tests splice it in).
Chunk CommentList(const std::string& text) {
    Bytes body{'I', 'N', 'F', 'O', 'I', 'C', 'M', 'T'};
    test::AppendU32(body, static_cast<std::uint32_t>(text.size() + 1));
    body.insert(body.end(), text.begin(), text.end());
    body.push_back(0);
    return {"LIST", body};
}

TEST_F(Sox, ExtraChunksOddChunksAndChunkOrderLoadTheSame) {
    const std::string plain = PathOf("plain.wav");
    Shell("sox -n -r 11025 -b 16 -c 1 '" + plain + "' synth 0.05 sine 220 2>/dev/null");
    const auto chunks = SplitChunks(ReadFile(plain));

    TWave reference;
    Load(reference, ReadFile(plain));
    ASSERT_GT(reference.Size(), 0);

    const Chunk fmt = *FindChunk(chunks, "fmt ");
    const Chunk data = *FindChunk(chunks, "data");
    const Chunk list = CommentList("K-58 test, odd");
    ASSERT_EQ(list.body.size() % 2, 1u);
    const Chunk evenList = CommentList("K-58 test");
    ASSERT_EQ(evenList.body.size() % 2, 0u);
    const Chunk odd{"odd ", Bytes{1, 2, 3}};
    const std::vector<Bytes> variants = {
        RiffBytes({evenList, fmt, data, evenList}),
        RiffBytes({list, fmt, odd, data, odd}),
        RiffBytes({data, list, fmt}),
        RiffBytes({odd, data, odd, fmt}),
    };
    for (std::size_t i = 0; i < variants.size(); ++i) {
        TWave wave;
        Load(wave, variants[i]);
        EXPECT_EQ(Bytes(wave.Format(), wave.Format() + wave.FormatSize()),
                  Bytes(reference.Format(), reference.Format() + reference.FormatSize()))
            << "variant " << i;
        EXPECT_EQ(DataOf(wave), DataOf(reference)) << "variant " << i;
        // Sox, which expects pad bytes after odd chunks, agrees on the
        // variant without odd chunks.
        if (i == 0) {
            const std::string path = PathOf("variant.wav");
            WriteFile(path, variants[i]);
            EXPECT_EQ(Raw(path), DataOf(reference)) << "variant " << i;
        }
    }
}

TEST_F(Sox, WhatSaveWritesSoxReadsBack) {
    const std::string source = PathOf("source.wav");
    Shell("sox -n -r 44100 -b 16 -c 2 '" + source + "' synth 0.1 sine 440 sine 660 2>/dev/null");
    TWave wave;
    Load(wave, ReadFile(source));
    TMemoryStream saved;
    wave.SaveToStream(saved);
    const std::string path = PathOf("saved.wav");
    WriteFile(path, Bytes(saved.Bytes().begin(), saved.Bytes().end()));

    EXPECT_EQ(Shell("sox --i -r '" + path + "'"), "44100\n");
    EXPECT_EQ(Shell("sox --i -c '" + path + "'"), "2\n");
    EXPECT_EQ(Shell("sox --i -b '" + path + "'"), "16\n");
    EXPECT_EQ(Shell("sox --i -s '" + path + "'"), std::to_string(wave.Size() / 4) + "\n");
    EXPECT_EQ(Raw(path), DataOf(wave));
}

} // namespace
} // namespace k58
