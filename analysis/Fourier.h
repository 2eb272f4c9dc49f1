// Radix-2 decimation-in-time transform over four separate single-precision
// arrays. Twiddle factors come from a per-stage recurrence instead of a
// table, so the unit needs no set-up and no storage; its rounding is part
// of what the host sees, so the arithmetic must stay as it is.
#pragma once

#include <cstdint>

// X[k] = sum x[n] * e^(+2*pi*i*k*n/N), unscaled. N is a power of two from
// 2 to 32768 (not checked). The output arrays must not be the inputs.
void ForwardTransform(std::uint16_t NumSamples, const float* RealIn, const float* ImagIn, float* RealOut,
                      float* ImagOut);

// The same with the angle numerator given (ForwardTransform passes 2*pi).
void Transform(std::uint16_t NumSamples, const float* RealIn, const float* ImagIn, float* RealOut, float* ImagOut,
               float AngleNumerator);

// Position of the lowest set bit of N (searched over bits 0..16), 0 if none.
std::uint16_t SizeToBits(std::uint16_t NumSamples);

// The lowest `bits` bits of `index` in reverse order.
std::uint16_t BitReverse(std::uint16_t index, std::uint16_t bits);
