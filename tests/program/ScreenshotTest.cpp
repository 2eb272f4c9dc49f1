// The real program on the virtual display with sound playing into the
// null sink: screenshots of the whole screen must show the level display's
// trace, the spectrum bars, the equalizer editor's bars, the tempo label
// and, on a click, the trig light. Regions are found by scanning the
// picture, not by knowing the widget layout, so style or margin changes
// do not break the test while a display that stays black does.
#include <gtest/gtest.h>

#include <QImage>

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <tuple>

#include "RunningAnalyzer.h"

namespace {

struct TRgb {
    int R = 0, G = 0, B = 0;
    bool operator==(const TRgb&) const = default;
    bool operator<(const TRgb& o) const { return std::tie(R, G, B) < std::tie(o.R, o.G, o.B); }
};

constexpr TRgb kBlack{0, 0, 0};
constexpr TRgb kLime{0, 255, 0};
constexpr TRgb kYellow{255, 255, 0};
constexpr TRgb kBlue{0, 0, 255};
constexpr TRgb kRed{255, 0, 0};
constexpr TRgb kBtnFace{240, 240, 240};
constexpr TRgb kGray{128, 128, 128};
// The screen as `import` wrote it, 8 bits a channel.
struct TScreen {
    explicit TScreen(const std::string& path) : Image(QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_RGB32)) {}
    TRgb At(int x, int y) const
    {
        const QRgb p = Image.pixel(x, y);
        return {qRed(p), qGreen(p), qBlue(p)};
    }
    QImage Image;
    int Width = Image.width();
    int Height = Image.height();
};

struct TBox {
    int Left = 0, Top = 0, Right = -1, Bottom = -1;  // inclusive
    int Width() const { return Right - Left + 1; }
    int Height() const { return Bottom - Top + 1; }
};

std::ostream& operator<<(std::ostream& os, const TBox& b)
{
    return os << "(" << b.Left << "," << b.Top << ")-(" << b.Right << "," << b.Bottom << ")";
}

struct TLayout {
    TBox StatusBar;
    TBox Level;  // the time line above, the tempo label in its last rows
    // The spectrum analyzer above the equalizer editor: both black, with
    // the grey splitter handle between them.
    TBox Fft;
};

// What a display paints: black, near black, or a clear colour; the panel
// frames and the window's greys are none of these. The grey handle of the
// splitter between the spectrum analyzer and the editor counts as theirs.
bool Drawn(const TRgb& p)
{
    const int hi = std::max({p.R, p.G, p.B});
    const int lo = std::min({p.R, p.G, p.B});
    return hi < 60 || hi - lo >= 40 || p == kGray;
}

struct TRun {
    int From, To;
};

template <class Pred>
std::vector<TRun> RowRuns(const TScreen& s, int y, int from, int to, int minLength, Pred pred)
{
    std::vector<TRun> runs;
    int start = -1;
    for (int x = from; x <= to + 1; ++x) {
        const bool in = x <= to && pred(s.At(x, y));
        if (in && start < 0)
            start = x;
        if (!in && start >= 0) {
            if (x - start >= minLength)
                runs.push_back({start, x - 1});
            start = -1;
        }
    }
    return runs;
}

// The drawn stretch of column x through row y.
TRun ColumnRun(const TScreen& s, int x, int y, int top, int bottom)
{
    TRun r{y, y};
    while (r.From > top && Drawn(s.At(x, r.From - 1)))
        --r.From;
    while (r.To < bottom && Drawn(s.At(x, r.To + 1)))
        ++r.To;
    return r;
}

// A box whose sides are the medians over five columns, so that one column
// crossing a trace pixel that looks like a frame does not move them.
template <class F>
TBox MedianBox(int left, int right, F runAt)
{
    std::vector<int> tops, bottoms;
    for (int k = 1; k <= 5; ++k) {
        const TRun r = runAt(left + (right - left) * k / 6);
        tops.push_back(r.From);
        bottoms.push_back(r.To);
    }
    std::sort(tops.begin(), tops.end());
    std::sort(bottoms.begin(), bottoms.end());
    return {left, tops[2], right, bottoms[2]};
}

std::optional<TLayout> FindLayout(const TScreen& s, std::string& why)
{
    TLayout l;
    // The status bar: the lowest long stretch of the button face grey; its
    // left part may be a lit light.
    int y = s.Height - 1;
    for (; y >= 0; --y) {
        const auto runs = RowRuns(s, y, 0, s.Width - 1, 200, [](const TRgb& p) { return p == kBtnFace; });
        if (runs.empty())
            continue;
        l.StatusBar.Right = runs.back().To;
        l.StatusBar.Left = runs.back().From;
        while (l.StatusBar.Left > 0) {
            const TRgb p = s.At(l.StatusBar.Left - 1, y);
            if (!(p == kBtnFace || p == kBlue || p == kRed))
                break;
            --l.StatusBar.Left;
        }
        break;
    }
    if (y < 0) {
        why = "no status bar on the screen";
        return std::nullopt;
    }
    l.StatusBar.Bottom = y;
    l.StatusBar.Top = y;
    while (l.StatusBar.Top > 0 && s.At(l.StatusBar.Right - 1, l.StatusBar.Top - 1) == kBtnFace)
        --l.StatusBar.Top;
    if (l.StatusBar.Height() < 10) {
        why = "status bar only " + std::to_string(l.StatusBar.Height()) + " rows high";
        return std::nullopt;
    }

    // The displays' first row: the topmost row of the window with two long
    // black stretches, the level display's and the spectrum analyzer's.
    const int left = l.StatusBar.Left;
    const int right = l.StatusBar.Right;
    int probe = -1;
    std::vector<TRun> runs;
    for (y = 0; y < l.StatusBar.Top && probe < 0; ++y) {
        // A bar or trace that reaches a display's top row splits its black
        // stretch: pieces with only drawn pixels between them are one display.
        runs.clear();
        for (const TRun& r : RowRuns(s, y, left, right, 1, [](const TRgb& p) { return p == kBlack; })) {
            bool joined = !runs.empty();
            for (int x = joined ? runs.back().To + 1 : r.From; joined && x < r.From; ++x)
                joined = Drawn(s.At(x, y));
            if (joined)
                runs.back().To = r.To;
            else
                runs.push_back(r);
        }
        std::erase_if(runs, [](const TRun& r) { return r.To - r.From + 1 < 60; });
        if (runs.size() >= 2)
            probe = y;
    }
    if (probe < 0) {
        why = "no two black displays side by side above the status bar";
        return std::nullopt;
    }
    const int bottom = l.StatusBar.Top - 1;
    l.Level = MedianBox(runs.front().From, runs.front().To,
                        [&](int x) { return ColumnRun(s, x, probe, probe, bottom); });
    l.Fft = MedianBox(runs.back().From, runs.back().To,
                      [&](int x) { return ColumnRun(s, x, probe, probe, bottom); });
    if (l.Level.Height() < 40 || l.Fft.Height() < 40) {
        std::ostringstream os;
        os << "displays too small: level " << l.Level << ", spectrum and editor " << l.Fft;
        why = os.str();
        return std::nullopt;
    }
    return l;
}

struct TCount {
    int Pixels = 0;
    std::set<int> Rows;
    std::set<int> Columns;
    int Groups = 0;  // stretches of neighbouring columns: bars side by side
};

template <class Pred>
TCount CountIn(const TScreen& s, const TBox& b, Pred pred)
{
    TCount c;
    for (int y = b.Top; y <= b.Bottom; ++y)
        for (int x = b.Left; x <= b.Right; ++x)
            if (pred(s.At(x, y))) {
                ++c.Pixels;
                c.Rows.insert(y);
                c.Columns.insert(x);
            }
    int last = -2;
    for (int x : c.Columns) {
        if (x != last + 1)
            ++c.Groups;
        last = x;
    }
    return c;
}

constexpr int kLabelRows = 13;  // the tempo label's fixed height

TBox TraceBox(const TLayout& l)
{
    TBox b = l.Level;
    b.Bottom -= kLabelRows;
    return b;
}

TBox LabelBox(const TLayout& l)
{
    TBox b = l.Level;
    b.Top = b.Bottom - kLabelRows + 1;
    return b;
}

// The trig light: the second light of the status bar.
TBox TrigLightBox(const TLayout& l)
{
    return {l.StatusBar.Left + 30, l.StatusBar.Top, l.StatusBar.Left + 64, l.StatusBar.Bottom};
}

bool TrigLightLit(const TScreen& s, const TLayout& l)
{
    return CountIn(s, TrigLightBox(l), [](const TRgb& p) { return p == kBlue; }).Pixels >= 200;
}

std::set<TRgb> PictureColours()
{
    std::set<TRgb> colours;
    const TScreen picture(VX_SOURCE_DIR "/Source-Images/Glyphs/AudioLevel.bmp");
    for (int y = 0; y < picture.Height; ++y)
        for (int x = 0; x < picture.Width; ++x)
            colours.insert(picture.At(x, y));
    // The picture's dark gap column is no bar.
    std::erase_if(colours, [](const TRgb& c) { return std::max({c.R, c.G, c.B}) < 60; });
    return colours;
}

}  // namespace

TEST(Screenshot, TheRunningAnalyzerDrawsItsDisplaysAndLights)
{
    if (std::getenv("DISPLAY") == nullptr)
        GTEST_SKIP() << "no DISPLAY";
    if (!SoundServerAnswers())
        GTEST_SKIP() << "no sound server";
    const char* sink = std::getenv("VX_TEST_SINK");
    TRunningAnalyzer a("SHOT", "xcb");
    a.WriteIni("FormLeft=40\nFormTop=40\nFormWidth=520\nFormHeight=420\nHSplitPos=300\nVSplitPos=300\nUseFFT=1\n"
               "ShowInput=2\nRunMinimized=0\n");
    // Pink noise with a loud 1 kHz click every half second: every band has
    // level, and each click is a trig.
    const std::string dir = a.dir.string();
    const auto sox = [&](const std::string& out, std::vector<std::string> synth) {
        synth.insert(synth.begin(), {"sox", "-n", "-r", "44100", "-c", "2", "-b", "16", out, "synth"});
        return RunToEnd(synth) == 0;
    };
    ASSERT_TRUE(sox(dir + "/noise.wav", {"12", "pinknoise", "vol", "0.3"}) &&
                sox(dir + "/clicks.wav", {"0.05", "sine", "1000", "vol", "0.9", "pad", "0", "0.45", "repeat", "23"}) &&
                RunToEnd({"sox", "-m", dir + "/noise.wav", dir + "/clicks.wav", dir + "/sound.wav"}) == 0)
        << "sox could not make the test sound";

    // The segment is made first, as by a host that starts before it.
    a.Record();
    ASSERT_EQ(a.Start(), "");
    TChild player;
    ASSERT_TRUE(player.Start({"paplay", "-d", sink != nullptr ? sink : "vxtest", dir + "/sound.wav"}));
    // The first click trigs once the capture runs; six clicks, taken as a
    // host takes them, fill the history and the tempo.
    int trigs = 0;
    ASSERT_TRUE(a.Process().WaitFor(
        [&] {
            if (a.Record().Trig() == 1) {
                a.Record().SetTrig(0);
                ++trigs;
            }
            return trigs >= 6;
        },
        20000))
        << trigs << " trigs within 20 s of playing";

    // The trig light is lit for one refresh tick after each click: shots
    // a tenth of a second apart catch it within a few clicks.
    const std::string shot = dir + "/screen.ppm";
    std::optional<TScreen> first, lit, last;
    std::optional<TLayout> layout;
    std::string why;
    for (int i = 0; i < 40 && !lit; ++i) {
        ASSERT_EQ(RunToEnd({"import", "-window", "root", "-depth", "8", "ppm:" + shot}), 0) << "import failed";
        TScreen screen(shot);
        ASSERT_FALSE(screen.Image.isNull()) << "cannot read the screenshot";
        if (!layout && !(layout = FindLayout(screen, why))) {
            screen.Image.save("vxsound_screenshot.png");
            FAIL() << why << " (see vxsound_screenshot.png in the test's working folder)";
        }
        if (!first)
            first = screen;
        if (TrigLightLit(screen, *layout))
            lit = screen;
        last = std::move(screen);
        a.Process().Pump(100);
    }
    player.End(SIGTERM, 5000);
    EXPECT_EQ(a.Close(), 0) << "vxhost close did not end the analyzer with exit 0";

    const TScreen& shown = lit ? *lit : *last;
    EXPECT_TRUE(shown.Image.save("vxsound_screenshot.png"));
    const TLayout& l = *layout;
    SCOPED_TRACE(::testing::Message() << "vxsound_screenshot.png in the test's working folder; status bar "
                                      << l.StatusBar << ", level " << l.Level << ", spectrum and editor " << l.Fft);

    // The trig light flashed on a click.
    EXPECT_TRUE(lit.has_value()) << "the trig light was never lit in 40 screenshots";

    // Level display: the time line follows the sound over many rows, not
    // just the flat line of an empty history.
    const TCount trace = CountIn(*first, TraceBox(l), [](const TRgb& p) { return p == kLime || p == kYellow; });
    EXPECT_GE(trace.Pixels, 100);
    EXPECT_GE(trace.Rows.size(), 10u) << "the level trace stays flat";
    EXPECT_GE(trace.Columns.size(), static_cast<std::size_t>(TraceBox(l).Width() / 4));

    // Tempo label: its text in lime (locked) or red (searching).
    const TCount text = CountIn(*first, LabelBox(l), [](const TRgb& p) {
        return (p.R >= 150 && p.G < 60 && p.B < 60) || (p.G >= 150 && p.R < 60 && p.B < 60);
    });
    EXPECT_GE(text.Pixels, 20) << "no tempo text";

    // Spectrum analyzer: pink noise fills every band, so bars of the
    // picture's colours stand side by side on one baseline.
    const std::set<TRgb> barColours = PictureColours();
    ASSERT_FALSE(barColours.empty()) << "AudioLevel.bmp did not load";
    const auto isBar = [&](const TRgb& p) { return barColours.count(p) > 0; };
    const TCount bars = CountIn(*first, l.Fft, isBar);
    EXPECT_GE(bars.Pixels, 300);
    EXPECT_GE(bars.Groups, 10) << "fewer bars than bands";
    EXPECT_GE(bars.Columns.size(), static_cast<std::size_t>(l.Fft.Width() * 6 / 10));
    std::map<int, int> feet;  // lowest bar row -> columns
    for (int x : bars.Columns)
        for (int y = l.Fft.Bottom; y >= l.Fft.Top; --y)
            if (isBar(first->At(x, y))) {
                ++feet[y];
                break;
            }
    ASSERT_FALSE(feet.empty()) << "no spectrum bars";
    const auto baseline = std::max_element(feet.begin(), feet.end(),
                                            [](const auto& a, const auto& b) { return a.second < b.second; });
    EXPECT_GE(baseline->second * 10, static_cast<int>(bars.Columns.size()) * 9) << "bars do not share a baseline";

    // Equalizer editor, below the bars: a flat equalizer is a row of
    // yellow bars three pixels thick across the middle of its box.
    TBox editor = l.Fft;
    editor.Top = baseline->first + 1;
    const TCount eq = CountIn(*first, editor, [](const TRgb& p) { return p == kYellow; });
    EXPECT_EQ(CountIn(*first, l.Fft, [](const TRgb& p) { return p == kYellow; }).Pixels, eq.Pixels)
        << "editor bars above the spectrum's baseline";
    EXPECT_GE(eq.Groups, 10) << "fewer editor bars than bands";
    EXPECT_GE(eq.Columns.size(), static_cast<std::size_t>(editor.Width() / 2));
    ASSERT_FALSE(eq.Rows.empty()) << "no editor bars";
    EXPECT_GE(eq.Rows.size(), 2u);
    EXPECT_LE(eq.Rows.size(), 5u) << "a flat equalizer drawn uneven";
    const double place = static_cast<double>(*eq.Rows.begin() - editor.Top) / editor.Height();
    EXPECT_GT(place, 0.25) << "editor bars not in the editor's middle";
    EXPECT_LT(place, 0.85) << "editor bars not in the editor's middle";
}
