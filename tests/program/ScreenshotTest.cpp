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

#include "RunningAnalyzer.h"

namespace {

constexpr QRgb kBlack = qRgb(0, 0, 0);
constexpr QRgb kLime = qRgb(0, 255, 0);
constexpr QRgb kYellow = qRgb(255, 255, 0);
constexpr QRgb kBlue = qRgb(0, 0, 255);
constexpr QRgb kRed = qRgb(255, 0, 0);
constexpr QRgb kBtnFace = qRgb(240, 240, 240);
constexpr QRgb kGray = qRgb(128, 128, 128);

// A picture file, 8 bits a channel.
QImage Picture(const std::string& path)
{
    return QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_RGB32);
}

std::string Str(const QRect& b)
{
    std::ostringstream os;
    os << "(" << b.left() << "," << b.top() << ")-(" << b.right() << "," << b.bottom() << ")";
    return os.str();
}

struct TLayout {
    QRect StatusBar;
    QRect Level;  // the time line above, the tempo label in its last rows
    // The spectrum analyzer above the equalizer editor: both black, with
    // the grey splitter handle between them.
    QRect Fft;
};

// What a display paints: black, near black, or a clear colour; the panel
// frames and the window's greys are none of these. The grey handle of the
// splitter between the spectrum analyzer and the editor counts as theirs.
bool Drawn(QRgb p)
{
    const int hi = std::max({qRed(p), qGreen(p), qBlue(p)});
    const int lo = std::min({qRed(p), qGreen(p), qBlue(p)});
    return hi < 60 || hi - lo >= 40 || p == kGray;
}

struct TRun {
    int From, To;
};

template <class Pred>
std::vector<TRun> RowRuns(const QImage& s, int y, int from, int to, int minLength, Pred pred)
{
    std::vector<TRun> runs;
    int start = -1;
    for (int x = from; x <= to + 1; ++x) {
        const bool in = x <= to && pred(s.pixel(x, y));
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

// A display's box from its top row y down: its bottom is the median over
// five columns of the drawn stretch, so that one column crossing a trace
// pixel that looks like a frame does not move it.
QRect DisplayBox(const QImage& s, const TRun& run, int y, int bottom)
{
    std::vector<int> bottoms;
    for (int k = 1; k <= 5; ++k) {
        const int x = run.From + (run.To - run.From) * k / 6;
        int low = y;
        while (low < bottom && Drawn(s.pixel(x, low + 1)))
            ++low;
        bottoms.push_back(low);
    }
    std::sort(bottoms.begin(), bottoms.end());
    return QRect(QPoint(run.From, y), QPoint(run.To, bottoms[2]));
}

std::optional<TLayout> FindLayout(const QImage& s, std::string& why)
{
    TLayout l;
    // The status bar: the lowest long stretch of the button face grey; its
    // left part may be a lit light.
    int y = s.height() - 1;
    std::vector<TRun> runs;
    while (y >= 0 && (runs = RowRuns(s, y, 0, s.width() - 1, 200, [](QRgb p) { return p == kBtnFace; })).empty())
        --y;
    if (y < 0) {
        why = "no status bar on the screen";
        return std::nullopt;
    }
    int left = runs.back().From;
    while (left > 0 && (s.pixel(left - 1, y) == kBtnFace || s.pixel(left - 1, y) == kBlue || s.pixel(left - 1, y) == kRed))
        --left;
    const int right = runs.back().To;
    int top = y;
    while (top > 0 && s.pixel(right - 1, top - 1) == kBtnFace)
        --top;
    l.StatusBar = QRect(QPoint(left, top), QPoint(right, y));
    if (l.StatusBar.height() < 10) {
        why = "status bar only " + std::to_string(l.StatusBar.height()) + " rows high";
        return std::nullopt;
    }

    // The displays' first row: the topmost row of the window with two long
    // black stretches, the level display's and the spectrum analyzer's.
    for (y = 0; y < l.StatusBar.top(); ++y) {
        // A bar or trace that reaches a display's top row splits its black
        // stretch: pieces with only drawn pixels between them are one display.
        runs.clear();
        for (const TRun& r : RowRuns(s, y, left, right, 1, [](QRgb p) { return p == kBlack; })) {
            bool joined = !runs.empty();
            for (int x = joined ? runs.back().To + 1 : r.From; joined && x < r.From; ++x)
                joined = Drawn(s.pixel(x, y));
            if (joined)
                runs.back().To = r.To;
            else
                runs.push_back(r);
        }
        std::erase_if(runs, [](const TRun& r) { return r.To - r.From + 1 < 60; });
        if (runs.size() >= 2)
            break;
    }
    if (runs.size() < 2) {
        why = "no two black displays side by side above the status bar";
        return std::nullopt;
    }
    l.Level = DisplayBox(s, runs.front(), y, l.StatusBar.top() - 1);
    l.Fft = DisplayBox(s, runs.back(), y, l.StatusBar.top() - 1);
    if (l.Level.height() < 40 || l.Fft.height() < 40) {
        why = "displays too small: level " + Str(l.Level) + ", spectrum and editor " + Str(l.Fft);
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
TCount CountIn(const QImage& s, const QRect& b, Pred pred)
{
    TCount c;
    for (int y = b.top(); y <= b.bottom(); ++y)
        for (int x = b.left(); x <= b.right(); ++x)
            if (pred(s.pixel(x, y))) {
                ++c.Pixels;
                c.Rows.insert(y);
                c.Columns.insert(x);
            }
    int last = -2;
    for (int x : c.Columns) {
        c.Groups += x != last + 1 ? 1 : 0;
        last = x;
    }
    return c;
}

constexpr int kLabelRows = 13;  // the tempo label's fixed height

// The trig light, the second light of the status bar, lit.
bool TrigLightLit(const QImage& s, const TLayout& l)
{
    const QRect light(QPoint(l.StatusBar.left() + 30, l.StatusBar.top()), QPoint(l.StatusBar.left() + 64, l.StatusBar.bottom()));
    return CountIn(s, light, [](QRgb p) { return p == kBlue; }).Pixels >= 200;
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
        return RunToEnd(synth).status == 0;
    };
    ASSERT_TRUE(sox(dir + "/noise.wav", {"12", "pinknoise", "vol", "0.3"}) &&
                sox(dir + "/clicks.wav", {"0.05", "sine", "1000", "vol", "0.9", "pad", "0", "0.45", "repeat", "23"}) &&
                RunToEnd({"sox", "-m", dir + "/noise.wav", dir + "/clicks.wav", dir + "/sound.wav"}).status == 0)
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
    std::optional<QImage> first, lit, last;
    std::optional<TLayout> layout;
    std::string why;
    for (int i = 0; i < 40 && !lit; ++i) {
        ASSERT_EQ(RunToEnd({"import", "-window", "root", "-depth", "8", "ppm:" + shot}).status, 0) << "import failed";
        QImage screen = Picture(shot);
        ASSERT_FALSE(screen.isNull()) << "cannot read the screenshot";
        if (!layout && !(layout = FindLayout(screen, why))) {
            screen.save("vxsound_screenshot.png");
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

    EXPECT_TRUE((lit ? *lit : *last).save("vxsound_screenshot.png"));
    const TLayout& l = *layout;
    SCOPED_TRACE(::testing::Message() << "vxsound_screenshot.png in the test's working folder; status bar "
                                      << Str(l.StatusBar) << ", level " << Str(l.Level) << ", spectrum and editor "
                                      << Str(l.Fft));

    // The trig light flashed on a click.
    EXPECT_TRUE(lit.has_value()) << "the trig light was never lit in 40 screenshots";

    // Level display: the time line follows the sound over many rows, not
    // just the flat line of an empty history.
    const QRect traceBox = l.Level.adjusted(0, 0, 0, -kLabelRows);
    const TCount trace = CountIn(*first, traceBox, [](QRgb p) { return p == kLime || p == kYellow; });
    EXPECT_GE(trace.Pixels, 100);
    EXPECT_GE(trace.Rows.size(), 10u) << "the level trace stays flat";
    EXPECT_GE(trace.Columns.size(), static_cast<std::size_t>(traceBox.width() / 4));

    // Tempo label: its text in lime (locked) or red (searching).
    const TCount text = CountIn(*first, l.Level.adjusted(0, l.Level.height() - kLabelRows, 0, 0), [](QRgb p) {
        return (qRed(p) >= 150 && qGreen(p) < 60 && qBlue(p) < 60) || (qGreen(p) >= 150 && qRed(p) < 60 && qBlue(p) < 60);
    });
    EXPECT_GE(text.Pixels, 20) << "no tempo text";

    // Spectrum analyzer: pink noise fills every band, so bars of the
    // picture's colours stand side by side on one baseline.
    std::set<QRgb> barColours;
    const QImage picture = Picture(VX_SOURCE_DIR "/Source-Images/Glyphs/AudioLevel.bmp");
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            if (std::max({qRed(picture.pixel(x, y)), qGreen(picture.pixel(x, y)), qBlue(picture.pixel(x, y))}) >= 60)
                barColours.insert(picture.pixel(x, y));  // the picture's dark gap column is no bar
    ASSERT_FALSE(barColours.empty()) << "AudioLevel.bmp did not load";
    const auto isBar = [&](QRgb p) { return barColours.count(p) > 0; };
    const TCount bars = CountIn(*first, l.Fft, isBar);
    EXPECT_GE(bars.Pixels, 300);
    EXPECT_GE(bars.Groups, 10) << "fewer bars than bands";
    EXPECT_GE(bars.Columns.size(), static_cast<std::size_t>(l.Fft.width() * 6 / 10));
    std::map<int, int> feet;  // lowest bar row -> columns
    for (int x : bars.Columns)
        for (int y = l.Fft.bottom(); y >= l.Fft.top(); --y)
            if (isBar(first->pixel(x, y))) {
                ++feet[y];
                break;
            }
    ASSERT_FALSE(feet.empty()) << "no spectrum bars";
    const auto baseline = std::max_element(feet.begin(), feet.end(),
                                            [](const auto& a, const auto& b) { return a.second < b.second; });
    EXPECT_GE(baseline->second * 10, static_cast<int>(bars.Columns.size()) * 9) << "bars do not share a baseline";

    // Equalizer editor, below the bars: a flat equalizer is a row of
    // yellow bars three pixels thick across the middle of its box.
    QRect editor = l.Fft;
    editor.setTop(baseline->first + 1);
    const TCount eq = CountIn(*first, editor, [](QRgb p) { return p == kYellow; });
    EXPECT_EQ(CountIn(*first, l.Fft, [](QRgb p) { return p == kYellow; }).Pixels, eq.Pixels)
        << "editor bars above the spectrum's baseline";
    EXPECT_GE(eq.Groups, 10) << "fewer editor bars than bands";
    EXPECT_GE(eq.Columns.size(), static_cast<std::size_t>(editor.width() / 2));
    ASSERT_FALSE(eq.Rows.empty()) << "no editor bars";
    EXPECT_GE(eq.Rows.size(), 2u);
    EXPECT_LE(eq.Rows.size(), 5u) << "a flat equalizer drawn uneven";
    const double place = static_cast<double>(*eq.Rows.begin() - editor.top()) / editor.height();
    EXPECT_GT(place, 0.25) << "editor bars not in the editor's middle";
    EXPECT_LT(place, 0.85) << "editor bars not in the editor's middle";
}
