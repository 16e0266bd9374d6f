// Grading pictures: our own output grades A in every symbology, turn and resolution, and
// known degradations move the parameters the way their definitions say.
#include "CliRunner.h"
#include "varimark/verify.h"
#include "verify/ScanProfile.h"
#include "verify/SymbolScan.h"
#include "verify/VerifyPicture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

using namespace varimark;

namespace {

constexpr double kMillimetresPerPixelAt600 = 25.4 / 600;

struct TSample {
    Type type;
    const char* text;
    const char* transmitted; // as a scanner sends the data
    const char* identifier;
};

// What a scanner transmits: EAN/UPC every digit with the check digit (UPC-E as number system,
// six digits and check digit), Code 39 without its stars, Code 128 the data characters,
// Interleaved 2 of 5 and MSI every digit, Codabar with its start and stop.
constexpr TSample kSamples[] = {
    {Type::EAN_8, "1234567", "12345670", "]E4"},
    {Type::EAN_13, "400638133393", "4006381333931", "]E0"},
    {Type::UPC_A, "03600029145", "036000291452", "]E0"},
    {Type::UPC_E, "0123457", "00123457", "]E0"},
    {Type::CODE39, "VARIMARK-1", "VARIMARK-1", "]A0"},
    {Type::CODE25i, "123456", "123456", "]I0"},
    {Type::CODE25iP, "1234567", "12345678", "]I0"},
    {Type::CODE128_A, "ABC-12", "ABC-12", "]C0"},
    {Type::CODE128_B, "Hello, 1!", "Hello, 1!", "]C0"},
    {Type::CODE128_C, "123456", "123456", "]C0"},
    {Type::MSI_Plessey, "123456", "1234566", "]M0"},
    {Type::Codabar, "A123B", "A123B", "]F0"},
};

Symbol SymbolOf(const TSample& sample, int rotation = 0) {
    Symbol symbol;
    symbol.type = sample.type;
    symbol.text = sample.text;
    symbol.rotation = rotation;
    return symbol;
}

// Our picture of the symbol as grey levels, drawn at dpi with quiet zones.
TGreyPicture Drawn(const Symbol& symbol, int dpi) {
    PictureOptions options;
    options.dpi = dpi;
    const std::vector<std::uint8_t> png = Render(symbol, options);
    return ReadGreyPicture(png);
}

VerifyReport Graded(const TGreyPicture& picture, double dpi = 600) {
    VerifyOptions options;
    options.dpi = dpi;
    return VerifyGreyPicture(picture, options);
}

const TGreyPicture& Ean13At600() {
    static const TGreyPicture picture = Drawn(SymbolOf(kSamples[1]), 600);
    return picture;
}

double Mean(const VerifyReport& r, double ProfileReport::*field) {
    double sum = 0;
    for (const ProfileReport& p : r.profiles) sum += p.*field;
    return sum / static_cast<double>(r.profiles.size());
}

// --- Our own output

struct TOwnCase {
    TSample sample;
    int dpi, rotation;
    int module = 2; // SC0 at 300 dpi: 3 px, so profiles sample every half pixel
};

void PrintTo(const TOwnCase& c, std::ostream* os) {
    *os << TypeName(c.sample.type) << " SC" << c.module << " at " << c.dpi << " dpi, turned "
        << c.rotation;
}

class OwnOutput : public ::testing::TestWithParam<TOwnCase> {};

TEST_P(OwnOutput, GradesAAndDecodesThePreparedText) {
    const auto [sample, dpi, rotation, module] = GetParam();
    Symbol symbol = SymbolOf(sample, rotation);
    symbol.moduleSize = module;
    const VerifyReport report = Graded(Drawn(symbol, dpi), dpi);
    EXPECT_TRUE(report.decoded) << report.failure;
    EXPECT_EQ(report.data, sample.transmitted);
    EXPECT_EQ(report.identifier, sample.identifier);
    EXPECT_EQ(report.symbolCharacters, Encode(symbol).codeText);
    EXPECT_EQ(report.type, sample.type);
    EXPECT_DOUBLE_EQ(report.grade, 4.0) << VerifyReportJson(report);
    EXPECT_EQ(report.acrossColumns, rotation % 180 != 0);
    EXPECT_TRUE(report.passed);
}

std::vector<TOwnCase> OwnCases() {
    std::vector<TOwnCase> cases;
    for (const TSample& sample : kSamples)
        for (const int dpi : {300, 600})
            for (const int rotation : {0, 90, 180, 270}) cases.push_back({sample, dpi, rotation});
    for (const TSample& sample : kSamples) cases.push_back({sample, 300, 90, 0});
    return cases;
}

std::string OwnCaseName(const ::testing::TestParamInfo<TOwnCase>& c) {
    return std::string(TypeName(c.param.sample.type)) + "_SC" + std::to_string(c.param.module) +
           "_" + std::to_string(c.param.dpi) + "dpi_" + std::to_string(c.param.rotation);
}

INSTANTIATE_TEST_SUITE_P(Verify, OwnOutput, ::testing::ValuesIn(OwnCases()), OwnCaseName);

// --- Known degradations

// Every level moved towards white: level' = 255 - round((255 - level) * factor).
TGreyPicture ContrastCut(TGreyPicture picture, double factor) {
    for (std::uint8_t& level : picture.level)
        level = static_cast<std::uint8_t>(255 - std::lround((255 - level) * factor));
    return picture;
}

TEST(Verify, ContrastCutGradesSymbolContrastAsItsValue) {
    struct TRow {
        double factor;
        double contrast; // bars at level 255 - round(255 * factor), spaces at 100 %
        int contrastGrade, rminGrade, grade;
    };
    // 0.5: bars at level 127, 49.8 %; SC = 50.2 (C: 40 <= SC < 55); Rmin 49.8 <= 50 (A).
    // 0.3: bars at level 178, 69.8 %; SC = 30.2 (D: 20 <= SC < 40); Rmin 69.8 > 50 (F).
    // 0.6: bars at level 102, 40.0 %; SC = 60.0 (B).
    constexpr TRow kRows[] = {{0.5, 50.2, 2, 4, 2}, {0.3, 30.2, 1, 0, 0}, {0.6, 60.0, 3, 4, 3}};
    for (const TRow& row : kRows) {
        const VerifyReport r = Graded(ContrastCut(Ean13At600(), row.factor));
        ASSERT_EQ(r.profiles.size(), 10u);
        for (const ProfileReport& p : r.profiles) {
            EXPECT_NEAR(p.symbolContrast, row.contrast, 0.1) << row.factor;
            EXPECT_EQ(p.symbolContrastGrade, row.contrastGrade) << row.factor;
            EXPECT_EQ(p.rminGrade, row.rminGrade) << row.factor;
        }
        EXPECT_DOUBLE_EQ(r.grade, row.grade) << row.factor;
    }
}

// A Gaussian blur of standard deviation sigma pixels, along both axes.
TGreyPicture Blurred(TGreyPicture picture, double sigma) {
    if (sigma <= 0) return picture;
    const int radius = static_cast<int>(std::ceil(3 * sigma));
    std::vector<double> kernel;
    double total = 0;
    for (int i = -radius; i <= radius; ++i)
        total += kernel.emplace_back(std::exp(-i * i / (2 * sigma * sigma)));
    const int w = picture.width, h = picture.height;
    std::vector<double> pass(picture.level.begin(), picture.level.end()), out(pass.size());
    for (const bool across : {true, false}) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                double sum = 0;
                for (int i = -radius; i <= radius; ++i) {
                    const int xs = across ? std::clamp(x + i, 0, w - 1) : x;
                    const int ys = across ? y : std::clamp(y + i, 0, h - 1);
                    sum += kernel[static_cast<std::size_t>(i + radius)] *
                           pass[static_cast<std::size_t>(ys) * w + xs];
                }
                out[static_cast<std::size_t>(y) * w + x] = sum / total;
            }
        pass.swap(out);
    }
    for (std::size_t i = 0; i < pass.size(); ++i)
        picture.level[i] = static_cast<std::uint8_t>(std::lround(pass[i]));
    return picture;
}

// Edges placed at (Rs + Rb) / 2 of each pair of elements: a blur moves the edges of narrow
// elements, which lose contrast, so decodability falls with it (a scan that no longer
// decodes has decodability 0).
TEST(Verify, GrowingBlurLowersModulationAndDecodability) {
    double modulation = 2, decodability = 2;
    for (const double sigma : {0.0, 1.0, 2.0, 3.0, 4.0}) {
        const VerifyReport r = Graded(Blurred(Ean13At600(), sigma));
        ASSERT_TRUE(r.found) << sigma;
        if (sigma <= 2) {
            EXPECT_TRUE(r.decoded) << sigma;
        }
        const double m = Mean(r, &ProfileReport::modulation);
        const double d = Mean(r, &ProfileReport::decodability);
        EXPECT_LE(m, modulation + 0.005) << sigma;
        EXPECT_LE(d, decodability + 0.005) << sigma;
        modulation = m;
        decodability = d;
    }
    // The X dimension is 8 pixels; a blur of 4 pixels takes most of the narrow elements'
    // contrast.
    EXPECT_LT(modulation, 0.5);
}

// Every bar made one pixel wider on its right (the pixel after each dark run darkened).
TGreyPicture BarsWidened(TGreyPicture picture) {
    for (int y = 0; y < picture.height; ++y) {
        std::uint8_t* row = &picture.level[static_cast<std::size_t>(y) * picture.width];
        for (int x = picture.width - 1; x > 0; --x)
            if (row[x - 1] < 128 && row[x] >= 128) row[x] = row[x - 1];
    }
    return picture;
}

TEST(Verify, BarsWidenedByAPixelShowAsBarGain) {
    const VerifyReport plain = Graded(Ean13At600());
    const VerifyReport widened = Graded(BarsWidened(Ean13At600()));
    EXPECT_NEAR(plain.barGainMillimetres, 0, 0.005);
    EXPECT_NEAR(widened.barGainMillimetres, kMillimetresPerPixelAt600, 0.005);
    EXPECT_EQ(widened.data, plain.data);
}

TEST(Verify, AMissingQuietZoneFailsDecode) {
    // Cut the picture 3 modules (24 pixels) left of the first bar; EAN-13 needs 11.
    TGreyPicture picture = Ean13At600();
    const int middle = picture.height / 3;
    int firstBar = 0;
    while (picture.level[static_cast<std::size_t>(middle) * picture.width + firstBar] >= 128)
        ++firstBar;
    const int cut = firstBar - 24;
    TGreyPicture cropped = picture;
    cropped.width = picture.width - cut;
    cropped.level.clear();
    for (int y = 0; y < picture.height; ++y) {
        const auto row = picture.level.begin() + static_cast<long>(y) * picture.width;
        cropped.level.insert(cropped.level.end(), row + cut, row + picture.width);
    }
    const VerifyReport r = Graded(cropped);
    EXPECT_DOUBLE_EQ(r.grade, 0);
    ASSERT_FALSE(r.profiles.empty());
    EXPECT_NE(r.profiles.front().failure.find("left quiet zone is 3.0 modules"), std::string::npos)
        << r.profiles.front().failure;
    ASSERT_FALSE(r.advice.empty());
    EXPECT_NE(r.advice.front().find("leave more light space"), std::string::npos);
    EXPECT_FALSE(r.passed);
}

// The picture with a white border of the given width, so that turning it keeps every corner.
TGreyPicture Padded(const TGreyPicture& picture, int border) {
    TGreyPicture out = picture;
    out.width += 2 * border;
    out.height += 2 * border;
    out.level.assign(static_cast<std::size_t>(out.width) * out.height, 255);
    for (int y = 0; y < picture.height; ++y)
        std::copy_n(&picture.level[static_cast<std::size_t>(y) * picture.width], picture.width,
                    &out.level[static_cast<std::size_t>(y + border) * out.width + border]);
    return out;
}

// The picture turned by degrees about its centre (bilinear, white outside).
TGreyPicture Skewed(const TGreyPicture& unpadded, double degrees) {
    const TGreyPicture picture = Padded(unpadded, 100);
    TGreyPicture out = picture;
    const double a = degrees * 3.14159265358979 / 180, c = std::cos(a), s = std::sin(a);
    const double cx = picture.width / 2.0, cy = picture.height / 2.0;
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) {
            const double sx = c * (x - cx) + s * (y - cy) + cx,
                         sy = -s * (x - cx) + c * (y - cy) + cy;
            const int x0 = static_cast<int>(std::floor(sx)), y0 = static_cast<int>(std::floor(sy));
            const auto at = [&](int px, int py) -> double {
                if (px < 0 || py < 0 || px >= picture.width || py >= picture.height) return 255;
                return picture.level[static_cast<std::size_t>(py) * picture.width + px];
            };
            const double fx = sx - x0, fy = sy - y0;
            const double v = (1 - fy) * ((1 - fx) * at(x0, y0) + fx * at(x0 + 1, y0)) +
                             fy * ((1 - fx) * at(x0, y0 + 1) + fx * at(x0 + 1, y0 + 1));
            out.level[static_cast<std::size_t>(y) * picture.width + x] =
                static_cast<std::uint8_t>(std::lround(v));
        }
    return out;
}

TEST(Verify, ASkewedPictureIsScannedSquareToItsBars) {
    for (const double degrees : {-4.0, 3.0}) {
        const VerifyReport r = Graded(Skewed(Ean13At600(), degrees));
        EXPECT_EQ(r.data, "4006381333931") << degrees;
        EXPECT_NEAR(std::abs(r.skewDegrees), std::abs(degrees), 0.5) << degrees;
        EXPECT_GE(r.grade, 3.5) << degrees << VerifyReportJson(r);
    }
}

// --- The aperture

// A picture of bars (0 %) with light shapes (100 %) in it, looked at through a circle.
// 1. A 2 x 2 px void under a 6-mil aperture at 600 dpi (3.6 px across, 10.18 px^2), centred
//    on it (on the corner the void's four pixels share): 4 / 10.18 = 39.3 % of its depth.
// 2. A 4 px narrow space under a 10-mil aperture at 300 dpi (3 px): a circle at the
//    space's middle, or half a pixel off it, lies in it whole: 100 %. A pixel off, the
//    segment of the circle beyond the space's edge (1 px from the centre, radius 1.5) is
//    r^2 acos(d / r) - d sqrt(r^2 - d^2) = 2.25 * 0.84107 - 1.11803 = 0.77438 px^2 of
//    7.06858: 100 % * (1 - 0.10955) = 89.045 %.
// 3. A point (no aperture) reads the pixel the point lies in.
TEST(Aperture, EachPixelCountsByItsAreaInsideTheCircle) {
    TReflectanceImage image;
    image.width = image.height = 20;
    image.r.assign(400, 0);
    for (int y = 9; y <= 10; ++y)
        for (int x = 3; x <= 4; ++x) image.r[static_cast<std::size_t>(y) * 20 + x] = 100;
    for (int y = 0; y < 20; ++y)
        for (int x = 12; x <= 15; ++x) image.r[static_cast<std::size_t>(y) * 20 + x] = 100;
    struct TRow {
        double x, y, diameter, reflectance, tolerance;
    };
    constexpr double kVoid = 100 * 4 / (3.14159265358979 * 1.8 * 1.8);
    constexpr TRow kRows[] = {
        {3.5, 9.5, 3.6, kVoid, 1e-9}, // 39.30
        {13.5, 5, 3, 100, 1e-9},      {14, 5, 3, 100, 1e-9}, {13, 5, 3, 100, 1e-9},
        {12.5, 5, 3, 89.045, 0.001},  {3.2, 9.6, 0, 100, 0}, {2.4, 9.6, 0, 0, 0},
    };
    for (const TRow& row : kRows) {
        TApertureSampler sampler(image, row.diameter);
        EXPECT_NEAR(sampler.At(row.x, row.y), row.reflectance, row.tolerance)
            << row.x << " " << row.y << " " << row.diameter;
    }
    // The whole circle, and quarters of it, by the closed form.
    EXPECT_NEAR(DiscRectangleArea(-2, 2, -2, 2, 1.5), 3.14159265358979 * 2.25, 1e-12);
    EXPECT_NEAR(DiscRectangleArea(0, 2, -2, 0, 1.5), 3.14159265358979 * 2.25 / 4, 1e-12);
}

// Profiles hold at least four samples a module: a whole pixel, or a whole fraction of one.
TEST(Aperture, SampleStep) {
    const std::pair<double, double> kRows[] = {{8, 1},         {4, 1},     {3.9, 0.5}, {2, 0.5},
                                               {1.5, 1.0 / 3}, {0.9, 0.2}, {0, 1}};
    for (const auto& [module, step] : kRows) EXPECT_DOUBLE_EQ(SampleStep(module), step) << module;
}

// --- The band: the bars' whole height, whatever crosses them

// Where the bars lie: the columns from the first to the last dark pixel a third of the way
// down, and the rows of the dark run through that row in the column of a digit's bar (the
// fifth bar from the left: the guards reach lower, and the digits below are apart).
struct TBars {
    int top = 0, bottom = 0, left = 0, right = 0; // rows and columns of the bars
};

TBars BarsOf(const TGreyPicture& picture) {
    TBars bars{picture.height, -1, picture.width, -1};
    const int middle = picture.height / 3;
    for (int x = 0; x < picture.width; ++x)
        if (picture.level[static_cast<std::size_t>(middle) * picture.width + x] < 128)
            bars.left = std::min(bars.left, x), bars.right = std::max(bars.right, x);
    // A bar of the left half, not a guard: the fifth dark run from the left.
    int x = bars.left, runs = 0;
    for (; x < bars.right && runs < 5; ++x) {
        const auto at = [&](int px) {
            return picture.level[static_cast<std::size_t>(middle) * picture.width + px] < 128;
        };
        if (at(x) && !at(x - 1)) ++runs;
    }
    const auto dark = [&](int y) {
        return picture.level[static_cast<std::size_t>(y) * picture.width + x] < 128;
    };
    for (bars.top = middle; bars.top > 0 && dark(bars.top - 1);) --bars.top;
    for (bars.bottom = middle; bars.bottom + 1 < picture.height && dark(bars.bottom + 1);)
        ++bars.bottom;
    return bars;
}

void Fill(TGreyPicture& picture, int left, int top, int width, int height, std::uint8_t level) {
    for (int y = top; y < top + height; ++y)
        std::fill_n(&picture.level[static_cast<std::size_t>(y) * picture.width + left], width,
                    level);
}

// Dark speckle: one pixel in every `every`, at random, over the rows from top to bottom.
void Speckle(TGreyPicture& picture, int top, int bottom, int every) {
    std::uint32_t state = 12345;
    for (int y = top; y < bottom; ++y)
        for (int x = 0; x < picture.width; ++x) {
            state = state * 1664525u + 1013904223u;
            if (state % static_cast<std::uint32_t>(every) == 0)
                picture.level[static_cast<std::size_t>(y) * picture.width + x] = 0;
        }
}

// A void in a bar, a dark dash across the symbol, and speckle under the bars spoil some
// rows; the band is still the bars' whole height, and the ten scans are spread over 10 %
// to 90 % of it: the first 10 % below the top, the last 10 % above the bottom.
TEST(Verify, TheBandIsTheBarsWholeHeight) {
    const TGreyPicture clean = Ean13At600();
    const TBars bars = BarsOf(clean);
    const int height = bars.bottom - bars.top + 1;
    struct TRow {
        const char* what;
        TGreyPicture picture;
        double grade;
    };
    TRow rows[] = {
        {"clean", clean, 4}, {"void", clean, 4}, {"dash", clean, 4}, {"speckle", clean, 4}};
    // A white void 8 px high across a bar and its neighbours, a quarter of the way down.
    Fill(rows[1].picture, bars.left + 100, bars.top + height / 4, 24, 8, 255);
    // A dark dash 2 px high across the whole symbol, halfway down between two scans.
    Fill(rows[2].picture, bars.left, bars.top + height / 2 - 1, bars.right - bars.left, 2, 0);
    // Speckle in the text line below the bars: more crossings there than across the bars.
    Speckle(rows[3].picture, bars.bottom + 8, clean.height, 7);
    for (const TRow& row : rows) {
        const VerifyReport r = Graded(row.picture);
        ASSERT_TRUE(r.found) << row.what << ": " << r.failure;
        EXPECT_NEAR(r.barHeightPixels, height, 2) << row.what;
        ASSERT_EQ(r.profiles.size(), 10u) << row.what;
        // Scan i at 10 % + 80 % x i / 9 of the band: evenly spread, the band's ends 10 % out.
        for (std::size_t i = 0; i < r.profiles.size(); ++i)
            EXPECT_NEAR(r.profiles[i].line.y,
                        bars.top - 0.5 + (0.1 + 0.8 * static_cast<double>(i) / 9) * height, 2)
                << row.what << " scan " << i;
        EXPECT_NEAR(r.profiles.back().line.y - r.profiles.front().line.y, 0.8 * r.barHeightPixels,
                    1e-6)
            << row.what;
        EXPECT_DOUBLE_EQ(r.grade, row.grade) << row.what << VerifyReportJson(r);
    }
}

// A label on a larger ground, turned by an angle that is no quarter turn, at 2.5 to 3
// pixels a module and stating no resolution (a phone photo's): found, decoded, graded
// relative to X with the aperture the same fraction of X as 6 mils is of 13.
TEST(Verify, ATurnedLowResolutionPictureIsFoundAndGradedRelativeToX) {
    for (const double degrees : {30.0, -61.0, 133.0}) {
        Symbol symbol = SymbolOf(kSamples[1]);
        PictureOptions options;
        options.dpi = 200;
        const TGreyPicture picture = Skewed(ReadGreyPicture(Render(symbol, options)), degrees);
        const VerifyReport r = VerifyGreyPicture(picture, {});
        EXPECT_TRUE(r.decoded) << degrees << r.failure;
        EXPECT_EQ(r.symbolCharacters, "4006381333931") << degrees;
        EXPECT_TRUE(r.relative);
        EXPECT_NEAR(r.apertureOfX, 6.0 / 13.0, 1e-9);
        // Chosen from X at the first look; X reported is the scans' median.
        EXPECT_NEAR(r.aperturePixels, r.apertureOfX * r.xPixels, 0.01 * r.aperturePixels);
        EXPECT_NE(r.gradeText.find("/0.46X/660"), std::string::npos) << r.gradeText;
        EXPECT_GE(r.grade, 2.5) << degrees << VerifyReportJson(r);
    }
}

// Photographs of labels (made photo-like: 1.5 to 4 px a module, any angle, uneven light,
// blur, noise, JPEG; see data/photos/README), stating no resolution: each decodes to the data
// in its manifest, graded relative to X; the three without a barcode decode nothing.
TEST(Verify, PhotographsDecodeToTheirDataAndNothingElse) {
    std::ifstream manifest(VARIMARK_PHOTOS "/manifest.tsv");
    ASSERT_TRUE(manifest) << VARIMARK_PHOTOS;
    int pictures = 0;
    for (std::string line; std::getline(manifest, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string file, symbology, data;
        std::getline(fields, file, '\t');
        std::getline(fields, symbology, '\t');
        std::getline(fields, data, '\t');
        const VerifyReport r = VerifyFile(VARIMARK_PHOTOS "/" + file, {});
        ++pictures;
        if (data == "-") {
            EXPECT_FALSE(r.decoded) << file << ": " << r.data;
            continue;
        }
        EXPECT_EQ(r.data, data) << file << ": " << r.failure;
        EXPECT_EQ(std::string(TypeName(r.type)).rfind(symbology, 0), 0u) << file;
        EXPECT_TRUE(r.relative) << file;
    }
    EXPECT_EQ(pictures, 21);
}

// A long symbol printed low (50 Code 39 characters, 1705 px long, its bars about 150 px
// high: under a tenth of its length, but ten modules high and more) is found as bars.
TEST(Verify, ALongLowSymbolIsFound) {
    Symbol symbol = SymbolOf({Type::CODE39, "", "", ""});
    symbol.text = std::string(50, 'A');
    symbol.moduleSize = 9;
    const VerifyReport r = Graded(Drawn(symbol, 96), 96);
    EXPECT_TRUE(r.decoded) << r.failure;
    EXPECT_EQ(r.data, symbol.text);
    EXPECT_DOUBLE_EQ(r.grade, 4.0);
}

// --- What cannot be graded, and the report's forms

TEST(Verify, WhatCannotBeGradedSaysWhy) {
    TGreyPicture blank;
    blank.width = 200;
    blank.height = 100;
    blank.level.assign(200 * 100, 255);
    VerifyOptions postal;
    postal.type = Type::Postnet;
    const std::pair<VerifyReport, std::string> kRows[] = {
        {VerifyGreyPicture(blank, {}), "no barcode found: the picture is one shade"},
        {VerifyGreyPicture(Ean13At600(), postal),
         "Postnet and FIM are postal symbols, outside ISO/IEC 15416 print-quality grading"},
        // Postnet bars are told of only when Postnet is asked for.
        {VerifyGreyPicture(Drawn(SymbolOf({Type::Postnet, "12345", "", ""}), 600), {}),
         "no barcode found: no line across the picture crosses a run of bars that decodes"},
    };
    for (const auto& [report, reason] : kRows) {
        EXPECT_FALSE(report.decoded);
        EXPECT_FALSE(report.passed);
        EXPECT_EQ(report.failure, reason);
    }
}

// The JSON: the data as sent and as symbol characters, and each scan's line and profile
// (a blank picture: nothing found, and no grade).
TEST(Verify, JsonCarriesTheGradeAndEveryProfile) {
    const auto count = [](const std::string& json, const std::string& key) {
        std::size_t n = 0;
        for (std::size_t at = json.find(key); at != std::string::npos; at = json.find(key, at + 1))
            ++n;
        return n;
    };
    const std::string json = VerifyReportJson(Graded(Ean13At600()));
    const std::pair<const char*, std::size_t> kKeys[] = {
        {"\"found\":true", 1},
        {"\"grade_text\":\"4.0/06/660\"", 1},
        {"\"data\":\"4006381333931\"", 11}, // and each scan's
        {"\"identifier\":\"]E0\"", 1},
        {"\"symbol_characters\":\"4006381333931\"", 1},
        {"\"x_px\":8.000", 1},
        {"\"aperture_px\":3.6000", 1},
        {"\"decode\":", 10},
        {"\"line\":{\"x\":0.000,", 10},
        {"\"reflectance\":[100,", 10}};
    for (const auto& [key, times] : kKeys)
        EXPECT_EQ(count(json, key), times) << key << json.substr(0, 600);

    TGreyPicture blank;
    blank.width = blank.height = 50;
    blank.level.assign(2500, 255);
    const std::string none = VerifyReportJson(VerifyGreyPicture(blank, {}));
    EXPECT_EQ(count(none, "\"found\":false"), 1u) << none;
    EXPECT_EQ(count(none, "\"grade"), 0u) << none;
}

// Data shown to people: control characters by their names, the rest as it is.
TEST(Verify, VisibleData) {
    const std::pair<std::string, std::string> kRows[] = {{"(01)1\x1d(10)AB", "(01)1<GS>(10)AB"},
                                                         {std::string("\0\x7f", 2), "<NUL><DEL>"},
                                                         {"caf\xc3\xa9 ~", "caf\xc3\xa9 ~"}};
    for (const auto& [data, shown] : kRows) EXPECT_EQ(VisibleData(data), shown);
}

TEST(VerifyCli, ExitStatusSaysWhetherTheGradeIsReached) {
    const std::string good = ::testing::TempDir() + "verify-good.png";
    const std::string none = ::testing::TempDir() + "verify-none.png";
    ASSERT_EQ(
        RunCli({"render", "--type", "EAN_13", "--dpi", "600", "-o", good, "400638133393"}).status,
        0);
    struct TRow {
        std::vector<std::string> args;
        int status;
        const char* said;
        bool onStandardError;
    };
    const TRow kRows[] = {
        {{"--dpi", "600", good}, 0, "4.0/06/660 (A) passed", false},
        {{"--dpi", "600", "--json", good}, 0, "\"passed\":true", false},
        {{"--dpi", "600", "--type", "CODE39", good}, 1, "nothing decoded", true},
        {{"--dpi", "600", "--min-grade", "4.5", good}, 1, "--min-grade must be", true},
        {{"--type", "EAN_14", good}, 2, "unknown type 'EAN_14'", true},
        {{"--dpi", "x", good}, 2, "needs a number, not 'x'", true},
        {{"--ratio", "2", good}, 2, "not one of verify's", true},
        {{"--json"}, 2, "missing FILE", true},
        {{none}, 1, none.c_str(), true},
    };
    for (const TRow& row : kRows) {
        std::vector<std::string> args{"verify"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        const RunResult r = RunCli(args);
        EXPECT_EQ(r.status, row.status) << row.said << r.err;
        EXPECT_NE((row.onStandardError ? r.err : r.out).find(row.said), std::string::npos)
            << r.out << r.err;
    }
    std::remove(good.c_str());
}

} // namespace
