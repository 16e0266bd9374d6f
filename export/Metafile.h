#pragma once
// The enhanced metafile of a picture: a header record whose frame comes from the display's
// size in millimetres and pixels, one record that places the bitmap's pixels at (0, 0) at
// their pixel size with a plain copy, and the end record.
#include "export/Bitmap.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace varimark {

// The display the metafile is recorded for (fixed: 1920 x 1080 pixels at 96 dots per
// inch, 508 x 286 millimetres).
struct TDisplayFacts {
    int widthPixels = 1920, heightPixels = 1080;
    int widthMM = 508, heightMM = 286;
    int bitsPerPixel = 24;
};

class TMetafile {
public:
    // Size in pixels; before the metafile has content it is only provisional.
    void SetWidth(int width) { width_ = width; }
    void SetHeight(int height) { height_ = height; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    // The frame in hundredths of a millimetre (set when a canvas closes).
    int FrameWidth() const { return frameWidth_; }
    int FrameHeight() const { return frameHeight_; }

    const std::vector<std::uint8_t>& Data() const { return records_; }
    // Hands the content over, leaving the metafile empty.
    std::vector<std::uint8_t> TakeData() { return std::move(records_); }

private:
    friend class TMetafileCanvas;
    int width_ = 0, height_ = 0, frameWidth_ = 0, frameHeight_ = 0;
    std::vector<std::uint8_t> records_;
};

// Records drawing into a metafile; closing it (or destroying it) makes the recording the
// metafile's content.
class TMetafileCanvas {
public:
    explicit TMetafileCanvas(TMetafile& metafile, const TDisplayFacts& display = {});
    ~TMetafileCanvas();
    void Draw(int x, int y, const TBitmap& bitmap);
    void Close();

private:
    TMetafile& metafile_;
    TDisplayFacts display_;
    std::vector<std::vector<std::uint8_t>> records_; // drawing records
    int frameWidth_ = 0, frameHeight_ = 0;           // hundredths of a mm, set when opened
    int boundsLeft_ = 0, boundsTop_ = 0, boundsRight_ = -1, boundsBottom_ = -1; // drawn
    bool closed_ = false;
};

// The picture as an enhanced metafile: a metafile of the bitmap's height and width, the
// bitmap drawn at (0, 0) on a canvas for the display and closed.
std::vector<std::uint8_t> BitmapMetafileBytes(const TBitmap& bitmap);

} // namespace varimark
