// Transform, block analysis and offline analyzer timings against the
// 23.2 ms that one capture block lasts.
//
// Counters: "in_budget" is how many times the measured step fits into one
// block period (23.2 ms / time per call; the library prints it as a rate,
// "/s"); "x_realtime" is the offline analyzer's speed as a multiple of real
// time. A summary after the table states both in plain words.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "BlockAnalysis.h"
#include "CaptureState.h"
#include "Fourier.h"
#include "OfflineAnalyzer.h"

#ifdef VX_HAVE_FFTW
#include <fftw3.h>
#endif

namespace {

constexpr double kBlockSeconds = 1024.0 / 44100.0;

benchmark::Counter InBudget()
{
    return benchmark::Counter(kBlockSeconds, benchmark::Counter::kIsIterationInvariantRate);
}

std::vector<std::int16_t> Noise(std::size_t count, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> d(-20000, 20000);
    std::vector<std::int16_t> v(count);
    for (auto& s : v)
        s = static_cast<std::int16_t>(d(rng));
    return v;
}

void BM_ForwardTransform1024(benchmark::State& state)
{
    std::vector<float> re(1024), im(1024, 0.0f), outRe(1024), outIm(1024);
    const auto noise = Noise(1024, 1);
    for (int i = 0; i < 1024; ++i)
        re[static_cast<std::size_t>(i)] = noise[static_cast<std::size_t>(i)];
    for (auto _ : state) {
        ForwardTransform(1024, re.data(), im.data(), outRe.data(), outIm.data());
        benchmark::DoNotOptimize(outRe.data());
        benchmark::ClobberMemory();
    }
    state.counters["in_budget"] = InBudget();
}
BENCHMARK(BM_ForwardTransform1024);

#ifdef VX_HAVE_FFTW
void BM_FftwComplex1024(benchmark::State& state)
{
    fftwf_complex* in = fftwf_alloc_complex(1024);
    fftwf_complex* out = fftwf_alloc_complex(1024);
    fftwf_plan plan = fftwf_plan_dft_1d(1024, in, out, FFTW_FORWARD, FFTW_MEASURE);
    const auto noise = Noise(1024, 1);
    for (int i = 0; i < 1024; ++i) {
        in[i][0] = noise[static_cast<std::size_t>(i)];
        in[i][1] = 0.0f;
    }
    for (auto _ : state) {
        fftwf_execute(plan);
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
    state.counters["in_budget"] = InBudget();
    fftwf_destroy_plan(plan);
    fftwf_free(in);
    fftwf_free(out);
}
BENCHMARK(BM_FftwComplex1024);
#endif

void AnalyseBlockOn(benchmark::State& state, bool spectrum)
{
    TOfflineSettings settings;
    settings.useFFT = spectrum;
    TOfflineAnalyzer analyzer(settings, [](const TBlockRow&) {});  // sets up the analysis and its record
    const auto noise = Noise(1024, 2);
    for (int i = 0; i < 1024; ++i)
        SampleBlock[i].store(noise[static_cast<std::size_t>(i)], std::memory_order_relaxed);
    for (auto _ : state) {
        AnalyseBlock();
        benchmark::ClobberMemory();
    }
    state.counters["in_budget"] = InBudget();
}

void BM_AnalyseBlockSpectrum(benchmark::State& state)
{
    AnalyseBlockOn(state, true);
}
BENCHMARK(BM_AnalyseBlockSpectrum)->Repetitions(5)->ReportAggregatesOnly(true);

void BM_AnalyseBlockSumOfSquares(benchmark::State& state)
{
    AnalyseBlockOn(state, false);
}
BENCHMARK(BM_AnalyseBlockSumOfSquares)->Repetitions(5)->ReportAggregatesOnly(true);

void OfflineMinute(benchmark::State& state, bool spectrum)
{
    const auto minute = Noise(60 * 44100, 3);
    TOfflineSettings settings;
    settings.useFFT = spectrum;
    for (auto _ : state) {
        TOfflineResult r = AnalyseSamples(minute, settings);
        benchmark::DoNotOptimize(r.rows.data());
    }
    state.counters["x_realtime"] = benchmark::Counter(60.0, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_VxAnalyzeOneMinute(benchmark::State& state)
{
    OfflineMinute(state, false);
}
BENCHMARK(BM_VxAnalyzeOneMinute)->Unit(benchmark::kMillisecond);

void BM_VxAnalyzeOneMinuteFft(benchmark::State& state)
{
    OfflineMinute(state, true);
}
BENCHMARK(BM_VxAnalyzeOneMinuteFft)->Unit(benchmark::kMillisecond);

// The console table, then one line per figure with its ratio to the budget.
class TBudgetReporter final : public benchmark::ConsoleReporter {
public:
    TBudgetReporter() : ConsoleReporter(isatty(fileno(stdout)) ? OO_ColorTabular : OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name != "median")
                continue;
            const double seconds = r.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(r.time_unit);
            if (seconds <= 0.0)
                continue;
            const std::string name = r.benchmark_name();
            char line[256];
            if (name.find("OneMinute") != std::string::npos) {
                std::snprintf(line, sizeof line, "%-45s %10.3f ms for 60 s of sound: %8.0f x real time", name.c_str(),
                              seconds * 1e3, 60.0 / seconds);
            } else {
                std::snprintf(line, sizeof line, "%-45s %10.3f us = 1/%.0f of the 23.2 ms block budget (%.4f %%)",
                              name.c_str(), seconds * 1e6, kBlockSeconds / seconds, 100.0 * seconds / kBlockSeconds);
            }
            lines_.emplace_back(line);
        }
    }
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        GetOutputStream() << "\nFigures against the budget (targets: AnalyseBlock spectrum median <= 20 us, "
                             "i.e. 1000 times inside the budget; offline >= 500 x real time)\n";
        for (const std::string& l : lines_)
            GetOutputStream() << l << '\n';
    }

private:
    std::vector<std::string> lines_;
};

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    TBudgetReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
