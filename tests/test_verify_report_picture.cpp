// The verify report picture: a hand-made ten-scan report drawn as SVG and PNG, each mark
// where the layout puts it, and varimark-cli verify --report.
#include "CliRunner.h"
#include "export/Bitmap.h"
#include "export/FileWriter.h"
#include "export/PngWriter.h"
#include "varimark/verify.h"
#include "verify/PictureReader.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

using namespace varimark;

namespace {

// An EAN-13 drawn at 600 dpi: 937 x 679 pixels, shown at its own size (it fits 1000 x 700).
const std::vector<std::uint8_t>& Picture() {
    static const std::vector<std::uint8_t> png = [] {
        Symbol symbol;
        symbol.type = Type::EAN_13;
        symbol.text = "400638133393";
        PictureOptions options;
        options.dpi = 600;
        return Render(symbol, options);
    }();
    return png;
}

// Ten scans across the picture at y = 100, 150, ... 550, each measured over samples 60..876
// of its 937; scans 4 and 9 grade F, scan 7 D (red), scan 6 C (green, the lowest passing).
// Scan 4, the first of the lowest, carries the profile: 80 % outside 100..836, bars of
// 10 % ten samples wide within, Rmax 80, Rmin 10, the threshold 45, ECmin at 405 and the
// worst defect at 600.
VerifyReport HandMade() {
    VerifyReport r;
    r.found = true;
    r.gradeText = "2.1/06/660";
    r.letter = 'C';
    r.data = std::string("0112345\x1D") + "10AB";
    r.identifier = "]C1";
    r.type = Type::CODE128_B;
    r.decoded = true;
    r.dpi = 600;
    const int grades[10] = {4, 4, 3, 0, 4, 2, 1, 4, 0, 3};
    for (int i = 0; i < 10; ++i) {
        ProfileReport p;
        p.grade = grades[i];
        p.line = {0, 100.0 + 50 * i, 1, 0, 937};
        p.measuredFirst = 60;
        p.measuredLast = 876;
        r.profiles.push_back(p);
    }
    ProfileReport& p = r.profiles[3];
    for (int j = 0; j < 937; ++j)
        p.reflectance.push_back(j >= 100 && j < 836 && (j - 100) / 10 % 2 == 0 ? 10 : 80);
    for (int e = 100; e <= 830; e += 10) p.edges.push_back(e - 0.5);
    p.rmax = 80, p.rmin = 10, p.threshold = 45;
    p.minEdgeContrast = 30, p.minEdgeContrastAt = 405;
    p.defects = 0.28, p.defectAt = 600;
    p.failure = "no check character";
    return r;
}

// Where the layout puts things (see verify/VerifyReportPicture.cpp), by hand:
// width max(2 (16 + 20) + 937, 2 x 16 + 56 + 600 + 120) = 1009; the picture at (36, 56);
// its bottom pad ends at 56 + 679 + 20 = 755; the plot from y = 755 + 3 x 20 = 815 to 1115,
// x = 72 .. 1009 - 16 - 120 = 873; height 1115 + 2 x 20 + 16 = 1171.
// A picture point (x, y) is at (36 + x + 0.5, 56 + y + 0.5): scan 4 (y 250) runs from
// (96.5, 306.5) to (912.5, 306.5). Reflectance R lies at y = 815.5 + 3 (100 - R): Rmax 80
// at 875.5, Rmin 10 at 1085.5, the threshold 45 at 980.5. The plot shows samples 60 - 41 = 19 to
// 876 + 41 = 917 (41 = ceil(816 / 20)): sample s at x = 72 + (s - 19) 801 / 898, ECmin
// (405) at 416.31, the defect (600) at 590.24.
constexpr int kWidth = 1009, kHeight = 1171;

struct TMark {
    const char* id;
    const char* attribute;
    double value;
};
constexpr TMark kMarks[] = {
    {"scan4", "x1", 96.5},      {"scan4", "y1", 306.5},  {"scan4", "x2", 912.5},
    {"scan1", "y1", 156.5},     {"rmax", "y1", 875.5},   {"rmin", "y1", 1085.5},
    {"threshold", "y2", 980.5}, {"ecmin", "x1", 416.31}, {"defect", "x1", 590.24},
};

std::string Drawn(Format format) {
    const std::vector<std::uint8_t> bytes =
        VerifyReportPicture(Picture().data(), Picture().size(), HandMade(), format);
    return {bytes.begin(), bytes.end()};
}

TEST(VerifyReportSvg, IsValidXmlWithTheScansAndMarksInPlace) {
    const std::string svg = Drawn(Format::Svg);
    TScratchFolder folder;
    const std::string path = folder.Path("report.svg");
    WriteFileReplacing(path, svg);
    EXPECT_EQ(std::system(("xmllint --noout " + path).c_str()), 0);
    EXPECT_NE(svg.find("width=\"1009\" height=\"1171\""), std::string::npos);

    // Every scan drawn, red exactly where it grades below C.
    const std::regex scan("<line id=\"scan([0-9]+)\"[^>]* stroke=\"(#[0-9a-f]{6})\"");
    std::string red;
    int scans = 0;
    for (std::sregex_iterator m(svg.begin(), svg.end(), scan), end; m != end; ++m, ++scans)
        if ((*m)[2] == "#dc0000")
            red += (*m)[1].str() + " ";
        else
            EXPECT_EQ((*m)[2], "#00a000") << "scan " << (*m)[1];
    EXPECT_EQ(scans, 10);
    EXPECT_EQ(red, "4 7 9 ");

    for (const TMark& mark : kMarks) {
        std::smatch m;
        const std::regex attribute("id=\"" + std::string(mark.id) + "\"[^>]* " + mark.attribute +
                                   "=\"([-0-9.]+)\"");
        ASSERT_TRUE(std::regex_search(svg, m, attribute)) << mark.id;
        EXPECT_NEAR(std::stod(m[1]), mark.value, 0.006) << mark.id << " " << mark.attribute;
    }
    for (const char* text :
         {">Scan 4 of 10, the lowest: grade F: no check character<", "]C1 0112345&lt;GS&gt;10AB<",
          ">Rmax 80.0 %<", ">Rmin 10.0 %<", ">GT 45.0 %<", ">ECmin 30.0 %<", ">Defects 0.28<"})
        EXPECT_NE(svg.find(text), std::string::npos) << text;
}

// The PNG in colour, as libpng reads it.
struct TRgb {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgb;
    std::string At(int x, int y) const {
        const std::uint8_t* p = &rgb[3 * (static_cast<std::size_t>(y) * width + x)];
        return std::to_string(p[0]) + "," + std::to_string(p[1]) + "," + std::to_string(p[2]);
    }
};

TRgb DecodedRgb(const std::string& bytes) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    TRgb out;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return out;
    image.format = PNG_FORMAT_RGB;
    out.rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, out.rgb.data(), 0, nullptr)) return out;
    out.width = static_cast<int>(image.width), out.height = static_cast<int>(image.height);
    return out;
}

TEST(VerifyReportPng, HasTheLayoutsSizeAndTheScansColours) {
    const std::string png = Drawn(Format::Png);
    const TGreyPicture grey =
        ReadGreyPicture({reinterpret_cast<const std::uint8_t*>(png.data()), png.size()});
    EXPECT_EQ(grey.width, kWidth);
    EXPECT_EQ(grey.height, kHeight);
    const TRgb rgb = DecodedRgb(png);
    ASSERT_EQ(rgb.width, kWidth);
    // Pixel rows hold the centres y + 0.5: scan k's line (y 56 + 50 + 50 k + 0.5) covers
    // row 106 + 50 k whole.
    struct TPixel {
        int x, y;
        const char* rgb;
    } const kPixels[] = {
        {500, 156, "0,160,0"},  // scan 1
        {500, 306, "220,0,0"},  // scan 4, F
        {300, 406, "0,160,0"},  // scan 6, C
        {700, 456, "220,0,0"},  // scan 7, D
        {500, 875, "0,90,200"}, // Rmax
        {200, 980, "230,120,0"} // the threshold
    };
    for (const TPixel& p : kPixels) EXPECT_EQ(rgb.At(p.x, p.y), p.rgb) << p.x << "," << p.y;
}

// Reports that no grading gives still draw: valid XML, no coordinate that is no number.
TEST(VerifyReportPicture, DrawsOddReports) {
    const auto profile = [](auto change) {
        VerifyReport r = HandMade();
        change(r.profiles[3]);
        return r;
    };
    const VerifyReport kReports[] = {
        VerifyReport{}, // nothing found: the picture and the reason
        profile([](ProfileReport& p) {
            p.line = {NAN, 1e300, INFINITY, 0, -5};
        }),
        profile([](ProfileReport& p) { p.measuredFirst = 5000, p.measuredLast = 9000; }),
        profile([](ProfileReport& p) { p.reflectance.assign(1, NAN); }),
        profile([](ProfileReport& p) { p.reflectance.assign(100000, 50); }),
        profile([](ProfileReport& p) {
            p.edges = {NAN, -1, 1e9};
            p.minEdgeContrastAt = INFINITY, p.defectAt = 1e9, p.rmax = NAN;
        }),
    };
    TScratchFolder folder;
    const std::string path = folder.Path("report.svg");
    for (const VerifyReport& report : kReports) {
        const std::vector<std::uint8_t> svg =
            VerifyReportPicture(Picture().data(), Picture().size(), report, Format::Svg);
        WriteFileReplacing(path, svg);
        EXPECT_EQ(std::system(("xmllint --noout " + path).c_str()), 0);
        const std::string text(svg.begin(), svg.end());
        for (std::size_t at = text.find("=\""); at != std::string::npos;
             at = text.find("=\"", at + 1)) {
            const std::string value = text.substr(at + 2, text.find('"', at + 2) - at - 2);
            if (value.starts_with("data:")) continue;
            EXPECT_EQ(value.find("nan"), std::string::npos) << value;
            EXPECT_EQ(value.find("inf"), std::string::npos) << value;
        }
        EXPECT_FALSE(
            VerifyReportPicture(Picture().data(), Picture().size(), report, Format::Png).empty());
    }
}

TEST(VerifyReportPicture, RefusesOtherFormats) {
    TScratchFolder folder;
    const std::string picture = folder.Path("label.png");
    WriteFileReplacing(picture, Picture());
    for (const char* name : {"report.jpg", "report.pdf", "report", "report.svg.txt"}) {
        try {
            SaveVerifyReportPicture(picture, HandMade(), folder.Path(name));
            ADD_FAILURE() << name << " was taken";
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find("must end in .svg or .png"), std::string::npos)
                << e.what();
        }
        EXPECT_FALSE(FileExists(folder.Path(name))) << name;
    }
    EXPECT_THROW(VerifyReportPicture(Picture().data(), Picture().size(), HandMade(), Format::Pdf),
                 Error);
    SaveVerifyReportPicture(picture, HandMade(), folder.Path("REPORT.SVG"));
    EXPECT_EQ(ReadWholeFile(folder.Path("REPORT.SVG")), Drawn(Format::Svg));
}

TEST(VerifyReportCli, WritesTheReportAndSaysWhenNothingIsFound) {
    TScratchFolder folder;
    const std::string label = folder.Path("label.png"), blank = folder.Path("blank.png");
    const std::string svg = folder.Path("r.svg"), png = folder.Path("r.PNG");
    WriteFileReplacing(label, Picture());
    WriteFileReplacing(blank, PngFileBytes(TBitmap(40, 20, pf24bit))); // white
    struct TRow {
        std::vector<std::string> args;
        int status;
        const char* said;    // on standard output when the status is 0, else on standard error
        bool table;          // standard output holds the grade
        std::string written; // the report file, "" for none
        const char* starts;  // its first bytes
    };
    const TRow kRows[] = {
        {{"--dpi", "600", "--report", svg, label}, 0, "passed", true, svg, "<?xml"},
        {{"--report", png, "--dpi", "600", label}, 0, "passed", true, png, "\x89PNG"},
        {{"--report", folder.Path("r.jpg"), label},
         2,
         "must end in .svg or .png, not '.jpg'",
         false,
         "",
         ""},
        {{"--report", folder.Path("r"), folder.Path("missing.png")},
         2,
         "must end in .svg or .png",
         false,
         "",
         ""},
        {{"--report", folder.Path("no/r.svg"), "--dpi", "600", label},
         1,
         "Cannot create file",
         true,
         "",
         ""},
        {{"--dpi", "600", "--min-grade", "b", label}, 0, "at least 2.5 wanted", true, "", ""},
        {{label}, 0, "relative to X (give --dpi for a measured grade)", true, "", ""},
        {{blank}, 1, "blank.png: no barcode found: ", false, "", ""},
        {{"--report", svg, blank}, 1, "no barcode found", false, svg, "<?xml"},
    };
    for (const TRow& row : kRows) {
        std::vector<std::string> args{"verify"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        const RunResult r = RunCli(args);
        EXPECT_EQ(r.status, row.status) << row.said << r.err;
        EXPECT_NE((row.status == 0 ? r.out : r.err).find(row.said), std::string::npos)
            << r.out << r.err;
        EXPECT_EQ(r.out.find("Symbol grade") != std::string::npos, row.table) << row.said;
        if (!row.written.empty()) {
            EXPECT_EQ(ReadWholeFile(row.written).rfind(row.starts, 0), 0u) << row.written;
            std::remove(row.written.c_str());
        }
    }
    EXPECT_FALSE(FileExists(folder.Path("r.jpg")));
    EXPECT_FALSE(FileExists(folder.Path("r")));
}

} // namespace
