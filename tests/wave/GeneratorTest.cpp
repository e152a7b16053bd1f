// The carried sounds are exactly what the generator in tools/ makes: same
// seed, same bytes.
#include "sound/SoundBank.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace k58 {
namespace {

namespace fs = std::filesystem;

TEST(SoundGenerator, RegeneratesTheCarriedSoundsByteForByte) {
    if (std::system("python3 --version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "python3 is not installed";
    const fs::path out = fs::temp_directory_path() / ("k58-sounds-" + std::to_string(getpid()));
    fs::create_directories(out);
    const std::string command =
        "python3 '" K58_SOURCE_DIR "/tools/make_sounds.py' --out '" + out.string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const std::array<const char*, SoundBankCount> names = {"engine-beat.wav", "engine-tone.wav",
                                                           "rolling-tone.wav", "clunk.wav"};
    for (int item = 0; item < SoundBankCount; ++item) {
        std::ifstream in(out / names[static_cast<std::size_t>(item)], std::ios::binary);
        const std::vector<std::uint8_t> made(std::istreambuf_iterator<char>(in), {});
        const auto carried = SoundBankBytes(item);
        EXPECT_TRUE(std::equal(carried.begin(), carried.end(), made.begin(), made.end()))
            << names[static_cast<std::size_t>(item)];
    }
    fs::remove_all(out);
}

} // namespace
} // namespace k58
