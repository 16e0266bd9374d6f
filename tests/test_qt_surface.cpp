// The Qt drawing surface: exact fills, fonts matched by cell height, turned text and the
// mapping modes.
#include "PictureTesting.h"
#include "engine/LLBarcode.h"
#include "platform/QtSurface.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

using namespace varimark;
// The engine's enumerators by their names, as the tables below give them.
using enum btCodeTypes;

namespace {

struct Canvas {
    explicit Canvas(int w = 200, int h = 200) : image(w, h, QImage::Format_RGB32) {
        image.fill(Qt::white);
        painter.begin(&image);
    }
    QImage Finish() {
        painter.end();
        return image;
    }
    QImage image;
    QPainter painter;
};

TEST(QtSurface, FillsWholePixelsWhicheverOrderTheCornersCome) {
    struct Case {
        int l, t, r, b;
    };
    for (const Case c :
         {Case{10, 20, 15, 22}, Case{15, 22, 10, 20}, Case{15, 20, 10, 22}, Case{10, 22, 15, 20}}) {
        Canvas canvas;
        TQtSurface surface(canvas.painter);
        surface.SetBrushColor(kBlack);
        surface.FillRect(c.l, c.t, c.r, c.b);
        EXPECT_EQ(DarkBox(canvas.Finish()), QRect(10, 20, 5, 2));
    }
}

TEST(QtSurface, ClearBrushFillsNothing) {
    Canvas canvas;
    TQtSurface surface(canvas.painter);
    surface.SetBrushColor(kBlack);
    surface.SetBrushStyle(TBrushStyle::Clear);
    surface.FillRect(0, 0, 50, 50);
    EXPECT_TRUE(DarkBox(canvas.Finish()).isNull());
}

// The cell height of a font comes as close to the requested height as the face allows;
// Arial (Liberation Sans) at 13 is exactly 13, which gives the UPC-A picture its 83 rows.
TEST(QtSurface, FontCellHeightAndTheUpcALayout) {
    Canvas canvas;
    TQtSurface surface(canvas.painter, 96, 96);
    for (int height : {13, 17, 40, 106}) {
        surface.SetFontFace("Arial");
        surface.SetFontHeight(height);
        EXPECT_NEAR(surface.TextHeight("Ay"), height, 1) << height;
    }
    TLLBarcode barcode;
    barcode.Params.CodeType = UPC_A;
    barcode.Params.SetCaption("12345678901");
    TDrawnSize size;
    barcode.DrawBarcode(surface, 0, 0, size);
    EXPECT_EQ(surface.TextHeight("Ay"), 13);
    EXPECT_EQ(size, (TDrawnSize{116, 83}));
    const QImage image = canvas.Finish();
    // Bars start at x = 10 (the left guard); the text ends inside the picture.
    EXPECT_EQ(DarkBox(image.copy(0, 0, 116, 60)).left(), 10);
    EXPECT_LT(DarkBox(image).bottom(), 83);
}

// Escapement turns the text counter-clockwise around its centre-top reference point.
TEST(QtSurface, EscapementTurnsTheTextAroundItsReferencePoint) {
    struct Case {
        int escapement;
        bool (*inside)(const QRect& box);
    };
    const Case cases[] = {
        {0,
         [](const QRect& b) {
             return b.top() >= 99 && b.center().x() > 90 && b.center().x() < 110;
         }},
        {900,
         [](const QRect& b) {
             return b.left() >= 99 && b.center().y() > 90 && b.center().y() < 110;
         }},
        {1800,
         [](const QRect& b) {
             return b.bottom() <= 101 && b.center().x() > 90 && b.center().x() < 110;
         }},
        {2700,
         [](const QRect& b) {
             return b.right() <= 101 && b.center().y() > 90 && b.center().y() < 110;
         }},
    };
    for (const Case& c : cases) {
        Canvas canvas;
        TQtSurface surface(canvas.painter);
        surface.SetTextAlign(TA_CENTER | TA_TOP);
        surface.SetBkMode(TBkMode::Transparent);
        surface.TextOut(100, 100, "0123456789", TFontSpec{"Arial", 20, c.escapement});
        const QRect box = DarkBox(canvas.Finish());
        EXPECT_FALSE(box.isNull());
        EXPECT_TRUE(c.inside(box)) << c.escapement << ": " << box.x() << "," << box.y() << " "
                                   << box.width() << "x" << box.height();
        // Horizontal text is wider than high; turned text higher than wide.
        EXPECT_EQ(box.width() > box.height(), c.escapement % 1800 == 0) << c.escapement;
    }
}

TEST(QtSurface, MappingModes) {
    {
        Canvas canvas;
        TQtSurface surface(canvas.painter, 96, 96);
        surface.SetBrushColor(kBlack);
        surface.SetMapMode(MM_ANISOTROPIC);
        surface.SetWindowExt(1, 1);
        surface.SetViewportExt(3, 2);
        EXPECT_EQ(surface.MapMode(), MM_ANISOTROPIC);
        surface.FillRect(1, 1, 2, 3);
        surface.SetMapMode(MM_TEXT);
        surface.FillRect(100, 100, 101, 101);
        EXPECT_EQ(DarkBox(canvas.Finish().copy(0, 0, 50, 50)), QRect(3, 2, 3, 4));
    }
    {
        // Low-metric: tenths of a millimetre, y upwards; 254 units are one inch.
        Canvas canvas;
        TQtSurface surface(canvas.painter, 96, 96);
        surface.SetBrushColor(kBlack);
        surface.SetMapMode(MM_LOMETRIC);
        surface.FillRect(0, 0, 254, -127);
        EXPECT_EQ(DarkBox(canvas.Finish()), QRect(0, 0, 96, 48));
    }
}

// A surface without resolution draws at the screen's.
TEST(QtSurface, ZeroResolutionFallsBackToTheScreen) {
    Canvas canvas;
    TQtSurface surface(canvas.painter, 0, 0, 96);
    TLLBarcode barcode;
    barcode.Params.CodeType = UPC_A;
    TDrawnSize size;
    barcode.DrawBarcode(surface, 0, 0, size);
    EXPECT_EQ(size, (TDrawnSize{116, 83}));
}

} // namespace
