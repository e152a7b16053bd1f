// One sound in memory, and the RIFF/WAVE streams it is read and written
// through.
//
// TWave holds a format record (the bytes of the "fmt " chunk, a WAVEFORMATEX)
// and a block of sample bytes (the "data" chunk). It never interprets either.
// TWaveStream maps the RIFF/WAVE layout onto an underlying byte stream and
// presents the sample bytes as a stream of their own.
#pragma once

#include "platform/Classes.h"
#include "platform/Stream.h"

#include <cstdint>

namespace k58 {

// Failures of the wave streams: "Wave is invalid", "Stream has already been
// opened", "Format is invalid", "Stream not opend".
K58_DECLARE_EXCEPTION(EWaveStreamError, Exception);

class TWave : public TPersistent {
public:
    TWave() = default;
    ~TWave() override;

    // The format record, FormatSize() bytes (nullptr when there is none).
    const std::uint8_t* Format() const noexcept { return mFormat; }
    std::int32_t FormatSize() const noexcept { return mFormatSize; }
    // The sample bytes, Size() of them (nullptr when there are none).
    const std::uint8_t* Data() const noexcept { return mData; }
    std::int32_t Size() const noexcept { return mSize; }

    // Writable access to the two blocks, for filling them after SetSize and
    // SetFormatSize.
    std::uint8_t* MutableFormat() noexcept { return mFormat; }
    std::uint8_t* MutableData() noexcept { return mData; }

    // Frees both blocks and sets both sizes to 0.
    void Clear();
    // Replaces the content with the RIFF/WAVE data at the stream's position.
    void LoadFromStream(TStream& stream);
    // Writes the content as RIFF/WAVE data at the stream's position; an
    // empty wave (no format or no samples) writes nothing.
    void SaveToStream(TStream& stream) const;
    // Sets the sample byte count (negative counts as 0). The data block grows
    // and shrinks in steps of DataBlockStep bytes, keeping its leading bytes.
    void SetSize(std::int32_t n);
    // Sets the format record's size exactly (negative counts as 0), keeping
    // its leading bytes.
    void SetFormatSize(std::int32_t n);

    // Copies another wave; nullptr empties this one; anything else fails
    // with "Cannot assign a <source> to a TWave".
    void Assign(const TPersistent* source) override;
    const char* ClassName() const noexcept override { return "TWave"; }

    // Capacity step of the data block (8096, not 8192: kept as the stored
    // data and any code measuring capacity expect it).
    static constexpr std::int32_t DataBlockStep = 8096;
    // Bytes of the data block currently allocated: a whole number of steps.
    std::int64_t DataCapacity() const noexcept;

private:
    std::uint8_t* mFormat = nullptr;
    std::int32_t mFormatSize = 0;
    std::uint8_t* mData = nullptr;
    std::int32_t mSize = 0;
};

// A stream of sample bytes with a position counted from the first sample
// byte. Read, write and seek keep the position within 0..Size() and are built
// on the virtual operations below.
class TCustomWaveStream : public TStream {
public:
    std::int32_t Read(void* buffer, std::int32_t count) override;
    std::int32_t Write(const void* buffer, std::int32_t count) override;
    using TStream::Seek;
    std::int32_t Seek(std::int32_t offset, int origin) override;
    using TStream::SetSize;
    // The sample stream's size follows its data; setting it does nothing.
    void SetSize(std::int32_t newSize) override;

    // Bytes of sample data available; -1 when unknown.
    virtual std::int32_t FilledSize() { return -1; }
    virtual std::uint8_t* Format() = 0;
    virtual std::int32_t FormatSize() { return 0; }
    // Size of the sample data in bytes; -1 when it has none.
    std::int32_t Size() override { return -1; }
    virtual std::int32_t ReadSamples(void* buffer, std::int32_t count);
    virtual void SetFormatSize(std::int32_t n) = 0;
    virtual std::int32_t WriteSamples(const void* buffer, std::int32_t count);

protected:
    std::int32_t mPosition = 0;
};

// Adds an owned format record.
class TCustomWaveStream2 : public TCustomWaveStream {
public:
    ~TCustomWaveStream2() override;

    std::uint8_t* Format() override { return mFormat; }
    std::int32_t FormatSize() override { return mFormatSize; }
    // Resizes the record to n bytes, keeping its leading bytes. A negative n
    // counts as 0, so no chunk header can ever state a negative format size.
    void SetFormatSize(std::int32_t n) override;

private:
    std::uint8_t* mFormat = nullptr;
    std::int32_t mFormatSize = 0;
};

// The RIFF/WAVE layout on an underlying byte stream, starting at the
// position that stream had when the wave stream was created.
class TWaveStream : public TCustomWaveStream2 {
public:
    explicit TWaveStream(TStream& stream);
    // Finalises the headers when opened for writing. A destructor cannot
    // report a failure, so writers call Finalise first and let it raise.
    ~TWaveStream() override;

    // Opens for reading (walks the chunks) or for writing (writes the
    // headers). A wave stream can be opened once.
    void Open(bool writeMode);

    // 0 when not opened; the "data" chunk's stated size when reading; the
    // bytes written so far when writing.
    std::int32_t Size() override;
    std::int32_t ReadSamples(void* buffer, std::int32_t count) override;
    std::int32_t WriteSamples(const void* buffer, std::int32_t count) override;

    // When opened for writing: writes the RIFF size and the "data" size for
    // everything written so far and leaves the underlying stream at its end.
    // Harmless to repeat; the destructor does it once more.
    void Finalise();

    // Underlying position of the first sample byte.
    std::int32_t DataPosition() const noexcept { return mDataPosition; }

private:
    void ReadHeaders();
    void WriteHeaders();
    void SkipChunk(std::uint32_t size, bool& walkEnded);
    void MoveTo(std::int64_t samplePosition);

    TStream& mStream;
    std::int32_t mOrigin = 0;
    bool mOpened = false;
    bool mReadMode = false;
    std::int32_t mDataPosition = 0;
    std::int32_t mDataHeaderPosition = 0;
    std::int32_t mDataSize = 0;
};

} // namespace k58
