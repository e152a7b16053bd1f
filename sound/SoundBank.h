// The four sounds the program carries, by wave-list item index:
// 0 engine beat (one-shot), 1 engine tone (looped), 2 rolling tone (looped),
// 3 clunk (one-shot).
#pragma once

#include "sound/Wave.h"

#include <cstdint>
#include <span>

namespace k58 {

inline constexpr int SoundBankCount = 4;

// The stored RIFF/WAVE bytes of item's sound. Raises std::out_of_range for
// an index outside 0..SoundBankCount-1, and Exception if the program was
// built without that sound.
std::span<const std::uint8_t> SoundBankBytes(int item);

// Loads item's sound into wave from its stored bytes, as the window
// definition's reader does: a fresh in-memory stream at position 0 and
// TWave::LoadFromStream.
void LoadSoundBankWave(int item, TWave& wave);

} // namespace k58
