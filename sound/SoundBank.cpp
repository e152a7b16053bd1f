#include "sound/SoundBank.h"

#include "assets/Assets.h"

#include <array>
#include <stdexcept>
#include <string>

namespace k58 {

namespace {

constexpr std::array<const char*, SoundBankCount> SoundFiles = {
    "engine-beat.wav",
    "engine-tone.wav",
    "rolling-tone.wav",
    "clunk.wav",
};

} // namespace

std::span<const std::uint8_t> SoundBankBytes(int item) {
    if (item < 0 || item >= SoundBankCount)
        throw std::out_of_range("sound bank item " + std::to_string(item));
    const auto bytes = assets::Find(SoundFiles[static_cast<std::size_t>(item)]);
    if (bytes.empty())
        throw Exception(std::string("Sound not carried: ") +
                        SoundFiles[static_cast<std::size_t>(item)]);
    return bytes;
}

void LoadSoundBankWave(int item, TWave& wave) {
    TMemoryStream stream(SoundBankBytes(item));
    wave.LoadFromStream(stream);
}

} // namespace k58
