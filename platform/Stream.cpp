#include "platform/Stream.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace k58 {

namespace {

constexpr std::int64_t MaxPosition = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t MinPosition = std::numeric_limits<std::int32_t>::min();

bool FitsIn32(std::int64_t value) {
    return value >= MinPosition && value <= MaxPosition;
}

} // namespace

std::int64_t TStream::Seek(std::int64_t offset, int origin) {
    if (!FitsIn32(offset))
        throw EStreamError("Stream seek offset out of range");
    return Seek(static_cast<std::int32_t>(offset), origin);
}

std::int32_t TStream::Size() {
    const std::int32_t position = Seek(std::int32_t{0}, soFromCurrent);
    const std::int32_t size = Seek(std::int32_t{0}, soFromEnd);
    Seek(position, soFromBeginning);
    return size;
}

void TStream::SetSize(std::int32_t newSize) {
    (void)newSize;
}

void TStream::SetSize(std::int64_t newSize) {
    if (!FitsIn32(newSize))
        throw EStreamError("Stream size out of range");
    SetSize(static_cast<std::int32_t>(newSize));
}

void TStream::ReadBuffer(void* buffer, std::int32_t count) {
    if (count != 0 && Read(buffer, count) != count)
        throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, std::int32_t count) {
    if (count != 0 && Write(buffer, count) != count)
        throw EWriteError("Stream write error");
}

TMemoryStream::TMemoryStream(std::span<const std::uint8_t> bytes) {
    if (bytes.size() > static_cast<std::size_t>(MaxPosition))
        throw EStreamError("Stream size out of range");
    mBytes.assign(bytes.begin(), bytes.end());
}

std::int32_t TMemoryStream::Read(void* buffer, std::int32_t count) {
    const std::int64_t size = static_cast<std::int64_t>(mBytes.size());
    if (mPosition < 0 || count <= 0 || mPosition >= size)
        return 0;
    const std::int64_t n = std::min<std::int64_t>(count, size - mPosition);
    std::memcpy(buffer, mBytes.data() + mPosition, static_cast<std::size_t>(n));
    mPosition = static_cast<std::int32_t>(mPosition + n);
    return static_cast<std::int32_t>(n);
}

std::int32_t TMemoryStream::Write(const void* buffer, std::int32_t count) {
    if (mPosition < 0 || count <= 0)
        return 0;
    // A stream cannot grow past the largest 32-bit position: a write that
    // would is cut short there, like a full disk.
    const std::int64_t n = std::min<std::int64_t>(count, MaxPosition - mPosition);
    if (n <= 0)
        return 0;
    const std::int64_t end = mPosition + n;
    if (end > static_cast<std::int64_t>(mBytes.size())) {
        try {
            mBytes.resize(static_cast<std::size_t>(end));
        } catch (const std::bad_alloc&) {
            throw EOutOfMemory("Out of memory");
        }
    }
    std::memcpy(mBytes.data() + mPosition, buffer, static_cast<std::size_t>(n));
    mPosition = static_cast<std::int32_t>(end);
    return static_cast<std::int32_t>(n);
}

std::int32_t TMemoryStream::Seek(std::int32_t offset, int origin) {
    return static_cast<std::int32_t>(Seek(static_cast<std::int64_t>(offset), origin));
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, int origin) {
    std::int64_t base;
    switch (origin) {
    case soFromBeginning:
        base = 0;
        break;
    case soFromCurrent:
        base = mPosition;
        break;
    case soFromEnd:
        base = static_cast<std::int64_t>(mBytes.size());
        break;
    default:
        return mPosition;
    }
    // Both terms are far from the 64-bit limits only when the offset is:
    // saturate the offset first so the sum cannot overflow.
    offset = std::clamp(offset, 2 * MinPosition, 2 * MaxPosition);
    mPosition = static_cast<std::int32_t>(std::clamp(base + offset, MinPosition, MaxPosition));
    return mPosition;
}

void TMemoryStream::SetSize(std::int32_t newSize) {
    newSize = std::max<std::int32_t>(newSize, 0);
    try {
        mBytes.resize(static_cast<std::size_t>(newSize));
    } catch (const std::bad_alloc&) {
        throw EOutOfMemory("Out of memory");
    }
    if (mPosition > newSize)
        mPosition = newSize;
}

void TMemoryStream::Clear() {
    mBytes.clear();
    mBytes.shrink_to_fit();
    mPosition = 0;
}

} // namespace k58
