// The sound components' fixed message texts and their arguments.
#pragma once

namespace k58::strings {

inline constexpr const char* SCannotInitialized = "%s cannot be initialized";
inline constexpr const char* SNotLoaded = "%s not loaded";
inline constexpr const char* SNotMade = "%s not made";
inline constexpr const char* SCannotMade = "%s cannot be made";
inline constexpr const char* SCannotLock = "%s cannot be locked";
inline constexpr const char* SFormNotFound = "Form not found";

inline constexpr const char* SDirectSound = "DirectSound";
inline constexpr const char* SDirectSoundBuffer = "Sound Buffer";
inline constexpr const char* SDirectSoundPrimaryBuffer = "Primary Buffer";

// Names of the platform objects, used as they are.
inline constexpr const char* SIDirectSound = "IDirectSound";
inline constexpr const char* SIDirectSoundBuffer = "IDirectSoundBuffer";

} // namespace k58::strings
