#include "sim/camsim_picture.h"

namespace camsim {

namespace {

constexpr std::uint8_t kLow = 16;
constexpr std::uint8_t kHigh = 240;

Rgb BarColor(int bar)
{
    // white, yellow, cyan, green, magenta, red, blue, black
    static constexpr bool kRed[8] = { true, true, false, false, true, true, false, false };
    static constexpr bool kGreen[8] = { true, true, true, true, false, false, false, false };
    static constexpr bool kBlue[8] = { true, false, true, false, true, false, true, false };
    return Rgb { kRed[bar] ? kHigh : kLow, kGreen[bar] ? kHigh : kLow, kBlue[bar] ? kHigh : kLow };
}

} // namespace

int Wrap(int value, int modulus)
{
    const int r = value % modulus;
    return r < 0 ? r + modulus : r;
}

Rgb PatternPixel(Pattern pattern, int column, int row)
{
    const int c = Wrap(column, kColumns);
    const int r = Wrap(row, kRows);
    switch (pattern) {
    case Pattern::Bars:
        return BarColor(c / 10);
    case Pattern::Gradient:
        return Rgb { static_cast<std::uint8_t>(16 + c * 224 / (kColumns - 1)),
                     static_cast<std::uint8_t>(16 + r * 224 / (kRows - 1)), 128 };
    case Pattern::Checker: {
        const int bc = c / 10;
        const int br = r / 13;
        return Rgb { static_cast<std::uint8_t>(16 + 28 * bc), static_cast<std::uint8_t>(16 + 20 * br),
                     (bc + br) % 2 ? kHigh : kLow };
    }
    case Pattern::Markers:
        return Rgb { static_cast<std::uint8_t>(16 + c * 224 / (kColumns - 1)), kMarkerValues[r % 6],
                     kMarkerValues[(c + r) % 6] };
    }
    return Rgb {};
}

bool LineModePixel(int x, int row)
{
    if (x < 0 || x >= kColumns)
        return false;
    const int r = Wrap(row, kRows);
    if (r == 0 || r == kRows - 1 || x == 0 || x == kColumns - 1)
        return true; // border
    if (x == r * (kColumns - 1) / (kRows - 1))
        return true; // diagonal
    if (x >= 8 && x <= 27 && r >= 8 && r <= 27)
        return true; // top-left square
    if (x >= 8 && x <= 47 && r >= 120 && r <= 123)
        return true; // bottom-left bar
    return false;
}

} // namespace camsim
