// The files carried inside the program (sounds, dial face, icon), by name.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace k58::assets {

// The bytes of the carried file with this name (for example "engine-beat.wav"),
// or an empty span if the program carries no such file.
std::span<const std::uint8_t> Find(std::string_view name) noexcept;

} // namespace k58::assets
