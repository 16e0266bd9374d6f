// End-to-end tests of "varimark-cli render": picture sizes, the three formats, refused
// values, and barcodes decoded by an independent reader (zbarimg).
#include "CliRunner.h"
#include "FileTesting.h"
#include "varimark/varimark.h"

#include <QImage>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace varimark;

namespace {

// A file name of this test process (ctest runs tests side by side).
std::string OutPath(const std::string& name) {
    return ::testing::TempDir() + "vm_render_" + std::to_string(getpid()) + "_" + name;
}

// The lines zbarimg prints for a picture, sorted ("EAN-13:4006381333931", ...).
std::set<std::string> Decode(const std::string& path) {
    const std::string command = "zbarimg -q -Supca.enable -Supce.enable -Sean2.enable "
                                "-Sean5.enable '" +
                                path + "' 2>/dev/null";
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return {};
    std::set<std::string> lines;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        std::string line(buffer);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        lines.insert(line);
    }
    pclose(pipe);
    return lines;
}

struct ScanCase {
    std::vector<std::string> args; // type, add-on ...
    std::string text;
    std::set<std::string> decoded;
};

class RenderScan : public ::testing::TestWithParam<ScanCase> {};

// Every scannable type, in every rotation, decodes to the encoded data.
TEST_P(RenderScan, DecodesInEveryRotation) {
    const ScanCase& c = GetParam();
    for (const char* rotate : {"0", "90", "180", "270"}) {
        const std::string path = OutPath("scan.png");
        std::vector<std::string> args{"render", "--scale", "3", "--rotate", rotate, "-o", path};
        args.insert(args.end(), c.args.begin(), c.args.end());
        args.push_back(c.text);
        const RunResult r = RunCli(args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(Decode(path), c.decoded) << c.text << " rotated " << rotate << " in " << path;
        std::remove(path.c_str());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Scannable, RenderScan,
    ::testing::Values(
        ScanCase{{"--type", "EAN_8"}, "1234567", {"EAN-8:12345670"}},
        ScanCase{{"--type", "EAN_13"}, "400638133393", {"EAN-13:4006381333931"}},
        ScanCase{{"--type", "EAN_13", "--addon", "12"},
                 "400638133393",
                 {"EAN-13:4006381333931", "EAN-2:12"}},
        ScanCase{{"--type", "EAN_13", "--addon", "52495"},
                 "978020137962",
                 {"EAN-13:9780201379624", "EAN-5:52495"}},
        ScanCase{{"--type", "UPC_A", "--addon", "12345"},
                 "12345678901",
                 {"UPC-A:123456789012", "EAN-5:12345"}},
        ScanCase{{"--type", "UPC_E"}, "123456", {"UPC-E:01234565"}},
        ScanCase{{"--type", "CODE39", "--ratio", "2"}, "ABC-1 $/+%", {"CODE-39:ABC-1 $/+%"}},
        ScanCase{{"--type", "CODE25i"}, "1234567", {"I2/5:12345670"}},
        ScanCase{{"--type", "CODE25iP"}, "1234567890123", {"I2/5:12345678901236"}},
        ScanCase{{"--type", "Codabar"}, "B12-34$D", {"Codabar:B12-34$D"}},
        ScanCase{{"--type", "CODE128_A"}, "HELLO 42", {"CODE-128:HELLO 42"}},
        ScanCase{{"--type", "CODE128_B"}, "Hello, World!", {"CODE-128:Hello, World!"}},
        ScanCase{{"--type", "CODE128_C"}, "12345", {"CODE-128:12345"}}),
    [](const ::testing::TestParamInfo<ScanCase>& row) {
        std::string name = row.param.args[1] + (row.param.args.size() > 2 ? "_addon" : "");
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        return name + "_" + std::to_string(row.index);
    });

QSize PngSize(const std::vector<std::string>& extra) {
    const std::string path = OutPath("size.png");
    std::vector<std::string> args{"render", "--type", "UPC_A", "-o", path};
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back("12345678901");
    const RunResult r = RunCli(args);
    EXPECT_EQ(r.status, 0) << r.err;
    const QSize size = QImage(QString::fromStdString(path)).size();
    std::remove(path.c_str());
    return size;
}

// The UPC-A layout is 116 x 83 at 96 dots per inch (a 13-pixel text line under 70 rows).
TEST(CliRender, PictureSizes) {
    EXPECT_EQ(PngSize({}), QSize(120, 87));
    EXPECT_EQ(PngSize({"--scale", "3"}), QSize(360, 261));
    EXPECT_EQ(PngSize({"--rotate", "90"}), QSize(87, 120));
    EXPECT_EQ(PngSize({"--margin", "0", "--rotate", "270", "--scale", "2"}), QSize(166, 232));
    EXPECT_EQ(PngSize({"--dpi", "600", "--no-text"}), QSize(925, 599)); // 921 x (594 + 1)
}

// A scale is a whole magnification: the bars of --scale 3 are the bars of --scale 1,
// each pixel three times as wide and high.
TEST(CliRender, ScaleMagnifiesBarsExactly) {
    const std::string one = OutPath("one.png"), three = OutPath("three.png");
    ASSERT_EQ(RunCli({"render", "--type", "CODE39", "-o", one, "SCALE"}).status, 0);
    ASSERT_EQ(RunCli({"render", "--type", "CODE39", "--scale", "3", "-o", three, "SCALE"}).status,
              0);
    const QImage small(QString::fromStdString(one)), large(QString::fromStdString(three));
    ASSERT_EQ(large.size(), small.size() * 3);
    for (int y = 0; y < 40; ++y) // the bar rows, above the text
        for (int x = 0; x < large.width(); ++x)
            ASSERT_EQ(large.pixel(x, y), small.pixel(x / 3, y / 3)) << x << "," << y;
    std::remove(one.c_str());
    std::remove(three.c_str());
}

TEST(CliRender, SvgHasOneRectPerBarAndTheTextPieces) {
    const std::string path = OutPath("u.svg");
    const RunResult r =
        RunCli({"render", "--type", "UPC_A", "--scale", "2", "-o", path, "12345678901"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string svg = ReadWholeFile(path);
    EXPECT_NE(svg.find("width=\"240\" height=\"174\" viewBox=\"0 0 120 87\""), std::string::npos);
    const std::regex rect("<rect x=\"(\\d+)\" y=\"(\\d+)\" width=\"(\\d+)\" height=\"(\\d+)\"");
    const auto rects =
        std::distance(std::sregex_iterator(svg.begin(), svg.end(), rect), std::sregex_iterator());
    EXPECT_EQ(rects, 1 + 30); // the white page and the 30 bars of UPC-A
    const std::regex text(">(\\d+)</text>");
    std::vector<std::string> pieces;
    for (auto it = std::sregex_iterator(svg.begin(), svg.end(), text); it != std::sregex_iterator();
         ++it)
        pieces.push_back((*it)[1]);
    EXPECT_EQ(pieces, (std::vector<std::string>{"1", "23456", "78901", "2"}));
    std::remove(path.c_str());
}

// The bitmap file is the control's magnified picture; PNG holds the very same pixels.
TEST(CliRender, BmpAndPngCarryTheSamePixels) {
    for (const bool mono : {false, true}) {
        const std::string bmp = OutPath("same.bmp"), png = OutPath("same.png");
        for (const std::string& path : {bmp, png}) {
            std::vector<std::string> args{"render", "--type", "EAN_13", "--scale", "2", "-o", path};
            if (mono) args.push_back("--monochrome");
            args.push_back("400638133393");
            const RunResult r = RunCli(args);
            ASSERT_EQ(r.status, 0) << r.err;
        }
        const std::string file = ReadWholeFile(bmp);
        ASSERT_GT(file.size(), 54u);
        EXPECT_EQ(file.substr(0, 2), "BM");
        EXPECT_EQ(static_cast<unsigned char>(file[28]), mono ? 1 : 24); // bits per pixel
        const QImage fromBmp(QString::fromStdString(bmp)), fromPng(QString::fromStdString(png));
        ASSERT_EQ(fromBmp.size(), QSize(240, 174)); // (116 + 4) x (83 + 4), twice
        EXPECT_EQ(fromBmp.convertToFormat(QImage::Format_RGB32),
                  fromPng.convertToFormat(QImage::Format_RGB32));
        EXPECT_EQ(Decode(bmp), (std::set<std::string>{"EAN-13:4006381333931"}));
        std::remove(bmp.c_str());
        std::remove(png.c_str());
    }
}

// What an independent reader (ImageMagick's identify) makes of the bitmap files.
TEST(CliRender, BmpOpensInAnIndependentReader) {
    const std::string colour = OutPath("colour.bmp"), mono = OutPath("mono.bmp");
    ASSERT_EQ(RunCli({"render", "--type", "UPC_A", "-o", colour, "12345678901"}).status, 0);
    ASSERT_EQ(
        RunCli({"render", "--type", "UPC_A", "--monochrome", "-o", mono, "12345678901"}).status, 0);
    const std::string command =
        "identify -format '%m %w %h %z\\n' '" + colour + "' '" + mono + "' 2>&1";
    EXPECT_EQ(RunShell(command).second,
              "BMP3 120 87 8\nBMP3 120 87 1\n"); // 8 bits per channel; 1 bit
    std::remove(colour.c_str());
    std::remove(mono.c_str());
}

// Every format, recognised by its signature; the raster ones decode as the barcode.
TEST(CliRender, WritesEveryFormat) {
    const std::pair<const char*, std::string> formats[] = {{"bmp", "BM"},
                                                           {"gif", "GIF87a"},
                                                           {"tif", std::string("II*\0", 4)},
                                                           {"jpg", "\xFF\xD8\xFF"},
                                                           {"png", "\x89PNG"},
                                                           {"svg", "<?xml"},
                                                           {"pdf", "%PDF-"},
                                                           {"emf", std::string("\x01\0\0\0", 4)}};
    for (const auto& [extension, signature] : formats) {
        const std::string path = OutPath(std::string("every.") + extension);
        const RunResult r =
            RunCli({"render", "--type", "EAN_13", "--scale", "2", "-o", path, "400638133393"});
        ASSERT_EQ(r.status, 0) << extension << ": " << r.err;
        EXPECT_EQ(ReadWholeFile(path).substr(0, signature.size()), signature) << extension;
        if (std::string("bmp gif tif jpg png").find(extension) != std::string::npos) {
            EXPECT_EQ(Decode(path), (std::set<std::string>{"EAN-13:4006381333931"})) << extension;
        }
        std::remove(path.c_str());
    }
}

TEST(CliRender, PdfIsOnePage) {
    const std::string path = OutPath("u.pdf");
    const RunResult r =
        RunCli({"render", "--type", "UPC_A", "--dpi", "300", "-o", path, "12345678901"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string pdf = ReadWholeFile(path);
    EXPECT_EQ(pdf.rfind("%PDF-", 0), 0u);
    EXPECT_NE(pdf.find("/Count 1"), std::string::npos);
    EXPECT_NE(pdf.find("%%EOF"), std::string::npos);
    std::remove(path.c_str());
}

struct RefusalCase {
    std::vector<std::string> args;
    int status;
    std::string message; // the first line of standard error
};

void PrintTo(const RefusalCase& c, std::ostream* os) {
    PrintArgs(c.args, os);
}

class RenderRefusal : public ::testing::TestWithParam<RefusalCase> {};

// A refused render writes nothing and leaves an existing file as it was.
TEST_P(RenderRefusal, WritesNothing) {
    const RefusalCase& c = GetParam();
    for (const std::string name : {"refused.png", "refused.svg", "refused.pdf"}) {
        const std::string path = OutPath(name);
        { std::ofstream(path) << "old content"; }
        std::vector<std::string> args{"render", "-o", path};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const RunResult r = RunCli(args);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_EQ(r.err.substr(0, r.err.find('\n')), c.message);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(ReadWholeFile(path), "old content");
        std::remove(path.c_str());
    }
}

const std::string kModuleRange = "Bar_SC_Size must be in the range 0..9!";
const std::string kRotateRange = "Bar_Rotate must be in the range rotate_000..rotate_270!";
const std::string kHeightRange = "Bar_HeightPercent must be in the range 20..200!";
const std::string kFontRange = "Bar_Fontscaling must be in the range 20..200!";
const std::string kFactorRange = "Barcode: Factor for \"MagnifyBy\" must be >=1";

// A value out of range is status 1 whatever the option, checked as given (never cut to
// a byte or an int first); a malformed command line is status 2.
INSTANTIATE_TEST_SUITE_P(
    Refused, RenderRefusal,
    ::testing::Values(
        RefusalCase{{"--bar-height", "19", "x"}, 1, kHeightRange},
        RefusalCase{{"--bar-height", "4294967316", "x"}, 1, kHeightRange}, // 2^32 + 20
        RefusalCase{{"--font-height", "201", "x"}, 1, kFontRange},
        RefusalCase{{"--font-height", "-99999999999", "x"}, 1, kFontRange},
        RefusalCase{{"--module", "10", "x"}, 1, kModuleRange},
        RefusalCase{{"--module", "256", "x"}, 1, kModuleRange},
        RefusalCase{{"--module", "99999999999999999999999", "x"}, 1, kModuleRange},
        RefusalCase{{"--rotate", "360", "x"}, 1, kRotateRange},
        RefusalCase{{"--rotate", "45", "x"}, 1, "varimark-cli: --rotate takes 0, 90, 180 or 270"},
        RefusalCase{{"--type", "CODE128_B", "a\tb"},
                    1,
                    "varimark-cli: character 2 (U+0009) is not one Code 128 B can carry"},
        RefusalCase{{"--type", "CODE128_B", "--repair", "a\tb"},
                    1,
                    "BarcoLL: Code128 error: character 2 (U+0009) is not one Code 128 B can carry"},
        RefusalCase{{"--type", "EAN_13", "4006381333930"},
                    1,
                    "varimark-cli: check digit 0 is wrong: 1 expected"},
        RefusalCase{{std::string(51, 'x')}, 1, "String exceeds maximum length"},
        RefusalCase{{"--esc", "AB\\x00CD"},
                    1,
                    "varimark-cli: the text holds a NUL byte (\\x00), which no barcode can carry"},
        RefusalCase{{"--scale", "0", "x"}, 1, kFactorRange},
        RefusalCase{
            {"--scale", "99999999999", "x"}, 1, "Picture too large: --scale is at most 65535"},
        RefusalCase{{"--scale", "1000", "x"},
                    1,
                    "Picture too large: 67000 x 90000 pixels (at most 65535 on a side and 256 "
                    "million in all)"},
        RefusalCase{{"--dpi", "2000000000", "x"}, 1, "Picture too large: --dpi is at most 100000"},
        RefusalCase{{"--dpi", "0", "x"}, 1, "varimark-cli: --dpi must be at least 1"},
        RefusalCase{{"--margin", "-1", "x"}, 1, "varimark-cli: --margin must not be negative"},
        RefusalCase{{"--margin", "65536", "x"}, 1, "Picture too large: --margin is at most 65535"},
        RefusalCase{{"--batch", "-", "--jobs", "0"}, 1, "varimark-cli: --jobs must be at least 1"},
        RefusalCase{
            {"--batch", "-", "--jobs", "99999999999"}, 1, "varimark-cli: --jobs is at most 1024"},
        RefusalCase{
            {"--rotate", "45", "--bogus", "x"}, 2, "varimark-cli: unknown option '--bogus'"},
        RefusalCase{
            {"--module", "x"}, 2, "varimark-cli: option '--module' needs a whole number, not 'x'"},
        RefusalCase{{"x", "--dpi"}, 2, "varimark-cli: option '--dpi' needs a value"},
        RefusalCase{{"-o", "-", "x"}, 2, "varimark-cli: -o - needs --format EXT"}, // the last -o
        RefusalCase{
            {"-o", "-", "--format", "xyz", "x"},
            2,
            "varimark-cli: unknown --format 'xyz': use bmp, gif, tif, jpg, emf, png, svg or pdf"},
        RefusalCase{{"--scale", "two", "x"},
                    2,
                    "varimark-cli: option '--scale' needs a whole number, not 'two'"}));

TEST(CliRender, UnsupportedExtensionIsAUsageError) {
    const std::string path = OutPath("label.xyz");
    const RunResult r = RunCli({"render", "-o", path, "x"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("use .bmp, .gif, .tif, .jpg, .emf, .png, .svg or .pdf"), std::string::npos)
        << r.err;
    EXPECT_FALSE(FileExists(path));
    EXPECT_EQ(RunCli({"render", "x"}).status, 2); // no -o
}

// A folder and files the user may not write: a clear error, the old file intact, nothing
// left beside it (a file the user may write is written over in place). Root may write
// anywhere, so as root the program runs as the user nobody.
TEST(CliRender, ReadOnlyFolderKeepsTheOldFile) {
    const TScratchFolder scratch;
    chmod(scratch.Dir().c_str(), 0755); // the user nobody goes through it
    const std::string folder = scratch.Path("readonly");
    mkdir(folder.c_str(), 0755);
    chmod(folder.c_str(), 0755);
    for (const char* name : {"label.bmp", "label.gif", "label.tif", "label.jpg", "label.emf",
                             "label.png", "label.svg", "label.pdf"}) {
        const std::string path = folder + "/" + name;
        { std::ofstream(path) << "old picture"; }
        chmod(path.c_str(), 0444);
    }
    chmod(folder.c_str(), 0555);
    for (const char* name : {"label.bmp", "label.gif", "label.tif", "label.jpg", "label.emf",
                             "label.png", "label.svg", "label.pdf"}) {
        const std::string path = folder + "/" + name;
        const RunResult r = RunCli({"render", "--type", "UPC_A", "-o", path, "12345678901"}, "",
                                   geteuid() == 0 ? 65534 : -1);
        if (r.status == 127) {
            chmod(folder.c_str(), 0755);
            GTEST_SKIP() << "the user nobody cannot run the program from this build folder";
        }
        EXPECT_EQ(r.status, 1) << name;
        EXPECT_EQ(r.err, "Cannot create file " + path + ": Permission denied\n");
        EXPECT_EQ(ReadWholeFile(path), "old picture");
    }
    chmod(folder.c_str(), 0755);
    EXPECT_EQ(std::system(("test $(ls -A '" + folder + "' | wc -l) -eq 8").c_str()), 0);
}

TEST(CliRender, UnwritableFolderIsReported) {
    const RunResult r = RunCli({"render", "-o", "/nonexistent/dir/label.png", "x"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Cannot create file /nonexistent/dir/label.png: No such file or directory\n");
}

// --quiet-zones widens even a given margin to the symbology's minimum: Code 39 needs 10
// modules (10 pixels at 96 dots per inch, one of them left by the drawing) where --margin 2
// gives 2 pixels; a wider margin stays.
TEST(CliRender, QuietZonesWidenAGivenMargin) {
    const std::string path = OutPath("zones.png");
    const auto size = [&path](const std::vector<std::string>& margin) {
        std::vector<std::string> args{"render", "--type", "CODE39", "-o", path, "ZONES"};
        args.insert(args.end(), margin.begin(), margin.end());
        EXPECT_EQ(RunCli(args).status, 0);
        return QImage(QString::fromStdString(path)).size();
    };
    const QSize fixed = size({"--margin", "2"});
    ASSERT_FALSE(fixed.isEmpty());
    EXPECT_EQ(size({"--margin", "2", "--quiet-zones"}), fixed + QSize(16, 16));
    EXPECT_EQ(size({"--margin", "30", "--quiet-zones"}), fixed + QSize(56, 56));
    std::remove(path.c_str());
}

// "-o -", "-o /dev/stdout" (a pipe here) and a name without an extension, each with
// --format, and the library's Render, hold exactly the bytes "-o FILE.EXT" writes into the file.
TEST(CliRender, StandardOutputHoldsTheFileBytes) {
    const auto render = [](std::vector<std::string> args) {
        args.insert(args.begin(), "render");
        args.insert(args.end(),
                    {"--type", "EAN_13", "--addon", "12", "--scale", "2", "400638133393"});
        return RunCli(args);
    };
    const std::string bare = OutPath("same");
    for (const std::string format : {"bmp", "gif", "tif", "jpg", "emf", "png", "svg", "pdf"}) {
        const std::string path = OutPath("same." + format);
        const std::string named = format == "png" ? ".PNG" : format;
        ASSERT_EQ(render({"-o", path}).status, 0) << format;
        const std::string expected = ReadWholeFile(path);
        EXPECT_GT(expected.size(), 100u) << format;
        for (const std::string target : {"-", "/dev/stdout"}) {
            const RunResult out = render({"-o", target, "--format", named});
            EXPECT_EQ(out.status, 0) << format << " " << target << ": " << out.err;
            EXPECT_TRUE(out.out == expected && out.err.empty()) << format << " " << target;
        }
        ASSERT_EQ(render({"-o", bare, "--format", named}).status, 0) << format;
        EXPECT_TRUE(ReadWholeFile(bare) == expected) << format;
        // The library's own call gives the same bytes.
        varimark::Symbol symbol;
        symbol.type = varimark::Type::EAN_13, symbol.addon = "12", symbol.text = "400638133393";
        varimark::PictureOptions options;
        options.format = *varimark::FormatFromName(path), options.scale = 2;
        const std::vector<std::uint8_t> library = varimark::Render(symbol, options);
        EXPECT_TRUE(std::string(library.begin(), library.end()) == expected) << format;
        std::remove(path.c_str());
    }
    std::remove(bare.c_str());
}

// The command-line tool is the library alone: Qt is not even loaded.
TEST(CliRender, LoadsNoQt) {
    const auto [status, libraries] = RunShell(std::string("ldd ") + VARIMARK_CLI);
    ASSERT_EQ(status, 0);
    EXPECT_NE(libraries.find("libc.so"), std::string::npos) << libraries;
    EXPECT_EQ(libraries.find("libQt"), std::string::npos) << libraries;
}

// A picture is not thrown at a terminal.
TEST(CliRender, StandardOutputOnATerminalIsRefused) {
    if (std::system("command -v script >/dev/null 2>&1") != 0) GTEST_SKIP() << "no script(1)";
    const auto [status, said] = RunShell(std::string("script -qec '") + VARIMARK_CLI +
                                         " render -o - --format png x' /dev/null");
    EXPECT_EQ(status, 1);
    EXPECT_NE(said.find("varimark-cli: standard output is a terminal"), std::string::npos) << said;
    EXPECT_EQ(said.find("PNG"), std::string::npos);
}

// The same barcode gives the same PDF bytes at any time: no creation date, unless
// SOURCE_DATE_EPOCH gives one.
TEST(CliRender, PdfIsReproducible) {
    const std::string path = OutPath("same.pdf");
    const auto render = [&path](const char* epoch, bool toFile) {
        if (epoch != nullptr) setenv("SOURCE_DATE_EPOCH", epoch, 1);
        const RunResult r =
            RunCli(toFile ? std::vector<std::string>{"render", "-o", path, "1"}
                          : std::vector<std::string>{"render", "-o", "-", "--format", "pdf", "1"});
        unsetenv("SOURCE_DATE_EPOCH");
        return r;
    };
    ASSERT_EQ(render(nullptr, true).status, 0);
    const std::string pdf = ReadWholeFile(path);
    EXPECT_EQ(pdf.find("/CreationDate"), std::string::npos);
    sleep(1); // another second of the clock
    EXPECT_TRUE(render(nullptr, false).out == pdf);
    const RunResult dated = render("0", false);
    EXPECT_NE(dated.out.find("/CreationDate (D:19700101000000Z)"), std::string::npos);
    EXPECT_EQ(dated.out.size(), pdf.size()); // every offset kept
    const RunResult bad = render("1e9", true);
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.err, "SOURCE_DATE_EPOCH must be a number of seconds since 1970 (up to the year "
                       "9999), not '1e9'\n");
    EXPECT_TRUE(ReadWholeFile(path) == pdf); // left as it was
    std::remove(path.c_str());
}

// A huge text line is measured, not overflowed: the refusal shows the real size, which
// doubles with the resolution and is higher than the bars alone.
TEST(CliRender, RefusedSizeIsTheRealOne) {
    const auto refusedSize = [](const std::vector<std::string>& extra) {
        std::vector<std::string> args{
            "render", "--type", "EAN_8", "--margin", "0", "-o", OutPath("huge.png"), "1234567"};
        args.insert(args.end() - 1, extra.begin(), extra.end());
        const RunResult r = RunCli(args);
        EXPECT_EQ(r.status, 1);
        std::smatch m;
        if (!std::regex_match(r.err, m, std::regex("Picture too large: (-?\\d+) x (-?\\d+) .*\n")))
            return ADD_FAILURE() << r.err, QSize();
        return QSize(std::stoi(m[1]), std::stoi(m[2]));
    };
    const QSize half = refusedSize({"--dpi", "40000", "--font-height", "200"});
    const QSize full = refusedSize({"--dpi", "80000", "--font-height", "200"});
    const QSize bars = refusedSize({"--dpi", "80000", "--no-text"});
    EXPECT_FALSE(half.isEmpty());
    EXPECT_NEAR(full.width(), 2 * half.width(), full.width() / 100);
    EXPECT_NEAR(full.height(), 2 * half.height(), full.height() / 100);
    EXPECT_EQ(full.width(), bars.width());
    EXPECT_GT(full.height(), bars.height() + bars.height() / 10);
}

// Memory that runs out is told in words, with what was being done, never as an exception's
// name. (A picture that needs less memory than the limit may also be written.)
TEST(CliRender, OutOfMemoryIsToldInWords) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit";
#endif
    const std::string path = OutPath("oom.bmp");
    const auto [status, said] =
        RunShell("ulimit -v 300000 && exec '" + std::string(VARIMARK_CLI) +
                 "' render --type CODE39 --scale 60 -o '" + path + "' ABCDEFGHIJKLMNOP 2>&1");
    if (status != 0) {
        EXPECT_EQ(status, 1);
        EXPECT_EQ(said, "varimark-cli: Out of memory while drawing the picture\n");
        EXPECT_FALSE(FileExists(path));
    }
    std::remove(path.c_str());
}

} // namespace
