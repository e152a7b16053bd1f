// Byte streams: the stream base the wave code reads from and writes to, and
// an in-memory stream.
//
// Positions and sizes are signed 32-bit, as in the component library these
// streams stand in for; every sum of a position and a count is formed in 64
// bits and kept within that range, so hostile sizes cannot wrap a position.
#pragma once

#include "platform/SysUtils.h"

#include <cstdint>
#include <span>
#include <vector>

namespace k58 {

// Failures of a byte stream. ReadBuffer and WriteBuffer raise the two derived
// classes when fewer bytes than asked for could be moved.
K58_DECLARE_EXCEPTION(EStreamError, Exception);
K58_DECLARE_EXCEPTION(EReadError, EStreamError);
K58_DECLARE_EXCEPTION(EWriteError, EStreamError);

// Seek origins.
inline constexpr int soFromBeginning = 0;
inline constexpr int soFromCurrent = 1;
inline constexpr int soFromEnd = 2;

class TStream {
public:
    TStream() = default;
    TStream(const TStream&) = delete;
    TStream& operator=(const TStream&) = delete;
    virtual ~TStream() = default;

    // Moves up to count bytes and returns how many were moved (0 for a
    // count of 0 or below).
    virtual std::int32_t Read(void* buffer, std::int32_t count) = 0;
    virtual std::int32_t Write(const void* buffer, std::int32_t count) = 0;

    // Moves the position and returns the new one. The 64-bit form passes on
    // to the 32-bit one; an offset beyond 32 bits raises EStreamError.
    virtual std::int32_t Seek(std::int32_t offset, int origin) = 0;
    virtual std::int64_t Seek(std::int64_t offset, int origin);

    // The size in bytes; the base finds it by seeking to the end and back.
    virtual std::int32_t Size();
    // The base's 32-bit form does nothing; the 64-bit form passes on to it
    // and raises EStreamError for a size beyond 32 bits.
    virtual void SetSize(std::int32_t newSize);
    virtual void SetSize(std::int64_t newSize);

    std::int32_t Position() { return Seek(std::int32_t{0}, soFromCurrent); }
    void SetPosition(std::int32_t position) { Seek(position, soFromBeginning); }

    // All or nothing: raise EReadError "Stream read error" (EWriteError
    // "Stream write error") when fewer than count bytes were moved. A count
    // of 0 does nothing.
    void ReadBuffer(void* buffer, std::int32_t count);
    void WriteBuffer(const void* buffer, std::int32_t count);
};

// A stream held in memory. Writing past the end extends it (a gap left by
// seeking beyond the end reads as zeros); reading past the end brings nothing.
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    // A stream holding a copy of these bytes, positioned at 0.
    explicit TMemoryStream(std::span<const std::uint8_t> bytes);

    std::int32_t Read(void* buffer, std::int32_t count) override;
    std::int32_t Write(const void* buffer, std::int32_t count) override;
    using TStream::Seek;
    // Positions are kept within the signed 32-bit range; a position before 0
    // is allowed, and reads and writes there move nothing.
    std::int32_t Seek(std::int32_t offset, int origin) override;
    std::int64_t Seek(std::int64_t offset, int origin) override;
    std::int32_t Size() override { return static_cast<std::int32_t>(mBytes.size()); }
    using TStream::SetSize;
    // Extends with zeros or truncates; a negative size counts as 0. The
    // position is pulled back to the new end if it lay beyond it.
    void SetSize(std::int32_t newSize) override;

    void Clear();
    const std::uint8_t* Memory() const noexcept { return mBytes.data(); }
    std::span<const std::uint8_t> Bytes() const noexcept { return mBytes; }

private:
    std::vector<std::uint8_t> mBytes;
    std::int32_t mPosition = 0;
};

} // namespace k58
