#include "render/SvgSurface.h"

#include "engine/Windows1252.h"
#include "render/FontCache.h"
#include "render/GlyphMasks.h"

#include <algorithm>
#include <cstdio>

namespace varimark {

namespace {

std::string Hex(TColor c) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "#%02x%02x%02x", c.r, c.g, c.b);
    return buf;
}

std::string Number(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", v);
    std::string s = buf; // drop trailing zeros: 12.500 -> 12.5, 3.000 -> 3
    s.erase(s.find_last_not_of('0') + 1);
    if (s.back() == '.') s.pop_back();
    return s == "-0" ? "0" : s;
}

// XML text of an 8-bit (Windows-1252) string.
std::string XmlText(std::string_view text) {
    std::string out;
    for (char c : Windows1252ToUtf8(text)) {
        switch (c) {
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '&': out += "&amp;"; break;
        case '"': out += "&quot;"; break;
        default:
            // Control characters are not allowed in XML 1.0.
            if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r')
                out += "&#xFFFD;";
            else
                out += c;
        }
    }
    return out;
}

} // namespace

TSvgSurface::TSvgSurface(int dpiX, int dpiY, int screenDpi)
    : TSurfaceState(dpiX, dpiY, screenDpi, screenDpi) {}

void TSvgSurface::FillRect(int left, int top, int right, int bottom) {
    if (brushStyle_ == TBrushStyle::Clear) return;
    const int x0 = std::min(left, right), x1 = std::max(left, right);
    const int y0 = std::min(top, bottom), y1 = std::max(top, bottom);
    if (x0 == x1 || y0 == y1) return;
    body_ += "<rect x=\"" + std::to_string(x0) + "\" y=\"" + std::to_string(y0) + "\" width=\"" +
             std::to_string(x1 - x0) + "\" height=\"" + std::to_string(y1 - y0) + "\" fill=\"" +
             Hex(brushColor_) + "\"/>\n";
}

int TSvgSurface::TextHeight(std::string_view) {
    return varimark::MatchFont(fontFace_, fontHeight_).cellHeight;
}

void TSvgSurface::TextOut(int x, int y, std::string_view text, const TFontSpec& spec) {
    const varimark::TMatchedFont& match = varimark::MatchFont(spec.face, spec.height);
    TGlyphFont& metrics = GlyphFontFor(spec.face, spec.height, 1);
    // The base line relative to the reference point.
    double baseline = metrics.Ascent();
    if ((textAlign_ & TA_BASELINE) == TA_BASELINE)
        baseline = 0;
    else if (textAlign_ & TA_BOTTOM)
        baseline = -metrics.Descent();
    const bool centre = (textAlign_ & TA_CENTER) == TA_CENTER;
    const bool right = !centre && (textAlign_ & TA_RIGHT);
    std::string element = "<g";
    if (spec.escapement % 3600 != 0)
        element += " transform=\"rotate(" + Number(-spec.escapement / 10.0) + " " +
                   std::to_string(x) + " " + std::to_string(y) + ")\"";
    element += ">";
    if (bkMode_ == TBkMode::Opaque) {
        double width = 0;
        for (const char c : text) width += metrics.Advance(static_cast<unsigned char>(c));
        const double left = x - (centre ? width / 2 : right ? width : 0);
        const double top = y + baseline - metrics.Ascent();
        element += "<rect x=\"" + Number(left) + "\" y=\"" + Number(top) + "\" width=\"" +
                   Number(width) + "\" height=\"" + Number(metrics.Ascent() + metrics.Descent()) +
                   "\" fill=\"" + Hex(bkColor_) + "\"/>";
    }
    element += "<text x=\"" + std::to_string(x) + "\" y=\"" + Number(y + baseline) +
               "\" font-family=\"" + XmlText(std::string(spec.face)) + "\" font-size=\"" +
               std::to_string(match.pixelSize) + "\" text-anchor=\"" +
               (centre  ? "middle"
                : right ? "end"
                        : "start") +
               "\" xml:space=\"preserve\">";
    body_ += element + XmlText(text) + "</text></g>\n";
}

std::string TSvgSurface::Document(int width, int height, int scale) const {
    const std::string w = std::to_string(width), h = std::to_string(height);
    std::string doc = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" +
                      std::to_string(static_cast<long long>(width) * scale) + "\" height=\"" +
                      std::to_string(static_cast<long long>(height) * scale) + "\" viewBox=\"0 0 " +
                      w + " " + h + "\" shape-rendering=\"crispEdges\">\n";
    doc += "<rect x=\"0\" y=\"0\" width=\"" + w + "\" height=\"" + h + "\" fill=\"#ffffff\"/>\n";
    doc += body_;
    doc += "</svg>\n";
    return doc;
}

} // namespace varimark
