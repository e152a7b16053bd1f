// Feeds arbitrary bytes to TWave::LoadFromStream. Whatever loads must save
// and load back to the same wave; nothing may crash, hang or allocate more
// than the input could justify.
#include "sound/Wave.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

bool SameWave(const k58::TWave& a, const k58::TWave& b) {
    return a.Size() == b.Size() && a.FormatSize() == b.FormatSize() &&
           (a.Size() == 0 ||
            std::memcmp(a.Data(), b.Data(), static_cast<std::size_t>(a.Size())) == 0) &&
           (a.FormatSize() == 0 ||
            std::memcmp(a.Format(), b.Format(), static_cast<std::size_t>(a.FormatSize())) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 1 << 20)
        return 0;
    k58::TMemoryStream input(std::span<const std::uint8_t>(data, size));
    k58::TWave wave;
    try {
        wave.LoadFromStream(input);
    } catch (const k58::Exception&) {
        return 0;
    }
    // The sample block can never be larger than the input that filled it.
    if (static_cast<std::size_t>(wave.Size()) > size ||
        static_cast<std::size_t>(wave.FormatSize()) > size)
        std::abort();

    k58::TMemoryStream saved;
    wave.SaveToStream(saved);
    if (wave.Size() == 0 || wave.FormatSize() == 0) {
        if (saved.Size() != 0)
            std::abort();
        return 0;
    }
    if (saved.Size() != 44 - 16 + wave.FormatSize() + wave.Size())
        std::abort();
    saved.SetPosition(0);
    k58::TWave reloaded;
    reloaded.LoadFromStream(saved);
    if (!SameWave(wave, reloaded))
        std::abort();
    return 0;
}
