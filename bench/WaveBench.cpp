// Loading and saving the carried sounds, as start-up and storing do.
#include "sound/SoundBank.h"

#include <benchmark/benchmark.h>

namespace {

void LoadSound(benchmark::State& state) {
    const int item = static_cast<int>(state.range(0));
    const auto bytes = k58::SoundBankBytes(item);
    for (auto _ : state) {
        k58::TMemoryStream stream(bytes);
        k58::TWave wave;
        wave.LoadFromStream(stream);
        benchmark::DoNotOptimize(wave.Data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(LoadSound)->DenseRange(0, k58::SoundBankCount - 1);

void SaveSound(benchmark::State& state) {
    const int item = static_cast<int>(state.range(0));
    k58::TWave wave;
    k58::LoadSoundBankWave(item, wave);
    for (auto _ : state) {
        k58::TMemoryStream stream;
        wave.SaveToStream(stream);
        benchmark::DoNotOptimize(stream.Memory());
    }
    state.SetBytesProcessed(state.iterations() * (wave.Size() + 44));
}
BENCHMARK(SaveSound)->DenseRange(0, k58::SoundBankCount - 1);

void LoadWholeBank(benchmark::State& state) {
    for (auto _ : state) {
        k58::TWave waves[k58::SoundBankCount];
        for (int i = 0; i < k58::SoundBankCount; ++i)
            k58::LoadSoundBankWave(i, waves[i]);
        benchmark::DoNotOptimize(waves[0].Data());
    }
}
BENCHMARK(LoadWholeBank);

} // namespace
