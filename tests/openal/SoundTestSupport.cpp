#include "SoundTestSupport.h"

#include "platform/DynamicLibrary.h"
#include "platform/SoundModule.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <thread>

namespace k58::soundtest {
namespace {

constexpr double kPi = 3.14159265358979323846;

std::string MakeTempDirectory() {
    char pattern[] = "/tmp/k58-openal-XXXXXX";
    const char* made = ::mkdtemp(pattern);
    return made != nullptr ? std::string(made) : std::string("/tmp");
}

template <class T> T ReadLe(const std::vector<char>& bytes, std::size_t at) {
    T value{};
    std::memcpy(&value, bytes.data() + at, sizeof(T));
    return value;
}

// Adds one frame whose channel c holds value(c): to each of the first two
// channels and, mixed down, to the samples.
template <class Value>
void AddFrame(Recording& recording, std::uint16_t channels, const Value& value) {
    float sum = 0.0f;
    for (std::uint16_t c = 0; c < channels; ++c) {
        const float v = value(c);
        if (c == 0)
            recording.left.push_back(v);
        if (c == std::min<std::uint16_t>(1, channels - 1))
            recording.right.push_back(v);
        sum += v;
    }
    recording.samples.push_back(sum / channels);
}

} // namespace

void UseNullOutput() {
    ::setenv("ALSOFT_DRIVERS", "null", 1);
}

std::string UseWaveOutput() {
    const std::string folder = MakeTempDirectory();
    const std::string wave = folder + "/out.wav";
    const std::string conf = folder + "/alsoft.conf";
    std::ofstream(conf) << "[wave]\nfile = " << wave << "\n";
    ::setenv("ALSOFT_DRIVERS", "wave", 1);
    ::setenv("ALSOFT_CONF", conf.c_str(), 1);
    return wave;
}

TDirectSoundCreate LoadCreate(const std::string& path) {
    HMODULE module = LoadLibrary(path);
    EXPECT_NE(module, nullptr) << path;
    // Kept loaded for the life of the process.
    auto create =
        reinterpret_cast<TDirectSoundCreate>(GetProcAddress(module, kDirectSoundCreateName));
    EXPECT_NE(create, nullptr);
    return create;
}

WAVEFORMATEX Pcm16Mono(std::uint32_t rate) {
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 1;
    format.nSamplesPerSec = rate;
    format.nAvgBytesPerSec = rate * 2;
    format.nBlockAlign = 2;
    format.wBitsPerSample = 16;
    return format;
}

std::vector<std::int16_t> Sine(double hertz, std::uint32_t rate, double seconds, double amplitude) {
    const double periods = std::max(1.0, std::round(hertz * seconds));
    const auto count = static_cast<std::size_t>(std::lround(periods * rate / hertz));
    std::vector<std::int16_t> samples(count);
    for (std::size_t i = 0; i < count; ++i) {
        const double phase = 2.0 * kPi * periods * double(i) / double(count);
        samples[i] = static_cast<std::int16_t>(std::lround(amplitude * 32767.0 * std::sin(phase)));
    }
    return samples;
}

DSBUFFERDESC Description(std::uint32_t bytes, WAVEFORMATEX* format, std::uint32_t flags) {
    DSBUFFERDESC desc{};
    desc.dwSize = DSBUFFERDESC_FULL_SIZE;
    desc.dwFlags = flags;
    desc.dwBufferBytes = bytes;
    desc.lpwfxFormat = format;
    return desc;
}

void Fill(IDirectSoundBuffer* buffer, const std::vector<std::int16_t>& samples) {
    const auto bytes = static_cast<std::uint32_t>(samples.size() * 2);
    void* p1 = nullptr;
    void* p2 = nullptr;
    std::uint32_t n1 = 0;
    std::uint32_t n2 = 0;
    ASSERT_EQ(buffer->Lock(0, bytes, &p1, &n1, &p2, &n2, 0), DS_OK);
    ASSERT_EQ(n1, bytes);
    std::memcpy(p1, samples.data(), n1);
    ASSERT_EQ(buffer->Unlock(p1, n1, p2, n2), DS_OK);
}

bool IsLost(IDirectSoundBuffer* buffer) {
    std::uint32_t status = 0;
    EXPECT_EQ(buffer->GetStatus(&status), DS_OK);
    return (status & DSBSTATUS_BUFFERLOST) != 0;
}

IDirectSoundBuffer* MakeBuffer(IDirectSound* device, const std::vector<std::int16_t>& samples,
                               std::uint32_t rate) {
    WAVEFORMATEX format = Pcm16Mono(rate);
    DSBUFFERDESC desc = Description(static_cast<std::uint32_t>(samples.size() * 2), &format);
    IDirectSoundBuffer* buffer = nullptr;
    EXPECT_EQ(device->CreateSoundBuffer(&desc, &buffer, nullptr), DS_OK);
    if (buffer != nullptr)
        Fill(buffer, samples);
    return buffer;
}

Recording ParseRecording(const std::vector<char>& bytes) {
    Recording recording;
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0)
        return recording;
    std::uint16_t channels = 0;
    std::uint16_t bits = 0;
    bool isFloat = false;
    std::size_t at = 12;
    while (at + 8 <= bytes.size()) {
        const std::string id(bytes.data() + at, 4);
        auto size = ReadLe<std::uint32_t>(bytes, at + 4);
        const std::size_t body = at + 8;
        if (id == "fmt ") {
            const auto tag = ReadLe<std::uint16_t>(bytes, body);
            channels = ReadLe<std::uint16_t>(bytes, body + 2);
            recording.rate = ReadLe<std::uint32_t>(bytes, body + 4);
            bits = ReadLe<std::uint16_t>(bytes, body + 14);
            // 3 is IEEE float; 0xFFFE names the real format in its GUID,
            // whose first two bytes are that same tag.
            isFloat = tag == 3 || (tag == 0xFFFE && ReadLe<std::uint16_t>(bytes, body + 24) == 3);
        } else if (id == "data") {
            // A header not yet finalised says 0 or too much: take what is there.
            if (size == 0 || body + size > bytes.size())
                size = static_cast<std::uint32_t>(bytes.size() - body);
            const std::size_t frame = std::size_t(channels) * bits / 8;
            if (frame == 0)
                return recording;
            recording.dataOffset = body;
            recording.frameBytes = frame;
            for (std::size_t f = body; f + frame <= body + size; f += frame) {
                AddFrame(recording, channels, [&](std::uint16_t c) {
                    if (isFloat && bits == 32)
                        return ReadLe<float>(bytes, f + c * 4u);
                    if (bits == 16)
                        return ReadLe<std::int16_t>(bytes, f + c * 2u) / 32768.0f;
                    return 0.0f;
                });
            }
            return recording;
        }
        at = body + size + (size & 1u);
    }
    return recording;
}

Recording ParseRawRecording(const std::vector<char>& bytes, std::uint32_t rate,
                            std::uint16_t channels) {
    Recording recording;
    recording.rate = rate;
    recording.frameBytes = std::size_t(channels) * 4;
    for (std::size_t f = 0; f + recording.frameBytes <= bytes.size(); f += recording.frameBytes)
        AddFrame(recording, channels,
                 [&](std::uint16_t c) { return ReadLe<float>(bytes, f + c * 4u); });
    return recording;
}

Recording ReadRecording(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
    return ParseRecording(bytes);
}

struct OutputClock::Impl {
    std::string path;
    std::atomic<bool> stop{false};
    std::vector<std::pair<std::chrono::steady_clock::time_point, std::uintmax_t>> seen;
    std::thread watcher;
};

OutputClock::OutputClock(std::string path) : mImpl(std::make_unique<Impl>()) {
    mImpl->path = std::move(path);
    mImpl->watcher = std::thread([impl = mImpl.get()] {
        while (!impl->stop) {
            struct stat info {};
            const bool found = ::stat(impl->path.c_str(), &info) == 0 && info.st_size > 0;
            // The clock is read after the size: the size was true at some
            // moment before it, so the bound holds even if this thread was
            // held up in between.
            const auto after = std::chrono::steady_clock::now();
            if (found)
                impl->seen.emplace_back(after, static_cast<std::uintmax_t>(info.st_size));
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
    });
}

OutputClock::~OutputClock() {
    mImpl->stop = true;
    if (mImpl->watcher.joinable())
        mImpl->watcher.join();
}

std::chrono::steady_clock::time_point OutputClock::Start(const Recording& recording) {
    mImpl->stop = true;
    if (mImpl->watcher.joinable())
        mImpl->watcher.join();
    std::chrono::steady_clock::time_point latest{};
    bool found = false;
    for (const auto& [when, size] : mImpl->seen) {
        if (size <= recording.dataOffset || recording.frameBytes == 0 || recording.rate == 0)
            continue;
        const double seconds =
            double((size - recording.dataOffset) / recording.frameBytes) / recording.rate;
        const auto start = when - std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                      std::chrono::duration<double>(seconds));
        if (!found || start < latest)
            latest = start;
        found = true;
    }
    return latest;
}

double ToneFrequency(const Recording& recording, double from, double to) {
    const auto& s = recording.samples;
    const auto first = static_cast<std::size_t>(std::max(0.0, from * recording.rate));
    const auto last = std::min(s.size(), static_cast<std::size_t>(to * recording.rate));
    double firstCrossing = -1.0;
    double lastCrossing = -1.0;
    int crossings = 0;
    for (std::size_t i = first + 1; i < last; ++i) {
        if (s[i - 1] < 0.0f && s[i] >= 0.0f) {
            const double t = double(i - 1) + s[i - 1] / double(s[i - 1] - s[i]);
            if (firstCrossing < 0.0)
                firstCrossing = t;
            lastCrossing = t;
            ++crossings;
        }
    }
    if (crossings < 2)
        return 0.0;
    return (crossings - 1) * double(recording.rate) / (lastCrossing - firstCrossing);
}

double ToneLevel(const std::vector<float>& s, std::uint32_t rate, double hertz, double from,
                 double to) {
    const auto first = static_cast<std::size_t>(std::max(0.0, from * rate));
    const auto last = std::min(s.size(), static_cast<std::size_t>(to * rate));
    if (last <= first)
        return 0.0;
    double re = 0.0;
    double im = 0.0;
    for (std::size_t i = first; i < last; ++i) {
        const double phase = 2.0 * kPi * hertz * double(i) / rate;
        re += s[i] * std::cos(phase);
        im += s[i] * std::sin(phase);
    }
    return 2.0 * std::hypot(re, im) / double(last - first);
}

double ToneLevel(const Recording& recording, double hertz, double from, double to) {
    return ToneLevel(recording.samples, recording.rate, hertz, from, to);
}

double FirstShortHalfPeriod(const Recording& recording, double from, double halfPeriodBelow) {
    const auto& s = recording.samples;
    const double limit = halfPeriodBelow * recording.rate;
    double previous = -1.0;
    for (auto i = static_cast<std::size_t>(from * recording.rate) + 1; i < s.size(); ++i) {
        if ((s[i - 1] < 0.0f) != (s[i] < 0.0f)) {
            const double t = double(i - 1) + s[i - 1] / double(s[i - 1] - s[i]);
            if (previous >= 0.0 && t - previous < limit)
                return previous / recording.rate;
            previous = t;
        }
    }
    return -1.0;
}

double FirstLongHalfPeriod(const Recording& recording, double from, double halfPeriodAbove) {
    const auto& s = recording.samples;
    const double limit = halfPeriodAbove * recording.rate;
    double previous = -1.0;
    for (auto i = static_cast<std::size_t>(std::max(0.0, from * recording.rate)) + 1; i < s.size();
         ++i) {
        if ((s[i - 1] < 0.0f) != (s[i] < 0.0f)) {
            const double t = double(i - 1) + s[i - 1] / double(s[i - 1] - s[i]);
            if (previous >= 0.0 && t - previous > limit)
                return previous / recording.rate;
            previous = t;
        }
    }
    return -1.0;
}

} // namespace k58::soundtest
