#pragma once
// What the decoders need to know about the screen.

namespace decode {

// Logical pixels per inch used to turn physical picture sizes into pixels.
constexpr int kLogicalPixelsPerInch = 96;

// Bits per pixel of the primary screen (24 when there is no screen), or the
// value set for testing. Off the window thread: the value last read on it.
int ScreenBitsPerPixel();

// Overrides ScreenBitsPerPixel(); 0 returns to the real screen.
void SetScreenDepthForTesting(int bitsPerPixel);

// Windows' MulDiv: number * numerator / denominator rounded to the nearest
// integer (halves away from zero); -1 when the denominator is 0 or the
// result does not fit.
int MulDiv(int number, int numerator, int denominator);

// HIMETRIC (0.01 mm) to pixels at kLogicalPixelsPerInch, and back.
inline int HimetricToPixels(int himetric)
{
    return MulDiv(himetric, kLogicalPixelsPerInch, 2540);
}
inline int PixelsToHimetric(int pixels)
{
    return MulDiv(pixels, 2540, kLogicalPixelsPerInch);
}

} // namespace decode
