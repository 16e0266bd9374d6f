// The vector surface: integer rectangles, text with face, size and rotation, the document.
#include "engine/LLBarcode.h"
#include "render/SvgSurface.h"

#include <gtest/gtest.h>

#include <string>

using namespace varimark;
// The engine's enumerators by their names, as the tables below give them.
using enum btCodeTypes;

namespace {

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(SvgSurface, RectanglesAreNormalisedIntegers) {
    TSvgSurface surface(96, 96);
    surface.SetBrushColor(kBlack);
    surface.FillRect(15, 22, 10, 20);
    surface.FillRect(3, 3, 3, 9); // empty: nothing
    surface.SetBrushStyle(TBrushStyle::Clear);
    surface.FillRect(0, 0, 5, 5); // clear brush: nothing
    const std::string doc = surface.Document(40, 30, 1);
    EXPECT_TRUE(Has(doc, "<rect x=\"10\" y=\"20\" width=\"5\" height=\"2\" fill=\"#000000\"/>"));
    EXPECT_EQ(doc.find("<rect", doc.find("fill=\"#000000\"")), std::string::npos);
}

TEST(SvgSurface, TextCarriesFaceSizeRotationAndEscapedCharacters) {
    TSvgSurface surface(96, 96);
    surface.SetTextAlign(TA_CENTER | TA_TOP);
    surface.SetBkMode(TBkMode::Transparent);
    surface.TextOut(50, 60, "a<b&\xE9", TFontSpec{"Arial", 13, 900});
    const std::string doc = surface.Document(100, 100, 2);
    EXPECT_TRUE(Has(doc, "transform=\"rotate(-90 50 60)\""));
    EXPECT_TRUE(Has(doc, "font-family=\"Arial\""));
    EXPECT_TRUE(Has(doc, "font-size=\"12\"")); // Liberation Sans: 12 pixels give a 13-pixel cell
    EXPECT_TRUE(Has(doc, "text-anchor=\"middle\""));
    EXPECT_TRUE(Has(doc, ">a&lt;b&amp;\xC3\xA9</text>"));
    EXPECT_TRUE(Has(doc, "width=\"200\" height=\"200\" viewBox=\"0 0 100 100\""));
}

TEST(SvgSurface, DrawsTheSameLayoutAsTheRasterSurfaces) {
    TSvgSurface surface(96, 96);
    TLLBarcode barcode;
    barcode.Params.CodeType = UPC_A;
    TDrawnSize size;
    barcode.DrawBarcode(surface, 0, 0, size);
    EXPECT_EQ(size, (TDrawnSize{116, 83}));
    const std::string doc = surface.Document(size.width, size.height, 1);
    EXPECT_TRUE(Has(doc, "<rect x=\"10\" y=\"0\" width=\"1\" height=\"74\""));
}

} // namespace
