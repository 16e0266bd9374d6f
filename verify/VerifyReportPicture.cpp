// The grading drawn for people, as a verifier's screen shows it: the picture graded with
// the scan lines on it, and below it the scan reflectance profile of the lowest scan with
// what its grades were measured from. The drawing is laid out once as a list of shapes and
// then written either as SVG (text as text, the picture as an embedded PNG) or in pixels
// (rectangles and text through the raster surface, lines anti-aliased here) as PNG.
//
// Layout (pixels; the picture scaled to fit 1000 x 700, the drawing as wide as the picture
// and 72 more, at least 808):
//   the title line at the top: the symbol grade and the data;
//   the picture at (36, 56), 20 pixels clear around it for the scans' numbers (odd scans
//   numbered at their start, even ones at their end);
//   the profile's title and two label lines (ECmin, defect) above the plot;
//   the plot 300 pixels high (3 per percent), from x = 72 to the width less 136, with the
//   reflectance axis left of it and the Rmax, Rmin and threshold labels right of it, the
//   position axis and its caption below it.
#include "engine/Formatted.h"
#include "engine/Surface.h"
#include "engine/Units.h"
#include "engine/Windows1252.h"
#include "export/Bitmap.h"
#include "export/FileWriter.h"
#include "export/PngWriter.h"
#include "render/PictureSave.h"
#include "render/RasterSurface.h"
#include "varimark/verify.h"
#include "verify/PictureReader.h"
#include "verify/ProfileGrading.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace varimark {

namespace {

constexpr int kMargin = 16;      // around everything
constexpr int kPad = 20;         // around the picture: room for the scans' numbers
constexpr int kLine = 20;        // from one text line to the next
constexpr int kAxisWidth = 56;   // left of the plot: the percent labels
constexpr int kLabelWidth = 120; // right of the plot: Rmax, Rmin and threshold
constexpr int kPlotHeight = 300; // 0..100 %
constexpr int kMinPlotWidth = 600;
constexpr double kFitWidth = 1000, kFitHeight = 700;
constexpr int kTitleFont = 16, kLabelFont = 13, kNumberFont = 12; // cell heights

constexpr TColor kPassing{0, 160, 0}, kFailing{220, 0, 0};
constexpr TColor kProfileColor{0, 0, 0}, kReflectanceColor{0, 90, 200};
constexpr TColor kThresholdColor{230, 120, 0}, kEdgeContrastColor{200, 0, 200};
constexpr TColor kDefectColor{110, 0, 200}, kGridColor{225, 225, 225}, kAxisColor{90, 90, 90};

// --- The drawing

struct TPoint {
    double x = 0, y = 0;
};

enum class TAnchor { Start, Middle, End };

struct TText {
    double x, y; // the base line's start, middle or end
    std::string text;
    int height;
    TAnchor anchor = TAnchor::Start;
};

struct TStroke {
    std::vector<TPoint> points;
    TColor color;
    double width;
    std::string id; // for the SVG: "scan4", "rmax", ...
};

struct TRect {
    int x0, y0, x1, y1;
    TColor color;
};

struct TDrawing {
    int width = 0, height = 0;
    TGreyPicture picture; // scaled
    int pictureLeft = 0, pictureTop = 0;
    std::vector<TRect> rects; // under the strokes
    std::vector<TStroke> strokes;
    std::vector<TText> texts; // over everything
};

// The picture scaled to fit kFitWidth x kFitHeight: a larger one by the mean of the
// pixels each new one covers, a small one (less than half that) enlarged by a whole
// factor up to 8, pixel by pixel.
TGreyPicture Fitted(const TGreyPicture& in) {
    double s = std::min(kFitWidth / in.width, kFitHeight / in.height);
    s = s >= 2 ? std::floor(std::min(s, 8.0)) : std::min(s, 1.0);
    TGreyPicture out;
    out.width = std::max(1, static_cast<int>(std::lround(in.width * s)));
    out.height = std::max(1, static_cast<int>(std::lround(in.height * s)));
    const auto size = static_cast<std::size_t>(out.width) * out.height;
    if (s >= 1) {
        out.level.resize(size);
        for (int y = 0; y < out.height; ++y)
            for (int x = 0; x < out.width; ++x)
                out.level[static_cast<std::size_t>(y) * out.width + x] =
                    in.level[static_cast<std::size_t>(y * in.height / out.height) * in.width +
                             x * in.width / out.width];
        return out;
    }
    std::vector<std::uint32_t> sum(size), count(size);
    for (int y = 0; y < in.height; ++y) {
        const std::size_t row =
            static_cast<std::size_t>(static_cast<long long>(y) * out.height / in.height) *
            out.width;
        for (int x = 0; x < in.width; ++x) {
            const std::size_t i = row + static_cast<std::size_t>(1LL * x * out.width / in.width);
            sum[i] += in.level[static_cast<std::size_t>(y) * in.width + x];
            ++count[i];
        }
    }
    out.level.resize(size);
    for (std::size_t i = 0; i < size; ++i)
        out.level[i] =
            static_cast<std::uint8_t>(count[i] ? (sum[i] + count[i] / 2) / count[i] : 255);
    return out;
}

// A text cut to at most length characters (bytes of UTF-8 kept whole), "..." marking a cut.
std::string Shortened(const std::string& text, std::size_t length) {
    if (text.size() <= length) return text;
    std::size_t end = length;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end) + "...";
}

double Clamped(double v, double low, double high) {
    return std::isfinite(v) ? std::clamp(v, low, high) : low;
}

// The samples a profile graded: measuredFirst..measuredLast, or every sample when the
// report says none.
struct TMeasured {
    std::size_t first = 0, last = 0, count = 0;
};

TMeasured Measured(const ProfileReport& p) {
    TMeasured m;
    m.count = p.reflectance.empty() ? static_cast<std::size_t>(std::max(p.line.count, 0))
                                    : p.reflectance.size();
    if (m.count == 0) return m;
    m.first = std::min(p.measuredFirst, m.count - 1);
    m.last = p.measuredLast > m.first ? std::min(p.measuredLast, m.count - 1) : m.count - 1;
    return m;
}

std::size_t LowestProfile(const std::vector<ProfileReport>& profiles) {
    std::size_t lowest = 0;
    for (std::size_t i = 1; i < profiles.size(); ++i)
        if (profiles[i].grade < profiles[lowest].grade) lowest = i;
    return lowest;
}

// 1, 2 or 5 times a power of ten, at least raw.
double NiceStep(double raw) {
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double m : {1.0, 2.0, 5.0})
        if (raw <= m * power) return m * power;
    return 10 * power;
}

class TLayout {
public:
    TLayout(const TGreyPicture& picture, const VerifyReport& report) : r_(report) {
        d_.picture = Fitted(picture);
        sx_ = static_cast<double>(d_.picture.width) / picture.width;
        sy_ = static_cast<double>(d_.picture.height) / picture.height;
        d_.width = std::max(2 * (kMargin + kPad) + d_.picture.width,
                            2 * kMargin + kAxisWidth + kMinPlotWidth + kLabelWidth);
        d_.pictureLeft = kMargin + kPad;
        d_.pictureTop = kMargin + kLine + kPad;
        const int pictureBottom = d_.pictureTop + d_.picture.height + kPad;
        d_.height = pictureBottom + kMargin;
        Title();
        if (r_.profiles.empty()) return;
        Scans();
        plotLeft_ = kMargin + kAxisWidth;
        plotRight_ = d_.width - kMargin - kLabelWidth;
        plotTop_ = pictureBottom + 3 * kLine;
        d_.height = plotTop_ + kPlotHeight + 2 * kLine + kMargin;
        Profile(LowestProfile(r_.profiles));
    }

    TDrawing Take() && { return std::move(d_); }

private:
    void Text(double x, double y, std::string text, int height, TAnchor anchor = TAnchor::Start) {
        d_.texts.push_back({x, y, std::move(text), height, anchor});
    }
    void Stroke(std::vector<TPoint> points, TColor color, double width, std::string id = {}) {
        d_.strokes.push_back({std::move(points), color, width, std::move(id)});
    }

    void Title() {
        std::string title = "Symbol grade " + r_.gradeText + " (" + r_.letter + ") " +
                            (r_.passed ? "passed" : "FAILED");
        if (!r_.found) {
            // "no barcode found: the picture is one shade" as a title.
            title = r_.failure;
            if (!title.empty() && title[0] >= 'a' && title[0] <= 'z') title[0] -= 'a' - 'A';
        } else if (r_.decoded) {
            title += "   " + std::string(TypeName(r_.type)) +
                     (r_.identifier.empty() ? "" : " " + r_.identifier) + " " +
                     Shortened(VisibleData(r_.data), 60);
        } else {
            title += "   not decoded: " + r_.failure;
        }
        if (r_.relative) title += "   (relative to X: no resolution)";
        Text(kMargin, kMargin + kLine - 5, Shortened(title, 130), kTitleFont);
    }

    // A point of the graded picture (pixel centres at whole numbers) on the drawing.
    TPoint OnPicture(double x, double y) const {
        return {Clamped(d_.pictureLeft + (x + 0.5) * sx_, -1e6, 1e6),
                Clamped(d_.pictureTop + (y + 0.5) * sy_, -1e6, 1e6)};
    }

    // Each scan over the samples it graded, numbered; green when it grades C or better.
    void Scans() {
        const std::size_t shown = std::min<std::size_t>(r_.profiles.size(), 50);
        for (std::size_t i = 0; i < shown; ++i) {
            const ProfileReport& p = r_.profiles[i];
            const TMeasured m = Measured(p);
            const ScanLine& l = p.line;
            if (m.count == 0 || !std::isfinite(l.x + l.y + l.dx + l.dy)) continue;
            const auto at = [&](std::size_t j) {
                return OnPicture(l.x + static_cast<double>(j) * l.dx,
                                 l.y + static_cast<double>(j) * l.dy);
            };
            const TPoint a = at(m.first), b = at(m.last);
            Stroke({a, b}, p.grade >= 2 ? kPassing : kFailing, 2, "scan" + std::to_string(i + 1));
            // The number 12 pixels before the start (odd scans) or past the end (even).
            const double length = std::hypot(b.x - a.x, b.y - a.y);
            const double ux = length > 0 ? (b.x - a.x) / length : 1;
            const double uy = length > 0 ? (b.y - a.y) / length : 0;
            const bool odd = i % 2 == 0;
            const TPoint end = odd ? a : b;
            const double sign = odd ? -12 : 12;
            Text(Clamped(end.x + sign * ux, 8, d_.width - 8),
                 Clamped(end.y + sign * uy + 4, 12, 1e6), std::to_string(i + 1), kNumberFont,
                 TAnchor::Middle);
        }
    }

    // Whole percents on pixel centres, so that level lines lie on one row of pixels.
    double Y(double reflectance) const {
        return plotTop_ + 0.5 + (100 - Clamped(reflectance, 0, 100)) * kPlotHeight / 100;
    }
    double X(double sample) const {
        return plotLeft_ +
               (Clamped(sample, from_, to_) - from_) * (plotRight_ - plotLeft_) / (to_ - from_);
    }

    void Profile(std::size_t index) {
        const ProfileReport& p = r_.profiles[index];
        const TMeasured m = Measured(p);
        // Some context either side: a twentieth of the samples graded.
        const double context = std::ceil(static_cast<double>(m.last - m.first) / 20);
        from_ = std::max(0.0, static_cast<double>(m.first) - context);
        to_ = std::min(static_cast<double>(m.count > 0 ? m.count - 1 : 0),
                       static_cast<double>(m.last) + context);
        if (to_ <= from_) to_ = from_ + 1;

        std::string title = "Scan " + std::to_string(index + 1) + " of " +
                            std::to_string(r_.profiles.size()) + ", the lowest: grade " +
                            GradeLetter(p.grade);
        if (!p.failure.empty()) title += ": " + p.failure;
        Text(kMargin, plotTop_ - 2 * kLine - 6, Shortened(title, 130), kTitleFont);
        Axes(p);
        ProfileStroke(p);

        // Rmax, Rmin and the global threshold across the plot, labelled right of it, the
        // labels kept apart when the values lie close.
        struct TLevel {
            const char* name;
            double value;
            TColor color;
            const char* id;
        };
        std::array<TLevel, 3> levels = {{{"Rmax", p.rmax, kReflectanceColor, "rmax"},
                                         {"GT", p.threshold, kThresholdColor, "threshold"},
                                         {"Rmin", p.rmin, kReflectanceColor, "rmin"}}};
        std::sort(levels.begin(), levels.end(),
                  [&](const TLevel& a, const TLevel& b) { return Y(a.value) < Y(b.value); });
        double labelY = -1e9;
        for (const TLevel& level : levels) {
            const double y = Y(level.value);
            Stroke({{1.0 * plotLeft_, y}, {1.0 * plotRight_, y}}, level.color, 1.5, level.id);
            labelY = std::max(y + 5, labelY + 14);
            Text(plotRight_ + 6, labelY,
                 std::string(level.name) + " " + Formatted("%.1f %%", level.value), kLabelFont);
        }

        // ECmin's place and the worst defect: a line across the plot, labelled above it.
        const auto mark = [&](double at, TColor color, const char* id, std::string label,
                              int line) {
            if (!std::isfinite(at) || at < 0 || at < from_ || at > to_) return;
            const double x = X(at);
            Stroke({{x, static_cast<double>(plotTop_)},
                    {x, static_cast<double>(plotTop_ + kPlotHeight)}},
                   color, 1.5, id);
            Text(Clamped(x, plotLeft_ + 60, plotRight_ - 60), plotTop_ - (1 - line) * kLine - 6,
                 std::move(label), kLabelFont, TAnchor::Middle);
        };
        mark(p.minEdgeContrastAt, kEdgeContrastColor, "ecmin",
             "ECmin " + Formatted("%.1f %%", p.minEdgeContrast), 0);
        mark(p.defectAt, kDefectColor, "defect", "Defects " + Formatted("%.2f", p.defects), 1);
    }

    // The frame, the percent grid and its labels, a tick at each edge, and the position
    // along the scan in millimetres (a stated resolution), modules (X measured) or pixels.
    void Axes(const ProfileReport& p) {
        const int bottom = plotTop_ + kPlotHeight;
        for (int percent = 0; percent <= 100; percent += 20) {
            const int y = static_cast<int>(std::floor(Y(percent)));
            d_.rects.push_back({plotLeft_, y, plotRight_, y + 1, kGridColor});
            Text(plotLeft_ - 6, y + 5, std::to_string(percent) + " %", kLabelFont, TAnchor::End);
        }
        d_.rects.push_back({plotLeft_ - 1, plotTop_, plotLeft_, bottom + 1, kAxisColor});
        d_.rects.push_back({plotLeft_ - 1, bottom, plotRight_, bottom + 1, kAxisColor});
        for (const double edge : p.edges)
            if (std::isfinite(edge) && edge >= from_ && edge <= to_) {
                const int x = static_cast<int>(std::floor(X(edge)));
                d_.rects.push_back({x, bottom - 8, x + 1, bottom, kAxisColor});
            }

        double pitch = std::hypot(p.line.dx, p.line.dy); // pixels from sample to sample
        if (!std::isfinite(pitch) || pitch <= 0) pitch = 1;
        double perSample = pitch;
        std::string unit = "pixels along the scan";
        if (!r_.relative && r_.dpi > 0) {
            perSample = pitch * kMillimetresPerInch / r_.dpi;
            unit = "millimetres along the scan";
        } else if (r_.xPixels > 0) {
            perSample = pitch / r_.xPixels;
            unit = "modules along the scan (X = " + Formatted("%.2f", r_.xPixels) + " pixels)";
        }
        const double span = (to_ - from_) * perSample;
        const double step = NiceStep(span / 8);
        for (int k = 0; k * step <= span * (1 + 1e-9) && k <= 20; ++k) {
            const int x = static_cast<int>(std::floor(X(from_ + k * step / perSample)));
            d_.rects.push_back({x, bottom, x + 1, bottom + 5, kAxisColor});
            Text(x, bottom + kLine - 2, Formatted("%g", k * step), kLabelFont, TAnchor::Middle);
        }
        Text((plotLeft_ + plotRight_) / 2.0, bottom + 2 * kLine - 2, unit, kLabelFont,
             TAnchor::Middle);
    }

    // The reflectance over the samples shown; where many samples fall on one column of
    // the plot, their lowest and highest.
    void ProfileStroke(const ProfileReport& p) {
        if (p.reflectance.size() < 2) return;
        const auto first = static_cast<std::size_t>(from_);
        const auto last = std::min(static_cast<std::size_t>(to_), p.reflectance.size() - 1);
        const int columns = plotRight_ - plotLeft_;
        std::vector<TPoint> points;
        if (last - first <= static_cast<std::size_t>(2 * columns)) {
            for (std::size_t j = first; j <= last; ++j)
                points.push_back({X(static_cast<double>(j)), Y(p.reflectance[j])});
        } else {
            std::size_t j = first;
            for (int c = 0; c < columns; ++c) {
                const auto end =
                    first + static_cast<std::size_t>(static_cast<double>(last - first + 1) *
                                                     (c + 1) / columns);
                double low = 100, high = 0;
                for (; j < end; ++j) {
                    low = std::min(low, Clamped(p.reflectance[j], 0, 100));
                    high = std::max(high, Clamped(p.reflectance[j], 0, 100));
                }
                points.push_back({plotLeft_ + c + 0.5, Y(high)});
                points.push_back({plotLeft_ + c + 0.5, Y(low)});
            }
        }
        Stroke(std::move(points), kProfileColor, 1.5, "profile");
    }

    const VerifyReport& r_;
    TDrawing d_;
    double sx_ = 1, sy_ = 1;
    int plotLeft_ = 0, plotRight_ = 0, plotTop_ = 0;
    double from_ = 0, to_ = 1; // the samples the plot shows
};

// --- SVG

std::string Number(double v) {
    std::string s = Formatted("%.2f", v);
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
    return s == "-0" ? "0" : s;
}

std::string Hex(TColor c) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", c.r, c.g, c.b);
    return text;
}

// Text for XML: valid UTF-8 (what Windows-1252 cannot show as '?', as the PNG shows it),
// the markup characters escaped.
std::string XmlText(const std::string& utf8) {
    std::string out;
    for (const char c : Windows1252ToUtf8(Utf8ToWindows1252(utf8))) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string Base64(std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t v = static_cast<std::uint32_t>(bytes[i]) << 16;
        if (n > 1) v |= static_cast<std::uint32_t>(bytes[i + 1]) << 8;
        if (n > 2) v |= bytes[i + 2];
        for (std::size_t k = 0; k < 4; ++k) out += k <= n ? kDigits[(v >> (18 - 6 * k)) & 63] : '=';
    }
    return out;
}

std::vector<std::uint8_t> GreyPng(const TGreyPicture& picture) {
    TBitmap bitmap(picture.width, picture.height, pf8bit);
    std::vector<TRGBQuad> palette(256);
    for (int i = 0; i < 256; ++i) {
        const auto v = static_cast<std::uint8_t>(i);
        palette[static_cast<std::size_t>(i)] = {v, v, v, 0};
    }
    bitmap.SetPalette(std::move(palette));
    for (int y = 0; y < picture.height; ++y)
        std::copy_n(picture.level.begin() + static_cast<std::ptrdiff_t>(y) * picture.width,
                    picture.width, bitmap.ScanLine(y));
    return PngFileBytes(bitmap);
}

std::string Svg(const TDrawing& d) {
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" +
                      std::to_string(d.width) + "\" height=\"" + std::to_string(d.height) +
                      "\" viewBox=\"0 0 " + std::to_string(d.width) + " " +
                      std::to_string(d.height) + "\" xml:space=\"preserve\">\n";
    out += "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
    out += "<image x=\"" + std::to_string(d.pictureLeft) + "\" y=\"" +
           std::to_string(d.pictureTop) + "\" width=\"" + std::to_string(d.picture.width) +
           "\" height=\"" + std::to_string(d.picture.height) +
           "\" style=\"image-rendering:pixelated\" href=\"data:image/png;base64," +
           Base64(GreyPng(d.picture)) + "\"/>\n";
    for (const TRect& r : d.rects)
        out += "<rect x=\"" + std::to_string(r.x0) + "\" y=\"" + std::to_string(r.y0) +
               "\" width=\"" + std::to_string(r.x1 - r.x0) + "\" height=\"" +
               std::to_string(r.y1 - r.y0) + "\" fill=\"" + Hex(r.color) + "\"/>\n";
    for (const TStroke& s : d.strokes) {
        const std::string id = s.id.empty() ? "" : "id=\"" + s.id + "\" ";
        const std::string paint = "stroke=\"" + Hex(s.color) + "\" stroke-width=\"" +
                                  Number(s.width) + "\" fill=\"none\"/>\n";
        if (s.points.size() == 2) {
            out += "<line " + id + "x1=\"" + Number(s.points[0].x) + "\" y1=\"" +
                   Number(s.points[0].y) + "\" x2=\"" + Number(s.points[1].x) + "\" y2=\"" +
                   Number(s.points[1].y) + "\" " + paint;
            continue;
        }
        out += "<polyline " + id + "points=\"";
        for (const TPoint& p : s.points) out += Number(p.x) + "," + Number(p.y) + " ";
        out.back() = '"';
        out += " stroke-linejoin=\"round\" " + paint;
    }
    static constexpr const char* kAnchors[] = {"start", "middle", "end"};
    for (const TText& t : d.texts)
        out += "<text x=\"" + Number(t.x) + "\" y=\"" + Number(t.y) +
               "\" font-family=\"sans-serif\" font-size=\"" + Number(t.height * 0.86) +
               "\" text-anchor=\"" + kAnchors[static_cast<int>(t.anchor)] + "\">" +
               XmlText(t.text) + "</text>\n";
    return out + "</svg>\n";
}

// --- PNG

// Covers the pixels within width / 2 of the segment a-b with color, the pixels its edge
// crosses in part (anti-aliased by the distance of each pixel's centre).
void DrawSegment(TPixelRows& rows, TPoint a, TPoint b, double width, TColor color) {
    const double reach = width / 2 + 0.5;
    const int x0 = std::max(0, static_cast<int>(std::floor(std::min(a.x, b.x) - reach)));
    const int x1 =
        std::min(rows.width - 1, static_cast<int>(std::ceil(std::max(a.x, b.x) + reach)));
    const int y0 = std::max(0, static_cast<int>(std::floor(std::min(a.y, b.y) - reach)));
    const int y1 =
        std::min(rows.height - 1, static_cast<int>(std::ceil(std::max(a.y, b.y) + reach)));
    const double dx = b.x - a.x, dy = b.y - a.y, length2 = dx * dx + dy * dy;
    const std::uint8_t bgr[3] = {color.b, color.g, color.r};
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            const double px = x + 0.5 - a.x, py = y + 0.5 - a.y;
            const double t = length2 > 0 ? std::clamp((px * dx + py * dy) / length2, 0.0, 1.0) : 0;
            const double coverage = std::min(1.0, reach - std::hypot(px - t * dx, py - t * dy));
            if (coverage <= 0) continue;
            std::uint8_t* p = rows.Row(y) + 3 * x;
            for (int i = 0; i < 3; ++i)
                p[i] = static_cast<std::uint8_t>(std::lround(p[i] + (bgr[i] - p[i]) * coverage));
        }
}

std::vector<std::uint8_t> Png(const TDrawing& d) {
    TBitmap bitmap(d.width, d.height, pf24bit);
    TPixelRows rows{bitmap.ScanLine(0), -static_cast<std::ptrdiff_t>(bitmap.RowStride()), d.width,
                    d.height, 3};
    for (int y = 0; y < d.picture.height; ++y)
        for (int x = 0; x < d.picture.width; ++x) {
            const std::uint8_t v =
                d.picture.level[static_cast<std::size_t>(y) * d.picture.width + x];
            std::uint8_t* p = rows.Row(d.pictureTop + y) + 3 * (d.pictureLeft + x);
            p[0] = p[1] = p[2] = v;
        }
    {
        TRasterSurface surface(rows, kScreenDpi, kScreenDpi);
        for (const TRect& r : d.rects) {
            surface.SetBrushColor(r.color);
            surface.FillRect(r.x0, r.y0, r.x1, r.y1);
        }
    } // the fills are in the pixels once the surface is gone
    for (const TStroke& s : d.strokes)
        for (std::size_t i = 1; i < s.points.size(); ++i)
            DrawSegment(rows, s.points[i - 1], s.points[i], s.width, s.color);
    {
        TRasterSurface surface(rows, kScreenDpi, kScreenDpi);
        static constexpr unsigned kAligns[] = {TA_LEFT, TA_CENTER, TA_RIGHT};
        for (const TText& t : d.texts) {
            surface.SetTextAlign(TA_BASELINE | kAligns[static_cast<int>(t.anchor)]);
            surface.TextOut(static_cast<int>(std::lround(t.x)), static_cast<int>(std::lround(t.y)),
                            Utf8ToWindows1252(t.text), TFontSpec{"Default", t.height, 0});
        }
    }
    return PngFileBytes(bitmap);
}

std::vector<std::uint8_t> Drawn(const TGreyPicture& picture, const VerifyReport& report,
                                Format format) {
    const TDrawing drawing = TLayout(picture, report).Take();
    if (format == Format::Png) return Png(drawing);
    const std::string svg = Svg(drawing);
    return {svg.begin(), svg.end()};
}

} // namespace

std::string VisibleData(std::string_view data) {
    static constexpr const char* kNames[32] = {
        "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  "HT",  "LF",
        "VT",  "FF",  "CR",  "SO",  "SI",  "DLE", "DC1", "DC2", "DC3", "DC4", "NAK",
        "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};
    std::string out;
    for (const char c : data) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 32 || b == 127)
            out += std::string("<") + (b == 127 ? "DEL" : kNames[b]) + ">";
        else
            out += c;
    }
    return out;
}

std::vector<std::uint8_t> VerifyReportPicture(const std::uint8_t* picture, std::size_t size,
                                              const VerifyReport& report, Format format) {
    if (format != Format::Svg && format != Format::Png)
        throw Error("a verify report picture is SVG or PNG");
    return Drawn(ReadGreyPicture({picture, size}), report, format);
}

void SaveVerifyReportPicture(const std::string& picturePath, const VerifyReport& report,
                             const std::string& fileName) {
    const std::string extension = LowerExtension(fileName);
    if (extension != ".svg" && extension != ".png")
        throw Error("the verify report " + fileName + " must end in .svg or .png" +
                    (extension.empty() ? "" : ", not " + extension));
    const Format format = extension == ".svg" ? Format::Svg : Format::Png;
    WriteFileReplacing(fileName, Drawn(ReadGreyPictureFile(picturePath), report, format));
}

} // namespace varimark
