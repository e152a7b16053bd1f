// The entry point of the sound-device module (k58-dsound.so).
#include "platform/openal/Device.h"

extern "C" __attribute__((visibility("default"))) k58::HRESULT
DirectSoundCreate(const k58::GUID* device, k58::IDirectSound** directSound, k58::IUnknown* outer) {
    return k58::openal::SoundDevice::Create(device, directSound, outer,
                                            k58::openal::DefaultHooks());
}
