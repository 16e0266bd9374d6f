// The barcode control: property checks and messages, repaint requests, sizing, the paint
// failure reported once, and the output services (magnified bitmap, clipboard, printing
// in metric units).
#include "ByteReading.h"
#include "FileTesting.h"
#include "PictureTesting.h"
#include "control/Barcode.h"
#include "engine/EOverflow.h"
#include "export/Bitmap.h"
#include "export/FileWriter.h"
#include "platform/ErrorReport.h"
#include "platform/QtSurface.h"

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

using namespace varimark;
// The engine's enumerators by their names, as the tables below give them.
using enum btCodeTypes;
using enum btCodeSizes;
using enum btCodeRotate;

namespace {

// A control that counts its paints.
class CountingBarcode : public TBarcode {
public:
    int paints = 0;

protected:
    void paintEvent(QPaintEvent* event) override {
        ++paints;
        TBarcode::paintEvent(event);
    }
};

void Settle() {
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
}

// A shown UPC-A control of the main window's kind (116 x 83 at 96 dots per inch).
struct Shown {
    explicit Shown(const QString& caption = "12345678901", btCodeTypes type = UPC_A) {
        barcode.SetBar_CodeType(type);
        barcode.SetBar_Caption(caption);
        barcode.show();
        Settle();
    }
    CountingBarcode barcode;
};

std::string TempPath(const std::string& name) {
    return ::testing::TempDir() + "vm_control_" + std::to_string(getpid()) + "_" + name;
}

struct RefusalCase {
    const char* property;
    std::function<void(TBarcode&)> write;
    const char* message;
};

TEST(BarcodeControl, RefusedValuesRaiseTheirMessageAndChangeNothing) {
    const RefusalCase cases[] = {
        {"caption 51", [](TBarcode& b) { b.SetBar_Caption(QString(51, 'x')); },
         "String exceeds maximum length"},
        {"height 19", [](TBarcode& b) { b.SetBar_HeightPercent(19); },
         "Bar_HeightPercent must be in the range 20..200!"},
        {"height 201", [](TBarcode& b) { b.SetBar_HeightPercent(201); },
         "Bar_HeightPercent must be in the range 20..200!"},
        {"height -5", [](TBarcode& b) { b.SetBar_HeightPercent(-5); },
         "Bar_HeightPercent must be in the range 20..200!"},
        {"font 19", [](TBarcode& b) { b.SetBar_Fontscaling(19); },
         "Bar_Fontscaling must be in the range 20..200!"},
        {"font 201", [](TBarcode& b) { b.SetBar_Fontscaling(201); },
         "Bar_Fontscaling must be in the range 20..200!"},
        {"module 10", [](TBarcode& b) { b.SetBar_ModuleWidth(static_cast<btCodeSizes>(10)); },
         "Bar_SC_Size must be in the range 0..9!"},
        {"ratio 2", [](TBarcode& b) { b.SetBar_Ratio(static_cast<btCodeRatio>(2)); },
         "Bar_Ratio must be in the range 0..1 (Ratio_3 or Ratio_2)!"},
        {"rotate 4", [](TBarcode& b) { b.SetBar_Rotation(static_cast<btCodeRotate>(4)); },
         "Bar_Rotate must be in the range rotate_000..rotate_270!"},
    };
    for (const RefusalCase& c : cases) {
        Shown shown;
        const int paints = shown.barcode.paints;
        const TBarcodeParams before = shown.barcode.Engine().Params;
        try {
            c.write(shown.barcode);
            ADD_FAILURE() << c.property << " was accepted";
        } catch (const EOverflow& e) {
            EXPECT_STREQ(e.what(), c.message) << c.property;
        }
        const TBarcodeParams& after = shown.barcode.Engine().Params;
        EXPECT_STREQ(after.Caption, before.Caption);
        EXPECT_EQ(after.HeightPercent, before.HeightPercent);
        EXPECT_EQ(after.Fontscaling, before.Fontscaling);
        EXPECT_EQ(after.ModuleWidth, before.ModuleWidth);
        EXPECT_EQ(after.Ratio, before.Ratio);
        EXPECT_EQ(after.Rotation, before.Rotation);
        Settle();
        EXPECT_EQ(shown.barcode.paints, paints) << c.property << ": a refusal repainted";
    }
}

TEST(BarcodeControl, AcceptedBoundariesAndAnyType) {
    TBarcode barcode;
    barcode.SetBar_Caption(QString(50, 'x'));
    barcode.SetBar_HeightPercent(20);
    barcode.SetBar_HeightPercent(200);
    barcode.SetBar_Fontscaling(20);
    barcode.SetBar_Fontscaling(200);
    barcode.SetBar_ModuleWidth(SC9);
    barcode.SetBar_Rotation(rotate_270);
    barcode.SetBar_CodeType(static_cast<btCodeTypes>(200)); // refused only when painting
    EXPECT_EQ(barcode.Bar_Caption().size(), 50);
    EXPECT_EQ(barcode.Bar_HeightPercent(), 200);
    EXPECT_EQ(barcode.Bar_CodeType(), static_cast<btCodeTypes>(200));
}

TEST(BarcodeControl, AddonKeepsDigitsCutToZeroTwoOrFive) {
    const std::pair<const char*, const char*> cases[] = {
        {"12345678", "12345"}, {"1a2", "12"}, {"123", "12"}, {"7", ""}, {"ab", ""}, {"", ""},
        {"1-2-3-4-5", "12345"}};
    TBarcode barcode;
    for (const auto& [given, stored] : cases) {
        barcode.SetBar_CodeAddon(given);
        EXPECT_EQ(barcode.Bar_CodeAddon(), stored) << given;
    }
}

TEST(BarcodeControl, TextCrossesAsWindows1252) {
    TBarcode barcode;
    barcode.SetBar_Caption(QString::fromUtf8("\u00e9\u20ac\u4e2d")); // é, €, a CJK character
    EXPECT_STREQ(barcode.Engine().Params.Caption, "\xE9\x80?");
    EXPECT_EQ(barcode.Bar_Caption(), QString::fromUtf8("\u00e9\u20ac?"));
    // A Codabar caption reads back in upper case once it has been painted.
    Shown shown("b12", Codabar);
    EXPECT_EQ(shown.barcode.Bar_Caption(), "B12");
}

TEST(BarcodeControl, EveryWriteRepaintsAnEqualAutoSizeDoesNot) {
    Shown shown;
    const std::vector<std::function<void(TBarcode&)>> writes = {
        [](TBarcode& b) { b.SetBar_Caption(b.Bar_Caption()); },
        [](TBarcode& b) { b.SetBar_CodeAddon(""); },
        [](TBarcode& b) { b.SetBar_HeightPercent(b.Bar_HeightPercent()); },
        [](TBarcode& b) { b.SetBar_ZoomSize(b.Bar_ZoomSize()); },
        [](TBarcode& b) { b.SetBar_Fontname(b.Bar_Fontname()); },
    };
    for (const auto& write : writes) {
        const int before = shown.barcode.paints;
        write(shown.barcode);
        Settle();
        EXPECT_GT(shown.barcode.paints, before);
    }
    const int before = shown.barcode.paints;
    shown.barcode.SetAutoSize(true);
    Settle();
    EXPECT_EQ(shown.barcode.paints, before);
    shown.barcode.SetAutoSize(false);
    Settle();
    EXPECT_GT(shown.barcode.paints, before);
}

TEST(BarcodeControl, SizesItselfToTheDrawing) {
    CountingBarcode fresh; // the engine's defaults: EAN-8 "4711" at SC2
    EXPECT_EQ(fresh.size(), QSize(69, 66));
    fresh.show();
    Settle();
    EXPECT_EQ(fresh.size(), QSize(68, 66)); // 67 modules + 1; 13 + 52 + 1

    Shown shown;
    EXPECT_EQ(shown.barcode.size(), QSize(116, 83));
    shown.barcode.SetBar_Rotation(rotate_090);
    Settle();
    EXPECT_EQ(shown.barcode.size(), QSize(83, 116));

    shown.barcode.SetAutoSize(false);
    shown.barcode.SetBar_Rotation(rotate_000);
    Settle();
    EXPECT_EQ(shown.barcode.size(), QSize(83, 116)); // keeps its size, the drawing is clipped
}

// A failing paint is reported once; the control then draws nothing and keeps its size
// until a property is written.
TEST(BarcodeControl, PaintFailureIsReportedOnce) {
    std::vector<std::string> reports;
    SetErrorReporter([&](const std::string& message) { reports.push_back(message); });
    Shown shown("ABC", CODE128_B);
    const QSize size = shown.barcode.size();
    shown.barcode.SetBar_Caption(QString::fromUtf8("a\u00e9")); // 0xE9 maps to no symbol
    Settle();
    for (int i = 0; i < 3; ++i) {
        shown.barcode.repaint();
        Settle();
    }
    EXPECT_EQ(reports, std::vector<std::string>{"BarcoLL: Code128 error"});
    EXPECT_EQ(shown.barcode.size(), size);

    shown.barcode.SetBar_CodeType(CODE128_B); // any write: painting tries again
    Settle();
    EXPECT_EQ(reports.size(), 2u);
    shown.barcode.SetBar_Caption("ok");
    Settle();
    EXPECT_EQ(reports.size(), 2u);
    EXPECT_NE(shown.barcode.size(), size);
    SetErrorReporter({});
}

// A bitmap file as Qt reads it, with the bits per pixel of its header.
struct TBitmapFile {
    QImage image;
    int bits;
};

TBitmapFile ReadBitmap(const std::string& path) {
    const Bytes file = ReadWholeFile<Bytes>(path);
    return {QImage::fromData(file.data(), static_cast<int>(file.size()), "BMP"),
            static_cast<int>(U16(file, 28))};
}

TEST(BarcodeOutput, MagnifyByWritesTheBitmapFile) {
    Shown shown;
    const std::string one = TempPath("one.bmp"), three = TempPath("three.png");
    shown.barcode.MagnifyBy(2, one, false, 1);
    shown.barcode.MagnifyBy(2, three, false, 3); // a bitmap file whatever the extension
    const TBitmapFile small = ReadBitmap(one), large = ReadBitmap(three);
    EXPECT_EQ(small.image.size(), QSize(120, 87));
    EXPECT_EQ(small.bits, 24);
    EXPECT_EQ(large.image.size(), QSize(360, 261));
    // Bars are three times as wide and high (the rows above the text).
    for (int y = 0; y < 70 * 3; ++y)
        for (int x = 0; x < 360; ++x)
            ASSERT_EQ(large.image.pixel(x, y), small.image.pixel(x / 3, y / 3)) << x << "," << y;
    std::remove(one.c_str());
    std::remove(three.c_str());
}

TEST(BarcodeOutput, RotatedMonochromeAndRefusedFactor) {
    Shown shown;
    shown.barcode.SetBar_Rotation(rotate_090);
    const TBitmap rotated = shown.barcode.MagnifiedBitmap(2, false, 2);
    EXPECT_EQ(rotated.Width(), (83 + 4) * 2);
    EXPECT_EQ(rotated.Height(), (116 + 4) * 2);

    const std::string mono = TempPath("mono.bmp");
    shown.barcode.MagnifyBy(2, mono, true, 1);
    const TBitmapFile bitmap = ReadBitmap(mono);
    EXPECT_EQ(bitmap.bits, 1);
    EXPECT_EQ(bitmap.image.width(), 87);
    std::remove(mono.c_str());

    const std::string refused = TempPath("zero.bmp");
    try {
        shown.barcode.MagnifyBy(2, refused, false, 0);
        ADD_FAILURE() << "factor 0 was accepted";
    } catch (const EOverflow& e) {
        EXPECT_STREQ(e.what(), "Barcode: Factor for \"MagnifyBy\" must be >=1");
    }
    EXPECT_NE(access(refused.c_str(), F_OK), 0);
}

TEST(BarcodeOutput, CopyToClipboardPutsTheMarginedPicture) {
    Shown shown;
    QApplication::clipboard()->clear();
    shown.barcode.CopyToClipboard(2);
    const QImage image = QApplication::clipboard()->image();
    EXPECT_EQ(image.size(), QSize(120, 87));
    EXPECT_EQ(image.pixel(0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(image.pixel(12, 2), qRgb(0, 0, 0)); // the left guard bar at margin + L
}

TEST(BarcodeOutput, LoMetricPrintPlacesTheBarcodeInDevicePixels) {
    struct Case {
        TMapMode mode;
        int x, y;
        QPoint corner;
        TDrawnSize size;
    };
    // A 300-dots-per-inch page; Code 39 has no side margin, so its first bar is the corner.
    // "*1*" at SC2: p = nearest(3.897) = 4, 48 modules: 193 x (T + 214) pixels.
    const Case cases[] = {
        {MM_TEXT, 200, 200, {200, 200}, {193, 0}},
        {MM_LOMETRIC, 200, -200, {236, 236}, {163, 0}}, // 200 / 254 inch = 236.2 pixels
        {MM_HIMETRIC, 2000, -2000, {236, 236}, {1634, 0}},
    };
    for (const Case& c : cases) {
        QImage page(900, 900, QImage::Format_RGB32);
        page.fill(Qt::white);
        TBarcode barcode;
        barcode.SetBar_CodeType(CODE39);
        barcode.SetBar_Caption("1");
        barcode.SetBar_HumanReadable(false);
        TDrawnSize size;
        {
            QPainter painter(&page);
            TQtSurface surface(painter, 300, 300);
            surface.SetMapMode(c.mode);
            barcode.LoMetricPrint(surface, c.x, c.y, &size);
            EXPECT_EQ(surface.MapMode(), c.mode);
        }
        EXPECT_EQ(DarkBox(page).topLeft(), c.corner) << c.mode;
        EXPECT_EQ(size.width, c.size.width) << c.mode;
    }
    for (TMapMode refused : {MM_ANISOTROPIC, MM_LOENGLISH, MM_TWIPS}) {
        QImage page(50, 50, QImage::Format_RGB32);
        QPainter painter(&page);
        TQtSurface surface(painter, 300, 300);
        surface.SetMapMode(refused);
        TBarcode barcode;
        try {
            barcode.LoMetricPrint(surface, 0, 0);
            ADD_FAILURE() << refused << " was accepted";
        } catch (const EOverflow& e) {
            EXPECT_STREQ(e.what(), "Barcode: Wrong mapmode in \"LoMetricPrint\"");
        }
        EXPECT_EQ(surface.MapMode(), refused);
    }
}

} // namespace
