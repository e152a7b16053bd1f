#!/usr/bin/env python3
"""Synthesises the four carried sounds of K-58 and writes them to assets/.

    python3 tools/make_sounds.py [--seed N] [--out DIR]

Deterministic: the same seed gives the same bytes (the noise comes from our
own generator, not from Python's). Every file is 16-bit mono PCM in the
plain 44-byte RIFF/WAVE layout: "fmt " of 16 bytes, then "data".

  engine-beat.wav   item 0, one-shot: steady rumble pulsing every 37 ms
  engine-tone.wav   item 1, looped:   low drone pulsing every 39 ms
  rolling-tone.wav  item 2, looped:   irregular low rumble, quiet at 280-320 ms
  clunk.wav         item 3, one-shot: silence, soft onset, hard knock, decay

The looped sounds are cross-faded into their own beginning, so the step
from the last sample to the first is an ordinary step of the sound and the
loop does not click.
"""

import argparse
import math
import os
import struct

TWO_PI = 2.0 * math.pi


class Noise:
    """xorshift32: white noise in -1..1 that does not depend on Python's RNG."""

    def __init__(self, seed):
        self.state = (seed * 2654435761 + 0x9E3779B9) & 0xFFFFFFFF or 1

    def next(self):
        x = self.state
        x ^= (x << 13) & 0xFFFFFFFF
        x ^= x >> 17
        x ^= (x << 5) & 0xFFFFFFFF
        self.state = x
        return x / 2147483648.0 - 1.0

    def block(self, n):
        return [self.next() for _ in range(n)]


def biquad(samples, rate, kind, freq, q):
    """RBJ-cookbook low-pass or band-pass filter (band-pass: 0 dB peak)."""
    w0 = TWO_PI * freq / rate
    alpha = math.sin(w0) / (2.0 * q)
    cos_w0 = math.cos(w0)
    if kind == "low":
        b0 = b2 = (1.0 - cos_w0) / 2.0
        b1 = 1.0 - cos_w0
    elif kind == "band":
        b0, b1, b2 = alpha, 0.0, -alpha
    else:
        raise ValueError(kind)
    a0 = 1.0 + alpha
    a1 = -2.0 * cos_w0
    a2 = 1.0 - alpha
    b0, b1, b2, a1, a2 = b0 / a0, b1 / a0, b2 / a0, a1 / a0, a2 / a0
    out = []
    x1 = x2 = y1 = y2 = 0.0
    for x in samples:
        y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2
        x2, x1, y2, y1 = x1, x, y1, y
        out.append(y)
    return out


def filtered_noise(noise, n, rate, kind, freq, q, passes=2):
    # Run-in samples let the filters settle before the part that is kept.
    run_in = int(rate * 0.05)
    samples = noise.block(n + run_in)
    for _ in range(passes):
        samples = biquad(samples, rate, kind, freq, q)
    return samples[run_in:]


def rms(samples):
    return math.sqrt(sum(s * s for s in samples) / len(samples))


def scaled(samples, target_rms):
    gain = target_rms / rms(samples)
    return [s * gain for s in samples]


def mix(*parts):
    return [sum(values) for values in zip(*parts)]


def db(level):
    return 10.0 ** (level / 20.0)


def pulse_envelope(n, rate, period, floor, sharpness, phase=0.0):
    """floor..1, peaking once per period with a rounded bump."""
    env = []
    for i in range(n):
        p = (i / rate / period + phase) % 1.0
        bump = (0.5 + 0.5 * math.cos(TWO_PI * p)) ** sharpness
        env.append(floor + (1.0 - floor) * bump)
    return env


def harmonics(n, rate, fundamental, amplitudes, noise):
    phases = [noise.next() * math.pi for _ in amplitudes]
    out = [0.0] * n
    for k, (amp, ph) in enumerate(zip(amplitudes, phases), start=1):
        if amp == 0.0:
            continue
        w = TWO_PI * fundamental * k / rate
        for i in range(n):
            out[i] += amp * math.sin(w * i + ph)
    return out


def limit_peak(samples, peak):
    """Scales so the largest magnitude is exactly peak."""
    largest = max(abs(s) for s in samples)
    return [s * peak / largest for s in samples]


def soft_peaks(samples, knee, ceiling):
    """Rounds off the few tallest excursions above knee so that none passes
    ceiling, keeping the body of the sound as it is."""
    out = []
    for s in samples:
        a = abs(s)
        if a > knee:
            a = knee + (ceiling - knee) * math.tanh((a - knee) / (ceiling - knee))
        out.append(math.copysign(a, s))
    return out


def level_out(samples, rate, window, strength):
    """Evens out the loudness: each sample is scaled by (overall RMS / RMS of
    the window around it) ** strength, so louder and quieter stretches move
    towards the overall level without losing their order."""
    half = int(rate * window / 2)
    overall = rms(samples)
    squares = [0.0]
    for s in samples:
        squares.append(squares[-1] + s * s)
    out = []
    for i, s in enumerate(samples):
        lo, hi = max(0, i - half), min(len(samples), i + half)
        local = math.sqrt((squares[hi] - squares[lo]) / (hi - lo))
        out.append(s * (overall / local) ** strength)
    return out


def loop_crossfade(samples, n):
    """Turns n + fade samples into n that loop seamlessly: the tail is faded
    into the samples before the loop start, so the last sample leads into the
    first as any neighbouring pair does."""
    fade = len(samples) - n
    out = samples[fade:fade + n]
    for k in range(fade):
        w = 0.5 - 0.5 * math.cos(math.pi * (k + 0.5) / fade)
        out[n - fade + k] = (1.0 - w) * samples[n + k] + w * samples[k]
    return out


def engine_beat(seed):
    rate, n = 44100, 19644
    noise = Noise(seed)
    period = 0.037
    body = harmonics(n, rate, 1.0 / period, [0.2, 1.0, 0.8, 0.6, 0.5, 0.35, 0.25, 0.15], noise)
    body = [b * e for b, e in zip(body, pulse_envelope(n, rate, period, 0.62, 2.0))]
    rumble = filtered_noise(noise, n, rate, "low", 160.0, 0.7)
    low = mix(scaled(body, 1.0), scaled(rumble, 0.3))
    mid = filtered_noise(noise, n, rate, "band", 550.0, 0.8)
    rough = filtered_noise(noise, n, rate, "band", 1800.0, 1.0)
    rough = [r * e for r, e in zip(rough, pulse_envelope(n, rate, period, 0.3, 3.0, 0.05))]
    signal = mix(scaled(low, 0.83 ** 0.5), scaled(mid, 0.08 ** 0.5), scaled(rough, 0.09 ** 0.5))
    # A steady rumble: no stretch of it much louder or quieter than the rest.
    signal = level_out(signal, rate, 0.02, 0.5)
    # Peaks at -12 dB over an RMS level of -21 dB: a crest of 9 dB.
    signal = soft_peaks(scaled(signal, 1.0), 2.0, db(9.0))
    return rate, scaled(signal, db(-21.0))


def engine_tone(seed):
    rate, n = 44100, 19373
    fade = 2205
    total = n + fade
    noise = Noise(seed)
    period = 0.039
    body = harmonics(total, rate, 1.0 / period, [0.3, 1.0, 0.9, 0.7, 0.45, 0.3, 0.2], noise)
    body = [b * e for b, e in zip(body, pulse_envelope(total, rate, period, 0.35, 1.5))]
    rumble = filtered_noise(noise, total, rate, "low", 140.0, 0.7)
    low = mix(scaled(body, 1.0), scaled(rumble, 0.3))
    buzz = filtered_noise(noise, total, rate, "band", 700.0, 0.7)
    signal = mix(scaled(low, 0.96 ** 0.5), scaled(buzz, 0.04 ** 0.5))
    # Peaks at -5 dB over an RMS level of -13 dB: a crest of 8 dB.
    signal = soft_peaks(scaled(signal, 1.0), 1.8, db(8.0))
    signal = loop_crossfade(signal, n)
    return rate, scaled(signal, db(-13.0))


def rolling_tone(seed):
    rate, n = 44100, 18695
    fade = 2205
    total = n + fade
    noise = Noise(seed)
    rumble = filtered_noise(noise, total, rate, "low", 110.0, 0.8)
    # Slow, uneven swell of the rumble.
    swell = filtered_noise(noise, total, rate, "low", 12.0, 0.7)
    swell = scaled(swell, 0.35)
    low = [r * max(0.2, 1.0 + s) for r, s in zip(rumble, swell)]
    hiss = filtered_noise(noise, total, rate, "band", 900.0, 0.6)
    signal = mix(scaled(low, 0.94 ** 0.5), scaled(hiss, 0.06 ** 0.5))
    QUIET = 0.28
    # The quieter stretch between 280 and 320 ms of the loop (after the
    # cross-fade, loop time t is total time t + fade).
    dip = []
    for i in range(total):
        t = (i - fade) / rate
        if 0.280 <= t < 0.320:
            g = QUIET
        elif 0.255 <= t < 0.280:
            g = QUIET + (1.0 - QUIET) * (0.5 + 0.5 * math.cos(math.pi * (t - 0.255) / 0.025))
        elif 0.320 <= t < 0.345:
            g = QUIET + (1.0 - QUIET) * (0.5 - 0.5 * math.cos(math.pi * (t - 0.320) / 0.025))
        else:
            g = 1.0
        dip.append(g)
    signal = [s * g for s, g in zip(signal, dip)]
    # Peaks at -11 dB over an RMS level of -21 dB: a crest of 10 dB.
    signal = soft_peaks(scaled(signal, 1.0), 2.4, db(10.0))
    signal = loop_crossfade(signal, n)
    return rate, scaled(signal, db(-21.0))


def clunk(seed):
    rate, n = 22050, 5892
    noise = Noise(seed)
    silence_end = 0.025
    impact = 0.094
    out = [0.0] * n
    # Soft onset: a low rumble rising from nothing after the silence.
    onset = filtered_noise(noise, n, rate, "low", 120.0, 0.7)
    onset = scaled(onset, 1.0)
    for i in range(n):
        t = i / rate
        if silence_end <= t < impact:
            x = (t - silence_end) / (impact - silence_end)
            out[i] += 0.06 * x * x * onset[i]
        elif t >= impact:
            out[i] += 0.06 * math.exp(-(t - impact) / 0.02) * onset[i]
    # The knock: damped low resonances with a quick rise.
    modes = [(68.0, 1.0, 0.105), (112.0, 0.55, 0.05), (185.0, 0.3, 0.03), (420.0, 0.35, 0.02)]
    for freq, amp, decay in modes:
        for i in range(n):
            t = i / rate - impact
            if t < 0:
                continue
            rise = 1.0 - math.exp(-t / 0.0015)
            out[i] += amp * rise * math.exp(-t / decay) * math.sin(TWO_PI * freq * t)
    # A short crack of broadband noise on contact.
    crack = filtered_noise(noise, n, rate, "low", 1500.0, 0.7, passes=1)
    crack = scaled(crack, 1.0)
    for i in range(n):
        t = i / rate - impact
        if t >= 0:
            out[i] += 0.65 * math.exp(-t / 0.012) * crack[i]
    # Scale so that the tallest seven samples reach or pass full scale and
    # are clipped: a few, as a hard knock overdriving the recording would.
    tallest = sorted((abs(s) for s in out), reverse=True)
    gain = 1.0 / tallest[6]
    return rate, [s * gain for s in out]


def to_pcm16(samples):
    out = bytearray()
    for s in samples:
        v = int(math.floor(s * 32768.0 + 0.5))
        out += struct.pack("<h", max(-32768, min(32767, v)))
    return bytes(out)


def wave_file(rate, samples):
    data = to_pcm16(samples)
    fmt = struct.pack("<HHIIHH", 1, 1, rate, rate * 2, 2, 16)
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt
    body += b"data" + struct.pack("<I", len(data)) + data
    return b"RIFF" + struct.pack("<I", len(body)) + body


SOUNDS = [
    ("engine-beat.wav", engine_beat),
    ("engine-tone.wav", engine_tone),
    ("rolling-tone.wav", rolling_tone),
    ("clunk.wav", clunk),
]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seed", type=int, default=58)
    here = os.path.dirname(os.path.abspath(__file__))
    parser.add_argument("--out", default=os.path.join(here, "..", "assets"))
    args = parser.parse_args()
    for index, (name, make) in enumerate(SOUNDS):
        rate, samples = make(args.seed * 10 + index)
        with open(os.path.join(args.out, name), "wb") as f:
            f.write(wave_file(rate, samples))


if __name__ == "__main__":
    main()
