// The layout of a drawn barcode: every call a drawing makes
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
// The engine's enumerators by their names, as the tables below give them.
using enum btCodeTypes;
using enum btCodeSizes;
using enum btCodeRatio;
using enum btCodeRotate;

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

// Every type with and without an add-on, every module size, high density and zoom, eleven
// resolutions and three minimums, folded into one digest.
TEST(QuietZoneMargins, SweepMatchesTheRecordedDigest) {
    Digest digest;
    for (int type = 0; type < kDesktopCodeTypeCount; ++type) // the fourteen of the recorded digest
        for (const char* addon : {"", "12", "52495"})
            for (int size = 0; size <= 9; ++size)
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

// The quiet zone each symbology lays out, in modules, one row per type and add-on: ISO/IEC
// 15420's table for EAN/UPC (after an add-on 5 modules), 10 X each side for the others
// (ITF-14's lie inside its bearer frame: the margin digest above holds that the layout adds
// none around the frame).
TEST(QuietZoneMargins, EachTypesZoneInModules) {
    struct TRow {
        btCodeTypes type;
        bool addon;
        int left, right;
    };
    constexpr TRow kRows[] = {
        {EAN_8, false, 7, 7},       {EAN_8, true, 7, 7},        {EAN_13, false, 11, 7},
        {EAN_13, true, 11, 5},      {UPC_A, false, 9, 9},       {UPC_A, true, 9, 5},
        {UPC_E, false, 9, 7},       {UPC_E, true, 9, 7},        {CODE39, false, 10, 10},
        {CODE25i, false, 10, 10},   {CODE25iP, false, 10, 10},  {CODE128_A, false, 10, 10},
        {CODE128_B, false, 10, 10}, {CODE128_C, false, 10, 10}, {MSI_Plessey, false, 10, 10},
        {Codabar, false, 10, 10},   {GS1_128, false, 10, 10},   {ITF_14, false, 10, 10},
    };
    for (const TRow& row : kRows) {
        const TQuietZone zone = QuietZoneModules(row.type, row.addon);
        EXPECT_EQ(zone.left, row.left) << CodeTypeName(row.type) << " " << row.addon;
        EXPECT_EQ(zone.right, row.right) << CodeTypeName(row.type) << " " << row.addon;
    }
}

} // namespace
