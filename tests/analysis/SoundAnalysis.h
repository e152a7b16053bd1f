// Measurements of a sound, for tests that check what a sound is like rather
// than what its bytes are: levels in dB relative to full scale, peak, share of
// energy in a frequency band, pulse period, loop seam and clipping.
//
// Samples are taken as doubles in -1..1 (a 16-bit sample divided by 32768).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace k58::analysis {

// Little-endian signed 16-bit samples as doubles in -1..1; a trailing odd
// byte is ignored.
std::vector<double> FromPcm16(std::span<const std::uint8_t> bytes);

// 20 log10 of the RMS (or of the largest magnitude) relative to full scale;
// -inf for silence or no samples.
double RmsDb(std::span<const double> samples);
double PeakDb(std::span<const double> samples);

// RMS level of each whole window of windowSeconds (20 ms by default),
// starting at the first sample; a partial window at the end is left out.
std::vector<double> WindowLevelsDb(std::span<const double> samples, double rate,
                                   double windowSeconds = 0.02);

// Level of the window of windowSeconds that ends with the last sample.
double TailLevelDb(std::span<const double> samples, double rate, double windowSeconds = 0.02);

// Share (0..1) of the signal's energy between lowHz (inclusive) and highHz
// (exclusive), from the power spectrum of the whole sound.
double BandEnergyShare(std::span<const double> samples, double rate, double lowHz, double highHz);

// The period of the strongest repetition of the loudness envelope, searched
// between minSeconds and maxSeconds by autocorrelation; 0 if none is found.
// strength, if given, receives the normalised autocorrelation at that lag
// (1 for a perfectly regular pulse).
double PulsePeriodSeconds(std::span<const double> samples, double rate, double minSeconds,
                          double maxSeconds, double* strength = nullptr);

// The step from the last sample to the first, as heard when the sound loops,
// and the largest step between neighbouring samples inside the sound.
double LoopSeamStep(std::span<const double> samples);
double LargestInnerStep(std::span<const double> samples);

// Samples at the 16-bit limits (-32768 or 32767), as left by clipping.
int ClippedSampleCount(std::span<const std::uint8_t> pcm16);

// Time in seconds of the first sample whose magnitude reaches threshold, or
// -1 if none does.
double FirstReachSeconds(std::span<const double> samples, double rate, double threshold);

// Normalised cross-correlation of a template with a recording at every
// start position 0 .. recording.size() - tmpl.size(): 1 where the recording
// is exactly the template there, about 1/sqrt(k) where k equally loud copies
// overlap, 0 over silence.
std::vector<double> MatchedScores(std::span<const double> recording, std::span<const double> tmpl);

// Positions of the local maxima of scores that reach floor, each the largest
// within minGap positions either side, in order.
std::vector<std::size_t> ScorePeaks(std::span<const double> scores, std::size_t minGap,
                                    double floor);

} // namespace k58::analysis
