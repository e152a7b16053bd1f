// The engine sound's device layer in one include: the device and buffer
// wrappers, the sound-device component and the wave list.
#pragma once

#include "sound/DXSound.h"
#include "sound/DXWaveList.h"
#include "sound/DirectSoundWrappers.h"
