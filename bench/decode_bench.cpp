// Decoding throughput over the real-telegram corpus, in telegrams per second.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "decode/meter_response.h"
#include "mbus/hex.h"

namespace {

std::vector<veltro::Telegram> LoadCorpus() {
    std::vector<veltro::Telegram> telegrams;
    for (const auto& entry : std::filesystem::directory_iterator(VELTRO_FRAMES_DIR "/devices")) {
        if (entry.path().extension() != ".hex") continue;
        std::ifstream in(entry.path());
        std::stringstream text;
        text << in.rdbuf();
        if (auto telegram = veltro::ParseHex(text.str())) telegrams.push_back(std::move(*telegram));
    }
    return telegrams;
}

void DecodeCorpus(benchmark::State& state, bool fullRead) {
    const auto corpus = LoadCorpus();
    if (corpus.empty()) {
        state.SkipWithError("no telegrams found under " VELTRO_FRAMES_DIR);
        return;
    }
    veltro::DecodeSettings settings;
    settings.fullRead = fullRead;
    settings.localTime = "12:00:00";
    settings.localDate = "2026-12-08";
    std::size_t decoded = 0;
    for (auto _ : state) {
        for (const auto& telegram : corpus) {
            auto response = veltro::DecodeMeterResponse(telegram, settings);
            benchmark::DoNotOptimize(response);
            ++decoded;
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(decoded));
    state.counters["telegrams"] = static_cast<double>(corpus.size());
}

void BM_DecodeMeterResponse(benchmark::State& state) { DecodeCorpus(state, false); }
void BM_DecodeMeterResponseFullRead(benchmark::State& state) { DecodeCorpus(state, true); }

BENCHMARK(BM_DecodeMeterResponse);
BENCHMARK(BM_DecodeMeterResponseFullRead);

} // namespace

BENCHMARK_MAIN();
