// The file name of the sound-device module: a shared library, found next to
// the program (or in the installed library folder), that exports
// DirectSoundCreate (see DirectSound.h).
#pragma once

namespace k58 {

inline constexpr const char* kDirectSoundModule = "k58-dsound.so";
inline constexpr const char* kDirectSoundCreateName = "DirectSoundCreate";

} // namespace k58
