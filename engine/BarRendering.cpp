// Drawing an encoded barcode onto a surface: bars, guard bars, add-on bars and the
// human-readable line, in four rotations. Everything is recomputed from the parameters
// and the surface's resolution on every call.
#include "LLBarcode.h"
#include "Rounding.h"
#include "Surface.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

constexpr long double kInchPerMM = 0.039370078740157480314L; // 1 / 25.4
constexpr long double kOneBy5624 = 0.017780938833570412517L; // 1 / 56.24

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
    return type == EAN_13 || type == UPC_A;
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

bool IsEanFamily(btCodeTypes type) {
    return type == EAN_8 || type == EAN_13 || type == UPC_A || type == UPC_E;
}

// Data bars of the EAN/UPC family stop short, leaving room for the digits.
bool IsShortBar(btCodeTypes type, int s) {
    switch (type) {
    case EAN_8: return (s >= 4 && s <= 31) || (s >= 37 && s <= 64);
    case EAN_13:
    case UPC_A: return (s >= 4 && s <= 45) || (s >= 51 && s <= 92);
    case UPC_E: return s >= 4 && s <= 45;
    default: return false;
    }
}

// Remembers the brush and text alignment and puts them back when drawing ends.
class TSurfaceStateGuard {
public:
    explicit TSurfaceStateGuard(TSurface& surface)
        : surface_(surface), color_(surface.BrushColor()), style_(surface.BrushStyle()),
          align_(surface.TextAlign()) {}
    void Restore() {
        surface_.SetBrushColor(color_);
        surface_.SetBrushStyle(style_);
        surface_.SetTextAlign(align_);
    }

private:
    TSurface& surface_;
    TColor color_;
    TBrushStyle style_;
    unsigned align_;
};

struct TResolution {
    long double rx, ry; // pixels per millimetre
};

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

TResolution PixelsPerMM(const TSurface& surface) {
    TResolution res{surface.DpiX() * kInchPerMM, surface.DpiY() * kInchPerMM};
    if (res.rx == 0 || res.ry == 0)
        res = {surface.ScreenDpiX() * kInchPerMM, surface.ScreenDpiY() * kInchPerMM};
    return res;
}

} // namespace

void TLLBarcode::DrawBarcode(TSurface& surface, int x, int y, TDrawnSize& size) {
    const btCodeTypes type = Params.CodeType;
    if (type == Postnet || type == Postnet_FIM) {
        DrawPostnet(surface, x, y, size);
        return;
    }
    TSurfaceStateGuard state(surface);
    surface.SetTextAlign(TA_CENTER | TA_TOP);
    surface.SetBrushColor(kBlack);
    const TResolution res = PixelsPerMM(surface);

    Encode();

    const long double m = ModuleWidthMM();
    const long double mrx = m * res.rx;
    int p = Nearest(mrx);
    if (p == 0) p = 1;
    const bool guardDigits = HasGuardDigits(type);
    const long double k = guardDigits ? 74.24L : 56.24L;
    const int l = guardDigits ? 10 * p : 0;
    const bool zoom = Params.ZoomSize;
    const int h = zoom ? Nearest(k * m * res.ry) : Nearest(k * m * res.ry * (p / mrx));
    const int c = MulDiv(h, 100 - Params.HeightPercent, 100);
    const int n = ModuleCount;

    int xs[kMaxModules + 1];
    if (zoom)
        PlaceZoomedModules(Modules, n, mrx, x + l, xs);
    else
        for (int i = 1; i <= n; ++i) xs[i] = (i - 1) * p + x + l;

    surface.SetFontFace(Params.Fontname);
    surface.SetFontHeight(FontHeightFor(h));

    const int w = xs[n] + l - x + p + 1;
    const int t = surface.TextHeight("Ay");
    const int shortBottom = y + Nearest(h * 0.917L) - c;
    const int longBottom = y + h - c;
    int v;
    if (!Params.HumanReadable)
        v = h - c + 1;
    else if (IsEanFamily(type))
        v = t + Nearest(h * 0.9336L - c) + 1;
    else
        v = t + h - c + 1;

    // Bars: each run of equal modules is one rectangle.
    for (int s = 1; s <= n;) {
        const int r = RunLength(Modules, s, n);
        if (Modules[s] != 0) {
            TRect bar;
            bar.top = (guardDigits && s > 100) ? y + t + p : y; // add-on bars leave room for digits
            bar.left = xs[s];
            bar.right = zoom ? xs[s] + ZoomedBarWidth(r, mrx) : xs[s] + r * p;
            bar.bottom = IsShortBar(type, s) ? shortBottom : longBottom;
            if (Params.WidthReduce && bar.right - bar.left >= 2) --bar.right;
            FillRectRotated(surface, bar, x, y, w, v);
        }
        s += r;
    }

    surface.SetBrushColor(kWhite);
    surface.SetBrushStyle(TBrushStyle::Clear);
    surface.SetBkColor(kWhite);
    surface.SetBkMode(TBkMode::Transparent);

    if (Params.HumanReadable) {
        const std::string_view code(CodeText);
        // Characters from..to of the prepared text (from 1), cut at its end.
        const auto piece = [&](std::size_t from, std::size_t to) {
            if (from > code.size()) return std::string_view();
            return code.substr(from - 1, (to < code.size() ? to : code.size()) - from + 1);
        };
        const auto put = [&](std::string_view text, int centre, int top) {
            TextOutRotated(surface, x, y, text, h, w, v, top, centre);
        };
        switch (type) {
        case EAN_8:
            put(piece(1, 4), xs[18], shortBottom);
            put(piece(5, 8), xs[50], shortBottom);
            break;
        case EAN_13:
            put(piece(1, 1), x + l / 2, shortBottom);
            put(piece(2, 7), xs[25], shortBottom);
            put(piece(8, 13), xs[72], shortBottom);
            break;
        case UPC_A:
            put(piece(1, 1), x + l / 2, shortBottom);
            put(piece(2, 6), xs[25], shortBottom);
            put(piece(7, 11), xs[72], shortBottom);
            put(piece(12, 12), xs[95] + p + l / 2, shortBottom);
            break;
        case UPC_E:
            CodeText[6] = '\0'; // the printed digits: neither number system nor check digit
            put(std::string_view(CodeText), xs[n / 2], shortBottom);
            break;
        case CODE39:
        case Codabar: put(piece(2, code.size() - 1), xs[n / 2], longBottom); break;
        case CODE25iP:
            FormatCode25iP(CodeText);
            put(std::string_view(CodeText), xs[n / 2], longBottom);
            break;
        case CODE128_A:
        case CODE128_B:
        case CODE128_C: {
            char source[TBarcodeParams::kMaxCaption + 2];
            source[0] = CodeText[0];
            const std::size_t len = strnlen(Params.Caption, TBarcodeParams::kMaxCaption);
            std::memcpy(source + 1, Params.Caption, len);
            source[len + 1] = '\0';
            char line[kMapCode128Capacity];
            const std::size_t lineLength = MapCode128(source, true, line);
            put(std::string_view(line, lineLength), xs[n / 2], longBottom);
            break;
        }
        default: put(code, xs[n / 2], longBottom); break; // CODE25i, MSI_Plessey
        }
        if (guardDigits) {
            const std::string_view addon(Params.CodeAddon);
            if (addon.size() == 2) put(addon, xs[115], y);
            if (addon.size() == 5) put(addon, xs[128], y);
        }
    }

    state.Restore();
    size = {w, v};
    if (Params.Rotation == rotate_090 || Params.Rotation == rotate_270) size = {v, w};
}

void TLLBarcode::DrawPostnet(TSurface& surface, int x, int y, TDrawnSize& size) {
    const TResolution res = PixelsPerMM(surface);
    Encode();

    const bool fim = Params.CodeType == Postnet_FIM;
    const int b = fim ? Nearest(0.79375L * res.rx) : Nearest(0.508L * res.rx);
    const long double q = fim ? 1.5875L * res.rx : 1.1545454545454545454L * res.rx;
    const int d = fim ? Nearest(15.875L * res.ry) : Nearest(3.175L * res.ry);
    const int half = fim ? d : Nearest(1.27L * res.ry);
    const int f = fim ? 1 : 5;

    TSurfaceStateGuard state(surface);
    surface.SetTextAlign(TA_CENTER | TA_TOP);
    surface.SetBrushColor(kBlack);
    surface.SetFontHeight(FontHeightFor(static_cast<long double>(f) * d));

    const int n = ModuleCount;
    int xs[kMaxModules + 1];
    for (int i = 1; i <= n; ++i) xs[i] = Nearest((i - 1) * q) + x;

    // FIM bars stand at a whole-pixel pitch, which can reach past the real pitch's last
    // position: the width takes in the last bar either way.
    const int last = fim ? std::max(xs[n] - x, (n - 1) * Nearest(q)) : xs[n] - x;
    const int w = last + b + 1;
    const int v = Params.HumanReadable ? surface.TextHeight("Ay") + d + 1 : d + 1;

    for (int i = 1; i <= n; ++i) {
        if (fim) {
            if (Modules[i] != 1) continue;
            const int left = (i - 1) * Nearest(q) + x;
            FillRectRotated(surface, {left, y, left + b, y + d}, x, y, w, v);
        } else {
            const int top = Modules[i] == 1 ? y : y + d - half;
            FillRectRotated(surface, {xs[i], top, xs[i] + b, y + d}, x, y, w, v);
        }
    }

    // The text goes over a transparent background, as the bars' line does.
    surface.SetBrushColor(kWhite);
    surface.SetBrushStyle(TBrushStyle::Clear);
    surface.SetBkColor(kWhite);
    surface.SetBkMode(TBkMode::Transparent);
    if (Params.HumanReadable)
        TextOutRotated(surface, x, y, CodeText, static_cast<long double>(f) * d, w, v, y + d,
                       (xs[1] + xs[n]) / 2);

    state.Restore();
    size = {w, v};
    if (Params.Rotation == rotate_090 || Params.Rotation == rotate_270) size = {v, w};
}

int TLLBarcode::FontHeightFor(long double basis) const {
    const long double scale = Params.Fontscaling * 0.01L;
    if (HasGuardDigits(Params.CodeType)) return Nearest(basis * 0.18L * scale);
    return Nearest(basis * 74.24L * kOneBy5624 * 0.18L * scale);
}

void TLLBarcode::FillRectRotated(TSurface& surface, const TRect& rect, int x, int y, int w,
                                 int v) const {
    const int dl = rect.left - x, dr = rect.right - x, dt = rect.top - y, db = rect.bottom - y;
    switch (Params.Rotation) {
    case rotate_090: surface.FillRect(x + dt, y + w - dl, x + db, y + w - dr); break;
    case rotate_180: surface.FillRect(x + w - dr, y + v - dt, x + w - dl, y + v - db); break;
    case rotate_270: surface.FillRect(x + v - dt, y + dl, x + v - db, y + dr); break;
    default: surface.FillRect(x + dl, y + dt, x + dr, y + db); break;
    }
}

void TLLBarcode::TextOutRotated(TSurface& surface, int x, int y, std::string_view text,
                                long double basis, int w, int v, int top, int centre) const {
    const int d = centre - x, e = top - y;
    int px, py, escapement;
    switch (Params.Rotation) {
    case rotate_090: px = x + e, py = y + w - d, escapement = 900; break;
    case rotate_180: px = x + w - d, py = y + v - e, escapement = 1800; break;
    case rotate_270: px = x + v - e, py = y + d, escapement = 2700; break;
    default: px = x + d, py = y + e, escapement = 0; break;
    }
    std::string_view face(Params.Fontname);
    if (face.size() > 31) face = face.substr(0, 31);
    surface.SetTextAlign(TA_CENTER | TA_TOP);
    surface.TextOut(px, py, text, TFontSpec{face, FontHeightFor(basis), escapement});
}
