#include "render/RasterSurface.h"

#include "render/FontCache.h"
#include "render/GlyphMasks.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <utility>

namespace varimark {

namespace {

// Device coordinates are kept well inside int: anything that far out is off the picture.
constexpr double kFarOut = 1 << 30;

int RoundToPixel(double v) {
    return static_cast<int>(std::clamp(std::floor(v + 0.5), -kFarOut, kFarOut));
}

int Magnified(int v, int factor) {
    return static_cast<int>(std::clamp<long long>(1LL * v * factor, -(1LL << 30), 1LL << 30));
}

// Text space (x along the base line, y down across it) to device offsets from the
// reference point, turned counter-clockwise by quarter turns; (u, v) is a pixel's
// top-left corner and the pixel it names is the one that corner's square turns into.
struct TTurn {
    int turns;
    void Pixel(int u, int v, int& x, int& y) const {
        switch (turns) {
        case 1: x = v, y = -u - 1; break;
        case 2: x = -u - 1, y = -v - 1; break;
        case 3: x = -v - 1, y = u; break;
        default: x = u, y = v; break;
        }
    }
};

// channel × keep / 255, rounded to the nearest.
std::uint8_t Darken(std::uint8_t channel, unsigned keep) {
    const unsigned t = channel * keep + 128;
    return static_cast<std::uint8_t>((t + (t >> 8)) >> 8);
}

// Sets pixels x0 <= x < x1 of a row to value.
template <int kBytes>
void FillRow(std::uint8_t* row, int x0, int x1, const std::uint8_t (&value)[kBytes]) {
    if constexpr (kBytes == 1) {
        if (x1 - x0 > 16)
            std::memset(row + x0, value[0], static_cast<std::size_t>(x1 - x0));
        else // a bar: cheaper than a call
            for (int x = x0; x < x1; ++x) row[x] = value[0];
    } else {
        for (std::uint8_t* p = row + kBytes * x0; p != row + kBytes * x1; p += kBytes)
            for (int b = 0; b < kBytes; ++b) p[b] = value[b];
    }
}

// A word read from bytes that need not be aligned.
template <typename TWord> TWord LoadWord(const std::uint8_t* p) {
    TWord word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

// Copies n bytes, n mostly 16 or fewer: two words of eight or four bytes, the second
// overlapping the first rather than reaching past the end.
void CopySmall(std::uint8_t* to, const std::uint8_t* from, std::size_t n) {
    if (n > 16) {
        std::memcpy(to, from, n);
    } else if (n >= 8) {
        const auto first = LoadWord<std::uint64_t>(from),
                   last = LoadWord<std::uint64_t>(from + n - 8);
        std::memcpy(to, &first, 8);
        std::memcpy(to + n - 8, &last, 8);
    } else if (n >= 4) {
        const auto first = LoadWord<std::uint32_t>(from),
                   last = LoadWord<std::uint32_t>(from + n - 4);
        std::memcpy(to, &first, 4);
        std::memcpy(to + n - 4, &last, 4);
    } else {
        for (std::size_t i = 0; i < n; ++i) to[i] = from[i];
    }
}

// Whether every byte of p[0, n) is 255, read in words the same way.
bool AllWhite(const std::uint8_t* p, std::size_t n) {
    if (n >= 8) {
        std::uint64_t all = LoadWord<std::uint64_t>(p + n - 8);
        for (std::size_t i = 0; i + 8 <= n; i += 8) all &= LoadWord<std::uint64_t>(p + i);
        return all == ~std::uint64_t{0};
    }
    if (n >= 4) return (LoadWord<std::uint32_t>(p) & LoadWord<std::uint32_t>(p + n - 4)) == ~0u;
    unsigned all = 255;
    for (std::size_t i = 0; i < n; ++i) all &= p[i];
    return all == 255;
}

// Darkens the pixels under an unturned glyph mask whose top-left pixel is at (left, top).
template <int kBytes>
void BlendPixels(const TPixelRows& pixels, const TGlyphMask& mask, int left, int top) {
    const int i0 = std::max(0, -left), i1 = std::min(mask.width, pixels.width - left);
    const int j0 = std::max(0, -top), j1 = std::min(mask.height, pixels.height - top);
    if (i0 >= i1) return; // beside the picture
    for (int j = j0; j < j1; ++j) {
        const std::uint8_t* __restrict coverage = mask.coverage.data() + j * mask.width;
        std::uint8_t* __restrict p = pixels.Row(top + j) + kBytes * left;
        // Text mostly lies on white, where the result is simply 255 - coverage.
        const std::size_t bytes = static_cast<std::size_t>(kBytes) * (i1 - i0);
        if (AllWhite(p + kBytes * i0, bytes)) {
            const std::vector<std::uint8_t>& onWhite = kBytes == 1 ? mask.onWhite : mask.onWhite3;
            CopySmall(p + kBytes * i0, onWhite.data() + kBytes * (j * mask.width + i0), bytes);
            continue;
        }
        for (int i = i0; i < i1; ++i)
            for (int b = 0; b < kBytes; ++b)
                p[kBytes * i + b] = Darken(p[kBytes * i + b], 255u - coverage[i]);
    }
}

} // namespace

std::uint8_t GreyOf(TColor color) {
    return static_cast<std::uint8_t>((color.r * 11 + color.g * 16 + color.b * 5) / 32);
}

struct TRasterSurface::TScratch {
    std::vector<TPendingFill> pending;
    std::vector<int> edges; // room for two per pending fill, taken as the fills come
    std::vector<std::uint32_t> rowClass;
    std::vector<const std::uint8_t*> shared;
    // Copies of rows for the rows alike to share: the first `used` are taken, each of
    // copyBytes bytes.
    std::vector<std::unique_ptr<std::uint8_t[]>> copies;
    std::size_t used = 0, copyBytes = 0;
    TScratch* nextSpare = nullptr;

    // A copy of a row, or null when memory is out.
    std::uint8_t* NextCopy(std::size_t bytes) noexcept {
        if (bytes != copyBytes) copies.clear(), used = 0, copyBytes = bytes;
        if (used == copies.size()) {
            if (copies.size() == copies.capacity()) {
                try {
                    copies.reserve(std::max<std::size_t>(16, 2 * copies.size()));
                } catch (const std::bad_alloc&) {
                    return nullptr;
                }
            }
            std::uint8_t* copy = new (std::nothrow) std::uint8_t[bytes];
            if (copy == nullptr) return nullptr;
            copies.emplace_back(copy);
        }
        return copies[used++].get();
    }
};

// Linked one to the next.
struct TRasterSurface::TScratchSpares {
    TScratch* top = nullptr;
    ~TScratchSpares() {
        while (top != nullptr) delete std::exchange(top, top->nextSpare);
    }
};

void TRasterSurface::TScratchDeleter::operator()(TScratch* scratch) const noexcept {
    scratch->pending.clear();
    scratch->used = 0;
    // Row copies are kept for pictures of a batch's size, not a large picture's worth.
    if (scratch->copyBytes * scratch->copies.size() > (1u << 20)) {
        scratch->copies.clear();
        scratch->copyBytes = 0;
    }
    // A surface gone on a thread that keeps no spares (none was made on it) takes its
    // lists with it.
    TScratchSpares* spares = TThreadState<TScratchSpares>::Existing();
    if (spares == nullptr) {
        delete scratch;
        return;
    }
    scratch->nextSpare = spares->top;
    spares->top = scratch;
}

TRasterSurface::TScratchPtr TRasterSurface::TakeScratch() {
    TScratchSpares& spares = TThreadState<TScratchSpares>::Get();
    if (spares.top == nullptr) return TScratchPtr(new TScratch);
    return TScratchPtr(std::exchange(spares.top, spares.top->nextSpare));
}

TRasterSurface::TRasterSurface(TPixelRows pixels, int dpiX, int dpiY, bool blank,
                               bool writeSharedRows)
    : TSurfaceState(dpiX, dpiY), pixels_(pixels), writeSharedRows_(writeSharedRows),
      scratch_(TakeScratch()), pending_(scratch_->pending), edges_(scratch_->edges),
      rowClass_(scratch_->rowClass), shared_(scratch_->shared) {
    const auto rows = static_cast<std::size_t>(std::max(pixels.height, 0));
    shared_.assign(rows, nullptr);
    // A blank picture's rows are all alike; otherwise each row is its own.
    if (blank) {
        rowClass_.assign(rows, nextClass_++);
    } else {
        rowClass_.resize(rows);
        for (std::size_t y = 0; y < rows; ++y) rowClass_[y] = nextClass_++;
    }
}

TRasterSurface::~TRasterSurface() {
    Flush();
    if (writeSharedRows_) WriteSharedRows();
    KeepDrawnGlyphs(); // for the next process, once the picture's text is drawn
}

void TRasterSurface::FillDevice(int x0, int y0, int x1, int y1, TColor color) {
    x0 = std::max(x0, 0), y0 = std::max(y0, 0);
    x1 = std::min(x1, pixels_.width), y1 = std::min(y1, pixels_.height);
    if (x0 >= x1 || y0 >= y1) return;
    // Flushing finds each fill's top and bottom among the edges without allocating.
    if (edges_.capacity() < 2 * (pending_.size() + 1))
        edges_.reserve(std::max<std::size_t>(64, 4 * (pending_.size() + 1)));
    pending_.push_back({x0, y0, x1, y1, color});
}

void TRasterSurface::Flush() noexcept {
    if (pending_.empty()) return;
    if (pixels_.bytesPerPixel == 1)
        FlushRows<1>();
    else
        FlushRows<3>();
    pending_.clear();
}

// The tops and bottoms of the pending fills, sorted, each once. Bars share a few: each edge
// is kept once before sorting (in the room FillDevice made).
void TRasterSurface::CollectEdges() noexcept {
    edges_.clear();
    const auto addEdge = [&](int y) {
        if (std::find(edges_.begin(), edges_.end(), y) == edges_.end()) edges_.push_back(y);
    };
    const TPendingFill* previous = nullptr;
    for (const TPendingFill& f : pending_) {
        if (previous == nullptr || f.y0 != previous->y0 || f.y1 != previous->y1)
            addEdge(f.y0), addEdge(f.y1);
        previous = &f;
    }
    std::sort(edges_.begin(), edges_.end());
    edges_.erase(std::unique(edges_.begin(), edges_.end()), edges_.end());
}

// Draws into one row of the band ya <= y < yb the fills that cover the whole band.
template <int kBytes>
void TRasterSurface::FillBandRow(std::uint8_t* row, int ya, int yb) const noexcept {
    for (const TPendingFill& f : pending_) {
        if (f.y0 > ya || f.y1 < yb) continue;
        if constexpr (kBytes == 1) {
            const std::uint8_t grey[1] = {GreyOf(f.color)};
            FillRow<1>(row, f.x0, f.x1, grey);
        } else {
            const std::uint8_t bgr[3] = {f.color.b, f.color.g, f.color.r};
            FillRow<3>(row, f.x0, f.x1, bgr);
        }
    }
}

// The fills go out band by band, a band being rows that the same fills cover. In a band,
// rows known to be alike get the fills once and then a copy of the first such row, so a
// barcode's bars cost a row or two, not a pass down every bar.
template <int kBytes> void TRasterSurface::FlushRows() noexcept {
    CollectEdges();
    struct TDone {
        std::uint32_t before, after;
        const std::uint8_t* copy;
    };
    TDone done[8]; // the classes met in a band: a few, as a rule
    std::size_t doneCount = 0;
    for (std::size_t k = 0; k + 1 < edges_.size(); ++k) {
        const int ya = edges_[k], yb = edges_[k + 1];
        int cx0 = pixels_.width, cx1 = 0;
        for (const TPendingFill& f : pending_)
            if (f.y0 <= ya && f.y1 >= yb) cx0 = std::min(cx0, f.x0), cx1 = std::max(cx1, f.x1);
        if (cx0 >= cx1) continue; // no fill covers the band
        doneCount = 0;
        for (int y = ya; y < yb; ++y) {
            const std::uint32_t before = rowClass_[y];
            const TDone* same = std::find_if(done, done + doneCount,
                                             [&](const TDone& d) { return d.before == before; });
            if (same != done + doneCount) {
                // It and the rows after it alike share the copy of the first row like them.
                int end = y + 1;
                while (end < yb && rowClass_[end] == before) ++end;
                std::fill(shared_.begin() + y, shared_.begin() + end, same->copy);
                std::fill(rowClass_.begin() + y, rowClass_.begin() + end, same->after);
                y = end - 1;
                continue;
            }
            Own(y);
            std::uint8_t* row = pixels_.Row(y);
            FillBandRow<kBytes>(row, ya, yb);
            rowClass_[y] = nextClass_++;
            if (doneCount == std::size(done)) continue; // many kinds of rows: each on its own
            std::uint8_t* copy = scratch_->NextCopy(RowBytes());
            if (copy == nullptr) continue; // no memory for a copy: the rows alike on their own
            std::memcpy(copy, row, RowBytes());
            done[doneCount++] = {before, rowClass_[y], copy};
        }
    }
}

void TRasterSurface::TouchRows(int y0, int y1) {
    for (int y = std::max(y0, 0); y < std::min(y1, pixels_.height); ++y) {
        Own(y);
        rowClass_[y] = nextClass_++;
    }
}

void TRasterSurface::Own(int y) {
    if (shared_[y] == nullptr) return;
    std::memcpy(pixels_.Row(y), shared_[y], RowBytes());
    shared_[y] = nullptr;
}

void TRasterSurface::WriteSharedRows() {
    for (int y = 0; y < pixels_.height; ++y) Own(y);
}

void TRasterSurface::MappingChanged() {
    scale_ = Scale();
    const bool whole = scale_.x == scale_.y && scale_.x >= 1 && scale_.x <= 65535 &&
                       scale_.x == std::floor(scale_.x);
    wholeScale_ = whole ? static_cast<int>(scale_.x) : 0;
}

void TRasterSurface::FillRect(int left, int top, int right, int bottom) {
    if (brushStyle_ == TBrushStyle::Clear) return;
    int x0, x1, y0, y1;
    if (wholeScale_ > 0) { // the usual case: the same whole number across and down
        x0 = Magnified(left, wholeScale_), x1 = Magnified(right, wholeScale_);
        y0 = Magnified(top, wholeScale_), y1 = Magnified(bottom, wholeScale_);
    } else {
        const TScale& s = scale_;
        x0 = RoundToPixel(left * s.x), x1 = RoundToPixel(right * s.x);
        y0 = RoundToPixel(top * s.y), y1 = RoundToPixel(bottom * s.y);
    }
    if (x0 > x1) std::swap(x0, x1);
    if (y0 > y1) std::swap(y0, y1);
    FillDevice(x0, y0, x1, y1, brushColor_);
}

int TRasterSurface::TextHeight(std::string_view) {
    return varimark::MatchFont(fontFace_, fontHeight_).cellHeight;
}

void TRasterSurface::Blend(int x, int y, std::uint8_t coverage) {
    if (x < 0 || y < 0 || x >= pixels_.width || y >= pixels_.height || coverage == 0) return;
    const int bytes = pixels_.bytesPerPixel;
    std::uint8_t* p = pixels_.Row(y) + bytes * x;
    const unsigned keep = 255u - coverage;
    for (int i = 0; i < bytes; ++i) p[i] = Darken(p[i], keep);
}

void TRasterSurface::BlendMask(const TGlyphMask& mask, int left, int top) {
    if (pixels_.bytesPerPixel == 1)
        BlendPixels<1>(pixels_, mask, left, top);
    else
        BlendPixels<3>(pixels_, mask, left, top);
}

// The opaque background of text: the box of the text's cell from (left, top) in text space,
// turned and placed at the reference point (ox, oy).
void TRasterSurface::FillTextBox(int ox, int oy, int turns, double left, double top, double width,
                                 double cell) {
    const TTurn turn{turns};
    const int u0 = RoundToPixel(left), u1 = RoundToPixel(left + width);
    const int v0 = RoundToPixel(top), v1 = RoundToPixel(top + cell);
    if (u0 >= u1 || v0 >= v1) return;
    int ax, ay, bx, by;
    turn.Pixel(u0, v0, ax, ay);
    turn.Pixel(u1 - 1, v1 - 1, bx, by);
    FillDevice(ox + std::min(ax, bx), oy + std::min(ay, by), ox + std::max(ax, bx) + 1,
               oy + std::max(ay, by) + 1, bkColor_);
    Flush();
}

void TRasterSurface::TextOut(int x, int y, std::string_view text, const TFontSpec& spec) {
    const TScale& s = scale_;
    // A whole, equal magnification goes into the font; any other mapping only moves the
    // reference point.
    const int magnification =
        s.x == s.y && s.x > 1 && s.x == std::floor(s.x) ? static_cast<int>(s.x) : 1;
    TGlyphFont& font = GlyphFontFor(spec.face, spec.height, magnification);
    const int ox = RoundToPixel(x * s.x), oy = RoundToPixel(y * s.y);
    const TTurn turn{QuarterTurns(spec.escapement)};

    double width = 0;
    for (char c : text) width += font.Advance(static_cast<unsigned char>(c));
    const double cell = font.Ascent() + font.Descent();
    const auto [boxLeft, top] = TextBoxAt(width, font.Ascent(), cell);
    const double left = boxLeft; // a name the glyph loop below can capture

    Flush(); // the fills so far lie under the text
    if (bkMode_ == TBkMode::Opaque) FillTextBox(ox, oy, turn.turns, left, top, width, cell);

    const int baseline = RoundToPixel(top + font.Ascent());
    // Each glyph at its pen position: the mask for the pen's quarter pixel, left of it the
    // whole pixels.
    const auto forEachGlyph = [&](const auto& use) {
        double pen = left;
        for (char c : text) {
            const unsigned char code = static_cast<unsigned char>(c);
            const double whole = std::floor(pen);
            int subpixel = static_cast<int>((pen - whole) * TGlyphFont::kSubpixels + 0.5);
            int penX = static_cast<int>(whole);
            if (subpixel == TGlyphFont::kSubpixels) subpixel = 0, ++penX;
            use(font.Mask(code, subpixel), penX);
            pen += font.Advance(code);
        }
    };
    // The rows the glyphs cover are drawn on one by one from here.
    int rowsFrom = pixels_.height, rowsTo = 0;
    forEachGlyph([&](const TGlyphMask& mask, int penX) {
        if (mask.width == 0) return;
        int ax, ay, bx, by;
        turn.Pixel(penX + mask.left, baseline + mask.top, ax, ay);
        turn.Pixel(penX + mask.left + mask.width - 1, baseline + mask.top + mask.height - 1, bx,
                   by);
        rowsFrom = std::min(rowsFrom, oy + std::min(ay, by));
        rowsTo = std::max(rowsTo, oy + std::max(ay, by) + 1);
    });
    TouchRows(rowsFrom, rowsTo);
    forEachGlyph([&](const TGlyphMask& mask, int penX) {
        if (turn.turns == 0)
            BlendMask(mask, ox + penX + mask.left, oy + baseline + mask.top);
        else {
            const std::uint8_t* coverage = mask.coverage.data();
            for (int j = 0; j < mask.height; ++j)
                for (int i = 0; i < mask.width; ++i, ++coverage) {
                    int dx, dy;
                    turn.Pixel(penX + mask.left + i, baseline + mask.top + j, dx, dy);
                    Blend(ox + dx, oy + dy, *coverage);
                }
        }
    });
}

} // namespace varimark
