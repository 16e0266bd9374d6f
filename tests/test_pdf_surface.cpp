// The PDF surface and document, checked with independent readers: pdfinfo and qpdf accept
// the file, pdftoppm draws the same bars as the raster pictures, pdftotext reads the text.
#include "FileTesting.h"
#include "engine/LLBarcode.h"
#include "render/MagnifiedPicture.h"
#include "render/PdfSurface.h"
#include "render/RasterSurface.h"

#include <gtest/gtest.h>

#include <charconv>
#include <regex>
#include <string>
#include <vector>

using namespace varimark;
// The engine's enumerators by their names, as the tables below give them.
using enum btCodeTypes;
using enum btCodeRotate;

using varimark::BarcodePdfBytes;
using varimark::TPdfSurface;

namespace {

std::string Text(const std::vector<std::uint8_t>& bytes) {
    return {bytes.begin(), bytes.end()};
}

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// A grey picture: its size and pixels, rows top first.
struct TGreyPicture {
    int width = 0, height = 0;
    std::vector<std::uint8_t> pixels;
    int At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

// The page as pdftoppm draws it in grey at dpi; empty when it could not.
TGreyPicture PdfPage(const std::string& path, int dpi) {
    const auto [status, pgm] =
        RunShell("pdftoppm -r " + std::to_string(dpi) + " -gray '" + path + "' 2>&1");
    TGreyPicture picture;
    std::smatch head;
    if (status != 0 ||
        !std::regex_search(pgm, head, std::regex("^P5\\s+(\\d+)\\s+(\\d+)\\s+255\\s")))
        return picture;
    picture.width = std::stoi(head[1]), picture.height = std::stoi(head[2]);
    picture.pixels.assign(pgm.begin() + head.length(0), pgm.end());
    if (picture.pixels.size() != static_cast<std::size_t>(picture.width) * picture.height)
        return {};
    return picture;
}

// The box of the pixels darker than a level: left, top, right, bottom.
std::vector<int> DarkBox(const TGreyPicture& picture, int level = 128) {
    std::vector<int> box{picture.width, picture.height, -1, -1};
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x)
            if (picture.At(x, y) < level)
                box = {std::min(box[0], x), std::min(box[1], y), std::max(box[2], x),
                       std::max(box[3], y)};
    return box;
}

// Where a line of the picture turns from light to dark or back: a row, or a column.
std::vector<int> Edges(const TGreyPicture& picture, bool row, int at) {
    std::vector<int> edges;
    const int length = row ? picture.width : picture.height;
    bool dark = false;
    for (int i = 0; i < length; ++i)
        if (((row ? picture.At(i, at) : picture.At(at, i)) < 128) != dark)
            dark = !dark, edges.push_back(i);
    return edges;
}

struct TBarcodeCase {
    btCodeTypes type;
    const char* caption;
    btCodeRotate rotation;
    int scale, dpi;
    const char* text; // the text pdftotext reads, white space left out
};

void PrintTo(const TBarcodeCase& c, std::ostream* os) {
    *os << CodeTypeName(c.type) << " rotation " << static_cast<int>(c.rotation) << " scale "
        << c.scale << " at " << c.dpi;
}

class PdfBarcode : public ::testing::TestWithParam<TBarcodeCase> {
protected:
    PdfBarcode() {
        barcode_.Params.CodeType = GetParam().type;
        barcode_.Params.SetRotation(GetParam().rotation);
        barcode_.Params.SetCaption(GetParam().caption);
    }
    TDrawFunction Draw() {
        return [this](TSurface& surface, int x, int y) {
            TDrawnSize size;
            barcode_.DrawBarcode(surface, x, y, size);
            return size;
        };
    }
    // The raster picture of the same barcode, in grey, as the picture files have it.
    TGreyPicture Raster(int margin) {
        const TBarcodeCase& c = GetParam();
        const TRecordedDrawing drawing = RecordBarcode(Draw(), margin, c.dpi);
        const TDrawnSize size = MagnifiedSize(drawing.Size(), margin, c.scale);
        TGreyPicture picture{size.width, size.height, {}};
        picture.pixels.assign(static_cast<std::size_t>(size.width) * size.height, 255);
        DrawMagnified(drawing, c.scale, c.dpi,
                      TPixelRows{picture.pixels.data(), size.width, size.width, size.height, 1});
        return picture;
    }
    TLLBarcode barcode_;
    TScratchFolder folder_;
};

// Readers accept the file; its page is the raster picture's size, with the bar edges in the
// same places on a line across the bars, and its text reads as the human-readable text.
TEST_P(PdfBarcode, ReadsAsTheRasterPicture) {
    const TBarcodeCase& c = GetParam();
    const std::string path = folder_.Path("barcode.pdf");
    WriteFile(path, BarcodePdfBytes(Draw(), 4, c.scale, c.dpi, {}));
    const auto [infoStatus, info] = RunShell("pdfinfo '" + path + "' 2>&1");
    EXPECT_EQ(infoStatus, 0) << info;
    EXPECT_PRED_FORMAT2(::testing::IsSubstring, "Pages:           1", info) << info;
    const auto [checkStatus, check] = RunShell("qpdf --check '" + path + "' 2>&1");
    EXPECT_EQ(checkStatus, 0) << check;

    const TGreyPicture raster = Raster(4), page = PdfPage(path, c.dpi);
    ASSERT_EQ(page.width, raster.width) << "pdftoppm: is poppler-utils installed?";
    ASSERT_EQ(page.height, raster.height);
    // The bars run down the picture unturned, across it turned: a line a third of the way
    // in crosses all of them and none of the text.
    const bool across = c.rotation == rotate_000 || c.rotation == rotate_180;
    const int at = (across ? raster.height : raster.width) / 3;
    const std::vector<int> edges = Edges(raster, across, at);
    EXPECT_GE(edges.size(), 20u);
    EXPECT_EQ(Edges(page, across, at), edges);

    // The text stands where the raster picture has it, to a pixel (its glyphs are unhinted).
    const std::vector<int> box = DarkBox(raster), pageBox = DarkBox(page);
    for (int side = 0; side < 4; ++side) EXPECT_NEAR(pageBox[side], box[side], 1) << side;

    std::string text = RunShell("pdftotext '" + path + "' - 2>&1").second;
    std::erase_if(text, [](char ch) { return std::isspace(static_cast<unsigned char>(ch)); });
    EXPECT_EQ(text, c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Types, PdfBarcode,
    ::testing::Values(TBarcodeCase{EAN_13, "400638133393", rotate_000, 1, 96, "4006381333931"},
                      TBarcodeCase{EAN_13, "400638133393", rotate_090, 2, 96, "4006381333931"},
                      TBarcodeCase{UPC_A, "03600029145", rotate_000, 2, 300, "036000291452"},
                      TBarcodeCase{UPC_A, "03600029145", rotate_090, 1, 203, "036000291452"},
                      TBarcodeCase{CODE128_B, "Pdf-42", rotate_000, 1, 150, "Pdf-42"},
                      TBarcodeCase{CODE39, "AB12", rotate_090, 2, 96, "AB12"}));

// The page of a document written to a file.
TGreyPicture PageOf(const std::vector<std::uint8_t>& pdf, int dpi) {
    TScratchFolder folder;
    const std::string path = folder.Path("page.pdf");
    WriteFile(path, pdf);
    return PdfPage(path, dpi);
}

struct TTextCase {
    unsigned align;
    int escapement;
};

class PdfText : public ::testing::TestWithParam<TTextCase> {};

// An opaque text's background covers the box the raster surface fills, in its colour, for
// every alignment and quarter turn.
TEST_P(PdfText, BackgroundBoxAsOnTheRasterSurface) {
    const TTextCase& c = GetParam();
    const auto draw = [&](TSurface& surface) {
        surface.SetTextAlign(c.align);
        surface.SetBkColor(TColor{128, 128, 128});
        surface.TextOut(60, 50, "   ", TFontSpec{"Arial", 17, c.escapement}); // no glyphs
    };
    TGreyPicture raster{120, 100, std::vector<std::uint8_t>(120 * 100, 255)};
    {
        TRasterSurface surface(TPixelRows{raster.pixels.data(), 120, 120, 100, 1}, 96, 96);
        draw(surface);
    }
    TPdfSurface surface(96, 96);
    draw(surface);
    const TGreyPicture page = PageOf(surface.Document(120, 100, 1, {}), 96);
    ASSERT_EQ(page.width, 120) << "pdftoppm: is poppler-utils installed?";
    EXPECT_EQ(DarkBox(page, 255), DarkBox(raster, 255));
    EXPECT_EQ(page.At(DarkBox(raster, 255)[0], DarkBox(raster, 255)[1]), 128);
}

INSTANTIATE_TEST_SUITE_P(Alignments, PdfText,
                         ::testing::Values(TTextCase{TA_LEFT | TA_TOP, 0},
                                           TTextCase{TA_CENTER | TA_BASELINE, 0},
                                           TTextCase{TA_RIGHT | TA_BOTTOM, 900},
                                           TTextCase{TA_CENTER | TA_TOP, 1800},
                                           TTextCase{TA_LEFT | TA_BASELINE, 2700}));

// The same drawing gives the same bytes; a time becomes the creation date in UTC, and the
// document keeps its length either way.
TEST(PdfSurface, CreationDateOnlyWhenGiven) {
    TLLBarcode barcode;
    barcode.Params.CodeType = UPC_A;
    barcode.Params.SetCaption("03600029145");
    const TDrawFunction draw = [&](TSurface& surface, int x, int y) {
        TDrawnSize size;
        barcode.DrawBarcode(surface, x, y, size);
        return size;
    };
    const std::string plain = Text(BarcodePdfBytes(draw, 2, 1, 96, {}));
    EXPECT_EQ(Text(BarcodePdfBytes(draw, 2, 1, 96, {})), plain);
    EXPECT_PRED_FORMAT2(::testing::IsNotSubstring, "/CreationDate", plain);
    EXPECT_PRED_FORMAT2(::testing::IsSubstring, "/Creator (Varimark)", plain);
    for (const auto& [seconds, date] :
         {std::pair{0LL, "D:19700101000000Z"}, std::pair{1700000000LL, "D:20231114221320Z"},
          std::pair{253402300799LL, "D:99991231235959Z"}}) {
        const std::string dated = Text(BarcodePdfBytes(draw, 2, 1, 96, seconds));
        EXPECT_PRED_FORMAT2(::testing::IsSubstring, std::string("/CreationDate (") + date + ")",
                            dated)
            << seconds;
        EXPECT_EQ(dated.size(), plain.size());
    }
    EXPECT_THROW(BarcodePdfBytes(draw, 2, 0, 96, {}), std::exception); // factor below 1
    EXPECT_THROW(BarcodePdfBytes(draw, 2, 1000, 96, {}), EPicture);    // too large
}

} // namespace
