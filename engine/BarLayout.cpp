#include "engine/BarLayout.h"

#include "engine/ApplicationIdentifiers.h"
#include "engine/Rounding.h"
#include "engine/Surface.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <type_traits>

namespace varimark {
namespace {

// a × b ÷ c rounded to the nearest integer, halves away from zero.
int MulDiv(int a, int b, int c) {
    if (c == 0) return -1;
    const long long product = static_cast<long long>(a) * b;
    long long q = product / c;
    const long long r = product % c;
    if (2 * std::llabs(r) >= std::llabs(static_cast<long long>(c)))
        q += ((product < 0) != (c < 0)) ? -1 : 1;
    return static_cast<int>(q);
}

bool HasGuardDigits(btCodeTypes type) {
    return type == btCodeTypes::EAN_13 || type == btCodeTypes::UPC_A;
}

bool IsEanFamily(btCodeTypes type) {
    return type == btCodeTypes::EAN_8 || type == btCodeTypes::EAN_13 ||
           type == btCodeTypes::UPC_A || type == btCodeTypes::UPC_E;
}

// Data bars of the EAN/UPC family stop short, leaving room for the digits.
bool IsShortBar(btCodeTypes type, int s) {
    switch (type) {
    case btCodeTypes::EAN_8: return (s >= 4 && s <= 31) || (s >= 37 && s <= 64);
    case btCodeTypes::EAN_13:
    case btCodeTypes::UPC_A: return (s >= 4 && s <= 45) || (s >= 51 && s <= 92);
    case btCodeTypes::UPC_E: return s >= 4 && s <= 45;
    default: return false;
    }
}

// How many modules from s on (at most to n) equal modules[s]. Eight are compared at a
// time: bars are short, so the first word nearly always holds the end, and the end of a
// run costs no mispredicted branch per module.
int RunLength(const std::uint8_t* modules, int s, int n) {
    const std::uint8_t value = modules[s];
    int r = 1;
    if constexpr (std::endian::native == std::endian::little) {
        const std::uint64_t same = 0x0101010101010101u * value;
        for (; s + r + 7 <= n; r += 8) {
            std::uint64_t eight;
            std::memcpy(&eight, modules + s + r, 8);
            if (const std::uint64_t differ = eight ^ same; differ != 0)
                return r + std::countr_zero(differ) / 8;
        }
    }
    while (s + r <= n && modules[s + r] == value) ++r;
    return r;
}

// Width of a bar of r modules in the zoomed placement: its rounded millimetre width, at
// least a pixel.
int ZoomedBarWidth(int r, long double mrx) {
    return std::max(Nearest(r * mrx), 1);
}

// Module edges of the zoomed placement (modules of mrx pixels, module 1 at origin): each
// edge at its own rounded millimetre position. Where that leaves the space before a bar
// narrower than a pixel, that edge and every edge after it move right as far as needed, so
// that no bar and no space between bars vanishes at modules below a pixel.
void PlaceZoomedModules(const std::uint8_t* modules, int n, long double mrx, int origin, int* xs) {
    int shift = 0, lastRight = 0;
    bool afterBar = false;
    for (int s = 1; s <= n;) {
        const int r = RunLength(modules, s, n);
        const bool bar = modules[s] != 0;
        if (bar && afterBar) {
            const int left = Nearest((s - 1) * mrx) + origin + shift;
            if (left <= lastRight) shift += lastRight + 1 - left;
        }
        for (int i = s; i < s + r; ++i) xs[i] = Nearest((i - 1) * mrx) + origin + shift;
        if (bar) {
            lastRight = xs[s] + ZoomedBarWidth(r, mrx);
            afterBar = true;
        }
        s += r;
    }
}

void AddBar(TBarLayout& layout, const TRect& rect, int module, int modules, TBarKind kind) {
    layout.bars[static_cast<std::size_t>(layout.barCount++)] = {rect, module, modules, kind};
}

// A new piece of text at (centre, top) whose characters the caller writes; returns its
// buffer. The length is set from the zero-terminated result by FinishPiece.
TTextPiece& NewPiece(TBarLayout& layout, int centre, int top) {
    TTextPiece& piece = layout.pieces[static_cast<std::size_t>(layout.pieceCount++)];
    piece.text[0] = '\0';
    piece.length = 0;
    piece.centre = centre;
    piece.top = top;
    return piece;
}

void AddPiece(TBarLayout& layout, std::string_view text, int centre, int top) {
    TTextPiece& piece = NewPiece(layout, centre, top);
    const std::size_t length = std::min(text.size(), piece.text.size() - 1);
    std::memcpy(piece.text.data(), text.data(), length);
    piece.text[length] = '\0';
    piece.length = static_cast<int>(length);
}

// GS1-128's human-readable line from its caption (the element string with FNC1 as the byte
// 134): "(01) 09501101530003 (10) AB-123". A caption that is not GS1 data (set in the engine
// directly) is shown as it is, its FNC1s as spaces.
std::string Gs1Line(std::string_view caption) {
    std::string elements(caption);
    std::ranges::replace(elements, '\x86', kGs1Separator);
    const TGs1Check split = CheckGs1ElementString(elements);
    if (split.faults.empty() && !split.elements.empty()) return Gs1HumanReadable(split.elements);
    std::ranges::replace(elements, kGs1Separator, ' ');
    return elements;
}

// GS1-128's line can be wider than its bars (digits go two to a symbol character in code set
// C, and the line adds brackets and spaces). Its width is estimated, the surfaces measuring
// no text across: Arial's advances in em (digits 0.556, a space 0.278, brackets and "-./"
// 0.333, other characters 0.78), an em of the cell height over 1.15, and a tenth more for
// other faces. Returns the pixels to leave on either side of the bars.
int Gs1LineRoom(std::string_view line, int fontHeight, long double barsWidth) {
    long double ems = 0;
    for (const char c : line)
        ems += c >= '0' && c <= '9'                                          ? 0.556L
               : c == ' '                                                    ? 0.278L
               : std::string_view("()-./").find(c) != std::string_view::npos ? 0.333L
                                                                             : 0.78L;
    const long double width = ems * fontHeight / 1.15L * 1.1L;
    return width > barsWidth ? static_cast<int>(std::ceil((width - barsWidth) / 2)) : 0;
}

// Interleaved 2 of 5's line, its digits grouped as the barcode formats them.
void PlaceCode25iPLine(const TLLBarcode& barcode, int centre, TBarLayout& layout) {
    const std::string_view code(barcode.CodeText);
    TTextPiece& grouped = NewPiece(layout, centre, layout.longBottom);
    std::memcpy(grouped.text.data(), code.data(), code.size());
    grouped.text[code.size()] = '\0';
    barcode.FormatCode25iP(grouped.text.data());
    grouped.length = static_cast<int>(std::strlen(grouped.text.data()));
    layout.lineReplacesCodeText = true;
}

// Code 128's line: the caption read in the code set the prepared text starts with.
void PlaceCode128Line(const TLLBarcode& barcode, int centre, TBarLayout& layout) {
    const TBarcodeParams& params = barcode.Params;
    char source[TBarcodeParams::kMaxCaption + 2];
    source[0] = barcode.CodeText[0];
    const std::size_t len = strnlen(params.Caption, TBarcodeParams::kMaxCaption);
    std::memcpy(source + 1, params.Caption, len);
    source[len + 1] = '\0';
    TTextPiece& line = NewPiece(layout, centre, layout.longBottom);
    line.length = static_cast<int>(TLLBarcode::MapCode128(source, true, line.text.data()));
}

// The human-readable pieces of the bar types; edges holds the module edges.
void PlaceLine(const TLLBarcode& barcode, const int* edges, TBarLayout& layout) {
    const TBarcodeParams& params = barcode.Params;
    const btCodeTypes type = params.CodeType;
    const std::string_view code(barcode.CodeText);
    const int middle = edges[barcode.ModuleCount / 2];
    const int wholePixels = layout.modules.wholePixels, digitRoom = layout.modules.digitRoom;
    // Characters from..to of the prepared text (from 1), cut at its end.
    const auto piece = [&](std::size_t from, std::size_t to) {
        if (from > code.size()) return std::string_view();
        return code.substr(from - 1, (to < code.size() ? to : code.size()) - from + 1);
    };
    const auto put = [&](std::string_view text, int centre, int top) {
        AddPiece(layout, text, centre, top);
    };
    const int shortBottom = layout.shortBottom, longBottom = layout.longBottom;
    const int firstDigitCentre = layout.x + digitRoom / 2;
    switch (type) {
    case btCodeTypes::EAN_8:
        put(piece(1, 4), edges[18], shortBottom);
        put(piece(5, 8), edges[50], shortBottom);
        break;
    case btCodeTypes::EAN_13:
        put(piece(1, 1), firstDigitCentre, shortBottom);
        put(piece(2, 7), edges[25], shortBottom);
        put(piece(8, 13), edges[72], shortBottom);
        break;
    case btCodeTypes::UPC_A:
        put(piece(1, 1), firstDigitCentre, shortBottom);
        put(piece(2, 6), edges[25], shortBottom);
        put(piece(7, 11), edges[72], shortBottom);
        put(piece(12, 12), edges[95] + wholePixels + digitRoom / 2, shortBottom);
        break;
    case btCodeTypes::UPC_E: // the printed digits: neither number system nor check digit
        put(piece(1, 6), middle, shortBottom);
        layout.lineReplacesCodeText = true;
        break;
    case btCodeTypes::CODE39:
    case btCodeTypes::Codabar: put(piece(2, code.size() - 1), middle, longBottom); break;
    case btCodeTypes::CODE25iP: PlaceCode25iPLine(barcode, middle, layout); break;
    case btCodeTypes::GS1_128: put(Gs1Line(params.Caption), middle, longBottom); break;
    case btCodeTypes::ITF_14:
        put(code, layout.box.width / 2 + layout.x, longBottom + layout.bearer);
        break;
    case btCodeTypes::CODE128_A:
    case btCodeTypes::CODE128_B:
    case btCodeTypes::CODE128_C: PlaceCode128Line(barcode, middle, layout); break;
    default: put(code, middle, longBottom); break; // CODE25i, MSI_Plessey
    }
    if (HasGuardDigits(type)) {
        const std::string_view addon(params.CodeAddon);
        if (addon.size() == 2) put(addon, edges[115], layout.y);
        if (addon.size() == 5) put(addon, edges[128], layout.y);
    }
}

// A layout with every field zero but its lists of bars and pieces, of which only the
// first barCount and pieceCount are ever read: zeroing their 13 KB for each drawing cost
// as much as laying out the bars.
TBarLayout BlankLayout() {
    static_assert(std::is_trivially_copyable_v<TBarLayout> &&
                  std::is_standard_layout_v<TBarLayout>);
    TBarLayout layout;
    std::memset(static_cast<void*>(&layout), 0, offsetof(TBarLayout, bars));
    return layout;
}

// What the phases of LayOutBars share: the symbol, its modules' measures (an entry of
// Modules across; a module, the height's measure, is unitsPerModule of them), the sides
// of the bars, and the left edges of the modules (from 1).
struct TBarGeometry {
    TBarGeometry(const TLLBarcode& symbol, const TModuleMeasure& measure, TResolution resolution)
        : barcode(symbol), params(symbol.Params), modules(measure), res(resolution),
          type(symbol.Params.CodeType), moduleCount(symbol.ModuleCount),
          unitsPerModule(symbol.UnitsPerModule()), zoom(symbol.Params.ZoomSize),
          guardDigits(HasGuardDigits(type)), itf(type == btCodeTypes::ITF_14),
          frame(itf && params.Bearer != TBearer::TopBottom) {}

    // Pixels down for a number of modules, scaled as the whole-pixel modules are across.
    int Down(long double count) const {
        return zoom ? Nearest(count * unitsPerModule * modules.mm * res.down)
                    : Nearest(count * unitsPerModule * modules.mm * res.down *
                              (modules.wholePixels / modules.pixels));
    }
    // Pixels across for a number of modules.
    int Across(int count) const {
        return zoom ? Nearest(count * unitsPerModule * modules.pixels)
                    : count * unitsPerModule * modules.wholePixels;
    }

    const TLLBarcode& barcode;
    const TBarcodeParams& params;
    const TModuleMeasure& modules;
    const TResolution res;
    const btCodeTypes type;
    const int moduleCount;
    const int unitsPerModule;
    const bool zoom;
    const bool guardDigits;
    // ITF-14: bearer bars, and with the frame at their sides.
    const bool itf;
    const bool frame;
    int frameWidth = 0; // each side of the frame
    int quietWidth = 0; // each of ITF-14's quiet zones
    int sideRoom = 0;   // left on either side of the bars but ITF-14's
    int barsTop = 0;    // the top of the bars, under the upper bearer bar
    int quietRight = 0; // ITF-14: the right edge of the right quiet zone
    int edges[TLLBarcode::kMaxModules + 1];
};

// The height of the bars and the part of it cut off (HeightPercent).
void MeasureBarHeight(const TBarGeometry& geometry, TBarLayout& layout) {
    const long double barModules = geometry.guardDigits ? kGuardDigitBarModules : kBarModules;
    layout.barHeight = geometry.Down(barModules);
    layout.cut = MulDiv(layout.barHeight, 100 - geometry.params.HeightPercent, 100);
}

// ITF-14: bearer bars over and under the bars and their quiet zones, and with the frame at
// their sides; each bearer bar and quiet zone at least a pixel, as the bars are at least a
// pixel wide, so that none vanishes at modules below a pixel. GS1-128: room on either side
// for a line wider than the bars.
void MeasureSides(TBarGeometry& geometry, TBarLayout& layout) {
    const TBarcodeParams& params = geometry.params;
    const bool itf = geometry.itf;
    layout.bearer = itf ? std::max(geometry.Down(kItfBearerModules), 1) : 0;
    geometry.frameWidth = geometry.frame ? std::max(geometry.Across(kItfBearerModules), 1) : 0;
    geometry.quietWidth = itf ? std::max(geometry.Across(kItfQuietModules), 1) : 0;
    const int moduleCount = geometry.moduleCount;
    const long double barsWidth =
        geometry.zoom ? moduleCount * geometry.modules.pixels
                      : static_cast<long double>(moduleCount * geometry.modules.wholePixels);
    geometry.sideRoom = geometry.type == btCodeTypes::GS1_128 && params.HumanReadable
                            ? Gs1LineRoom(Gs1Line(params.Caption),
                                          LineFontHeight(params, layout.barHeight), barsWidth)
                            : geometry.modules.digitRoom;
}

// The left edges of the modules, after the room (ITF-14: the frame and quiet zone) left of
// the bars.
void PlaceModuleEdges(TBarGeometry& geometry, int x) {
    const int lead = geometry.itf ? geometry.frameWidth + geometry.quietWidth : geometry.sideRoom;
    const int moduleCount = geometry.moduleCount;
    if (geometry.zoom) {
        PlaceZoomedModules(geometry.barcode.Modules, moduleCount, geometry.modules.pixels, x + lead,
                           geometry.edges);
    } else {
        const int wholePixels = geometry.modules.wholePixels;
        for (int i = 1; i <= moduleCount; ++i) geometry.edges[i] = (i - 1) * wholePixels + x + lead;
    }
}

// The bottoms of the bars, the top of the add-on's, and the box that holds it all.
void MeasureBox(TBarGeometry& geometry, TBarLayout& layout) {
    const TBarcodeParams& params = geometry.params;
    const int x = layout.x, y = layout.y, moduleCount = geometry.moduleCount;
    const int wholePixels = geometry.modules.wholePixels;
    const int barHeight = layout.barHeight, cut = layout.cut, lineHeight = layout.lineHeight;
    const int* edges = geometry.edges;
    geometry.barsTop = y + layout.bearer;
    // ITF-14: the right edge of its right quiet zone, then of the frame; the zone starts at
    // the right edge of the last bar (the stop's narrow bar) as it is drawn below.
    int lastBar = moduleCount;
    while (lastBar > 1 && geometry.barcode.Modules[lastBar - 1] != 0) --lastBar;
    geometry.quietRight =
        (geometry.zoom
             ? edges[lastBar] + ZoomedBarWidth(moduleCount - lastBar + 1, geometry.modules.pixels)
             : edges[moduleCount] + wholePixels) +
        geometry.quietWidth;
    const int width = geometry.itf ? geometry.quietRight + geometry.frameWidth - x + 1
                                   : edges[moduleCount] + geometry.sideRoom - x + wholePixels + 1;
    layout.shortBottom = geometry.barsTop + Nearest(barHeight * kShortBarPart) - cut;
    layout.longBottom = geometry.barsTop + barHeight - cut;
    layout.addonTop = y + lineHeight + wholePixels; // add-on bars leave room for their digits
    int height;
    if (!params.HumanReadable)
        height = barHeight - cut + 1;
    else if (IsEanFamily(geometry.type))
        height = lineHeight + Nearest(barHeight * kDigitLinePart - cut) + 1;
    else
        height = lineHeight + barHeight - cut + 1;
    layout.box = {width, height + 2 * layout.bearer};
}

// ITF-14's bearer bars, over and under the bars, and with the frame at their sides.
void AddBearerBars(const TBarGeometry& geometry, TBarLayout& layout) {
    const int x = layout.x, y = layout.y, top = geometry.barsTop;
    const int right = geometry.quietRight + geometry.frameWidth, bottom = layout.longBottom;
    AddBar(layout, {x, y, right, top}, 0, 0, TBarKind::Bearer);
    AddBar(layout, {x, bottom, right, bottom + layout.bearer}, 0, 0, TBarKind::Bearer);
    if (geometry.frame) {
        AddBar(layout, {x, top, x + geometry.frameWidth, bottom}, 0, 0, TBarKind::Bearer);
        AddBar(layout, {geometry.quietRight, top, right, bottom}, 0, 0, TBarKind::Bearer);
    }
}

// Bars: each run of equal modules is one rectangle.
void AddModuleBars(const TBarGeometry& geometry, TBarLayout& layout) {
    const std::uint8_t* modules = geometry.barcode.Modules;
    const int moduleCount = geometry.moduleCount, wholePixels = geometry.modules.wholePixels;
    for (int module = 1; module <= moduleCount;) {
        const int run = RunLength(modules, module, moduleCount);
        if (modules[module] != 0) {
            const bool addon = geometry.guardDigits && module >= kFirstAddonModule;
            const bool shortBar = IsShortBar(geometry.type, module);
            const int left = geometry.edges[module];
            TRect bar;
            bar.top = addon ? layout.addonTop : geometry.barsTop;
            bar.left = left;
            bar.right = geometry.zoom ? left + ZoomedBarWidth(run, geometry.modules.pixels)
                                      : left + run * wholePixels;
            bar.bottom = shortBar ? layout.shortBottom : layout.longBottom;
            if (geometry.params.WidthReduce && bar.right - bar.left >= 2) --bar.right;
            AddBar(layout, bar, module, run,
                   addon      ? TBarKind::Addon
                   : shortBar ? TBarKind::Short
                              : TBarKind::Full);
        }
        module += run;
    }
}

TBarLayout LayOutBars(const TLLBarcode& barcode, TResolution res, int x, int y,
                      const TLineFont& lineFont) {
    TBarLayout layout = BlankLayout();
    layout.x = x;
    layout.y = y;
    layout.modules = MeasureModules(barcode, res.across);
    TBarGeometry geometry(barcode, layout.modules, res);
    MeasureBarHeight(geometry, layout);
    MeasureSides(geometry, layout);
    PlaceModuleEdges(geometry, x);

    layout.fontBasis = layout.barHeight;
    layout.fontHeight = LineFontHeight(barcode.Params, layout.barHeight);
    layout.lineHeight = lineFont(layout.fontHeight, true);

    MeasureBox(geometry, layout);
    if (geometry.itf) AddBearerBars(geometry, layout);
    AddModuleBars(geometry, layout);
    if (barcode.Params.HumanReadable) PlaceLine(barcode, geometry.edges, layout);
    return layout;
}

} // namespace

TResolution ResolutionAt(int dpiX, int dpiY) {
    return {dpiX * kInchPerMM, dpiY * kInchPerMM};
}

TResolution SurfaceResolution(const TSurface& surface) {
    if (surface.DpiX() == 0 || surface.DpiY() == 0)
        return ResolutionAt(surface.ScreenDpiX(), surface.ScreenDpiY());
    return ResolutionAt(surface.DpiX(), surface.DpiY());
}

TModuleMeasure MeasureModules(const TLLBarcode& barcode, long double pixelsPerMMAcross) {
    TModuleMeasure measure;
    measure.mm = barcode.ModuleWidthMM() / barcode.UnitsPerModule();
    measure.pixels = measure.mm * pixelsPerMMAcross;
    measure.wholePixels = Nearest(measure.pixels);
    if (measure.wholePixels == 0) measure.wholePixels = 1;
    measure.digitRoom =
        HasGuardDigits(barcode.Params.CodeType) ? kOuterDigitModules * measure.wholePixels : 0;
    measure.zoom = barcode.Params.ZoomSize;
    return measure;
}

TDrawnSize TBarLayout::DrawnSize(btCodeRotate rotation) const {
    if (rotation == btCodeRotate::rotate_090 || rotation == btCodeRotate::rotate_270)
        return {box.height, box.width};
    return box;
}

int LineFontHeight(const TBarcodeParams& params, long double basis) {
    const long double scale = params.Fontscaling * 0.01L; // per cent
    if (HasGuardDigits(params.CodeType)) return Nearest(basis * kFontPerBarHeight * scale);
    return Nearest(basis * kGuardDigitBarModules * kOneByBarModules * kFontPerBarHeight * scale);
}

TBarLayout LayOutPostal(const TLLBarcode& barcode, TResolution res, int x, int y,
                        const TLineFont& lineFont) {
    const TBarcodeParams& params = barcode.Params;
    const bool fim = params.CodeType == btCodeTypes::Postnet_FIM;
    TBarLayout layout = BlankLayout();
    layout.x = x;
    layout.y = y;
    layout.postal = true;
    TPostalMeasure& measure = layout.measure;
    measure.barWidth = Nearest((fim ? kFimBarWidthMM : kPostnetBarWidthMM) * res.across);
    measure.pitch = (fim ? kFimPitchMM : kPostnetPitchMM) * res.across;
    measure.fullBar = Nearest((fim ? kFimBarMM : kPostnetFullBarMM) * res.down);
    measure.halfBar = fim ? measure.fullBar : Nearest(kPostnetHalfBarMM * res.down);
    const int b = measure.barWidth, d = measure.fullBar;
    const long double q = measure.pitch;

    layout.fontBasis = static_cast<long double>(fim ? kFimFontBars : kPostnetFontBars) * d;
    layout.fontHeight = LineFontHeight(params, layout.fontBasis);
    layout.lineHeight = lineFont(layout.fontHeight, params.HumanReadable);

    const int n = barcode.ModuleCount;
    int xs[TLLBarcode::kMaxModules + 1];
    for (int i = 1; i <= n; ++i) xs[i] = Nearest((i - 1) * q) + x;

    // FIM bars stand at a whole-pixel pitch, which can reach past the real pitch's last
    // position: the width takes in the last bar either way.
    const int last = fim ? std::max(xs[n] - x, (n - 1) * Nearest(q)) : xs[n] - x;
    layout.box = {last + b + 1, params.HumanReadable ? layout.lineHeight + d + 1 : d + 1};

    for (int i = 1; i <= n; ++i) {
        if (fim) {
            if (barcode.Modules[i] != 1) continue;
            const int left = (i - 1) * Nearest(q) + x;
            AddBar(layout, {left, y, left + b, y + d}, i, 1, TBarKind::Full);
        } else {
            const bool full = barcode.Modules[i] == 1;
            const int top = full ? y : y + d - measure.halfBar;
            AddBar(layout, {xs[i], top, xs[i] + b, y + d}, i, 1,
                   full ? TBarKind::Full : TBarKind::Half);
        }
    }

    if (params.HumanReadable) AddPiece(layout, barcode.CodeText, (xs[1] + xs[n]) / 2, y + d);
    return layout;
}

TBarLayout LayOutBarcode(const TLLBarcode& barcode, TResolution resolution, int x, int y,
                         const TLineFont& lineFont) {
    const btCodeTypes type = barcode.Params.CodeType;
    if (type == btCodeTypes::Postnet || type == btCodeTypes::Postnet_FIM)
        return LayOutPostal(barcode, resolution, x, y, lineFont);
    return LayOutBars(barcode, resolution, x, y, lineFont);
}

} // namespace varimark
