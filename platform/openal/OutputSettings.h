// Opening the default OpenAL output with the settings the program needs.
#pragma once

#include <AL/alc.h>

namespace k58::openal {

// The mixer's update period in sample frames. A rate change reaches the
// output after at most one period plus the device's queue; the library's
// default of 1024 frames (23 ms at 44.1 kHz) is too slow for the engine tone.
// OpenAL Soft takes it from its configuration only; the module hands it over
// when it is loaded (see the .cpp), unless the user set a period.
constexpr int kPeriodFrames = 256;

// Opens the default output; nullptr when there is none.
ALCdevice* OpenDefaultOutput();
// The context the module plays through on device.
ALCcontext* CreateOutputContext(ALCdevice* device);

} // namespace k58::openal
