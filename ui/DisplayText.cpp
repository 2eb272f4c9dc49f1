#include "DisplayText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

std::string FormatFixed(double v, int precision, int decimals, char separator)
{
    if (std::isnan(v))
        return "NAN";
    if (std::isinf(v))
        return v > 0 ? "INF" : "-INF";
    decimals = std::clamp(decimals, 0, 18);
    precision = std::clamp(precision, 1, 18);

    // Exact decimal digits of |v| (glibc prints them exactly), so rounding
    // needs only the first dropped digit.
    char buf[128];
    std::snprintf(buf, sizeof buf, "%.60e", std::fabs(v));
    std::vector<int> digits;
    const char* p = buf;
    for (; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9')
            digits.push_back(*p - '0');
    int exp10 = *p == 'e' ? std::atoi(p + 1) : 0;
    if (v == 0.0)
        exp10 = 0;

    const int keep = std::min(precision, exp10 + 1 + decimals);
    std::vector<int> kept;
    if (keep >= 0) {
        kept.assign(digits.begin(), digits.begin() + std::min<std::size_t>(keep, digits.size()));
        const bool up = static_cast<std::size_t>(keep) < digits.size() && digits[keep] >= 5;
        if (up) {
            int i = static_cast<int>(kept.size()) - 1;
            for (; i >= 0; --i) {
                if (++kept[i] < 10)
                    break;
                kept[i] = 0;
            }
            if (i < 0) {
                kept.insert(kept.begin(), 1);
                ++exp10;
            }
        }
    }
    auto digitAt = [&](int power) {
        const int k = exp10 - power;
        return k >= 0 && k < static_cast<int>(kept.size()) ? kept[k] : 0;
    };
    bool zero = true;
    for (int d : kept)
        zero = zero && d == 0;

    std::string out;
    if (v < 0 && !zero)
        out += '-';
    for (int power = std::max(exp10, 0); power >= 0; --power)
        out += static_cast<char>('0' + digitAt(power));
    if (decimals > 0) {
        out += separator;
        for (int power = -1; power >= -decimals; --power)
            out += static_cast<char>('0' + digitAt(power));
    }
    return out;
}
