// Finds every engine beat in a recording of the program's mix and reports
// how far the intervals between them are from the beat timer's interval.
//
//   k58_beat_rhythm RECORDING.wav INTERVAL_MS [SKIP_SECONDS]
//
// The recording is OpenAL Soft's file-writer output (32-bit float, any
// channel count; the chunk sizes are not trusted, since the writer fills
// them in only when the device is closed). Each beat's onset is where the
// whole carried beat matches the mix best (matched filter), both taken in
// the 1-3 kHz band, where the beat has its rough edge and the two tones
// almost nothing; onsets are at least half an interval apart. Prints one
// "name<TAB>value" line each.
#include "analysis/SoundAnalysis.h"
#include "assets/Assets.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <vector>

namespace {

struct Sound {
    double rate = 0;
    std::vector<double> mono;
};

std::uint32_t Le32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint16_t Le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

// The offset of a chunk's body, searched from the first chunk on; data may
// be the last chunk with an unfinished size, so its body runs to the end.
std::size_t FindChunk(std::span<const std::uint8_t> file, const char* id) {
    for (std::size_t at = 12; at + 8 <= file.size();) {
        if (std::memcmp(file.data() + at, id, 4) == 0)
            return at + 8;
        at += 8 + Le32(file.data() + at + 4) + (Le32(file.data() + at + 4) & 1);
    }
    return 0;
}

Sound Decode(std::span<const std::uint8_t> file, bool dataRunsToTheEnd) {
    Sound sound;
    const std::size_t fmt = FindChunk(file, "fmt ");
    const std::size_t data = FindChunk(file, "data");
    if (fmt == 0 || data == 0 || fmt + 16 > file.size())
        return sound;
    const std::uint16_t tag = Le16(file.data() + fmt);
    const std::uint16_t channels = std::max<std::uint16_t>(Le16(file.data() + fmt + 2), 1);
    const std::uint16_t bits = Le16(file.data() + fmt + 14);
    sound.rate = Le32(file.data() + fmt + 4);
    std::size_t end = dataRunsToTheEnd ? file.size() : data + Le32(file.data() + data - 4);
    end = std::min(end, file.size());
    const std::size_t frameBytes = channels * (bits / 8u);
    for (std::size_t at = data; frameBytes > 0 && at + frameBytes <= end; at += frameBytes) {
        double sum = 0;
        for (std::uint16_t c = 0; c < channels; ++c) {
            const std::uint8_t* p = file.data() + at + c * (bits / 8u);
            if (bits == 32 && (tag == 3 || tag == 0xFFFE)) {
                float value;
                std::memcpy(&value, p, sizeof value);
                sum += value;
            } else if (bits == 16) {
                sum += static_cast<std::int16_t>(Le16(p)) / 32768.0;
            }
        }
        sound.mono.push_back(sum / channels);
    }
    return sound;
}

// Two sections of an RBJ band-pass (0 dB at the centre) around 1.73 kHz.
std::vector<double> BeatBand(const std::vector<double>& samples, double rate) {
    constexpr double CentreHz = 1730.0;
    constexpr double Q = 0.6;
    const double w0 = 2.0 * 3.141592653589793 * CentreHz / rate;
    const double alpha = std::sin(w0) / (2.0 * Q);
    const double a0 = 1.0 + alpha;
    const double b0 = alpha / a0, b2 = -alpha / a0;
    const double a1 = -2.0 * std::cos(w0) / a0, a2 = (1.0 - alpha) / a0;
    std::vector<double> out = samples;
    for (int section = 0; section < 2; ++section) {
        double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
        for (double& v : out) {
            const double y = b0 * v + b2 * x2 - a1 * y1 - a2 * y2;
            x2 = x1;
            x1 = v;
            y2 = y1;
            y1 = y;
            v = y;
        }
    }
    return out;
}

double Percentile(std::vector<double> values, double p) {
    if (values.empty())
        return NAN;
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<std::size_t>(std::ceil(p / 100.0 * values.size()));
    return values[std::min(values.size() - 1, rank > 0 ? rank - 1 : 0)];
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s RECORDING.wav INTERVAL_MS [SKIP_SECONDS]\n", argv[0]);
        return 2;
    }
    const double interval = std::atof(argv[2]);
    const double skip = argc > 3 ? std::atof(argv[3]) : 0.0;
    std::ifstream in(argv[1], std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    Sound mix = Decode(bytes, true);
    const Sound beat = Decode(k58::assets::Find("engine-beat.wav"), false);
    if (mix.rate <= 0 || beat.rate != mix.rate || beat.mono.empty()) {
        std::fprintf(stderr, "the recording is unreadable or not at the beat's rate\n");
        return 1;
    }
    const auto skipped = std::min(mix.mono.size(), static_cast<std::size_t>(skip * mix.rate));
    mix.mono.erase(mix.mono.begin(), mix.mono.begin() + static_cast<std::ptrdiff_t>(skipped));

    const std::vector<double> scores =
        k58::analysis::MatchedScores(BeatBand(mix.mono, mix.rate), BeatBand(beat.mono, beat.rate));
    // Where beats overlap (every 70 ms, each 0.45 s long) a beat scores about
    // 1/sqrt(7); noise and the tones stay well below a fifth.
    const auto gap = static_cast<std::size_t>(interval / 2000.0 * mix.rate);
    const std::vector<std::size_t> onsets = k58::analysis::ScorePeaks(scores, gap, 0.2);
    if (std::getenv("K58_RHYTHM_ONSETS") != nullptr)
        for (std::size_t at : onsets)
            std::fprintf(stderr, "%.4f %.3f\n", at / mix.rate, scores[at]);
    std::vector<double> deviations;
    int missed = 0;
    for (std::size_t i = 1; i < onsets.size(); ++i) {
        const double ms = (onsets[i] - onsets[i - 1]) * 1000.0 / mix.rate;
        if (ms > 1.5 * interval) {
            ++missed;
            continue;
        }
        deviations.push_back(std::fabs(ms - interval));
    }
    std::printf("beats\t%zu\n", onsets.size());
    std::printf("seconds\t%.1f\n", mix.mono.size() / mix.rate);
    std::printf("gaps\t%d\n", missed);
    std::printf("deviation_ms\tp50 %.2f p90 %.2f p99 %.2f max %.2f (n=%zu)\n",
                Percentile(deviations, 50), Percentile(deviations, 90), Percentile(deviations, 99),
                deviations.empty() ? NAN : *std::max_element(deviations.begin(), deviations.end()),
                deviations.size());
    return 0;
}
