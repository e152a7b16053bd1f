// Figures of the sound module's output, not a test.
//
//   openal_sound_figures wave <file> [changes]   SetFrequency to pitch
//       change on OpenAL's file writer
//   openal_sound_figures raw <file> [changes]    the same in a raw float32
//       stereo 44.1 kHz recording made by someone else (parec of a
//       PulseAudio sink; the output as the environment names it, e.g.
//       ALSOFT_DRIVERS=pulse)
//   openal_sound_figures levels <file>           the level of each carried
//       sound, played alone at pan 0, in the file writer's mix against the
//       sound's own level
//
// A looped tone alternates between 440 and 880 Hz, and each change is found
// in the recording, which grows as it is played and is tied to the clock by
// its size (OutputClock); the p50 and p99 of the delays are printed.
#include "SoundTestSupport.h"
#include "assets/Assets.h"

#include <AL/alc.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

using namespace k58;
using namespace k58::soundtest;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::uint32_t kRate = 22050;
constexpr double kTone = 440.0;

std::vector<char> ReadBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// The 16-bit mono samples of a carried sound, and its rate.
std::vector<std::int16_t> CarriedSamples(const char* name, std::uint32_t& rate) {
    const auto bytes = assets::Find(name);
    std::vector<std::int16_t> samples;
    for (std::size_t at = 12; at + 8 <= bytes.size();) {
        const std::string id(reinterpret_cast<const char*>(bytes.data() + at), 4);
        std::uint32_t size = 0;
        std::memcpy(&size, bytes.data() + at + 4, 4);
        if (id == "fmt ")
            std::memcpy(&rate, bytes.data() + at + 12, 4);
        if (id == "data") {
            samples.resize(std::min<std::size_t>(size, bytes.size() - at - 8) / 2);
            std::memcpy(samples.data(), bytes.data() + at + 8, samples.size() * 2);
        }
        at += 8 + size + (size & 1u);
    }
    return samples;
}

// Energy in dB, per second of sound at rate.
double EnergyDb(const std::vector<float>& samples, std::size_t from, std::size_t to,
                std::uint32_t rate) {
    double sum = 0.0;
    for (std::size_t i = from; i < std::min(to, samples.size()); ++i)
        sum += double(samples[i]) * samples[i];
    return 10.0 * std::log10(sum / rate);
}

// Each carried sound alone: the one-shots once (all their energy, wherever
// it falls), the looped ones for whole loops of at least half a second
// after a quarter of a second (against the same loops of the sound itself).
int Levels(const std::string& path) {
    const std::string conf = path + ".conf";
    std::ofstream(conf) << "[wave]\nfile = " << path << "\n";
    ::setenv("ALSOFT_DRIVERS", "wave", 1);
    ::setenv("ALSOFT_CONF", conf.c_str(), 1);
    const TDirectSoundCreate create = LoadCreate(K58_DSOUND_PATH);
    const struct {
        const char* name;
        bool looped;
    } sounds[] = {{"engine-beat.wav", false},
                  {"engine-tone.wav", true},
                  {"rolling-tone.wav", true},
                  {"clunk.wav", false}};
    for (const auto& sound : sounds) {
        std::uint32_t rate = 0;
        const std::vector<std::int16_t> samples = CarriedSamples(sound.name, rate);
        const double seconds = double(samples.size()) / rate;
        const double loops = sound.looped ? std::ceil(0.5 / seconds) : 1.0;
        IDirectSound* device = nullptr;
        if (create == nullptr || create(nullptr, &device, nullptr) != DS_OK)
            return 4;
        IDirectSoundBuffer* buffer = MakeBuffer(device, samples, rate);
        if (buffer == nullptr || buffer->Play(0, 0, sound.looped ? DSBPLAY_LOOPING : 0) != DS_OK)
            return 5;
        std::this_thread::sleep_for(std::chrono::duration<double>(loops * seconds + 0.6));
        buffer->Release();
        device->Release();
        const Recording out = ReadRecording(path);
        std::vector<float> own;
        for (std::size_t i = 0; i < std::size_t(loops) * samples.size(); ++i)
            own.push_back(samples[i % samples.size()] / 32768.0f);
        const std::size_t from = sound.looped ? out.rate / 4 : 0;
        const std::size_t to =
            sound.looped ? from + std::size_t(loops * seconds * out.rate) : out.left.size();
        const double ownDb = EnergyDb(own, 0, own.size(), rate);
        std::printf("%s at pan 0: left %+.2f dB, right %+.2f dB against its own level\n",
                    sound.name, EnergyDb(out.left, from, to, out.rate) - ownDb,
                    EnergyDb(out.right, from, to, out.rate) - ownDb);
    }
    return 0;
}

double Percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(p * double(values.size() - 1))];
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3)
        return 2;
    const std::string mode = argv[1];
    const std::string path = argv[2];
    if (mode == "levels")
        return Levels(path);
    const int changes = argc > 3 ? std::atoi(argv[3]) : 24;
    const bool wave = mode == "wave";
    if (wave) {
        const std::string conf = path + ".conf";
        std::ofstream(conf) << "[wave]\nfile = " << path << "\n";
        ::setenv("ALSOFT_DRIVERS", "wave", 1);
        ::setenv("ALSOFT_CONF", conf.c_str(), 1);
    }
    const TDirectSoundCreate create = LoadCreate(K58_DSOUND_PATH);
    if (create == nullptr)
        return 3;
    IDirectSound* device = nullptr;
    if (wave) { // the first device of the process is slow to start
        if (create(nullptr, &device, nullptr) != DS_OK)
            return 4;
        device->Release();
        std::remove(path.c_str());
    }
    OutputClock clock(path);
    if (create(nullptr, &device, nullptr) != DS_OK)
        return 4;
    ALCint refresh = 0;
    alcGetIntegerv(alcGetContextsDevice(alcGetCurrentContext()), ALC_REFRESH, 1, &refresh);
    const double period = refresh > 0 ? 1.0 / refresh : 0.0;
    IDirectSoundBuffer* tone = MakeBuffer(device, Sine(kTone, kRate, 1.0), kRate);
    if (tone == nullptr || tone->Play(0, 0, DSBPLAY_LOOPING) != DS_OK)
        return 5;
    // A recorder of a sound server takes a while to deliver its first samples.
    std::this_thread::sleep_for(wave ? 300ms : 2500ms);
    std::vector<Clock::time_point> callsAt;
    for (int i = 0; i < changes; ++i) {
        std::this_thread::sleep_for(150ms + std::chrono::milliseconds(7 * (i % 5)));
        callsAt.push_back(Clock::now());
        tone->SetFrequency(i % 2 == 0 ? 2 * kRate : kRate);
    }
    std::this_thread::sleep_for(wave ? 200ms : 1000ms);
    tone->Release();
    device->Release();
    const Recording out = wave ? ReadRecording(path) : ParseRawRecording(ReadBytes(path), 44100, 2);
    const Clock::time_point start = clock.Start(out);
    std::vector<double> delays;
    for (int i = 0; i < changes; ++i) {
        const double call = std::chrono::duration<double>(callsAt[i] - start).count();
        const double mid = 0.75 / (2 * kTone);
        const double heard = i % 2 == 0 ? FirstShortHalfPeriod(out, call - 0.04, mid)
                                        : FirstLongHalfPeriod(out, call - 0.04, mid);
        if (heard < 0.0)
            continue;
        // The file writer writes a block one mixing period after its start.
        delays.push_back((heard - call + (wave ? period : 0.0)) * 1000.0);
    }
    if (delays.empty())
        return 6;
    std::printf("%s: SetFrequency to pitch change, %zu of %d changes found: p50 %.1f ms, p99 "
                "%.1f ms, min %.1f ms, max %.1f ms (mixing period %.1f ms)\n",
                mode.c_str(), delays.size(), changes, Percentile(delays, 0.5),
                Percentile(delays, 0.99), Percentile(delays, 0.0), Percentile(delays, 1.0),
                period * 1000.0);
    return 0;
}
