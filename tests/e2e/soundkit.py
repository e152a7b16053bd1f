"""Analysis of the program's recorded sound with the standard library only:
reading OpenAL Soft's file-writer output and the carried sounds, filters,
levels, sample steps, the playback rate of a looped sound found by matching
its spectrum, and the start times of a one-shot sound found by matching its
samples."""

import array
import cmath
import math
import os
import struct

ASSETS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "assets")


def read_recording(path):
    """(rate, mono samples in -1..1) of a WAV file: the file writer's output
    (32-bit float) or 16-bit PCM, any channel count. The chunk sizes are not
    trusted (the writer only fills them in when the device closes):
    everything after the "data" header counts, cut to whole frames."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        raise ValueError(f"{path}: not RIFF/WAVE")
    fmt_at = data.find(b"fmt ")
    tag, channels, rate, _, align, bits = struct.unpack_from("<HHIIHH", data, fmt_at + 8)
    if bits == 32 and tag in (3, 0xFFFE):
        values, scale = array.array("f"), 1.0
    elif bits == 16 and tag in (1, 0xFFFE):
        values, scale = array.array("h"), 1.0 / 32768
    else:
        raise ValueError(f"{path}: unsupported format tag {tag} bits {bits}")
    body = data[data.find(b"data", fmt_at) + 8:]
    values.frombytes(body[:len(body) - len(body) % align])
    if channels == 1:
        return rate, [v * scale for v in values]
    return rate, [sum(values[i:i + channels]) * scale / channels
                  for i in range(0, len(values), channels)]


def read_asset(name):
    """(rate, samples in -1..1) of a carried 16-bit mono sound."""
    with open(os.path.join(ASSETS, name), "rb") as f:
        data = f.read()
    tag, channels, rate, _, _, bits = struct.unpack_from("<HHIIHH", data, data.find(b"fmt ") + 8)
    if (tag, channels, bits) != (1, 1, 16):
        raise ValueError(f"{name}: expected 16-bit mono PCM")
    at = data.find(b"data")
    size = struct.unpack_from("<I", data, at + 4)[0]
    values = array.array("h")
    values.frombytes(data[at + 8:at + 8 + size])
    return rate, [v / 32768.0 for v in values]


def biquad(samples, rate, kind, freq, q=0.707):
    """RBJ low-pass or band-pass (0 dB peak) filter."""
    w0 = 2.0 * math.pi * freq / rate
    alpha = math.sin(w0) / (2.0 * q)
    c = math.cos(w0)
    if kind == "low":
        b0 = b2 = (1.0 - c) / 2.0
        b1 = 1.0 - c
    else:
        b0, b1, b2 = alpha, 0.0, -alpha
    a0 = 1.0 + alpha
    b0, b1, b2, a1, a2 = b0 / a0, b1 / a0, b2 / a0, -2.0 * c / a0, (1.0 - alpha) / a0
    out = [0.0] * len(samples)
    x1 = x2 = y1 = y2 = 0.0
    for i, x in enumerate(samples):
        y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2
        x2, x1, y2, y1 = x1, x, y1, y
        out[i] = y
    return out


def decimate(samples, factor, rate, cutoff):
    """Low-pass (two sections) then keep one mean per block of factor."""
    low = biquad(biquad(samples, rate, "low", cutoff), rate, "low", cutoff)
    return [sum(low[i:i + factor]) / factor for i in range(0, len(low) - factor + 1, factor)]


def rms_db(samples):
    if not samples:
        return float("-inf")
    power = sum(v * v for v in samples) / len(samples)
    return 10.0 * math.log10(power) if power > 0 else float("-inf")


def window_levels_db(samples, rate, seconds=0.02):
    """Level in dB of each successive window."""
    n = max(1, int(rate * seconds))
    return [rms_db(samples[i:i + n]) for i in range(0, len(samples) - n + 1, n)]


def window_rms(samples, rate, seconds=0.1):
    """RMS level (linear) of each successive window."""
    return [10 ** (db / 20) if db != float("-inf") else 0.0
            for db in window_levels_db(samples, rate, seconds)]


def largest_step(samples, looped=False):
    """Largest difference between neighbouring samples, with the step from
    the last to the first when the sound loops."""
    step = max(abs(samples[i] - samples[i - 1]) for i in range(1, len(samples)))
    return max(step, abs(samples[0] - samples[-1])) if looped else step


def largest_step_at(samples, src_rate, out_rate, looped=False):
    """Largest step of a sound played back at src_rate into a mix at
    out_rate, interpolated linearly as the mixer does at least: a step of
    the sound spreads over out_rate / src_rate output samples when slowed
    down and is never larger than the sound's own step."""
    return largest_step(samples, looped) * min(1.0, src_rate / out_rate)


# --- playback rate of a looped sound --------------------------------------

LOG_STEP = 0.003  # 0.3 % per point of the log-frequency grid


def log_spectrum(samples, rate, f_low, f_high):
    """Magnitudes on a geometric frequency grid from f_low to f_high, of the
    Hann-windowed samples, normalised to a unit sum; returns (ln f0, values)."""
    n = len(samples)
    windowed = [s * (0.5 - 0.5 * math.cos(2.0 * math.pi * i / n)) for i, s in enumerate(samples)]
    count = int(math.log(f_high / f_low) / LOG_STEP) + 1
    values = []
    for k in range(count):
        f = f_low * math.exp(k * LOG_STEP)
        turn = cmath.exp(-2j * math.pi * f / rate)
        acc, phasor = 0j, 1 + 0j
        for s in windowed:
            acc += s * phasor
            phasor *= turn
        values.append(abs(acc))
    total = sum(values) or 1.0
    return math.log(f_low), [v / total for v in values]


def match_scale(template, recording, lowest, highest):
    """The scale s in lowest..highest at which the template's spectrum, moved
    up by s, best matches the recording's, and the match's score (both
    spectra from log_spectrum)."""
    t0, tv = template
    r0, rv = recording
    best = (0.0, None)
    k = int(math.floor(math.log(lowest) / LOG_STEP))
    while k * LOG_STEP <= math.log(highest):
        # Template point j sits at ln f = t0 + j*step; moved by k steps it
        # falls on recording point j + k + (t0 - r0)/step.
        offset = k + int(round((t0 - r0) / LOG_STEP))
        score = 0.0
        for j, t in enumerate(tv):
            i = j + offset
            if 0 <= i < len(rv):
                score += t * rv[i]
        if score > best[0]:
            best = (score, math.exp(k * LOG_STEP))
        k += 1
    return best[1], best[0]


def looped_tone_spectrum(asset, seconds, f_low, f_high):
    """Log spectrum of a carried looped sound played for seconds at its own
    rate, decimated as recordings are (decimate_for_pitch)."""
    rate, samples = read_asset(asset)
    looped = (samples * (int(seconds * rate / len(samples)) + 2))[:int(seconds * rate)]
    low, low_rate = decimate_for_pitch(looped, rate)
    return log_spectrum(low, low_rate, f_low, f_high)


def decimate_for_pitch(samples, rate):
    factor = max(1, int(rate / 1000))
    return decimate(samples, factor, rate, 300.0), rate / factor


# --- start times of a one-shot sound --------------------------------------

def fft(values, inverse=False):
    """Iterative radix-2 FFT of a list of complex numbers (length a power of 2)."""
    a = list(values)
    n = len(a)
    j = 0
    for i in range(1, n):
        bit = n >> 1
        while j & bit:
            j ^= bit
            bit >>= 1
        j |= bit
        if i < j:
            a[i], a[j] = a[j], a[i]
    sign = 1 if inverse else -1
    length = 2
    while length <= n:
        half = length // 2
        turns = [cmath.exp(sign * 2j * math.pi * k / length) for k in range(half)]
        for start in range(0, n, length):
            for k in range(half):
                u = a[start + k]
                v = a[start + k + half] * turns[k]
                a[start + k] = u + v
                a[start + k + half] = u - v
        length <<= 1
    return [v / n for v in a] if inverse else a


def matched_scores(recording, template):
    """Normalised cross-correlation of the template with the recording at
    every start position: 1 where the recording is exactly the template,
    about 1/sqrt(k) where k equally loud copies overlap."""
    n = 1
    while n < len(recording) + len(template):
        n *= 2
    x = fft([complex(v) for v in recording] + [0j] * (n - len(recording)))
    t = fft([complex(v) for v in template] + [0j] * (n - len(template)))
    corr = fft([a * b.conjugate() for a, b in zip(x, t)], inverse=True)
    size = len(template)
    t_norm = math.sqrt(sum(v * v for v in template)) or 1.0
    energy = [0.0]
    for v in recording:
        energy.append(energy[-1] + v * v)
    scores = []
    for i in range(len(recording) - size + 1):
        e = energy[i + size] - energy[i]
        scores.append(corr[i].real / (t_norm * math.sqrt(e)) if e > 1e-12 else 0.0)
    return scores


def peaks(scores, rate, min_gap_s, floor):
    """Times (s) of the local maxima of scores above floor, at least
    min_gap_s apart."""
    gap = max(1, int(min_gap_s * rate))
    found = []
    for i, s in enumerate(scores):
        if s >= floor and s == max(scores[max(0, i - gap):i + gap + 1]):
            if not found or i - found[-1] >= gap:
                found.append(i)
    return [i / rate for i in found]


def beat_band(samples, rate, step=4):
    """The 1-3 kHz band, where the beat has its rough edge and the tones
    almost nothing, kept at one sample in step."""
    band = biquad(biquad(samples, rate, "band", 1730.0, 0.6), rate, "band", 1730.0, 0.6)
    return band[::step], rate / step


def low_band(samples, rate, step=11):
    """Below about 400 Hz, kept at one sample in step."""
    return decimate(samples, step, rate, 400.0), rate / step


def resample(samples, src_rate, out_rate):
    """Linear interpolation to another rate."""
    count = int(len(samples) * out_rate / src_rate)
    out = []
    for i in range(count):
        pos = i * src_rate / out_rate
        k = int(pos)
        frac = pos - k
        nxt = samples[k + 1] if k + 1 < len(samples) else samples[k]
        out.append(samples[k] * (1.0 - frac) + nxt * frac)
    return out


def beat_onsets(samples, rate, min_gap=0.03):
    """Start times (s) of the engine beats in a recording: its 1-3 kHz band
    matched against the beat's first 200 ms. Over 200 ms, noise alone stays
    below about 0.15 and a beat among seven stands at about 0.33."""
    beat_rate, beat = read_asset("engine-beat.wav")
    template, _ = beat_band(beat[:int(0.2 * beat_rate)], beat_rate)
    band, band_rate = beat_band(samples, rate)
    return peaks(matched_scores(band, template), band_rate, min_gap, 0.25)


def clunk_onsets(samples, rate):
    """Start times (s) of clunks in a recording, matched below 400 Hz. With
    the engine tone idling and the sequence's six beats in the band, a clunk
    scores 0.45 to 0.65 (it fell below 0.45 in one run in three through
    PulseAudio), everything else below 0.2."""
    clunk_rate, clunk = read_asset("clunk.wav")
    template, low_rate = low_band(resample(clunk, clunk_rate, rate), rate)
    low, _ = low_band(samples, rate)
    return peaks(matched_scores(low, template), low_rate, 0.5, 0.3)
