#include "render/PdfSurface.h"

#include "engine/Windows1252.h"
#include "render/FontCache.h"
#include "render/GlyphMasks.h"
#include "render/MagnifiedPicture.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <utility>

namespace varimark {

namespace {

// Device coordinates are kept well inside int: anything that far out is off the page.
constexpr double kFarOut = 1 << 30;

long long RoundToPixel(double v) {
    return static_cast<long long>(std::clamp(std::floor(v + 0.5), -kFarOut, kFarOut));
}

long long Magnified(int v, int factor) {
    return std::clamp<long long>(1LL * v * factor, -(1LL << 30), 1LL << 30);
}

// Text space (u along the base line, v down across it) turned counter-clockwise by
// quarter turns into device offsets (x right, y down).
struct TTurn {
    int turns;
    void Apply(double u, double v, double& x, double& y) const {
        switch (turns) {
        case 1: x = v, y = -u; break;
        case 2: x = -u, y = -v; break;
        case 3: x = -v, y = u; break;
        default: x = u, y = v; break;
        }
    }
};

// A number as PDF writes it, whatever the locale: at most `decimals` places, no trailing
// zeros.
std::string Real(double v, int decimals = 3) {
    char buf[64];
    const auto [end, error] =
        std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    if (error != std::errc()) return "0";
    std::string s(buf, end);
    if (s.find('.') != std::string::npos) {
        s.erase(s.find_last_not_of('0') + 1);
        if (s.back() == '.') s.pop_back();
    }
    return s == "-0" ? "0" : s;
}

// A side of the page in points: the pixels at dpi, to a billionth of a point and never
// more, so that a reader that counts the pixels by rounding up counts the same.
std::string PageLength(long long pixels, int dpi) {
    const auto real = [](long long n) { return static_cast<double>(n); };
    long long nano = std::llround(real(pixels) * 72.0 / dpi * 1e9);
    while (nano > 0 && (real(nano) / 1e9 * (dpi / 72.0) > real(pixels) ||
                        real(nano) / 1e9 * dpi / 72 > real(pixels)))
        --nano;
    return Real(real(nano / 1000000000) + real(nano % 1000000000) / 1e9, 9);
}

std::string Hex2(unsigned value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return {kDigits[(value >> 4) & 15], kDigits[value & 15]};
}

std::string Hex4(unsigned value) {
    return Hex2(value >> 8) + Hex2(value);
}

std::string ColorOperator(TColor c) {
    if (c.r == c.g && c.g == c.b) return Real(c.r / 255.0) + " g\n";
    return Real(c.r / 255.0) + " " + Real(c.g / 255.0) + " " + Real(c.b / 255.0) + " rg\n";
}

std::string Stream(const std::string& data) {
    return "<< /Length " + std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream";
}

// The Unicode of the codes used, so that the text can be copied and searched.
std::string ToUnicodeCMap(const std::vector<unsigned>& codes) {
    std::string map = "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
                      "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
                      "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
                      "1 begincodespacerange\n<00> <FF>\nendcodespacerange\n";
    for (std::size_t at = 0; at < codes.size(); at += 100) { // at most 100 to a block
        const std::size_t n = std::min<std::size_t>(100, codes.size() - at);
        map += std::to_string(n) + " beginbfchar\n";
        for (std::size_t i = at; i < at + n; ++i)
            map += "<" + Hex2(codes[i]) + "> <" +
                   Hex4(Windows1252ToCodePoint(static_cast<unsigned char>(codes[i]))) + ">\n";
        map += "endbfchar\n";
    }
    map += "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend";
    return map;
}

// A reference to object number.
std::string Ref(std::size_t number) {
    return std::to_string(number) + " 0 R";
}

// A PDF file's objects as they are written, numbered from 1, then its cross-reference
// table and trailer.
class TPdfObjects {
public:
    TPdfObjects() : out_("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n") {}

    void Add(const std::string& body) {
        offsets_.push_back(out_.size());
        out_ += std::to_string(offsets_.size()) + " 0 obj\n" + body + "\nendobj\n";
    }
    std::size_t Count() const { return offsets_.size(); }

    // The whole file: object 1 the catalogue, object 5 the information.
    std::vector<std::uint8_t> Finish() {
        const std::size_t xref = out_.size();
        out_ += "xref\n0 " + std::to_string(offsets_.size() + 1) + "\n0000000000 65535 f \n";
        for (const std::size_t offset : offsets_) {
            char entry[32];
            std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offset);
            out_ += entry;
        }
        out_ += "trailer\n<< /Size " + std::to_string(offsets_.size() + 1) +
                " /Root 1 0 R /Info 5 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
        return {out_.begin(), out_.end()};
    }

private:
    std::string out_;
    std::vector<std::size_t> offsets_; // of objects 1, 2, ...
};

// The information's creation date, when there is one, is UTC; without one the entry's room
// is left blank, so a document is as long either way.
std::string CreationDateEntry(std::optional<long long> creationTime) {
    std::string date;
    if (creationTime) {
        const std::time_t time = static_cast<std::time_t>(*creationTime);
        std::tm utc{};
        char text[32];
        if (gmtime_r(&time, &utc) != nullptr &&
            std::strftime(text, sizeof text, "D:%Y%m%d%H%M%SZ", &utc) != 0)
            date = std::string(" /CreationDate (") + text + ")";
    }
    date.resize(std::max<std::size_t>(date.size(), 34), ' ');
    return date;
}

} // namespace

// A font of one face at one pixel size: glyph space is 1/64 pixel, so the widths are the
// raster surface's advances to the 1/64 pixel.
struct TPdfSurface::TFont {
    TFont(const TFontLocation& at, int size, std::string resourceName)
        : location(at), pixelSize(size), name(std::move(resourceName)), face(at) {}

    TFontLocation location;
    int pixelSize;
    std::string name; // in the page's resources
    TFontFace face;
    std::array<bool, 256> used{};
    std::array<long long, 256> width64{};
    std::array<std::string, 256> procedure{}; // the glyph's drawing, once used
    double box[4] = {0, 0, 0, 0};             // of every glyph used

    void Use(unsigned char code, double advance) {
        if (used[code]) return;
        used[code] = true;
        width64[code] = std::llround(advance * 64);
        const TGlyphOutline outline = face.Outline(Windows1252ToCodePoint(code), pixelSize);
        double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
        std::string path;
        std::size_t p = 0;
        const auto point = [&] {
            const TGlyphOutline::TPoint& at = outline.points[p++];
            if (p == 1) x0 = x1 = at.x, y0 = y1 = at.y;
            x0 = std::min(x0, at.x), x1 = std::max(x1, at.x);
            y0 = std::min(y0, at.y), y1 = std::max(y1, at.y);
            return Real(at.x, 1) + " " + Real(at.y, 1) + " ";
        };
        for (const TGlyphOutline::TStep step : outline.steps) {
            switch (step) {
            case TGlyphOutline::TStep::Move:
                if (!path.empty()) path += "h\n";
                path += point() + "m\n";
                break;
            case TGlyphOutline::TStep::Line: path += point() + "l\n"; break;
            case TGlyphOutline::TStep::Cubic: {
                std::string c = point();
                c += point();
                path += c + point() + "c\n";
                break;
            }
            }
        }
        x0 = std::floor(x0), y0 = std::floor(y0), x1 = std::ceil(x1), y1 = std::ceil(y1);
        // A shape only: the glyph takes the colour of the text.
        procedure[code] = std::to_string(width64[code]) + " 0 " + Real(x0) + " " + Real(y0) + " " +
                          Real(x1) + " " + Real(y1) + " d1\n" + path +
                          (path.empty() ? "" : "h f\n");
        if (path.empty()) return;
        box[0] = std::min(box[0], x0), box[1] = std::min(box[1], y0);
        box[2] = std::max(box[2], x1), box[3] = std::max(box[3], y1);
    }

    // Its objects: the font, a glyph procedure per code used, and its Unicode map.
    std::size_t ObjectCount() const {
        return 2 + static_cast<std::size_t>(std::count(used.begin(), used.end(), true));
    }

    void AddObjects(TPdfObjects& pdf) const {
        const std::size_t self = pdf.Count() + 1;
        std::vector<unsigned> codes;
        for (unsigned c = 0; c < 256; ++c)
            if (used[c]) codes.push_back(c);
        std::string procedures, differences, widths;
        for (std::size_t i = 0; i < codes.size(); ++i) {
            procedures += "/g" + Hex2(codes[i]) + " " + Ref(self + 1 + i) + " ";
            differences += std::to_string(codes[i]) + " /g" + Hex2(codes[i]) + " ";
        }
        for (unsigned c = codes.front(); c <= codes.back(); ++c)
            widths += std::to_string(used[c] ? width64[c] : 0) + " ";
        widths.pop_back();
        pdf.Add("<< /Type /Font /Subtype /Type3 /FontBBox [" + Real(box[0]) + " " + Real(box[1]) +
                " " + Real(box[2]) + " " + Real(box[3]) +
                "] /FontMatrix [0.015625 0 0 0.015625 0 0] /CharProcs << " + procedures +
                ">> /Encoding << /Type /Encoding /Differences [" + differences +
                "] >> /FirstChar " + std::to_string(codes.front()) + " /LastChar " +
                std::to_string(codes.back()) + " /Widths [" + widths + "] /ToUnicode " +
                Ref(self + 1 + codes.size()) + " /Resources << >> >>");
        for (const unsigned c : codes) pdf.Add(Stream(procedure[c]));
        pdf.Add(Stream(ToUnicodeCMap(codes)));
    }
};

TPdfSurface::TPdfSurface(int dpiX, int dpiY, int screenDpi)
    : TSurfaceState(dpiX, dpiY, screenDpi, screenDpi) {}

TPdfSurface::~TPdfSurface() = default;

void TPdfSurface::MappingChanged() {
    scale_ = Scale();
    const bool whole = scale_.x == scale_.y && scale_.x >= 1 && scale_.x <= 65535 &&
                       scale_.x == std::floor(scale_.x);
    wholeScale_ = whole ? static_cast<int>(scale_.x) : 0;
}

void TPdfSurface::SetFill(TColor color) {
    if (fill_ == color) return;
    content_ += ColorOperator(color);
    fill_ = color;
}

void TPdfSurface::FillDevice(long long x0, long long y0, long long x1, long long y1, TColor color) {
    if (x0 > x1) std::swap(x0, x1);
    if (y0 > y1) std::swap(y0, y1);
    if (x0 == x1 || y0 == y1) return;
    SetFill(color);
    content_ += std::to_string(x0) + " " + std::to_string(y0) + " " + std::to_string(x1 - x0) +
                " " + std::to_string(y1 - y0) + " re f\n";
}

void TPdfSurface::FillRect(int left, int top, int right, int bottom) {
    if (brushStyle_ == TBrushStyle::Clear) return;
    if (wholeScale_ > 0) // the usual case: the same whole number across and down
        FillDevice(Magnified(left, wholeScale_), Magnified(top, wholeScale_),
                   Magnified(right, wholeScale_), Magnified(bottom, wholeScale_), brushColor_);
    else
        FillDevice(RoundToPixel(left * scale_.x), RoundToPixel(top * scale_.y),
                   RoundToPixel(right * scale_.x), RoundToPixel(bottom * scale_.y), brushColor_);
}

int TPdfSurface::TextHeight(std::string_view) {
    return MatchFont(fontFace_, fontHeight_).cellHeight;
}

TPdfSurface::TFont& TPdfSurface::FontFor(const TFontLocation& location, int pixelSize) {
    for (const auto& font : fonts_)
        if (font->location == location && font->pixelSize == pixelSize) return *font;
    fonts_.push_back(
        std::make_unique<TFont>(location, pixelSize, "F" + std::to_string(fonts_.size() + 1)));
    return *fonts_.back();
}

void TPdfSurface::TextOut(int x, int y, std::string_view text, const TFontSpec& spec) {
    const TScale& s = scale_;
    // A whole, equal magnification goes into the font; any other mapping only moves the
    // reference point.
    const int magnification = wholeScale_ > 1 ? wholeScale_ : 1;
    TGlyphFont& metrics = GlyphFontFor(spec.face, spec.height, magnification);
    const TMatchedFont& matched = MatchFont(spec.face, spec.height);
    const long long size = 1LL * matched.pixelSize * magnification;
    const long long ox = RoundToPixel(x * s.x), oy = RoundToPixel(y * s.y);
    const TTurn turn{QuarterTurns(spec.escapement)};

    double width = 0;
    for (const char c : text) width += metrics.Advance(static_cast<unsigned char>(c));
    const double cell = metrics.Ascent() + metrics.Descent();
    const auto [left, top] = TextBoxAt(width, metrics.Ascent(), cell);

    if (bkMode_ == TBkMode::Opaque) {
        const double u0 = static_cast<double>(RoundToPixel(left)),
                     u1 = static_cast<double>(RoundToPixel(left + width));
        const double v0 = static_cast<double>(RoundToPixel(top)),
                     v1 = static_cast<double>(RoundToPixel(top + cell));
        if (u0 < u1 && v0 < v1) {
            double ax, ay, bx, by;
            turn.Apply(u0, v0, ax, ay);
            turn.Apply(u1, v1, bx, by);
            FillDevice(ox + std::llround(ax), oy + std::llround(ay), ox + std::llround(bx),
                       oy + std::llround(by), bkColor_);
        }
    }
    if (text.empty()) return;

    TFont& font = FontFor(matched.location, static_cast<int>(std::clamp(size, 1LL, 1LL * INT_MAX)));
    std::string codes;
    for (const char c : text) {
        const auto code = static_cast<unsigned char>(c);
        font.Use(code, metrics.Advance(code));
        codes += Hex2(code);
    }
    // The pen starts on the base line at the left of the box; text space runs along the
    // base line with y up across it, turned as the box is.
    const double baseline = static_cast<double>(RoundToPixel(top + metrics.Ascent()));
    double ex, ey, ax, ay, cx, cy;
    turn.Apply(left, baseline, ex, ey);
    turn.Apply(1, 0, ax, ay);
    turn.Apply(0, -1, cx, cy);
    SetFill(kBlack);
    content_ += "BT /" + font.name + " 1 Tf " + Real(ax) + " " + Real(ay) + " " + Real(cx) + " " +
                Real(cy) + " " + Real(static_cast<double>(ox) + ex) + " " +
                Real(static_cast<double>(oy) + ey) + " Tm <" + codes + "> Tj ET\n";
}

std::vector<std::uint8_t> TPdfSurface::Document(int width, int height, int scale,
                                                std::optional<long long> creationTime) const {
    const long long pixelsX = 1LL * width * scale, pixelsY = 1LL * height * scale;
    // A surface without a resolution has the screen's.
    const int dpiX = dpiX_ > 0 ? dpiX_ : screenDpiX_, dpiY = dpiY_ > 0 ? dpiY_ : screenDpiY_;
    const std::string pointsX = PageLength(pixelsX, dpiX), pointsY = PageLength(pixelsY, dpiY);

    // Objects 1 to 5: catalogue, page tree, page, content, information; then the fonts,
    // each a font, its glyphs and its Unicode map.
    std::string fontResources;
    std::size_t next = 6;
    for (const auto& font : fonts_) {
        fontResources += "/" + font->name + " " + Ref(next) + " ";
        next += font->ObjectCount();
    }

    TPdfObjects pdf;
    pdf.Add("<< /Type /Catalog /Pages 2 0 R >>");
    pdf.Add("<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    pdf.Add("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + pointsX + " " + pointsY +
            "] /Resources << " +
            (fontResources.empty() ? "" : "/Font << " + fontResources + ">> ") +
            ">> /Contents 4 0 R >>");
    // Device pixels, y down, from the top-left corner of the page.
    const std::string content = Real(72.0 / dpiX, 10) + " 0 0 " + Real(-72.0 / dpiY, 10) + " 0 " +
                                pointsY + " cm\n1 g\n0 0 " + std::to_string(pixelsX) + " " +
                                std::to_string(pixelsY) + " re f\n" + content_;
    pdf.Add(Stream(content));
    pdf.Add("<< /Creator (Varimark)" + CreationDateEntry(creationTime) + " >>");
    for (const auto& font : fonts_) font->AddObjects(pdf);
    return pdf.Finish();
}

std::vector<std::uint8_t>
BarcodePdfBytes(const std::function<TDrawnSize(TSurface&, int, int)>& draw, int margin, int factor,
                int dpi, std::optional<long long> creationTime) {
    // Recorded once at dpi, then drawn magnified exactly as the raster pictures are.
    const TRecordedDrawing drawing = RecordBarcode(draw, margin, dpi);
    const TDrawnSize size = drawing.Size();
    MagnifiedSize(size, margin, factor); // refuses the factor or a picture too large
    TPdfSurface surface(dpi, dpi);
    surface.SetMapMode(MM_ANISOTROPIC);
    surface.SetWindowExt(1, 1);
    surface.SetViewportExt(factor, factor);
    drawing.Replay(surface);
    return surface.Document(size.width + 2 * margin, size.height + 2 * margin, factor,
                            creationTime);
}

} // namespace varimark
