// The layout of a drawn barcode: what it says of a few symbols; every call a drawing makes
// onto the surface, over a sweep of looks and resolutions for each symbol, folded into one
// digest per symbol; and the quiet-zone margins. The digests and margins were taken from the
// drawing as it stood before its layout was computed in one place; a difference means that
// a drawing moved.
#include "BarDrawing.h"
#include "RecordingSurface.h"
#include "engine/BarLayout.h"
#include "engine/EOverflow.h"
#include "engine/LLBarcode.h"
#include "engine/QuietZones.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

using namespace varimark;

namespace {

// FNV-1a over the fields fed to it, each length-prefixed or of fixed size.
class Digest {
public:
    void Add(long long v) {
        for (int i = 0; i < 8; ++i) Byte(static_cast<unsigned char>(v >> (8 * i)));
    }
    void Add(std::string_view s) {
        Add(static_cast<long long>(s.size()));
        for (const char c : s) Byte(static_cast<unsigned char>(c));
    }
    void Add(TColor c) {
        Add(c.r);
        Add(c.g);
        Add(c.b);
    }
    std::uint64_t Value() const { return hash_; }

private:
    void Byte(unsigned char c) {
        hash_ ^= c;
        hash_ *= 0x100000001b3u;
    }
    std::uint64_t hash_ = 0xcbf29ce484222325u;
};

// Everything the drawing did: the size it returned, each fill with its brush, each piece of
// text with its font, alignment and background, each measure, the state it left behind and
// the prepared text afterwards (the human-readable line may rewrite it).
void AddDrawing(Digest& digest, Drawing& d) {
    try {
        d.Draw();
    } catch (const EOverflow& e) {
        digest.Add(e.what());
    }
    const RecordingSurface& s = d.surface;
    digest.Add(d.size.width);
    digest.Add(d.size.height);
    digest.Add(static_cast<long long>(s.fills.size()));
    for (const RecordedFill& f : s.fills) {
        for (const int v : f.Raw()) digest.Add(v);
        digest.Add(f.color);
        digest.Add(static_cast<int>(f.style));
    }
    digest.Add(static_cast<long long>(s.texts.size()));
    for (const RecordedText& t : s.texts) {
        digest.Add(t.x);
        digest.Add(t.y);
        digest.Add(t.text);
        digest.Add(t.face);
        digest.Add(t.height);
        digest.Add(t.escapement);
        digest.Add(t.align);
        digest.Add(static_cast<int>(t.bkMode));
    }
    digest.Add(static_cast<long long>(s.measures.size()));
    for (const RecordedMeasure& m : s.measures) {
        digest.Add(m.text);
        digest.Add(m.face);
        digest.Add(m.height);
    }
    digest.Add(s.BrushColor());
    digest.Add(static_cast<int>(s.BrushStyle()));
    digest.Add(s.TextAlign());
    digest.Add(s.BkColor());
    digest.Add(static_cast<int>(s.BkMode()));
    digest.Add(s.FontFace());
    digest.Add(s.FontHeight());
    digest.Add(d.engine.CodeText);
}

// --- The layout itself -----------------------------------------------------------------

struct LayoutCase {
    const char* name;
    Setup setup;                      // type, caption, add-on, resolution and the line
    int pitch, digitRoom, barHeight;  // postal: the bar width for the pitch, the full bar
    int full, shortBars, addon, half; // bars of each kind
    TDrawnSize box;
    int fontHeight, pieces;
    bool measured;
};

class Layout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(Layout, MeasuresBarsAndPieces) {
    const LayoutCase& c = GetParam();
    Drawing d(c.setup);
    d.engine.Encode();
    std::vector<std::pair<int, bool>> fonts;
    const varimark::TBarLayout layout =
        varimark::LayOutBarcode(d.engine, varimark::ResolutionAt(c.setup.dpiX, c.setup.dpiY), 0, 0,
                                [&](int fontHeight, bool measure) {
                                    fonts.emplace_back(fontHeight, measure);
                                    return measure ? c.setup.textHeight : 0;
                                });
    EXPECT_EQ(fonts, (std::vector<std::pair<int, bool>>{{c.fontHeight, c.measured}}));
    if (layout.postal) {
        EXPECT_EQ(std::tie(layout.measure.barWidth, layout.measure.fullBar),
                  std::tie(c.pitch, c.barHeight));
    } else {
        EXPECT_EQ(std::tie(layout.modules.wholePixels, layout.modules.digitRoom, layout.barHeight),
                  std::tie(c.pitch, c.digitRoom, c.barHeight));
    }
    int kinds[4] = {};
    for (const varimark::TBar& bar : layout.Bars()) {
        ++kinds[static_cast<int>(bar.kind)];
        const int top = bar.kind == varimark::TBarKind::Addon  ? layout.addonTop
                        : bar.kind == varimark::TBarKind::Half ? bar.rect.top
                                                               : 0;
        EXPECT_EQ(bar.rect.top, top) << bar.module;
        if (bar.kind == varimark::TBarKind::Short) {
            EXPECT_EQ(bar.rect.bottom, layout.shortBottom) << bar.module;
        }
    }
    EXPECT_EQ(std::vector<int>(kinds, kinds + 4),
              (std::vector<int>{c.full, c.shortBars, c.addon, c.half}));
    EXPECT_EQ(layout.box, c.box);
    EXPECT_EQ(layout.pieceCount, c.pieces);
}

// 96 dpi: p = 1; EAN-13/UPC-A bars 74 high, others 56 (worked out in test_bar_rendering).
// UPC-A: guard bars 2 + 2 + 2, 24 data bars; the five-digit add-on: start 2 bars, 2 a digit,
// 1 a separator. Postnet 1234567895 with its frame: 2 full bars a digit and 2; FIM-B 6 bars.
// clang-format off
INSTANTIATE_TEST_SUITE_P(Symbols, Layout, ::testing::Values(
    LayoutCase{"upca_addon5", {.addon = "52495"}, 1, 10, 74, 6, 24, 16, 0, {173, 83}, 13, 5, true},
    LayoutCase{"upca_no_text", {.humanReadable = false}, 1, 10, 74, 6, 24, 0, 0, {116, 75}, 13, 0, true},
    LayoutCase{"ean8", {.type = EAN_8, .caption = "4711"}, 1, 0, 56, 6, 16, 0, 0, {68, 66}, 13, 2, true},
    LayoutCase{"code39", {.type = CODE39, .caption = "A"}, 1, 0, 56, 15, 0, 0, 0, {49, 70}, 13, 1, true},
    LayoutCase{"upca_600", {.dpiX = 600, .dpiY = 600}, 8, 80, 594, 6, 24, 0, 0, {921, 569}, 107, 4, true},
    LayoutCase{"postnet9", {.type = Postnet, .caption = "123456789"}, 2, 0, 12, 22, 0, 0, 30, {226, 26}, 14, 1, true},
    LayoutCase{"postnet9_no_text", {.type = Postnet, .caption = "123456789", .humanReadable = false},
               2, 0, 12, 22, 0, 0, 30, {226, 13}, 14, 0, false},
    LayoutCase{"fim_110", {.type = Postnet_FIM, .caption = "b", .dpiX = 110, .dpiY = 110},
               3, 0, 69, 6, 0, 0, 0, {60, 83}, 16, 1, true}),
    kByName);
// clang-format on

// --- Drawings as they were -------------------------------------------------------------

struct Look {
    int heightPercent, fontscaling, textHeight, x, y;
};
// Plain; shorter bars, larger digits, a tall line and an offset origin; taller bars,
// small digits and a negative origin.
constexpr Look kLooks[] = {{100, 100, 13, 0, 0}, {50, 150, 31, 7, 3}, {160, 40, 7, -5, -9}};
constexpr int kDpis[][2] = {{96, 96}, {300, 300}, {600, 600}, {300, 600}};
constexpr btCodeSizes kSizes[] = {SC0, SC2, SC9};
constexpr btCodeRotate kRotations[] = {rotate_000, rotate_090, rotate_180, rotate_270};

struct SymbolCase {
    const char* name;
    btCodeTypes type;
    const char* caption;
    const char* addon;
    btCodeRatio ratio;
    std::uint64_t digest;
};

class DrawingCalls : public ::testing::TestWithParam<SymbolCase> {};

// Each symbol over every look, resolution, module size and rotation, with zoom, high density,
// width reduction and the human-readable line each on and off: 2304 drawings.
TEST_P(DrawingCalls, MatchTheRecordedDigest) {
    const SymbolCase& c = GetParam();
    Digest digest;
    for (const Look& look : kLooks)
        for (const auto& [dpiX, dpiY] : kDpis)
            for (const btCodeSizes size : kSizes)
                for (const btCodeRotate rotation : kRotations)
                    for (int flags = 0; flags < 16; ++flags) {
                        Drawing d({.type = c.type,
                                   .caption = c.caption,
                                   .addon = c.addon,
                                   .dpiX = dpiX,
                                   .dpiY = dpiY,
                                   .size = size,
                                   .ratio = c.ratio,
                                   .highDensity = (flags & 1) != 0,
                                   .zoom = (flags & 2) != 0,
                                   .widthReduce = (flags & 4) != 0,
                                   .humanReadable = (flags & 8) != 0,
                                   .heightPercent = look.heightPercent,
                                   .fontscaling = look.fontscaling,
                                   .rotation = rotation,
                                   .textHeight = look.textHeight,
                                   .x = look.x,
                                   .y = look.y});
                        AddDrawing(digest, d);
                    }
    EXPECT_EQ(digest.Value(), c.digest) << std::hex << "0x" << digest.Value();
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Symbols, DrawingCalls, ::testing::Values(
    SymbolCase{"ean8", EAN_8, "1234567", "", Ratio_3, 0xec9085ae5db71621u},
    SymbolCase{"ean13", EAN_13, kEan13, "", Ratio_3, 0x364687f6fdaaf0f1u},
    SymbolCase{"ean13_addon2", EAN_13, kEan13, "12", Ratio_3, 0x54fb8f211d18eedfu},
    SymbolCase{"ean13_addon5", EAN_13, kEan13, "52495", Ratio_3, 0xed42cd3a24985825u},
    SymbolCase{"upca", UPC_A, "12345678901", "", Ratio_3, 0x66a604fecfcba6du},
    SymbolCase{"upca_addon2", UPC_A, "12345678901", "07", Ratio_3, 0xf1dd7348a758c89bu},
    SymbolCase{"upca_addon5", UPC_A, "12345678901", "90000", Ratio_3, 0x7f574fcb710f65d1u},
    SymbolCase{"upce", UPC_E, "123456", "", Ratio_3, 0x92b2ead1a7fee711u},
    SymbolCase{"code39", CODE39, "VARIMARK-1", "", Ratio_3, 0xf04682d9fe85ec57u},
    SymbolCase{"code39_ratio2", CODE39, "VARIMARK-1", "", Ratio_2, 0xe6aec383f92d9e31u},
    SymbolCase{"code25i", CODE25i, "123456", "", Ratio_3, 0x1e2a4d45ac16cb7u},
    SymbolCase{"code25ip_12", CODE25iP, "12345678901", "", Ratio_3, 0x1bead64155c73ce9u},
    SymbolCase{"code25ip_14", CODE25iP, "1234567890123", "", Ratio_2, 0xb91bfc64278a4db3u},
    SymbolCase{"code128a", CODE128_A, "ABC", "", Ratio_3, 0x14f45dab3b833ae5u},
    SymbolCase{"code128b", CODE128_B, "Hello", "", Ratio_3, 0x695c6fcfc21c40fdu},
    SymbolCase{"code128c", CODE128_C, "0123456789012345", "", Ratio_3, 0x46cb61ddcb5117c1u},
    SymbolCase{"msi", MSI_Plessey, "1234567", "", Ratio_3, 0xbbf8d5e938fed9a1u},
    SymbolCase{"codabar", Codabar, "123", "", Ratio_3, 0xad924a473de93dc9u},
    SymbolCase{"postnet5", Postnet, "12345", "", Ratio_3, 0x4965fed0c044e46du},
    SymbolCase{"postnet9", Postnet, "123456789", "", Ratio_3, 0x2cd9e8510f7ab86du},
    SymbolCase{"postnet11", Postnet, "12345678901", "", Ratio_3, 0x8c8ae7407ee816b5u},
    SymbolCase{"fim_a", Postnet_FIM, "a", "", Ratio_3, 0x32ec9353787226c5u},
    SymbolCase{"fim_c", Postnet_FIM, "c", "", Ratio_3, 0xe04a0f6bcbb411e5u}),
    kByName);
// clang-format on

// --- Quiet-zone margins ----------------------------------------------------------------

TLLBarcode Barcode(btCodeTypes type, const char* addon, btCodeSizes size, bool highDensity,
                   bool zoom) {
    TLLBarcode barcode;
    barcode.Params.CodeType = type;
    barcode.Params.SetCodeAddon(addon);
    barcode.Params.ModuleWidth = size;
    barcode.Params.HighDensity = highDensity;
    barcode.Params.ZoomSize = zoom;
    return barcode;
}

struct MarginCase {
    const char* name;
    btCodeTypes type;
    const char* addon;
    btCodeSizes size;
    bool highDensity, zoom;
    int dpi, minimum, margin;
};

class Margins : public ::testing::TestWithParam<MarginCase> {};

TEST_P(Margins, AsTheDrawingLeavesIt) {
    const MarginCase& c = GetParam();
    EXPECT_EQ(varimark::QuietZoneMargin(Barcode(c.type, c.addon, c.size, c.highDensity, c.zoom),
                                        c.dpi, c.minimum),
              c.margin);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, Margins, ::testing::Values(
    MarginCase{"code128_96", CODE128_B, "", SC2, false, false, 96, 2, 10},
    MarginCase{"code128_96_zoom", CODE128_B, "", SC2, false, true, 96, 2, 13},
    MarginCase{"code39_600_sc9", CODE39, "", SC9, false, false, 600, 2, 160},
    MarginCase{"code39_600_sc9_above_minimum", CODE39, "", SC9, false, false, 600, 400, 400},
    MarginCase{"ean13_96", EAN_13, "", SC2, false, false, 96, 2, 2},
    MarginCase{"ean13_300_zoom", EAN_13, "", SC2, false, true, 300, 2, 3},
    MarginCase{"ean13_addon_300", EAN_13, "12", SC2, false, false, 300, 2, 4},
    MarginCase{"upca_600_sc0_hd", UPC_A, "", SC0, true, false, 600, 2, 2},
    MarginCase{"upca_addon_600", UPC_A, "52495", SC5, false, true, 600, 2, 2},
    MarginCase{"upce_300", UPC_E, "", SC2, false, false, 300, 2, 36},
    MarginCase{"ean8_1200_zoom_hd", EAN_8, "", SC7, true, true, 1200, 2, 90},
    MarginCase{"msi_72_sc0_hd", MSI_Plessey, "", SC0, true, false, 72, 2, 10},
    MarginCase{"postnet_300", Postnet, "", SC2, false, false, 300, 2, 38},
    MarginCase{"fim_96_minimum", Postnet_FIM, "", SC2, false, false, 96, 30, 30}),
    kByName);
// clang-format on

// Every type with and without an add-on, every module size, high density and zoom, eleven
// resolutions and three minimums, folded into one digest.
TEST(QuietZoneMargins, SweepMatchesTheRecordedDigest) {
    Digest digest;
    for (int type = 0; type < kCodeTypeCount; ++type)
        for (const char* addon : {"", "12", "52495"})
            for (int size = SC0; size <= SC9; ++size)
                for (int flags = 0; flags < 4; ++flags) {
                    const TLLBarcode barcode =
                        Barcode(static_cast<btCodeTypes>(type), addon,
                                static_cast<btCodeSizes>(size), (flags & 1) != 0, (flags & 2) != 0);
                    for (const int dpi : {72, 96, 100, 150, 200, 254, 300, 400, 600, 1200, 2400})
                        for (const int minimum : {0, 2, 40})
                            digest.Add(varimark::QuietZoneMargin(barcode, dpi, minimum));
                }
    EXPECT_EQ(digest.Value(), 0x56a7cc4bab2ae7ecu) << std::hex << "0x" << digest.Value();
}

} // namespace
