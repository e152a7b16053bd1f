// Builds and takes apart RIFF byte sequences for the wave tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace k58::test {

using Bytes = std::vector<std::uint8_t>;

struct Chunk {
    std::string id; // four characters
    Bytes body;
};

inline void AppendU32(Bytes& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<std::uint8_t>(value >> shift));
}

inline void AppendId(Bytes& out, const std::string& id) {
    out.insert(out.end(), id.begin(), id.end());
}

inline Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A chunk with its stated size (by default the body's size); no pad byte.
inline Bytes ChunkBytes(const std::string& id, const Bytes& body, std::int64_t statedSize = -1) {
    Bytes out;
    AppendId(out, id);
    AppendU32(out, static_cast<std::uint32_t>(statedSize < 0 ? body.size() : statedSize));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

// "RIFF", size field (by default the true one), form type, then the chunks
// back to back.
inline Bytes RiffBytes(const std::vector<Chunk>& chunks, const std::string& form = "WAVE",
                       std::int64_t sizeField = -1) {
    Bytes body;
    AppendId(body, form);
    for (const Chunk& chunk : chunks) {
        const Bytes bytes = ChunkBytes(chunk.id, chunk.body);
        body.insert(body.end(), bytes.begin(), bytes.end());
    }
    Bytes out;
    AppendId(out, "RIFF");
    AppendU32(out, static_cast<std::uint32_t>(sizeField < 0 ? body.size() : sizeField));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

// A 16-byte PCM format record.
inline Bytes PcmFormat(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits) {
    Bytes out;
    const auto u16 = [&](std::uint16_t v) {
        out.push_back(static_cast<std::uint8_t>(v));
        out.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    const std::uint16_t blockAlign = static_cast<std::uint16_t>(channels * bits / 8);
    u16(1);
    u16(channels);
    AppendU32(out, rate);
    AppendU32(out, rate * blockAlign);
    u16(blockAlign);
    u16(bits);
    return out;
}

// The chunks of a well-formed RIFF file, honouring pad bytes after odd
// sizes as other tools write them.
inline std::vector<Chunk> SplitChunks(const Bytes& riff) {
    std::vector<Chunk> chunks;
    std::size_t at = 12;
    while (at + 8 <= riff.size()) {
        const std::string id(riff.begin() + static_cast<std::ptrdiff_t>(at),
                             riff.begin() + static_cast<std::ptrdiff_t>(at + 4));
        const std::uint32_t size = riff[at + 4] | riff[at + 5] << 8 | riff[at + 6] << 16 |
                                   static_cast<std::uint32_t>(riff[at + 7]) << 24;
        const auto begin = riff.begin() + static_cast<std::ptrdiff_t>(at + 8);
        chunks.push_back({id, Bytes(begin, begin + size)});
        at += 8 + size + (size & 1);
    }
    return chunks;
}

inline const Chunk* FindChunk(const std::vector<Chunk>& chunks, const std::string& id) {
    for (const Chunk& chunk : chunks)
        if (chunk.id == id)
            return &chunk;
    return nullptr;
}

} // namespace k58::test
