#include "render/MagnifiedPicture.h"

#include "engine/EOverflow.h"
#include "engine/Units.h"
#include "render/FontCache.h"

#include <string>

namespace varimark {

namespace {

// The measuring pass needs the layout: the text height as the drawing surfaces measure
// it. It keeps what is drawn, with the state each call was made in, so that the picture
// is drawn from the recording instead of running the drawing a second time.
class TRecordingSurface : public TSurfaceState {
public:
    TRecordingSurface(int dpi, TRecordedDrawing& drawing)
        : TSurfaceState(dpi, dpi, kScreenDpi, kScreenDpi), drawing_(drawing) {}

    void FillRect(int left, int top, int right, int bottom) override {
        if (brushStyle_ != TBrushStyle::Clear)
            drawing_.AddFill(left, top, right, bottom, brushColor_);
    }
    int TextHeight(std::string_view) override {
        return varimark::MatchFont(fontFace_, fontHeight_).cellHeight;
    }
    void TextOut(int x, int y, std::string_view text, const TFontSpec& font) override {
        drawing_.AddText(x, y, text, font, textAlign_, bkMode_, bkColor_);
    }

private:
    TRecordedDrawing& drawing_;
};

} // namespace

TRecordedDrawing::TRecordedDrawing() {
    TLists& spare = TThreadState<TLists>::Get();
    calls_.swap(spare.calls);
    chars_.swap(spare.chars);
    calls_.clear();
    chars_.clear();
    calls_.reserve(128);
}

TRecordedDrawing::~TRecordedDrawing() {
    // Swapped, not copied: nothing is allocated. A drawing gone on a thread that keeps no
    // spare lists takes its own with it.
    TLists* spare = TThreadState<TLists>::Existing();
    if (spare == nullptr) return;
    if (calls_.capacity() > spare->calls.capacity()) calls_.swap(spare->calls);
    if (chars_.capacity() > spare->chars.capacity()) chars_.swap(spare->chars);
}

void TRecordedDrawing::AddFill(int left, int top, int right, int bottom, TColor brush) {
    calls_.push_back(
        {left, top, right, bottom, brush, 0, TBkMode::Transparent, 0, 0, 0, 0, 0, 0, false});
}

void TRecordedDrawing::AddText(int x, int y, std::string_view text, const TFontSpec& font,
                               unsigned align, TBkMode bkMode, TColor bkColor) {
    const auto at = static_cast<std::uint32_t>(chars_.size());
    const auto textLength = static_cast<std::uint32_t>(text.size());
    chars_.append(text).append(font.face);
    calls_.push_back({x, y, 0, 0, bkColor, align, bkMode, at, textLength, at + textLength,
                      static_cast<std::uint32_t>(font.face.size()), font.height, font.escapement,
                      true});
}

void TRecordedDrawing::Replay(TSurface& surface) const {
    surface.SetBrushStyle(TBrushStyle::Solid);
    const std::string_view chars(chars_);
    for (const TCall& call : calls_) {
        if (!call.text) {
            surface.SetBrushColor(call.color);
            surface.FillRect(call.a, call.b, call.c, call.d);
            continue;
        }
        surface.SetTextAlign(call.align);
        surface.SetBkMode(call.bkMode);
        surface.SetBkColor(call.color);
        surface.TextOut(call.a, call.b, chars.substr(call.textAt, call.textLength),
                        TFontSpec{chars.substr(call.faceAt, call.faceLength), call.fontHeight,
                                  call.escapement});
    }
}

TRecordedDrawing RecordBarcode(const TDrawFunction& draw, int margin, int dpi) {
    TRecordedDrawing drawing;
    TRecordingSurface surface(dpi, drawing);
    drawing.size_ = draw(surface, margin, margin);
    return drawing;
}

TDrawnSize MeasureBarcode(const TDrawFunction& draw, int margin, int dpi) {
    return RecordBarcode(draw, margin, dpi).Size();
}

TDrawnSize MagnifiedSize(TDrawnSize size, int margin, int factor) {
    if (factor < 1) throw EOverflow("Barcode: Factor for \"MagnifyBy\" must be >=1");
    const long long width = (2LL * margin + size.width) * factor;
    const long long height = (2LL * margin + size.height) * factor;
    if (width < 1 || height < 1 || width > kMaxPictureSide || height > kMaxPictureSide ||
        width * height > kMaxPicturePixels)
        throw EPicture("Picture too large: " + std::to_string(width) + " x " +
                       std::to_string(height) +
                       " pixels (at most 65535 on a side and 256 million in all)");
    return {static_cast<int>(width), static_cast<int>(height)};
}

namespace {

void ReplayMagnified(const TRecordedDrawing& drawing, int factor, TRasterSurface& surface) {
    // Logical units of factor device pixels across and down.
    surface.SetMapMode(MM_ANISOTROPIC);
    surface.SetWindowExt(1, 1);
    surface.SetViewportExt(factor, factor);
    drawing.Replay(surface);
    surface.Flush();
}

} // namespace

void DrawMagnified(const TRecordedDrawing& drawing, int factor, int dpi, TPixelRows target) {
    TRasterSurface surface(target, dpi, dpi, true);
    ReplayMagnified(drawing, factor, surface);
}

void ReadMagnified(const TRecordedDrawing& drawing, int factor, int dpi, TPixelRows target,
                   const std::function<void(const TRasterSurface&)>& read) {
    TRasterSurface surface(target, dpi, dpi, true, false);
    ReplayMagnified(drawing, factor, surface);
    read(surface);
}

} // namespace varimark
