// Opening the default OpenAL output with the settings the program needs.
#pragma once

#include <AL/alc.h>

namespace k58::openal {

// The mixer's update period in sample frames. A rate change reaches the
// output after at most one period plus the device's queue, and a beat
// started between two updates sounds at the next one; the library's default
// of 1024 frames (23 ms at 44.1 kHz) is too slow for the engine tone, and 96
// frames (2.2 ms) keeps the beats' rhythm within 3 ms for about 1 % of a core
// more than 256.
// OpenAL Soft takes it from its configuration only; the module hands it over
// when it is loaded (see the .cpp), unless the user set a period.
constexpr int kPeriodFrames = 96;

// Opens the default output; nullptr when there is none.
ALCdevice* OpenDefaultOutput();
// The context the module plays through on device.
ALCcontext* CreateOutputContext(ALCdevice* device);

} // namespace k58::openal
