// Number texts of the read-outs.
#pragma once

#include <string>

// v in fixed-point notation with `decimals` decimals after rounding to
// `precision` significant digits (halves away from zero), with the given
// decimal separator. 1234.567 with precision 5 and 2 decimals gives
// "1234.60". A result of zero carries no sign; infinities read "INF" or
// "-INF", NaN "NAN".
std::string FormatFixed(double v, int precision, int decimals, char separator);

// The tempo read-out's F(v): five significant digits, two decimals.
inline std::string TempoText(double v, char separator)
{
    return FormatFixed(v, 5, 2, separator);
}
