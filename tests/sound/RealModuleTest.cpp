// The sound components on the real sound module (found next to the test
// program, as next to the program itself), over OpenAL's silent output.
#include "SoundTestSupport.h"
#include "sound/DXSounds.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace k58::test {
namespace {

TEST(RealModuleTest, WaveListPlaysThroughTheModule) {
    ::setenv("ALSOFT_DRIVERS", "null", 1);
    auto form = std::make_unique<FakeForm>(nullptr);
    auto* list = new TDXWaveList(form.get());
    auto* sound = new TDXSound(form.get());
    TWaveCollectionItem* beat = list->Items()->Add();
    FillWave(beat->Wave(), 22050, 22050, 16); // the 16-byte PCM record
    TWaveCollectionItem* tone = list->Items()->Add();
    tone->SetLooped(true);
    FillWave(tone->Wave(), 4410);
    list->SetDXSound(sound);
    sound->Loaded();
    ASSERT_TRUE(sound->Initialized()) << "the module did not open the silent output";
    EXPECT_EQ(sound->DSound()->LastResult(), DS_OK) << "cooperative level refused";

    list->Items()->Initialize(sound);
    tone->Play(false);
    EXPECT_TRUE(tone->MainBuffer()->Playing());
    beat->Play(false);
    beat->Play(false);
    ASSERT_EQ(beat->VoiceCount(), 2);
    EXPECT_TRUE(beat->Voices(0)->Playing());
    EXPECT_TRUE(beat->Voices(1)->Playing());

    tone->SetFrequency(30000);
    EXPECT_EQ(tone->MainBuffer()->LastResult(), DS_OK);
    EXPECT_NO_THROW(tone->SetFrequency(225000));
    EXPECT_EQ(tone->MainBuffer()->LastResult(), DSERR_INVALIDPARAM);
    EXPECT_TRUE(tone->MainBuffer()->Playing());
    form.reset();
}

} // namespace
} // namespace k58::test
