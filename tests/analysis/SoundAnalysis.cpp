#include "analysis/SoundAnalysis.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <numbers>

namespace k58::analysis {

namespace {

double ToDb(double amplitude) {
    return amplitude > 0 ? 20.0 * std::log10(amplitude) : -std::numeric_limits<double>::infinity();
}

double Rms(std::span<const double> samples) {
    if (samples.empty())
        return 0;
    double sum = 0;
    for (double s : samples)
        sum += s * s;
    return std::sqrt(sum / static_cast<double>(samples.size()));
}

// In-place iterative radix-2 FFT; data.size() must be a power of two.
void Fft(std::vector<std::complex<double>>& data) {
    const std::size_t n = data.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(data[i], data[j]);
    }
    for (std::size_t len = 2; len <= n; len <<= 1) {
        const double angle = -2 * std::numbers::pi / static_cast<double>(len);
        const std::complex<double> step(std::cos(angle), std::sin(angle));
        for (std::size_t i = 0; i < n; i += len) {
            std::complex<double> w(1);
            for (std::size_t k = 0; k < len / 2; ++k) {
                const auto u = data[i + k];
                const auto v = data[i + k + len / 2] * w;
                data[i + k] = u + v;
                data[i + k + len / 2] = u - v;
                w *= step;
            }
        }
    }
}

} // namespace

std::vector<double> FromPcm16(std::span<const std::uint8_t> bytes) {
    std::vector<double> samples(bytes.size() / 2);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const auto value = static_cast<std::int16_t>(
            static_cast<std::uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8)));
        samples[i] = value / 32768.0;
    }
    return samples;
}

double RmsDb(std::span<const double> samples) {
    return ToDb(Rms(samples));
}

double PeakDb(std::span<const double> samples) {
    double peak = 0;
    for (double s : samples)
        peak = std::max(peak, std::abs(s));
    return ToDb(peak);
}

std::vector<double> WindowLevelsDb(std::span<const double> samples, double rate,
                                   double windowSeconds) {
    const auto window = static_cast<std::size_t>(std::lround(rate * windowSeconds));
    std::vector<double> levels;
    if (window == 0)
        return levels;
    for (std::size_t start = 0; start + window <= samples.size(); start += window)
        levels.push_back(RmsDb(samples.subspan(start, window)));
    return levels;
}

double TailLevelDb(std::span<const double> samples, double rate, double windowSeconds) {
    const auto window =
        std::min(samples.size(), static_cast<std::size_t>(std::lround(rate * windowSeconds)));
    return RmsDb(samples.last(window));
}

double BandEnergyShare(std::span<const double> samples, double rate, double lowHz, double highHz) {
    std::size_t n = 1;
    while (n < samples.size())
        n <<= 1;
    std::vector<std::complex<double>> spectrum(n);
    std::copy(samples.begin(), samples.end(), spectrum.begin());
    Fft(spectrum);
    // A real signal's spectrum is symmetric: count bins 0..n/2 only.
    double total = 0;
    double band = 0;
    for (std::size_t k = 0; k <= n / 2; ++k) {
        const double energy = std::norm(spectrum[k]);
        const double hz = static_cast<double>(k) * rate / static_cast<double>(n);
        total += energy;
        if (hz >= lowHz && hz < highHz)
            band += energy;
    }
    return total > 0 ? band / total : 0;
}

double PulsePeriodSeconds(std::span<const double> samples, double rate, double minSeconds,
                          double maxSeconds, double* strength) {
    // Loudness envelope: mean power over 8 ms, one value per millisecond.
    const auto hop = std::max<std::size_t>(1, static_cast<std::size_t>(std::lround(rate / 1000)));
    const auto width = static_cast<std::size_t>(std::lround(rate * 0.008));
    std::vector<double> envelope;
    for (std::size_t start = 0; start + width <= samples.size(); start += hop) {
        double sum = 0;
        for (std::size_t i = start; i < start + width; ++i)
            sum += samples[i] * samples[i];
        envelope.push_back(std::sqrt(sum / static_cast<double>(width)));
    }
    if (envelope.size() < 4)
        return 0;
    double mean = 0;
    for (double e : envelope)
        mean += e;
    mean /= static_cast<double>(envelope.size());
    for (double& e : envelope)
        e -= mean;

    const double hopSeconds = static_cast<double>(hop) / rate;
    const auto minLag = static_cast<std::size_t>(std::ceil(minSeconds / hopSeconds));
    const auto maxLag = std::min(envelope.size() / 2,
                                 static_cast<std::size_t>(std::floor(maxSeconds / hopSeconds)));
    if (minLag < 1 || minLag + 1 > maxLag)
        return 0;
    // Normalised autocorrelation, one value per lag, with one lag of margin
    // on each side for the interpolation below.
    auto correlation = [&](std::size_t lag) {
        double sum = 0, a = 0, b = 0;
        for (std::size_t i = 0; i + lag < envelope.size(); ++i) {
            sum += envelope[i] * envelope[i + lag];
            a += envelope[i] * envelope[i];
            b += envelope[i + lag] * envelope[i + lag];
        }
        return a > 0 && b > 0 ? sum / std::sqrt(a * b) : 0.0;
    };
    std::size_t best = 0;
    double bestValue = -2;
    for (std::size_t lag = minLag; lag <= maxLag; ++lag) {
        const double value = correlation(lag);
        if (value > bestValue) {
            bestValue = value;
            best = lag;
        }
    }
    if (strength != nullptr)
        *strength = bestValue;
    // Parabolic interpolation between neighbouring lags for sub-hop accuracy.
    double offset = 0;
    const double before = correlation(best - 1);
    const double after = correlation(best + 1);
    const double curvature = before - 2 * bestValue + after;
    if (curvature < 0)
        offset = std::clamp(0.5 * (before - after) / curvature, -0.5, 0.5);
    return (static_cast<double>(best) + offset) * hopSeconds;
}

double LoopSeamStep(std::span<const double> samples) {
    return samples.empty() ? 0 : std::abs(samples.front() - samples.back());
}

double LargestInnerStep(std::span<const double> samples) {
    double largest = 0;
    for (std::size_t i = 1; i < samples.size(); ++i)
        largest = std::max(largest, std::abs(samples[i] - samples[i - 1]));
    return largest;
}

int ClippedSampleCount(std::span<const std::uint8_t> pcm16) {
    int count = 0;
    for (std::size_t i = 0; i + 1 < pcm16.size(); i += 2) {
        const auto value =
            static_cast<std::int16_t>(static_cast<std::uint16_t>(pcm16[i] | (pcm16[i + 1] << 8)));
        if (value == 32767 || value == -32768)
            ++count;
    }
    return count;
}

double FirstReachSeconds(std::span<const double> samples, double rate, double threshold) {
    for (std::size_t i = 0; i < samples.size(); ++i)
        if (std::abs(samples[i]) >= threshold)
            return static_cast<double>(i) / rate;
    return -1;
}

std::vector<double> MatchedScores(std::span<const double> recording, std::span<const double> tmpl) {
    if (tmpl.empty() || recording.size() < tmpl.size())
        return {};
    std::size_t n = 1;
    while (n < recording.size() + tmpl.size())
        n <<= 1;
    std::vector<std::complex<double>> x(n), t(n);
    std::copy(recording.begin(), recording.end(), x.begin());
    std::copy(tmpl.begin(), tmpl.end(), t.begin());
    Fft(x);
    Fft(t);
    // Correlation: inverse transform of X times conj(T), the inverse taken
    // as the conjugate of the forward transform of the conjugate.
    for (std::size_t i = 0; i < n; ++i)
        x[i] = std::conj(x[i] * std::conj(t[i]));
    Fft(x);
    double templateEnergy = 0;
    for (double v : tmpl)
        templateEnergy += v * v;
    const double templateNorm = std::sqrt(templateEnergy);
    const std::size_t count = recording.size() - tmpl.size() + 1;
    std::vector<double> energy(recording.size() + 1, 0.0);
    for (std::size_t i = 0; i < recording.size(); ++i)
        energy[i + 1] = energy[i] + recording[i] * recording[i];
    std::vector<double> scores(count, 0.0);
    for (std::size_t i = 0; i < count; ++i) {
        const double e = energy[i + tmpl.size()] - energy[i];
        if (e > 1e-12 && templateNorm > 0)
            scores[i] = x[i].real() / static_cast<double>(n) / (templateNorm * std::sqrt(e));
    }
    return scores;
}

std::vector<std::size_t> ScorePeaks(std::span<const double> scores, std::size_t minGap,
                                    double floor) {
    std::vector<std::size_t> peaks;
    const std::size_t gap = std::max<std::size_t>(minGap, 1);
    for (std::size_t i = 0; i < scores.size(); ++i) {
        if (scores[i] < floor)
            continue;
        const std::size_t from = i >= gap ? i - gap : 0;
        const std::size_t to = std::min(scores.size(), i + gap + 1);
        if (*std::max_element(scores.begin() + static_cast<std::ptrdiff_t>(from),
                              scores.begin() + static_cast<std::ptrdiff_t>(to)) != scores[i])
            continue;
        if (peaks.empty() || i - peaks.back() >= gap)
            peaks.push_back(i);
    }
    return peaks;
}

} // namespace k58::analysis
