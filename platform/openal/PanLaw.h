// The platform's pan law for a mono buffer, made with OpenAL Soft's panner.
//
// The platform plays a mono buffer at pan 0 at its full level in both
// channels, and a pan attenuates the other channel by |pan| hundredths of a
// decibel (pan > 0 the left one) while the near channel stays at full level.
// OpenAL Soft pans a mono source by its direction instead, and at the front
// gives each channel about 4.5 dB less. So the source is placed where OpenAL
// gives the platform's ratio between the channels, and its gain is raised
// until the near channel is at full level.
#pragma once

#include <cstdint>

namespace k58::openal {

struct MonoPlacement {
    float angle; // radians from straight ahead, positive to the right
    float gain;  // the source's gain for a buffer at full volume
};

MonoPlacement PlaceMono(std::int32_t pan);

} // namespace k58::openal
