// The file name of the sound-device module and its entry point. On Windows
// it is the system's DirectSound; on Linux our module over OpenAL Soft, a
// shared library found next to the program (or in the installed library
// folder) that exports DirectSoundCreate with the same shape (see
// DirectSound.h).
#pragma once

namespace k58 {

#ifdef _WIN32
inline constexpr const char* kDirectSoundModule = "DSound.dll";
#else
inline constexpr const char* kDirectSoundModule = "k58-dsound.so";
#endif
inline constexpr const char* kDirectSoundCreateName = "DirectSoundCreate";

} // namespace k58
