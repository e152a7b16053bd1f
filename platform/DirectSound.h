// The platform's sound-device interface, DirectSound's: a device object and
// buffer objects, reference-counted COM interfaces that the sound wrappers
// talk to, made by DirectSoundCreate in a module loaded at run time (see
// SoundModule.h). Records, flags and result codes keep the platform's names
// and values. On Windows these are the system's own; on Linux we declare the
// same shapes and our module over OpenAL Soft implements them.
#pragma once

#ifdef _WIN32
#include "platform/win32/DirectSoundApi.h"
#else
#include "platform/openal/DirectSoundApi.h"
#endif
