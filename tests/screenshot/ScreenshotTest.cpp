// The real program on the virtual display with sound playing into the
// null sink: screenshots of the whole screen must show the level display's
// trace, the spectrum bars, the equalizer editor's bars, the tempo label
// and, on a click, the trig light. Regions are found by scanning the
// picture, not by knowing the widget layout, so style or margin changes
// do not break the test while a display that stays black does.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "SharedMap.h"

namespace {

QCoreApplication& App()
{
    static int argc = 1;
    static char name[] = "vx_screenshot_test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    return *app;
}

bool RunTool(const QString& program, const QStringList& args, int timeoutMs = 20000)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.setStandardOutputFile(QProcess::nullDevice());
    p.start(program, args);
    return p.waitForFinished(timeoutMs) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// --- the picture ------------------------------------------------------------

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

// The screen as `import` wrote it, 8 bits a channel.
struct TScreen {
    QImage Image;
    int Width = 0;
    int Height = 0;

    TRgb At(int x, int y) const
    {
        const QRgb p = Image.pixel(x, y);
        return {qRed(p), qGreen(p), qBlue(p)};
    }
};

std::optional<TScreen> ReadScreen(const QString& path, std::string& why)
{
    QImage image(path);
    if (image.isNull()) {
        why = "cannot read the screenshot " + path.toStdString();
        return std::nullopt;
    }
    TScreen s;
    s.Image = image.convertToFormat(QImage::Format_RGB32);
    s.Width = s.Image.width();
    s.Height = s.Image.height();
    return s;
}

bool SavePng(const TScreen& s, const QString& path)
{
    return s.Image.save(path, "PNG");
}

// --- finding the displays -----------------------------------------------------

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

constexpr TRgb kGray{128, 128, 128};

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

// --- what must be drawn -------------------------------------------------------

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
    QImage picture(VX_SOURCE_DIR "/Source-Images/Glyphs/AudioLevel.bmp");
    picture = picture.convertToFormat(QImage::Format_RGB888);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb p = picture.pixel(x, y);
            colours.insert({qRed(p), qGreen(p), qBlue(p)});
        }
    // The picture's dark gap column is no bar.
    std::erase_if(colours, [](const TRgb& c) { return std::max({c.R, c.G, c.B}) < 60; });
    return colours;
}

// --- the running program --------------------------------------------------------

// The analyzer and the player; whatever the test's outcome, both end and
// the segment goes.
class TSession {
public:
    // The segment is made here, as by a host that starts first; the
    // analyzer opens it as it finds it.
    TSession(const QProcessEnvironment& env, std::string segment)
        : env_(env), segment_(std::move(segment)), map_(PosixSharedMemory(), segment_)
    {
        analyzer.setProcessEnvironment(env_);
        analyzer.setProcessChannelMode(QProcess::ForwardedChannels);
        player.setProcessChannelMode(QProcess::ForwardedChannels);
    }
    ~TSession() { Stop(); }

    // True when the analyzer ended by the host's close request with exit 0.
    bool Stop()
    {
        if (stopped_)
            return closedCleanly_;
        stopped_ = true;
        End(player);
        if (analyzer.state() != QProcess::NotRunning) {
            QProcess host;
            host.setProcessEnvironment(env_);
            host.setProcessChannelMode(QProcess::ForwardedChannels);
            host.start(VXHOST_PATH, {"--segment", QString::fromStdString(segment_), "close"});
            const bool asked = host.waitForFinished(30000) && host.exitCode() == 0;
            const bool ended = asked && analyzer.waitForFinished(15000);
            closedCleanly_ = ended && analyzer.exitStatus() == QProcess::NormalExit && analyzer.exitCode() == 0;
            if (!ended)
                End(analyzer);
        }
        ::shm_unlink(("/" + segment_).c_str());
        return closedCleanly_;
    }

    const SoundMapRecord& Record() const { return *map_.Data; }

    QProcess analyzer;
    QProcess player;

private:
    static void End(QProcess& p)
    {
        if (p.state() == QProcess::NotRunning)
            return;
        p.terminate();
        if (!p.waitForFinished(5000)) {
            p.kill();
            p.waitForFinished(5000);
        }
    }

    QProcessEnvironment env_;
    std::string segment_;
    TSharedMap map_;
    bool stopped_ = false;
    bool closedCleanly_ = false;
};

// Pink noise with a loud 1 kHz click every half second: every band has
// level, and each click is a trig.
bool MakeSound(const QDir& dir, const QString& out)
{
    const QString noise = dir.filePath("noise.wav");
    const QString clicks = dir.filePath("clicks.wav");
    const QStringList format = {"-r", "44100", "-c", "2", "-b", "16"};
    return RunTool("sox", QStringList{"-n"} + format + QStringList{noise, "synth", "12", "pinknoise", "vol", "0.3"}) &&
           RunTool("sox", QStringList{"-n"} + format +
                          QStringList{clicks, "synth", "0.05", "sine", "1000", "vol", "0.9", "pad", "0", "0.45",
                                      "repeat", "23"}) &&
           RunTool("sox", {"-m", noise, clicks, out});
}

}  // namespace

TEST(Screenshot, TheRunningAnalyzerDrawsItsDisplaysAndLights)
{
    App();
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        GTEST_SKIP() << "no DISPLAY";
    if (!RunTool("pactl", {"info"}, 5000))
        GTEST_SKIP() << "no sound server";
    const QString sink = qEnvironmentVariable("VX_TEST_SINK", "vxtest");

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    {
        QFile ini(QDir(dir.path()).filePath("VxSound.ini"));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[VxSound]\nFormLeft=40\nFormTop=40\nFormWidth=520\nFormHeight=420\nHSplitPos=300\n"
                  "VSplitPos=300\nUseFFT=1\nShowInput=2\nRunMinimized=0\n");
    }
    const QString wav = QDir(dir.path()).filePath("sound.wav");
    ASSERT_TRUE(MakeSound(QDir(dir.path()), wav)) << "sox could not make the test sound";

    const std::string segment = "VXSHOT_" + std::to_string(::getpid());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("VX_SETTINGS_DIR", dir.path());
    env.insert("VX_SEGMENT_NAME", QString::fromStdString(segment));
    env.remove("QT_QPA_PLATFORM");  // the real display, not offscreen

    TSession session(env, segment);
    session.analyzer.start(VXSOUND_PATH, {});
    ASSERT_TRUE(session.analyzer.waitForStarted(5000));
    for (int i = 0; i < 300 && session.Record().AnalyzerActive() == 0; ++i) {
        ASSERT_EQ(session.analyzer.state(), QProcess::Running) << "the analyzer ended at start-up";
        QThread::msleep(50);
    }
    ASSERT_EQ(session.Record().AnalyzerActive(), 1) << "the analyzer never became active";

    session.player.start("paplay", {"-d", sink, wav});
    ASSERT_TRUE(session.player.waitForStarted(5000));
    // The first click trigs once the capture runs; then three seconds of
    // sound fill the history and the tempo.
    for (int i = 0; i < 300 && session.Record().Trig() == 0; ++i)
        QThread::msleep(50);
    ASSERT_EQ(session.Record().Trig(), 1) << "no trig within 15 s of playing";
    QThread::msleep(3000);

    // The trig light is lit for one refresh tick after each click: shots
    // a tenth of a second apart catch it within a few clicks.
    const QString shot = QDir(dir.path()).filePath("screen.ppm");
    std::optional<TScreen> first, lit, last;
    std::optional<TLayout> layout;
    std::string why;
    for (int i = 0; i < 40 && !lit; ++i) {
        ASSERT_TRUE(RunTool("import", {"-window", "root", "-depth", "8", "ppm:" + shot})) << "import failed";
        std::optional<TScreen> screen = ReadScreen(shot, why);
        ASSERT_TRUE(screen) << why;
        if (!layout) {
            layout = FindLayout(*screen, why);
            if (!layout) {
                SavePng(*screen, "vxsound_screenshot.png");
                FAIL() << why << " (see vxsound_screenshot.png in the test's working folder)";
            }
        }
        if (!first)
            first = screen;
        if (TrigLightLit(*screen, *layout))
            lit = screen;
        last = std::move(screen);
        QThread::msleep(100);
    }
    const std::uint8_t trig = session.Record().Trig();
    const bool closed = session.Stop();

    const TScreen& shown = lit ? *lit : *last;
    const QString png = QDir::current().filePath("vxsound_screenshot.png");
    EXPECT_TRUE(SavePng(shown, png));
    const TLayout& l = *layout;
    SCOPED_TRACE(::testing::Message() << "screenshot " << png.toStdString() << "; status bar " << l.StatusBar
                                      << ", level " << l.Level << ", spectrum and editor "
                                      << l.Fft);

    // The trig light flashed on a click, and the record said so too.
    EXPECT_TRUE(lit.has_value()) << "the trig light was never lit in 40 screenshots";
    EXPECT_EQ(trig, 1) << "the record's Trig never became 1";

    EXPECT_TRUE(closed) << "vxhost close did not end the analyzer with exit 0";

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
