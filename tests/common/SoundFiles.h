// Sound files written by the tests themselves.
#pragma once

#include <sndfile.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <unistd.h>
#include <string>
#include <type_traits>
#include <vector>

inline std::filesystem::path TestFilePath(const std::string& name)
{
    return std::filesystem::temp_directory_path() / ("vxanalyze_test_" + std::to_string(::getpid()) + "_" + name);
}

// Interleaved 16-bit frames, or floats in libsndfile's scale (a float file).
template <class Sample>
inline void WriteSoundFile(const std::filesystem::path& path, const std::vector<Sample>& samples, int channels,
                           int rate, int format = SF_FORMAT_WAV | SF_FORMAT_PCM_16)
{
    SF_INFO info{0, rate, channels, std::is_same_v<Sample, float> ? SF_FORMAT_WAV | SF_FORMAT_FLOAT : format, 0, 0};
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (f == nullptr)
        throw std::runtime_error(sf_strerror(nullptr));
    if constexpr (std::is_same_v<Sample, float>)
        sf_write_float(f, samples.data(), static_cast<sf_count_t>(samples.size()));
    else
        sf_write_short(f, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(f);
}

// The blocks of 1024 samples at 44100 Hz that times in seconds fall on.
inline std::vector<long> Blocks(const std::vector<double>& times)
{
    std::vector<long> b;
    for (double t : times)
        b.push_back(std::lround(t * 44100 / 1024));
    return b;
}

// Mono at 44100 Hz: silence with a 1000 Hz burst filling every block whose
// index is a multiple of `period` (block 0 excepted), `blocks` blocks long.
inline std::vector<std::int16_t> BurstTrack(int blocks, int period, double amplitude = 16000.0)
{
    std::vector<std::int16_t> s(static_cast<std::size_t>(blocks) * 1024, 0);
    for (int b = period; b < blocks; b += period) {
        for (int i = 0; i < 1024; ++i)
            s[static_cast<std::size_t>(b) * 1024 + i] =
                static_cast<std::int16_t>(std::lrint(amplitude * std::sin(2 * M_PI * 1000.0 * i / 44100.0)));
    }
    return s;
}

// Mono at 44100 Hz, `seconds` long: a 10 ms 1000 Hz click at each of `times`
// (in seconds), silence elsewhere.
inline std::vector<std::int16_t> ClickTrack(double seconds, const std::vector<double>& times)
{
    std::vector<std::int16_t> s(static_cast<std::size_t>(seconds * 44100), 0);
    for (double t : times) {
        const auto start = static_cast<std::size_t>(std::lround(t * 44100));
        for (std::size_t i = 0; i < 441 && start + i < s.size(); ++i)
            s[start + i] = static_cast<std::int16_t>(std::lrint(16000.0 * std::sin(2 * M_PI * 1000.0 * i / 44100.0)));
    }
    return s;
}
