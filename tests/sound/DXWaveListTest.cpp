#include "FakeDirectSound.h"
#include "SoundTestSupport.h"
#include "sound/DXSounds.h"

#include <gtest/gtest.h>
