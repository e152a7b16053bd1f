// A small uniform random generator with an explicit seed: a 32-bit linear
// congruential generator, scaled to a range by the high half of a 64-bit
// product so every value of the range is equally likely.
#pragma once

#include <cstdint>

namespace k58 {

class TRandom {
public:
    void Randomize(std::uint32_t seed) noexcept { mSeed = seed; }
    // A value in 0..range-1 (range > 0).
    std::int32_t Next(std::int32_t range) noexcept {
        mSeed = mSeed * 0x08088405u + 1u;
        return static_cast<std::int32_t>(
            (static_cast<std::uint64_t>(mSeed) * static_cast<std::uint32_t>(range)) >> 32);
    }

private:
    std::uint32_t mSeed = 0;
};

} // namespace k58
