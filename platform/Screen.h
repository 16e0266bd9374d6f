#pragma once
namespace varimark {

// Facts of the display that pictures are laid out for. There may be no display at all
// (the command-line tool, tests), so they are fixed: 96 dots per inch (and 24 bits per
// pixel, kDisplayBitsPerPixel of the bitmap layer).
inline constexpr int kScreenDpi = 96;

} // namespace varimark
