// The carried sounds: exact sizes and bytes, and what they sound like,
// measured rather than looked at.
#include "sound/SoundBank.h"
#include "analysis/SoundAnalysis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace k58 {
namespace {

using analysis::BandEnergyShare;
using analysis::PeakDb;
using analysis::RmsDb;
using analysis::WindowLevelsDb;

std::uint32_t U32At(std::span<const std::uint8_t> bytes, std::size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
           static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

struct Expected {
    std::int32_t rate;
    std::int32_t size;
    std::size_t stored;
};
constexpr Expected Table[SoundBankCount] = {
    {44100, 39288, 39332}, {44100, 38746, 38790}, {44100, 37390, 37434}, {22050, 11784, 11828}};

class SoundBankItem : public testing::TestWithParam<int> {};

TEST_P(SoundBankItem, LoadsWithTheStatedFormatAndSizeAndSavesBackByteForByte) {
    const int item = GetParam();
    const Expected& e = Table[item];
    const auto stored = SoundBankBytes(item);
    ASSERT_EQ(stored.size(), e.stored);
    EXPECT_EQ(U32At(stored, 4), e.stored - 8);

    TWave wave;
    LoadSoundBankWave(item, wave);
    ASSERT_EQ(wave.FormatSize(), 16);
    EXPECT_EQ(wave.Size(), e.size);
    const auto format = std::span(wave.Format(), 16);
    EXPECT_EQ(format[0] | format[1] << 8, 1); // PCM
    EXPECT_EQ(format[2] | format[3] << 8, 1); // mono
    EXPECT_EQ(static_cast<std::int32_t>(U32At(format, 4)), e.rate);
    EXPECT_EQ(static_cast<std::int32_t>(U32At(format, 8)), 2 * e.rate);
    EXPECT_EQ(format[12] | format[13] << 8, 2);
    EXPECT_EQ(format[14] | format[15] << 8, 16);

    TMemoryStream saved;
    wave.SaveToStream(saved);
    ASSERT_EQ(saved.Bytes().size(), stored.size());
    EXPECT_TRUE(std::equal(stored.begin(), stored.end(), saved.Bytes().begin()));
}

INSTANTIATE_TEST_SUITE_P(AllItems, SoundBankItem, testing::Range(0, SoundBankCount));

TEST(SoundBank, ItemOutsideTheBankIsRefused) {
    EXPECT_THROW(SoundBankBytes(-1), std::out_of_range);
    EXPECT_THROW(SoundBankBytes(SoundBankCount), std::out_of_range);
}

struct Sound {
    std::vector<double> samples;
    double rate;
    std::vector<std::uint8_t> pcm;
};

Sound Listen(int item) {
    TWave wave;
    LoadSoundBankWave(item, wave);
    Sound s;
    s.pcm.assign(wave.Data(), wave.Data() + wave.Size());
    s.samples = analysis::FromPcm16(s.pcm);
    s.rate = Table[item].rate;
    return s;
}

double MinOf(const std::vector<double>& v) {
    return *std::min_element(v.begin(), v.end());
}
double MaxOf(const std::vector<double>& v) {
    return *std::max_element(v.begin(), v.end());
}

TEST(SoundCharacter, EngineBeatIsASteadyRoughRumblePulsingEvery37Ms) {
    const Sound s = Listen(0);
    const auto levels = WindowLevelsDb(s.samples, s.rate);
    EXPECT_GE(MinOf(levels), -24.0);
    EXPECT_LE(MaxOf(levels), -18.0);
    EXPECT_NEAR(RmsDb(s.samples), -21.0, 1.0);
    EXPECT_NEAR(PeakDb(s.samples), -12.0, 1.0);
    EXPECT_NEAR(BandEnergyShare(s.samples, s.rate, 0, 300), 0.80, 0.04);
    EXPECT_NEAR(BandEnergyShare(s.samples, s.rate, 1000, 3000), 0.10, 0.03);
    double strength = 0;
    EXPECT_NEAR(analysis::PulsePeriodSeconds(s.samples, s.rate, 0.025, 0.06, &strength), 0.037,
                0.0015);
    EXPECT_GT(strength, 0.5);
}

TEST(SoundCharacter, EngineToneIsTheLoudestLowDronePulsingEvery39Ms) {
    const Sound s = Listen(1);
    EXPECT_NEAR(RmsDb(s.samples), -13.0, 1.0);
    EXPECT_NEAR(PeakDb(s.samples), -5.0, 1.0);
    for (int other : {0, 2, 3})
        EXPECT_GT(RmsDb(s.samples), RmsDb(Listen(other).samples));
    EXPECT_NEAR(BandEnergyShare(s.samples, s.rate, 0, 300), 0.96, 0.02);
    double strength = 0;
    EXPECT_NEAR(analysis::PulsePeriodSeconds(s.samples, s.rate, 0.025, 0.06, &strength), 0.039,
                0.0015);
    EXPECT_GT(strength, 0.6);
}

TEST(SoundCharacter, RollingToneIsALowRumbleWithAQuietStretch) {
    const Sound s = Listen(2);
    EXPECT_NEAR(RmsDb(s.samples), -21.0, 1.0);
    EXPECT_NEAR(PeakDb(s.samples), -11.0, 1.0);
    EXPECT_NEAR(BandEnergyShare(s.samples, s.rate, 0, 300), 0.94, 0.02);
    // 20 ms windows 14 and 15 cover 280 to 320 ms.
    const auto levels = WindowLevelsDb(s.samples, s.rate);
    ASSERT_GE(levels.size(), 16u);
    EXPECT_NEAR(levels[14], -35.0, 3.0);
    EXPECT_NEAR(levels[15], -35.0, 3.0);
    for (std::size_t i = 0; i < levels.size(); ++i) {
        if (i >= 13 && i <= 16)
            continue;
        EXPECT_GT(levels[i], -30.0) << "window " << i;
    }
    // Less regular than the engine sounds: no strong pulse.
    double strength = 0;
    analysis::PulsePeriodSeconds(s.samples, s.rate, 0.025, 0.06, &strength);
    EXPECT_LT(strength, 0.5);
}

TEST(SoundCharacter, LoopedSoundsLoopWithoutAClick) {
    for (int item : {1, 2}) {
        const Sound s = Listen(item);
        EXPECT_LE(analysis::LoopSeamStep(s.samples), analysis::LargestInnerStep(s.samples))
            << "item " << item;
    }
}

TEST(SoundCharacter, ClunkIsSilenceSoftOnsetHardClippedKnockAndAbruptEnd) {
    const Sound s = Listen(3);
    const auto silence = static_cast<std::size_t>(0.025 * s.rate);
    EXPECT_TRUE(std::all_of(s.samples.begin(), s.samples.begin() + static_cast<long>(silence),
                            [](double x) { return x == 0.0; }));
    // Soft onset: well below the knock until it comes.
    const auto onset =
        std::span(s.samples).subspan(silence, static_cast<std::size_t>(0.06 * s.rate));
    EXPECT_LT(PeakDb(onset), -20.0);
    EXPECT_GT(PeakDb(onset), -60.0);
    // The knock reaches full scale between 90 and 105 ms, with a few
    // clipped samples.
    const double reach = analysis::FirstReachSeconds(s.samples, s.rate, 0.99);
    EXPECT_GE(reach, 0.090);
    EXPECT_LE(reach, 0.105);
    const int clipped = analysis::ClippedSampleCount(s.pcm);
    EXPECT_GE(clipped, 2);
    EXPECT_LE(clipped, 20);
    // Decays to about -20 dB and stops there rather than fading out.
    EXPECT_NEAR(analysis::TailLevelDb(s.samples, s.rate), -20.0, 2.0);
    const auto levels = WindowLevelsDb(s.samples, s.rate);
    EXPECT_GT(MaxOf(levels), -8.0);
    EXPECT_NEAR(BandEnergyShare(s.samples, s.rate, 0, 300), 0.90, 0.03);
}

} // namespace
} // namespace k58
