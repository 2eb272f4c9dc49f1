// The live view of the measurements, as a host polls them.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>

#include "SoundMapRecord.h"

namespace vxhost {

// Bar scales. Band levels run from 0 to about 1000; the level reaches
// about 32767 on the sum-of-squares path and the band sum on the spectrum
// path. Both use a log scale, log10(1 + v) / log10(1 + full), so quiet
// input still shows while loud input fills the bar; above full it is clamped.
inline constexpr double kBandFullScale = 1000.0;
inline constexpr double kLevelFullScale = 32767.0;
inline constexpr int kBarWidth = 40;

// Characters of a bar for `value`: 0 for zero, negative or NaN, `width`
// at or above `fullScale`.
int BarLength(double value, double fullScale, int width);

// Takes a trig as a host does: when Trig is 1 it writes 0 and returns true.
// Any other value is left alone (only 1 is the analyzer's trig).
bool TakeTrig(SoundMapRecord& record);

// One refresh. Plain: a single line "level=... clipping=... active=...
// trigs=... bands=b0,...,b15" without escape codes. Otherwise a screen
// that begins with clear/home.
std::string WatchFrame(const SoundMapRecord& record, long trigsTaken, bool plain, std::string_view segment);

// The watch: follows the segment NAME as a host (never creating it),
// takes every trig, shows a frame every 100 ms (while the analyzer is gone
// for it: all zero, active=0) and says on `err` what happens to the
// segment. Ends on Ctrl+C or SIGTERM, or after `count` frames (0 = none).
int WatchRecord(const std::string& name, bool plain, long long count, std::ostream& out, std::ostream& err);

}  // namespace vxhost
