// The running program's module as the start-up error box reports it.
#pragma once

#include <cstdint>
#include <string>

namespace k58 {

// The program's file name, without its folder; "?" if it cannot be found.
std::string ProgramFileName();

// The address as an offset into the loaded module (program or library) that
// holds it; the address itself when it lies in none.
std::uintptr_t ModuleOffset(const void* address);

} // namespace k58
