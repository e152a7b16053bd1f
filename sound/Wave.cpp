#include "sound/Wave.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace k58 {

namespace {

using FourCC = std::array<std::uint8_t, 4>;

constexpr FourCC RiffId{'R', 'I', 'F', 'F'};
constexpr FourCC WaveId{'W', 'A', 'V', 'E'};
constexpr FourCC FmtId{'f', 'm', 't', ' '};
constexpr FourCC DataId{'d', 'a', 't', 'a'};
constexpr FourCC EndId{0, 0, 0, 0};

constexpr std::int64_t MaxPosition = std::numeric_limits<std::int32_t>::max();

constexpr std::int32_t ChunkHeaderSize = 8;
constexpr std::int32_t RiffHeaderSize = 12;

FourCC IdAt(const std::uint8_t* bytes) {
    return {bytes[0], bytes[1], bytes[2], bytes[3]};
}

std::uint32_t LittleEndian32(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

std::array<std::uint8_t, ChunkHeaderSize> ChunkHeader(const FourCC& id, std::uint32_t size) {
    return {id[0],
            id[1],
            id[2],
            id[3],
            static_cast<std::uint8_t>(size),
            static_cast<std::uint8_t>(size >> 8),
            static_cast<std::uint8_t>(size >> 16),
            static_cast<std::uint8_t>(size >> 24)};
}

std::int32_t ClampTo32(std::int64_t value) {
    return static_cast<std::int32_t>(
        std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(), MaxPosition));
}

// Resizes a malloc'd block, keeping its leading bytes and zeroing any new
// ones; a size of 0 frees it.
std::uint8_t* ResizeBlock(std::uint8_t* block, std::size_t oldSize, std::size_t newSize) {
    if (newSize == 0) {
        std::free(block);
        return nullptr;
    }
    void* resized = std::realloc(block, newSize);
    if (resized == nullptr)
        throw EOutOfMemory("Out of memory");
    auto* bytes = static_cast<std::uint8_t*>(resized);
    if (newSize > oldSize)
        std::memset(bytes + oldSize, 0, newSize - oldSize);
    return bytes;
}

std::int64_t DataSteps(std::int32_t size) {
    return (static_cast<std::int64_t>(size) + TWave::DataBlockStep - 1) / TWave::DataBlockStep;
}

} // namespace

// ---- TWave ----

TWave::~TWave() {
    Clear();
}

void TWave::Clear() {
    SetSize(0);
    SetFormatSize(0);
}

std::int64_t TWave::DataCapacity() const noexcept {
    return DataSteps(mSize) * DataBlockStep;
}

void TWave::SetSize(std::int32_t n) {
    n = std::max<std::int32_t>(n, 0);
    const std::int64_t oldSteps = DataSteps(mSize);
    const std::int64_t newSteps = DataSteps(n);
    if (newSteps != oldSteps)
        mData = ResizeBlock(mData, static_cast<std::size_t>(oldSteps * DataBlockStep),
                            static_cast<std::size_t>(newSteps * DataBlockStep));
    mSize = n;
}

void TWave::SetFormatSize(std::int32_t n) {
    n = std::max<std::int32_t>(n, 0);
    mFormat =
        ResizeBlock(mFormat, static_cast<std::size_t>(mFormatSize), static_cast<std::size_t>(n));
    mFormatSize = n;
}

void TWave::Assign(const TPersistent* source) {
    if (source == nullptr) {
        Clear();
        return;
    }
    if (const auto* wave = dynamic_cast<const TWave*>(source)) {
        if (wave == this)
            return;
        SetSize(wave->mSize);
        SetFormatSize(wave->mFormatSize);
        if (mSize > 0)
            std::memcpy(mData, wave->mData, static_cast<std::size_t>(mSize));
        if (mFormatSize > 0)
            std::memcpy(mFormat, wave->mFormat, static_cast<std::size_t>(mFormatSize));
        return;
    }
    TPersistent::Assign(source);
}

void TWave::LoadFromStream(TStream& stream) {
    Clear();
    TWaveStream waveStream(stream);
    waveStream.Open(false);

    SetFormatSize(waveStream.FormatSize());
    if (mFormatSize > 0)
        std::memcpy(mFormat, waveStream.Format(), static_cast<std::size_t>(mFormatSize));

    // A "data" chunk that claims more bytes than the stream holds fails with
    // the read error before its size is allocated, so a few hostile header
    // bytes cannot demand a block of gigabytes.
    const std::int32_t size = waveStream.Size();
    const std::int64_t available =
        static_cast<std::int64_t>(stream.Size()) - waveStream.DataPosition();
    if (size > available)
        throw EReadError("Stream read error");

    SetSize(size);
    waveStream.ReadBuffer(mData, mSize);
}

void TWave::SaveToStream(TStream& stream) const {
    if (mFormatSize < 1 || mSize < 1)
        return;
    TWaveStream waveStream(stream);
    waveStream.SetFormatSize(mFormatSize);
    std::memcpy(waveStream.Format(), mFormat, static_cast<std::size_t>(mFormatSize));
    waveStream.Open(true);
    waveStream.WriteBuffer(mData, mSize);
    waveStream.Finalise();
}

// ---- TCustomWaveStream ----

std::int32_t TCustomWaveStream::Read(void* buffer, std::int32_t count) {
    const std::int32_t size = Size();
    std::int32_t n;
    if (size < 0) {
        n = ReadSamples(buffer, count);
    } else {
        if (mPosition > size)
            mPosition = size;
        if (static_cast<std::int64_t>(mPosition) + count > size)
            count = size - mPosition;
        n = ReadSamples(buffer, count);
    }
    mPosition = ClampTo32(static_cast<std::int64_t>(mPosition) + n);
    return n;
}

std::int32_t TCustomWaveStream::Write(const void* buffer, std::int32_t count) {
    const std::int32_t size = Size();
    if (mPosition > size)
        mPosition = size;
    const std::int32_t n = WriteSamples(buffer, count);
    mPosition = ClampTo32(static_cast<std::int64_t>(mPosition) + n);
    return n;
}

std::int32_t TCustomWaveStream::Seek(std::int32_t offset, int origin) {
    std::int64_t position = mPosition;
    switch (origin) {
    case soFromBeginning:
        position = offset;
        break;
    case soFromCurrent:
        position += offset;
        break;
    case soFromEnd:
        position = static_cast<std::int64_t>(Size()) + offset;
        break;
    default:
        break;
    }
    if (position < 0)
        position = 0;
    const std::int32_t size = Size();
    if (position > size)
        position = size;
    mPosition = static_cast<std::int32_t>(position);
    return mPosition;
}

void TCustomWaveStream::SetSize(std::int32_t newSize) {
    (void)newSize;
}

std::int32_t TCustomWaveStream::ReadSamples(void* buffer, std::int32_t count) {
    (void)buffer;
    (void)count;
    return 0;
}

std::int32_t TCustomWaveStream::WriteSamples(const void* buffer, std::int32_t count) {
    (void)buffer;
    (void)count;
    return 0;
}

// ---- TCustomWaveStream2 ----

TCustomWaveStream2::~TCustomWaveStream2() {
    TCustomWaveStream2::SetFormatSize(0);
}

void TCustomWaveStream2::SetFormatSize(std::int32_t n) {
    n = std::max<std::int32_t>(n, 0);
    mFormat =
        ResizeBlock(mFormat, static_cast<std::size_t>(mFormatSize), static_cast<std::size_t>(n));
    mFormatSize = n;
}

// ---- TWaveStream ----

TWaveStream::TWaveStream(TStream& stream) : mStream(stream), mOrigin(stream.Position()) {}

TWaveStream::~TWaveStream() {
    // Writers have already called Finalise and seen any failure; here a
    // failure (for instance while unwinding from a failed write) is dropped.
    try {
        Finalise();
    } catch (...) {
    }
}

void TWaveStream::Open(bool writeMode) {
    if (mOpened)
        throw EWaveStreamError("Stream has already been opened");
    if (writeMode) {
        if (FormatSize() == 0)
            throw EWaveStreamError("Format is invalid");
        mOpened = true;
        WriteHeaders();
    } else {
        mOpened = true;
        mReadMode = true;
        ReadHeaders();
    }
}

void TWaveStream::ReadHeaders() {
    mStream.SetPosition(mOrigin);
    std::uint8_t riff[RiffHeaderSize];
    mStream.ReadBuffer(riff, RiffHeaderSize);
    // The RIFF size field (bytes 4 to 7) is not looked at: the chunks are
    // walked to the end of the stream.
    if (IdAt(riff) != RiffId || IdAt(riff + 8) != WaveId)
        throw EWaveStreamError("Wave is invalid");

    bool walkEnded = false;
    while (!walkEnded) {
        // A short read leaves the rest of the header zero; an identifier of
        // zero (the end of the stream, or four zero bytes) ends the walk.
        std::uint8_t header[ChunkHeaderSize] = {};
        mStream.Read(header, ChunkHeaderSize);
        const FourCC id = IdAt(header);
        if (id == EndId)
            break;
        const std::uint32_t size = LittleEndian32(header + 4);
        // No stream with 32-bit positions can hold a chunk of 2 GiB or more,
        // and taking such a size as a signed seek would lead the walk back
        // to earlier chunks.
        if (size > static_cast<std::uint32_t>(MaxPosition))
            throw EReadError("Stream read error");
        if (id == FmtId) {
            // Check before allocating that the stream holds the whole record.
            const std::int64_t left =
                static_cast<std::int64_t>(mStream.Size()) - mStream.Position();
            if (static_cast<std::int64_t>(size) > left)
                throw EReadError("Stream read error");
            SetFormatSize(static_cast<std::int32_t>(size));
            mStream.ReadBuffer(Format(), FormatSize());
        } else if (id == DataId) {
            mDataSize = static_cast<std::int32_t>(size);
            mDataPosition = mStream.Position();
            SkipChunk(size, walkEnded);
        } else {
            SkipChunk(size, walkEnded);
        }
    }
}

// Chunk sizes are used as stored: no pad byte is skipped after an odd size.
void TWaveStream::SkipChunk(std::uint32_t size, bool& walkEnded) {
    // A chunk reaching beyond the largest 32-bit position runs past the end
    // of any stream: the walk ends as it would at the next (empty) read.
    if (static_cast<std::int64_t>(mStream.Position()) + size > MaxPosition) {
        walkEnded = true;
        return;
    }
    mStream.Seek(static_cast<std::int32_t>(size), soFromCurrent);
}

void TWaveStream::WriteHeaders() {
    mStream.SetPosition(mOrigin);
    // Placeholder for the RIFF header; Finalise fills in the size.
    const auto riff = ChunkHeader(RiffId, 0);
    mStream.WriteBuffer(riff.data(), ChunkHeaderSize);
    mStream.WriteBuffer(WaveId.data(), 4);

    const auto fmt = ChunkHeader(FmtId, static_cast<std::uint32_t>(FormatSize()));
    mStream.WriteBuffer(fmt.data(), ChunkHeaderSize);
    mStream.WriteBuffer(Format(), FormatSize());

    mDataHeaderPosition = mStream.Position();
    const auto data = ChunkHeader(DataId, 0);
    mStream.WriteBuffer(data.data(), ChunkHeaderSize);
    mDataPosition = mStream.Position();
}

void TWaveStream::Finalise() {
    if (!mOpened || mReadMode)
        return;
    // Everything from the origin to the end counts as the RIFF form, and
    // everything from the data position to the end as sample data.
    const std::int64_t end = mStream.Size();
    mStream.SetPosition(mOrigin);
    const auto riff = ChunkHeader(RiffId, static_cast<std::uint32_t>(end - mOrigin - 8));
    mStream.WriteBuffer(riff.data(), ChunkHeaderSize);
    mStream.WriteBuffer(WaveId.data(), 4);
    mStream.SetPosition(mDataHeaderPosition);
    const auto data = ChunkHeader(DataId, static_cast<std::uint32_t>(Size()));
    mStream.WriteBuffer(data.data(), ChunkHeaderSize);
    mStream.Seek(std::int32_t{0}, soFromEnd);
}

std::int32_t TWaveStream::Size() {
    if (!mOpened)
        return 0;
    if (mReadMode)
        return mDataSize;
    return ClampTo32(static_cast<std::int64_t>(mStream.Size()) - mDataPosition);
}

void TWaveStream::MoveTo(std::int64_t samplePosition) {
    mStream.Seek(static_cast<std::int64_t>(mDataPosition) + samplePosition, soFromBeginning);
}

std::int32_t TWaveStream::ReadSamples(void* buffer, std::int32_t count) {
    if (!mOpened)
        throw EWaveStreamError("Stream not opend");
    MoveTo(mPosition);
    return mStream.Read(buffer, count);
}

std::int32_t TWaveStream::WriteSamples(const void* buffer, std::int32_t count) {
    if (!mOpened)
        throw EWaveStreamError("Stream not opend");
    // Reading mode overwrites sample bytes in place and never extends the
    // "data" chunk.
    if (mReadMode && static_cast<std::int64_t>(mPosition) + count > mDataSize)
        count = mDataSize - mPosition;
    MoveTo(mPosition);
    return mStream.Write(buffer, count);
}

} // namespace k58
