// Grading pictures: our own output grades A in every symbology, turn and resolution, and
// known degradations move the parameters the way their definitions say.
#include "CliRunner.h"
#include "library/VerifyPicture.h"
#include "varimark/verify.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ostream>
#include <string>
#include <vector>

using namespace varimark;

namespace {

constexpr double kMillimetresPerPixelAt600 = 25.4 / 600;

struct TSample {
    Type type;
    const char* text;
};

constexpr TSample kSamples[] = {
    {Type::EAN_8, "1234567"},    {Type::EAN_13, "400638133393"}, {Type::UPC_A, "03600029145"},
    {Type::UPC_E, "0123456"},    {Type::CODE39, "VARIMARK-1"},   {Type::CODE25i, "123456"},
    {Type::CODE25iP, "1234567"}, {Type::CODE128_A, "ABC-12"},    {Type::CODE128_B, "Hello, 1!"},
    {Type::CODE128_C, "123456"}, {Type::MSI_Plessey, "123456"},  {Type::Codabar, "A123B"},
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
};

void PrintTo(const TOwnCase& c, std::ostream* os) {
    *os << TypeName(c.sample.type) << " at " << c.dpi << " dpi, turned " << c.rotation;
}

class OwnOutput : public ::testing::TestWithParam<TOwnCase> {};

TEST_P(OwnOutput, GradesAAndDecodesThePreparedText) {
    const auto [sample, dpi, rotation] = GetParam();
    const Symbol symbol = SymbolOf(sample, rotation);
    const VerifyReport report = Graded(Drawn(symbol, dpi), dpi);
    EXPECT_TRUE(report.decoded) << report.failure;
    EXPECT_EQ(report.data, Encode(symbol).codeText);
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
    return cases;
}

std::string OwnCaseName(const ::testing::TestParamInfo<TOwnCase>& c) {
    return std::string(TypeName(c.param.sample.type)) + "_" + std::to_string(c.param.dpi) + "dpi_" +
           std::to_string(c.param.rotation);
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

TEST(Verify, GrowingBlurLowersModulationAndDecodability) {
    double modulation = 2, decodability = 2;
    for (const double sigma : {0.0, 1.0, 2.0, 3.0, 4.0}) {
        const VerifyReport r = Graded(Blurred(Ean13At600(), sigma));
        ASSERT_TRUE(r.decoded) << sigma;
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

// --- What cannot be graded, and the report's forms

TEST(Verify, WhatCannotBeGradedSaysWhy) {
    TGreyPicture blank;
    blank.width = 200;
    blank.height = 100;
    blank.level.assign(200 * 100, 255);
    VerifyOptions postal;
    postal.type = Type::Postnet;
    const std::pair<VerifyReport, std::string> kRows[] = {
        {VerifyGreyPicture(blank, {}), "the picture is one shade"},
        {VerifyGreyPicture(Ean13At600(), postal), "outside ISO/IEC 15416"},
        {VerifyGreyPicture(Drawn(SymbolOf({Type::Postnet, "12345"}), 600), {}),
         "Postnet and FIM are postal symbols"},
    };
    for (const auto& [report, reason] : kRows) {
        EXPECT_FALSE(report.decoded);
        EXPECT_FALSE(report.passed);
        EXPECT_NE(report.failure.find(reason), std::string::npos) << report.failure;
    }
}

TEST(Verify, JsonCarriesTheGradeAndEveryProfile) {
    const std::string json = VerifyReportJson(Graded(Ean13At600()));
    EXPECT_NE(json.find("\"grade_text\":\"4.0/06/660\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"data\":\"4006381333931\""), std::string::npos);
    std::size_t profiles = 0;
    for (std::size_t at = json.find("\"decode\":"); at != std::string::npos;
         at = json.find("\"decode\":", at + 1))
        ++profiles;
    EXPECT_EQ(profiles, 10u);
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
