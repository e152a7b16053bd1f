#include "platform/openal/PanLaw.h"

#include <cmath>
#include <cstdlib>

namespace k58::openal {
namespace {

constexpr double kHalfPi = 1.57079632679489661923;
constexpr double kHundredthsPerDecade = 2000.0; // 20 dB per factor of 10, in hundredths

// OpenAL Soft 1.19 on a stereo output without HRTF: a front source at angle
// a is heard from w = min(1.5 a, 90 degrees) (front sources are spread out
// so the speakers at +-30 degrees sound from +-45), and its first-order
// ambisonic pan decodes to these channel gains (measured on the file writer:
// 0.5951 each straight ahead, 0.2139 / 0.9203 at 30 degrees).
constexpr double kFrontWarp = 1.5;
constexpr double kFrontTerm = 0.0956611; // sqrt(3) x the decoder's X weight

double NearGain(double w) {
    return 0.5 + 0.5 * std::sin(w) + kFrontTerm * std::cos(w);
}
double FarGain(double w) {
    return 0.5 - 0.5 * std::sin(w) + kFrontTerm * std::cos(w);
}

} // namespace

MonoPlacement PlaceMono(std::int32_t pan) {
    const double ratio = std::pow(10.0, -std::abs(pan) / kHundredthsPerDecade);
    // The far-to-near ratio falls from 1 (ahead) to 0 (w = 90 degrees).
    double low = 0.0;
    double high = kHalfPi;
    for (int step = 0; step < 40; ++step) {
        const double w = (low + high) / 2.0;
        if (FarGain(w) / NearGain(w) > ratio)
            low = w;
        else
            high = w;
    }
    const double w = (low + high) / 2.0;
    const double angle = w / kFrontWarp;
    return {static_cast<float>(pan < 0 ? -angle : angle), static_cast<float>(1.0 / NearGain(w))};
}

} // namespace k58::openal
