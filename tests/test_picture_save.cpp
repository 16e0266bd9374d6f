// Saving by extension: the names written, every format's picture size as independent
// readers see it, the barcode decoded from every raster format, and failures that leave
// an old file intact.
#include "FileTesting.h"
#include "UpcaBarcode.h"
#include "engine/EOverflow.h"
#include "engine/LLBarcode.h"
#include "export/FileWriter.h"
#include "export/Pixels.h"
#include "render/MagnifiedBitmap.h"
#include "render/PictureSave.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

using namespace varimark;
// The engine's enumerators by their names, as the tables below give them.
using enum btCodeTypes;

namespace {

std::string Folder() {
    static const TScratchFolder scratch; // removed when the test program ends
    return scratch.Dir() + "/";
}

std::string Shell(const std::string& command) {
    return RunShell(command + " 2>/dev/null").second;
}

TEST(PictureSave, ExtensionsAndNames) {
    const std::pair<const char*, const char*> extensions[] = {{"label.TIF", ".tif"},
                                                              {"a.b.JPG", ".jpg"},
                                                              {"dir.v1/label", ""},
                                                              {"label", ""},
                                                              {".bmp", ".bmp"}};
    for (const auto& [name, extension] : extensions)
        EXPECT_EQ(LowerExtension(name), extension) << name;
    EXPECT_FALSE(PictureTypeOf("label.tiff"));
    EXPECT_EQ(PictureTypeOf("LABEL.Svg"), TPictureType::Svg);
}

struct FormatCase {
    const char* name;   // as chosen, and so written
    const char* magick; // identify's format, or "" when it does not read the format
};

class SaveFormat : public ::testing::TestWithParam<FormatCase> {};

// Factor 3 of the 116 x 83 barcode: (116 + 4) x 3 by (83 + 4) x 3 pixels in every format.
TEST_P(SaveFormat, WritesThePictureItsReaderSees) {
    const FormatCase& c = GetParam();
    Upca upca;
    const std::string written = SaveBarcodePicture(upca.Draw(), 2, 3, 96, Folder() + c.name);
    EXPECT_EQ(written, Folder() + c.name);
    ASSERT_TRUE(FileExists(written));
    const std::string file = ReadWholeFile(written);
    const std::vector<std::uint8_t> bytes =
        BarcodePictureBytes(upca.Draw(), 2, 3, 96, *PictureTypeOf(c.name));
    EXPECT_EQ(file, std::string(bytes.begin(), bytes.end()));
    if (*c.magick != '\0') {
        EXPECT_EQ(Shell("identify -format '%m %w %h' '" + written + "'"),
                  std::string(c.magick) + " 360 261");
        EXPECT_EQ(Shell("zbarimg -q -Supca.enable '" + written + "'"), "UPC-A:036000291452\n");
    } else if (std::string(c.name).ends_with(".emf")) {
        EXPECT_EQ(file.substr(40, 4), " EMF");
        const std::string svg = written + ".svg";
        EXPECT_EQ(
            std::system(("emf2svg-conv -i '" + written + "' -o '" + svg + "' 2>/dev/null").c_str()),
            0);
        EXPECT_TRUE(FileExists(svg));
        std::remove(svg.c_str());
    } else {
        EXPECT_NE(file.find("width=\"360\" height=\"261\" viewBox=\"0 0 120 87\""),
                  std::string::npos);
    }
    std::remove(written.c_str());
}

INSTANTIATE_TEST_SUITE_P(
    Formats, SaveFormat,
    ::testing::Values(FormatCase{"label.BMP", "BMP3"}, FormatCase{"label.Gif", "GIF"},
                      FormatCase{"label.TIF", "TIFF"}, FormatCase{"label.JPG", "JPEG"},
                      FormatCase{"label.png", "PNG"}, FormatCase{"label.emf", ""},
                      FormatCase{"label.svg", ""}));

// libjpeg takes at most 65500 pixels a side: a larger JPEG is refused once measured, before
// it is drawn, and nothing is written.
TEST(PictureSave, JpegAtMost65500ASide) {
    const std::string path = Folder() + "wide.jpg";
    const struct {
        TDrawnSize size;
        const char* error; // "" when saved
    } cases[] = {
        {{65500, 1}, ""},
        {{65501, 1}, "Picture too large for JPEG: 65501 x 1 pixels (at most 65500 a side)"},
        {{2, 65535}, "Picture too large for JPEG: 2 x 65535 pixels (at most 65500 a side)"},
    };
    for (const auto& c : cases) {
        std::remove(path.c_str());
        int drawn = 0;
        std::string error;
        try {
            SaveBarcodePicture([&](TSurface&, int, int) { return ++drawn, c.size; }, 0, 1, 96,
                               path);
        } catch (const EPicture& e) {
            error = e.what();
        }
        EXPECT_EQ(error, c.error);
        const bool refused = *c.error != '\0';
        EXPECT_EQ(FileExists(path), !refused) << c.error;
        EXPECT_TRUE(!refused || drawn == 1) << "measured only";
    }
}

// The black-and-white picture is the colour one with every pixel lighter than mid-grey
// white, at widths around whole bytes and words and with rows drawn alike.
TEST(PictureSave, MonochromeIsTheColourPictureCutAtMidGrey) {
    Upca upca;
    for (int rotation : {0, 1})
        for (int factor : {1, 2})
            for (int margin = 0; margin <= 17; margin += (margin < 9 ? 1 : 4)) {
                upca.barcode.Params.SetRotation(static_cast<btCodeRotate>(rotation));
                const TBitmap colour = MagnifiedBitmap(upca.Draw(), margin, false, factor, 96);
                const TBitmap mono = MagnifiedBitmap(upca.Draw(), margin, true, factor, 96);
                ASSERT_EQ(mono.PixelFormat(), pf1bit);
                ASSERT_EQ(mono.Width(), colour.Width());
                ASSERT_EQ(mono.Height(), colour.Height());
                const std::size_t used = (static_cast<std::size_t>(mono.Width()) + 7) / 8;
                for (int y = 0; y < mono.Height(); ++y) {
                    const std::uint8_t* bits = mono.ScanLine(y);
                    const std::uint8_t* bgr = colour.ScanLine(y);
                    for (int x = 0; x < mono.Width(); ++x, bgr += 3) {
                        const bool white = (bgr[2] * 11 + bgr[1] * 16 + bgr[0] * 5) / 32 >= 128;
                        ASSERT_EQ(varimark::PixelIndex(bits, x, 1), white ? 1u : 0u)
                            << "margin " << margin << " factor " << factor << " at " << x << ","
                            << y;
                    }
                    for (std::size_t i = used; i < mono.RowStride(); ++i) ASSERT_EQ(bits[i], 0);
                    if (mono.Width() % 8 != 0) {
                        ASSERT_EQ(bits[used - 1] & (0xFF >> (mono.Width() % 8)), 0);
                    }
                }
            }
}

TEST(PictureSave, UnsupportedExtensionWritesNothing) {
    Upca upca;
    const std::string name = Folder() + "label.xyz";
    try {
        SaveBarcodePicture(upca.Draw(), 2, 1, 96, name);
        ADD_FAILURE() << "saved";
    } catch (const EUnsupportedFileType& e) {
        EXPECT_STREQ(
            e.what(),
            "Unsupported file type \".xyz\": use .bmp, .gif, .tif, .jpg, .emf, .png or .svg");
    }
    EXPECT_FALSE(FileExists(name));
}

// A save that fails leaves the old file as it was and nothing beside it.
TEST(PictureSave, FailureLeavesTheOldFileIntact) {
    for (const char* name : {"old.bmp", "old.gif", "old.tif", "old.jpg", "old.emf", "old.png"}) {
        const std::string path = Folder() + name;
        { std::ofstream(path) << "old picture"; }
        Upca broken;
        broken.barcode.Params.CodeType = CODE128_B;
        broken.barcode.Params.SetCaption("a\tb"); // no Code 128 symbol for a tab
        EXPECT_THROW(SaveBarcodePicture(broken.Draw(), 2, 1, 96, path), EOverflow);
        EXPECT_EQ(ReadWholeFile(path), "old picture") << name;
    }
    // The folder holds only the old files: no temporary or partial file stayed.
    EXPECT_EQ(Shell("ls -A '" + Folder() + "' | grep -v '^old\\.' | wc -l"), "0\n");
}

} // namespace
