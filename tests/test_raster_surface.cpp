// The picture surface: fills exactly as the Qt surface makes them, text where Qt puts it
// (every turn and alignment, magnified, clipped at every edge), rows drawn once and
// shared, and a recorded drawing that replays to the same picture.
#include "PictureTesting.h"
#include "engine/LLBarcode.h"
#include "platform/QtSurface.h"
#include "render/MagnifiedPicture.h"
#include "render/RasterSurface.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <utility>
#include <vector>

using namespace varimark;
// The engine's enumerators by their names, as the tables below give them.
using enum btCodeTypes;

namespace {

// A white picture in memory, stored bottom row first like a bitmap (colour) or top row
// first (grey), shown as a QImage for comparing.
struct Picture {
    Picture(int w, int h, int bytes)
        : width(w), height(h), bytesPerPixel(bytes),
          pixels(static_cast<std::size_t>(w) * h * bytes, 255) {}
    TPixelRows Rows() {
        if (bytesPerPixel == 1) return {pixels.data(), width, width, height, 1};
        const std::ptrdiff_t stride = 3 * width;
        return {pixels.data() + stride * (height - 1), -stride, width, height, 3};
    }
    QImage Image() {
        QImage image(width, height, QImage::Format_RGB32);
        const TPixelRows rows = Rows();
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const std::uint8_t* p = rows.Row(y) + bytesPerPixel * x;
                image.setPixel(
                    x, y, bytesPerPixel == 1 ? qRgb(p[0], p[0], p[0]) : qRgb(p[2], p[1], p[0]));
            }
        return image;
    }
    int width, height, bytesPerPixel;
    std::vector<std::uint8_t> pixels;
};

// The same drawing on the Qt surface, into a white picture.
QImage DrawnByQt(int w, int h, const std::function<void(TSurface&)>& draw) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    TQtSurface surface(painter, 96, 96);
    draw(surface);
    painter.end();
    return image;
}

QImage DrawnHere(int w, int h, int bytes, const std::function<void(TSurface&)>& draw,
                 bool blank = true) {
    Picture picture(w, h, bytes);
    {
        TRasterSurface surface(picture.Rows(), 96, 96, blank);
        draw(surface);
    }
    return picture.Image();
}

void Magnify(TSurface& surface, int across, int down) {
    surface.SetMapMode(MM_ANISOTROPIC);
    surface.SetWindowExt(1, 1);
    surface.SetViewportExt(across, down);
}

bool SameEdges(const QRect& a, const QRect& b, int slack) {
    return std::abs(a.left() - b.left()) <= slack && std::abs(a.right() - b.right()) <= slack &&
           std::abs(a.top() - b.top()) <= slack && std::abs(a.bottom() - b.bottom()) <= slack;
}

std::string Describe(const QRect& r) {
    return std::to_string(r.x()) + "," + std::to_string(r.y()) + " " + std::to_string(r.width()) +
           "x" + std::to_string(r.height());
}

TEST(RasterSurface, FillsThePixelsTheQtSurfaceFills) {
    struct Case {
        const char* name;
        int across, down; // magnification; 0: none
        std::vector<std::array<int, 4>> rects;
    };
    const Case cases[] = {
        {"corners in any order", 0, 0, {{10, 20, 15, 22}, {40, 42, 30, 31}, {5, 60, 1, 50}}},
        {"clipped at every edge", 0, 0, {{-5, -5, 3, 4}, {95, 70, 130, 90}, {-20, 40, 120, 41}}},
        {"wholly outside", 0, 0, {{-10, -10, -1, -1}, {100, 10, 140, 20}, {10, 80, 20, 200}}},
        {"empty", 0, 0, {{10, 10, 10, 30}, {20, 20, 40, 20}}},
        {"magnified 3 x 2", 3, 2, {{1, 1, 2, 3}, {10, 5, 12, 30}}},
        {"magnified 2, bars", 2, 2, {{2, 2, 3, 30}, {4, 2, 6, 30}, {7, 2, 8, 33}, {1, 34, 40, 36}}},
    };
    for (const Case& c : cases)
        for (int bytes : {3, 1}) {
            const auto draw = [&](TSurface& surface) {
                if (c.across != 0) Magnify(surface, c.across, c.down);
                surface.SetBrushColor(kBlack);
                for (const auto& r : c.rects) surface.FillRect(r[0], r[1], r[2], r[3]);
                surface.SetBrushColor(TColor{200, 30, 90}); // a colour, drawn over black
                surface.FillRect(c.rects[0][0], c.rects[0][1], c.rects[0][2], c.rects[0][3]);
                surface.SetBrushStyle(TBrushStyle::Clear);
                surface.FillRect(0, 0, 100, 80);
            };
            const QImage expected = DrawnByQt(100, 80, draw);
            const QImage actual = DrawnHere(100, 80, bytes, draw);
            for (int y = 0; y < 80; ++y)
                for (int x = 0; x < 100; ++x) {
                    const QRgb e = expected.pixel(x, y), a = actual.pixel(x, y);
                    if (bytes == 3)
                        ASSERT_EQ(e, a) << c.name << " at " << x << "," << y;
                    else // grey: the colour's grey level
                        ASSERT_EQ(GreyOf(TColor{static_cast<std::uint8_t>(qRed(e)),
                                                static_cast<std::uint8_t>(qGreen(e)),
                                                static_cast<std::uint8_t>(qBlue(e))}),
                                  qRed(a))
                            << c.name << " (grey) at " << x << "," << y;
                }
        }
}

// Text goes where the Qt surface draws it, within a pixel (the glyphs are Qt's own, placed
// at quarter pixels), for every turn and alignment, and with a magnified font.
TEST(RasterSurface, TextLiesWhereQtDrawsIt) {
    const unsigned aligns[] = {TA_CENTER | TA_TOP, TA_LEFT | TA_BASELINE, TA_RIGHT | TA_BOTTOM};
    for (int magnify : {1, 3})
        for (int escapement : {0, 900, 1800, 2700})
            for (unsigned align : aligns)
                for (int bytes : {3, 1}) {
                    const auto draw = [&](TSurface& surface) {
                        if (magnify > 1) Magnify(surface, magnify, magnify);
                        surface.SetTextAlign(align);
                        surface.SetBkMode(TBkMode::Transparent);
                        const int at = 150 / magnify;
                        surface.TextOut(at, at, "0123456789", TFontSpec{"Arial", 20, escapement});
                    };
                    const QRect expected = DarkBox(DrawnByQt(300, 300, draw));
                    const QRect actual = DarkBox(DrawnHere(300, 300, bytes, draw));
                    ASSERT_FALSE(expected.isNull());
                    EXPECT_TRUE(SameEdges(expected, actual, 1))
                        << "magnified " << magnify << ", escapement " << escapement << ", align "
                        << align << ": Qt " << Describe(expected) << ", here " << Describe(actual);
                }
}

// Turned text is the upright text turned, pixel for pixel: a quarter turn counterclockwise
// about the reference point's pixel corner takes the pixel square (u, v)..(u + 1, v + 1) to
// (v, -u - 1)..(v + 1, -u), two turns to (-u - 1, -v - 1), three to (-v - 1, u). Worked: the
// pixel right of and below the point, (0, 0), lies above and right of it after one turn,
// (0, -1). No slack: a turned text a pixel off is a fault (Qt's placement allows a pixel).
TEST(RasterSurface, TurnedTextIsTheUprightTextTurned) {
    const struct {
        int escapement;
        int xu, xv, yu, yv, x1, y1; // x = xu u + xv v + x1, y = yu u + yv v + y1
    } rows[] = {
        {900, 0, 1, -1, 0, 0, -1}, {1800, -1, 0, 0, -1, -1, -1}, {2700, 0, -1, 1, 0, -1, 0}};
    constexpr int kAt = 100;
    for (unsigned align : {TA_LEFT | TA_TOP, TA_CENTER | TA_BASELINE})
        for (int bytes : {3, 1}) {
            const auto drawAt = [&](int escapement) {
                return DrawnHere(2 * kAt, 2 * kAt, bytes, [&](TSurface& surface) {
                    surface.SetTextAlign(align);
                    surface.SetBkMode(TBkMode::Transparent);
                    surface.TextOut(kAt, kAt, "0123456789", TFontSpec{"Arial", 20, escapement});
                });
            };
            const QImage upright = drawAt(0);
            for (const auto& row : rows) {
                const QImage turned = drawAt(row.escapement);
                int dark = 0, differ = 0;
                for (int v = -kAt; v < kAt; ++v)
                    for (int u = -kAt; u < kAt; ++u) {
                        const int x = kAt + row.xu * u + row.xv * v + row.x1;
                        const int y = kAt + row.yu * u + row.yv * v + row.y1;
                        const QRgb a = upright.pixel(kAt + u, kAt + v);
                        if (qGray(a) < 128) ++dark;
                        if (x >= 0 && y >= 0 && x < 2 * kAt && y < 2 * kAt &&
                            turned.pixel(x, y) != a)
                            ++differ;
                    }
                EXPECT_GT(dark, 50);
                EXPECT_EQ(differ, 0) << "escapement " << row.escapement << ", align " << align
                                     << ", " << bytes << " bytes a pixel";
            }
        }
}

// Text running off the picture on any side is cut there, like Qt cuts it.
TEST(RasterSurface, TextOffThePictureIsCut) {
    struct Case {
        int x, y, escapement;
    };
    const Case cases[] = {{5, 10, 0},    {95, 10, 0},   {50, -12, 0},   {50, 72, 0},
                          {50, 75, 900}, {50, -5, 900}, {-3, 40, 1800}, {102, 40, 2700},
                          {-500, 40, 0}, {500, 40, 0},  {50, -500, 0},  {50, 500, 900}};
    for (const Case& c : cases)
        for (int bytes : {3, 1}) {
            const auto draw = [&](TSurface& surface) {
                surface.SetTextAlign(TA_CENTER | TA_TOP);
                surface.SetBkMode(TBkMode::Transparent);
                surface.TextOut(c.x, c.y, "12345678901234567890",
                                TFontSpec{"Arial", 16, c.escapement});
            };
            const QRect expected = DarkBox(DrawnByQt(100, 80, draw));
            const QRect actual = DarkBox(DrawnHere(100, 80, bytes, draw));
            EXPECT_EQ(expected.isNull(), actual.isNull()) << c.x << "," << c.y;
            if (!expected.isNull()) {
                EXPECT_TRUE(SameEdges(expected, actual, 1))
                    << c.x << "," << c.y << " turned " << c.escapement << ": Qt "
                    << Describe(expected) << ", here " << Describe(actual);
            }
        }
}

TEST(RasterSurface, OpaqueTextFillsItsBoxWithTheBackground) {
    const auto draw = [](TSurface& surface) {
        surface.SetBrushColor(kBlack);
        surface.FillRect(0, 0, 200, 100); // a black ground shows the box
        surface.SetTextAlign(TA_LEFT | TA_TOP);
        surface.SetBkMode(TBkMode::Opaque);
        surface.SetBkColor(kWhite);
        surface.TextOut(20, 30, "88", TFontSpec{"Arial", 20, 0});
    };
    const QImage expected = DrawnByQt(200, 100, draw), actual = DrawnHere(200, 100, 3, draw);
    // The light box: the text cell, where Qt puts it.
    QRect light[2];
    for (int i = 0; i < 2; ++i) {
        const QImage& image = i == 0 ? expected : actual;
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 200; ++x)
                if (qGray(image.pixel(x, y)) >= 128) light[i] |= QRect(x, y, 1, 1);
    }
    EXPECT_TRUE(SameEdges(light[0], light[1], 1))
        << Describe(light[0]) << " / " << Describe(light[1]);
}

// Fonts too large for Qt to measure (past 16384 pixels its metrics wrap) still measure as
// high as they are asked to be, on both picture surfaces.
TEST(RasterSurface, HugeFontsMeasureTheirOwnHeight) {
    for (const int height : {13, 15000, 17000, 20000, 40000, 80000, 1000000}) {
        QImage image(4, 4, QImage::Format_RGB32);
        QPainter painter(&image);
        TQtSurface qt(painter, 96, 96);
        Picture picture(4, 4, 3);
        TRasterSurface raster(picture.Rows(), 96, 96);
        for (TSurface* surface : {static_cast<TSurface*>(&qt), static_cast<TSurface*>(&raster)}) {
            surface->SetFontFace("Arial");
            surface->SetFontHeight(height);
            EXPECT_NEAR(surface->TextHeight("Ay"), height, 1) << height;
        }
    }
}

// A barcode laid out at a very high resolution measures its line of text as high as its
// font: the line's height is what the text adds to the drawn height.
TEST(RasterSurface, MeasuringAtHugeSizesGivesTheTextItsHeight) {
    TLLBarcode barcode;
    barcode.Params.CodeType = CODE39;
    barcode.Params.SetCaption("TEXT");
    barcode.Params.SetFontscaling(200);
    const TDrawFunction draw = [&](TSurface& surface, int x, int y) {
        TDrawnSize size;
        barcode.DrawBarcode(surface, x, y, size);
        return size;
    };
    barcode.Params.HumanReadable = false;
    const TDrawnSize bars = MeasureBarcode(draw, 2, 80000); // V = H + 1
    barcode.Params.HumanReadable = true;
    const TDrawnSize withText = MeasureBarcode(draw, 2, 80000); // V = T + H + 1
    const long long h = bars.height - 1;
    // F = nearest(H x 74.24 / 56.24 x 0.18 x 200 %).
    const long long font = std::llround(static_cast<double>(h) * 74.24 / 56.24 * 0.18 * 2);
    EXPECT_GT(h, 50000);
    EXPECT_NEAR(withText.height - bars.height, static_cast<double>(font), 1);
    EXPECT_EQ(withText.width, bars.width);
}

// Rows drawn alike are drawn once and shared: the picture is the one drawn row by row,
// whether the shared rows are written out or read through the surface.
TEST(RasterSurface, SharedRowsMakeThePictureDrawnRowByRow) {
    TLLBarcode barcode;
    barcode.Params.CodeType = EAN_13;
    barcode.Params.SetCaption("400638133393");
    barcode.Params.SetCodeAddon("12");
    for (int rotation : {0, 1, 2, 3})
        for (int bytes : {3, 1}) {
            barcode.Params.SetRotation(static_cast<btCodeRotate>(rotation));
            const auto draw = [&](TSurface& surface) {
                TDrawnSize size;
                barcode.DrawBarcode(surface, 4, 4, size);
                // A second drawing over the first: rows shared before are drawn on again.
                surface.SetBrushColor(kBlack);
                surface.FillRect(0, 30, 150, 32);
                surface.TextOut(60, 5, "X", TFontSpec{"Arial", 12, 0});
                surface.FillRect(10, 0, 12, 150);
            };
            const QImage rowByRow = DrawnHere(170, 170, bytes, draw, false);
            EXPECT_EQ(DrawnHere(170, 170, bytes, draw, true), rowByRow) << rotation;

            Picture picture(170, 170, bytes);
            TRasterSurface surface(picture.Rows(), 96, 96, true, false);
            draw(surface);
            surface.Flush();
            const std::vector<std::uint32_t>& classes = surface.RowClasses();
            const QImage kept = rowByRow;
            for (int y = 0; y < 170; ++y) {
                const std::uint8_t* row = surface.RowPixels(y);
                for (int x = 0; x < 170; ++x) {
                    const QRgb p = kept.pixel(x, y);
                    ASSERT_EQ(row[bytes * x], bytes == 1 ? qRed(p) : qBlue(p)) << x << "," << y;
                }
                if (y > 0 && classes[y] == classes[y - 1]) {
                    EXPECT_EQ(std::memcmp(row, surface.RowPixels(y - 1), bytes * 170u), 0) << y;
                }
            }
        }
}

// The measuring pass keeps the drawing; replayed, it draws the picture the drawing draws.
TEST(RasterSurface, RecordedDrawingReplaysToTheSamePicture) {
    const std::pair<btCodeTypes, const char*> codes[] = {{EAN_13, "978020137962"},
                                                         {UPC_E, "0123456"},
                                                         {CODE128_B, "Hello, World"},
                                                         {Postnet, "12345"},
                                                         {Codabar, "A1234B"}};
    for (const auto& [type, text] : codes)
        for (int rotation : {0, 1}) {
            TLLBarcode barcode;
            barcode.Params.CodeType = type;
            barcode.Params.SetCaption(text);
            barcode.Params.SetRotation(static_cast<btCodeRotate>(rotation));
            const TDrawFunction draw = [&](TSurface& surface, int x, int y) {
                TDrawnSize size;
                barcode.DrawBarcode(surface, x, y, size);
                return size;
            };
            const TRecordedDrawing recording = RecordBarcode(draw, 2, 96);
            const TDrawnSize size = MagnifiedSize(recording.Size(), 2, 2);
            Picture replayed(size.width, size.height, 3);
            DrawMagnified(recording, 2, 96, replayed.Rows());
            const QImage direct = DrawnHere(size.width, size.height, 3, [&](TSurface& s) {
                Magnify(s, 2, 2);
                draw(s, 2, 2);
            });
            EXPECT_EQ(replayed.Image(), direct) << text << " turned " << rotation;
        }
}

} // namespace
