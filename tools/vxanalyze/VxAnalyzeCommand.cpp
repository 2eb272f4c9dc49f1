#include <charconv>
#include <cstring>
#include <ostream>
#include <string>
#include <string_view>

#include "OfflineAnalyzer.h"

namespace {

constexpr const char* kUsage =
    "Usage: vxanalyze FILE [--fft] [--gain P] [--eq B=V ...] [--decay D] [--aggr A]\n"
    "                      [--noise N] [--csv | --json]\n"
    "\n"
    "Runs the analyzer's block analysis and trigger detection over a sound file\n"
    "and prints, for every block of 1024 samples (23.2 ms): block index, start\n"
    "time in seconds, level, trig (0/1), tempo, instant tempo and tempo lock\n"
    "(0/1); then the number of blocks and trigs, the trig times and the final\n"
    "tempo.\n"
    "\n"
    "FILE     any format libsndfile reads. Several channels are mixed down to\n"
    "         mono; a sample rate other than 44100 Hz is resampled to 44100 Hz.\n"
    "         A last partial block is padded with silence.\n"
    "--fft    equalizer and spectrum analysis on (the level comes from the 16\n"
    "         bands); also prints the 16 band values of every block\n"
    "--gain P global gain as the record's Gain, -127..127: 0 = 0 dB, 127 = +20 dB,\n"
    "         -127 = -20 dB (default 0)\n"
    "--eq B=V equalizer fader of band B (0..15), -127..127, 0 = flat; the factor\n"
    "         is 10^(V/128). May be repeated. Acts only with --fft (default flat)\n"
    "--decay D  minimum time between trigs in blocks, 1..25 (default 15)\n"
    "--aggr A   aggressiveness, 0..300 (default 150)\n"
    "--noise N  noise cut-off in level units, 1..455 (default 1)\n"
    "--csv    one header row and one row per block, no summary\n"
    "--json   one object with the summary and the rows\n"
    "--help   this text\n"
    "\n"
    "The clock advances by exactly one block per block, so every run gives the\n"
    "same result. The detector starts as the analyzer does (hold counter 13:\n"
    "no trig in the first 14 blocks).\n";

class EUsage : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

int ParseInt(std::string_view text, std::string_view what, int lo, int hi)
{
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || value < lo || value > hi) {
        throw EUsage(std::string(what) + " must be an integer from " + std::to_string(lo) + " to " +
                     std::to_string(hi) + ", not '" + std::string(text) + "'");
    }
    return value;
}

}  // namespace

int RunVxAnalyze(int argc, const char* const* argv, std::ostream& out, std::ostream& err)
{
    TOfflineSettings settings;
    EOutputFormat format = EOutputFormat::Text;
    std::string file;
    bool haveFile = false;
    try {
        for (int i = 1; i < argc; ++i) {
            const std::string_view arg = argv[i];
            auto value = [&]() -> std::string_view {
                if (i + 1 >= argc)
                    throw EUsage("option " + std::string(arg) + " needs a value");
                return argv[++i];
            };
            if (arg == "--help" || arg == "-h") {
                out << kUsage;
                return 0;
            } else if (arg == "--fft") {
                settings.useFFT = true;
            } else if (arg == "--gain") {
                settings.gain = ParseInt(value(), "--gain", -127, 127);
            } else if (arg == "--decay") {
                settings.decay = ParseInt(value(), "--decay", 1, 25);
            } else if (arg == "--aggr") {
                settings.aggr = ParseInt(value(), "--aggr", 0, 300);
            } else if (arg == "--noise") {
                settings.noise = ParseInt(value(), "--noise", 1, 455);
            } else if (arg == "--eq") {
                const std::string_view assignment = value();
                const auto eq = assignment.find('=');
                if (eq == std::string_view::npos)
                    throw EUsage("--eq wants BAND=VALUE, not '" + std::string(assignment) + "'");
                const int band = ParseInt(assignment.substr(0, eq), "--eq band", 0, kOfflineBands - 1);
                settings.eq[static_cast<std::size_t>(band)] = ParseInt(assignment.substr(eq + 1), "--eq value", -127, 127);
            } else if (arg == "--csv" || arg == "--json") {
                const EOutputFormat wanted = arg == "--csv" ? EOutputFormat::Csv : EOutputFormat::Json;
                if (format != EOutputFormat::Text && format != wanted)
                    throw EUsage("--csv and --json exclude each other");
                format = wanted;
            } else if (arg.size() > 1 && arg[0] == '-') {
                throw EUsage("unknown option '" + std::string(arg) + "'");
            } else if (haveFile) {
                throw EUsage("only one FILE, not also '" + std::string(arg) + "'");
            } else {
                file = arg;
                haveFile = true;
            }
        }
        if (!haveFile)
            throw EUsage("no sound file given");
    } catch (const EUsage& e) {
        err << "vxanalyze: " << e.what() << "\nTry 'vxanalyze --help'.\n";
        return 2;
    }

    try {
        const TOfflineResult result = AnalyseFile(file, settings);
        WriteResult(out, result, format, settings.useFFT);
    } catch (const EOfflineError& e) {
        err << "vxanalyze: " << e.what() << '\n';
        return 1;
    }
    out.flush();
    return out ? 0 : 1;
}
