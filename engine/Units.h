#pragma once
// Units shared by the layout, the surfaces, the grading and the front ends.
namespace varimark {

inline constexpr double kMillimetresPerInch = 25.4;

// The display that pictures are laid out for. There may be no display at all (the
// command-line tool, tests), so it is fixed: 96 dots per inch (and 24 bits per pixel,
// kDisplayBitsPerPixel of the bitmap layer). Also the resolution a picture is laid out at
// when none is given.
inline constexpr int kScreenDpi = 96;

} // namespace varimark
