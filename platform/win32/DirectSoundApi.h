// The platform's sound-device interface on Windows: the system's own
// DirectSound, its COM interfaces, records, flags and result codes, named in
// namespace k58 as the sound layer uses them.
#pragma once

#include "platform/Controls.h" // HWND

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <mmsystem.h>

#include <dsound.h>

// Names of ours that the system headers define as macros.
#undef LoadLibrary
#undef LoadBitmap
#undef PlaySound
#undef PostMessage

namespace k58 {

using ::DSBCAPS;
using ::DSBUFFERDESC;
using ::DSCAPS;
using ::DWORD;
using ::GUID;
using ::HRESULT;
using ::IDirectSound;
using ::IDirectSoundBuffer;
using ::IUnknown;
using ::LONG;
using ::LPCGUID;
using ::LPDWORD;
using ::LPLONG;
using ::LPVOID;
using ::ULONG;
using ::WAVEFORMATEX;

// The full buffer description, the one that ends in the 3D algorithm GUID,
// as the system checks it: its size on this platform (40 bytes on 64-bit
// Windows, where the format pointer is 8 bytes; 36 on 32-bit).
constexpr DWORD DSBUFFERDESC_FULL_SIZE = sizeof(DSBUFFERDESC);
static_assert(sizeof(void*) == 4 || DSBUFFERDESC_FULL_SIZE == 40);
// The older form without the GUID.
constexpr DWORD DSBUFFERDESC1_SIZE = sizeof(DSBUFFERDESC1);

// The entry point DSound.dll exports as "DirectSoundCreate".
using TDirectSoundCreate = HRESULT(WINAPI*)(LPCGUID device, IDirectSound** directSound,
                                            IUnknown* outer);

} // namespace k58
