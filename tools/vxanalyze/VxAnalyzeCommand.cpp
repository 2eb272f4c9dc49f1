#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "OfflineAnalyzer.h"
#include "ToolOptions.h"

namespace {

vxtools::TToolOptions MakeOptions()
{
    vxtools::TToolOptions options(
        "vxanalyze", "[options] FILE",
        "Runs the analyzer's block analysis and trigger detection over a sound file\n"
        "and prints, for every block of 1024 samples (23.2 ms): block index, start\n"
        "time in seconds, level, trig (0/1), tempo, instant tempo and tempo lock\n"
        "(0/1); then the number of blocks and trigs, the trig times and the final\n"
        "tempo.\n"
        "\n"
        "FILE is any format libsndfile reads. Several channels are mixed down to\n"
        "mono; a sample rate other than 44100 Hz is resampled to 44100 Hz.\n"
        "A last partial block is padded with silence.");
    options
        .Add({"fft", 0, "",
              "equalizer and spectrum analysis on (the level\ncomes from the 16 bands); also prints the\n"
              "16 band values of every block"})
        .Add({"gain", 0, "P",
              "global gain as the record's Gain, -127..127:\n0 = 0 dB, 127 = +20 dB, -127 = -20 dB\n(default 0)"})
        .Add({"eq", 0, "B=V",
              "equalizer fader of band B (0..15), -127..127,\n0 = flat; the factor is 10^(V/128). May be\n"
              "repeated. Acts only with --fft (default flat)",
              true})
        .Add({"decay", 0, "D", "trig decay in blocks, 1..25 (default 15); two\ntrigs are at least D + 2 blocks apart"})
        .Add({"aggr", 0, "A", "aggressiveness, 0..300 (default 150)"})
        .Add({"noise", 0, "N", "noise cut-off in level units, 1..455\n(default 1)"})
        .Add({"csv", 0, "", "one header row and one row per block, no\nsummary"})
        .Add({"json", 0, "", "one object: the rows, then the summary"})
        .Epilogue("The clock advances by exactly one block per block, so every run gives the\n"
                  "same result. The detector starts as the analyzer does (hold counter 13:\n"
                  "no trig in the first 14 blocks).\n");
    return options;
}

// How far the file is, on one terminal line redrawn in place at most ten
// times a second; cleared at the end so that it leaves nothing behind.
class TProgressLine {
public:
    TProgressLine(std::ostream& err, bool enabled) : err_(err), enabled_(enabled) {}
    ~TProgressLine() { Clear(); }
    TProgressLine(const TProgressLine&) = delete;
    TProgressLine& operator=(const TProgressLine&) = delete;

    void Show(double seconds, double length)
    {
        const auto now = std::chrono::steady_clock::now();
        if (!enabled_ || (shown_ && now - last_ < std::chrono::milliseconds(100)))
            return;
        last_ = now;
        shown_ = true;
        char text[96];
        if (length > 0)
            std::snprintf(text, sizeof text, "\rvxanalyze: %3d%%  %s of %s", Percent(seconds, length),
                          Clock(seconds).c_str(), Clock(length).c_str());
        else
            std::snprintf(text, sizeof text, "\rvxanalyze: %s", Clock(seconds).c_str());
        err_ << text << std::flush;
    }
    void Clear()
    {
        if (shown_)
            err_ << "\r\x1b[K" << std::flush;
        shown_ = false;
    }

private:
    static int Percent(double seconds, double length)
    {
        return static_cast<int>(std::clamp(100.0 * seconds / length, 0.0, 100.0));
    }
    static std::string Clock(double seconds)
    {
        const long s = std::lround(seconds);
        char text[32];
        std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
        return text;
    }

    std::ostream& err_;
    bool enabled_;
    bool shown_ = false;
    std::chrono::steady_clock::time_point last_;
};

int Integer(const vxtools::TToolOptions& options, const std::string& name, int fallback, int lo, int hi)
{
    if (!options.Has(name))
        return fallback;
    return static_cast<int>(vxtools::TToolOptions::ParseInteger(options.Value(name), "--" + name, lo, hi));
}

}  // namespace

int RunVxAnalyze(int argc, const char* const* argv, std::ostream& out, std::ostream& err, bool progress)
{
    vxtools::TToolOptions options = MakeOptions();
    switch (options.Parse(std::vector<std::string>(argv + 1, argv + argc), out, err)) {
    case vxtools::EParseOutcome::Run:
        break;
    case vxtools::EParseOutcome::Done:
        return 0;
    case vxtools::EParseOutcome::UsageError:
        return 2;
    }

    TOfflineSettings settings;
    EOutputFormat format = EOutputFormat::Text;
    std::string file;
    try {
        const std::vector<std::string>& files = options.PositionalArgs();
        if (files.empty())
            throw vxtools::EToolUsage("no sound file given");
        if (files.size() > 1)
            throw vxtools::EToolUsage("only one FILE, not also '" + files[1] + "'");
        file = files.front();
        settings.useFFT = options.Has("fft");
        settings.gain = Integer(options, "gain", settings.gain, -127, 127);
        settings.decay = Integer(options, "decay", settings.decay, 1, 25);
        settings.aggr = Integer(options, "aggr", settings.aggr, 0, 300);
        settings.noise = Integer(options, "noise", settings.noise, 1, 455);
        for (const std::string& assignment : options.Values("eq")) {
            const auto eq = assignment.find('=');
            if (eq == std::string::npos)
                throw vxtools::EToolUsage("--eq wants BAND=VALUE, not '" + assignment + "'");
            const auto band =
                vxtools::TToolOptions::ParseInteger(assignment.substr(0, eq), "--eq band", 0, kOfflineBands - 1);
            settings.eq[static_cast<std::size_t>(band)] = static_cast<int>(
                vxtools::TToolOptions::ParseInteger(assignment.substr(eq + 1), "--eq value", -127, 127));
        }
        if (options.Has("csv") && options.Has("json"))
            throw vxtools::EToolUsage("--csv and --json exclude each other");
        if (options.Has("csv"))
            format = EOutputFormat::Csv;
        else if (options.Has("json"))
            format = EOutputFormat::Json;
    } catch (const vxtools::EToolUsage& e) {
        return options.UsageError(err, e.what());
    }

    // Rows go out as their blocks are analysed, the summary at the end.
    TProgressLine line(err, progress);
    TAnalyseObserver observer;
    // The header waits for the first row: a file that cannot be read gives
    // no output at all.
    bool headerWritten = false;
    const auto header = [&] {
        if (!std::exchange(headerWritten, true))
            WriteHeader(out, format, settings.useFFT);
    };
    observer.row = [&](const TBlockRow& row) {
        header();
        WriteRow(out, row, format, settings.useFFT);
        if (!out)
            throw EOfflineError("cannot write the output");
    };
    if (progress)
        observer.progress = [&](double seconds, double length) { line.Show(seconds, length); };
    try {
        const TOfflineResult result = AnalyseFile(file, settings, observer);
        line.Clear();
        header();
        WriteSummary(out, result, format);
        out.flush();
        if (!out)
            throw EOfflineError("cannot write the output");
    } catch (const EOfflineError& e) {
        line.Clear();
        out.flush();
        err << "vxanalyze: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
