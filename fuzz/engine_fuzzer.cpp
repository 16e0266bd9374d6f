// libFuzzer target of the engine: the control's parameter checks, encoding, and drawing in
// all four rotations onto a recording surface.
//
// Input layout:
//   0   type: the byte modulo 16 below 0xF0 (so 14 and 15 are tried too), else the byte
//   1   ratio (modulo 4: 2 and 3 are refused by the setter); for ITF_14 also the wide element
//       (bits 2-3: 9 to 12 quarters of a module) and the bearer bars (bit 4: over and under
//       only, else the frame)
//   2   module width (modulo 16: 10..15 are refused)
//   3   flags: HumanReadable, ZoomSize, WidthReduce, HighDensity, text measured in proportion
//       to the font, a clear brush before drawing, a font name longer than 31 characters
//   4   HeightPercent, 5 Fontscaling (as they are: outside 20..200 they are refused)
//   6   dots per inch across ÷ 10, 7 down ÷ 10 (0: the screen's), 8 screen dots per inch - 48
//   9   origin x, 10 origin y (signed)
//   11  add-on length (modulo 8), then the add-on bytes, and the rest the caption.
// The caption and add-on go through the parameter record's setters as the control would pass
// them; Encode() runs on a fresh engine and on one kept from the previous inputs, and the
// results must agree and be well formed (a Code 128 or GS1-128 symbol with its start and stop
// characters at its ends only). Then the barcode is drawn in each rotation: the same outcome
// as Encode, every fill inside the returned size box, every bar of the pattern drawn at least
// a pixel wide and apart (ITF-14's bearer bars, drawn first, counted apart and checked to
// frame the bars), the expected pieces of text, the surface state put back, and each rotation
// the exact image of the unrotated drawing.
#include "FuzzCheck.h"
#include "FuzzSurface.h"
#include "engine/BarcodeParams.h"
#include "engine/EOverflow.h"
#include "engine/LLBarcode.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using namespace varimark;

namespace {

// The outcome of one encoding: the message of EOverflow, or empty on success.
std::string Encode(TLLBarcode& barcode) {
    try {
        barcode.Encode();
    } catch (const EOverflow& e) {
        return std::string("EOverflow: ") + e.what();
    }
    return {};
}

// After a failed encoding only the bounds are checked; after a successful one also that
// nothing is left beyond ModuleCount and that there is something to draw.
void CheckEncoded(const TLLBarcode& barcode, bool succeeded) {
    Check(barcode.ModuleCount >= 0 && barcode.ModuleCount <= TLLBarcode::kMaxModules,
          "ModuleCount within 0..kMaxModules");
    if (succeeded) Check(barcode.ModuleCount >= 1, "a successful encoding has modules");
    Check(std::memchr(barcode.CodeText, '\0', sizeof barcode.CodeText) != nullptr,
          "CodeText zero-terminated within its capacity");
    for (int i = 1; i <= TLLBarcode::kMaxModules; ++i) {
        Check(barcode.Modules[i] <= 1, "Modules entries are 0 or 1");
        if (succeeded && i > barcode.ModuleCount)
            Check(barcode.Modules[i] == 0, "no bars after ModuleCount");
    }
}

// The text routines that drawing applies to an encoded symbol, on buffers of exactly the
// documented sizes (so that the address sanitizer sees any overrun).
void CheckTextRoutines(const TLLBarcode& barcode) {
    const btCodeTypes type = barcode.Params.CodeType;
    if (type == btCodeTypes::CODE128_A || type == btCodeTypes::CODE128_B ||
        type == btCodeTypes::CODE128_C) {
        std::string text(1, barcode.CodeText[0]);
        text += barcode.Params.Caption;
        for (const bool humanReadable : {false, true}) {
            std::vector<char> out(TLLBarcode::kMapCode128Capacity);
            const std::size_t length =
                TLLBarcode::MapCode128(text.c_str(), humanReadable, out.data());
            Check(length < out.size() && out[length] == '\0', "MapCode128 result fits");
        }
    }
    if (type == btCodeTypes::CODE25iP) {
        std::vector<char> text(barcode.CodeText, barcode.CodeText + sizeof barcode.CodeText);
        barcode.FormatCode25iP(text.data());
        Check(std::memchr(text.data(), '\0', text.size()) != nullptr, "FormatCode25iP result fits");
    }
}

void CheckParams(const TBarcodeParams& params) {
    Check(std::memchr(params.Caption, '\0', sizeof params.Caption) != nullptr,
          "Caption zero-terminated");
    const std::size_t addonLength = std::strlen(params.CodeAddon);
    Check(addonLength == 0 || addonLength == 2 || addonLength == 5, "add-on of 0, 2 or 5");
    for (std::size_t i = 0; i < addonLength; ++i)
        Check(params.CodeAddon[i] >= '0' && params.CodeAddon[i] <= '9', "add-on digits");
}

// Sets the caption; false when it is refused (then the caption must be unchanged).
bool SetCaption(TBarcodeParams& params, std::string_view caption) {
    char before[sizeof params.Caption];
    std::memcpy(before, params.Caption, sizeof before);
    try {
        params.SetCaption(caption);
    } catch (const EOverflow& e) {
        Check(std::string_view(e.what()) == "String exceeds maximum length", "refusal message");
        Check(caption.size() > TBarcodeParams::kMaxCaption, "refused a caption that fits");
        Check(std::memcmp(before, params.Caption, sizeof before) == 0, "refusal kept Caption");
        return false;
    }
    Check(caption.size() <= TBarcodeParams::kMaxCaption, "took an overlong caption");
    Check(std::memcmp(params.Caption, caption.data(), caption.size()) == 0 &&
              params.Caption[caption.size()] == '\0',
          "Caption holds the text");
    return true;
}

// One range-checked setter: a value in range is taken, any other raises EOverflow with a
// message and leaves the field as it was.
template <class Field, class Value, class Setter>
void SetChecked(TBarcodeParams& params, Field TBarcodeParams::*field, Value value, bool inRange,
                Setter setter) {
    const Field before = params.*field;
    try {
        (params.*setter)(value);
    } catch (const EOverflow& e) {
        Check(!inRange, "a setter refused a value in range");
        Check(std::strlen(e.what()) > 0, "a refusal has a message");
        Check(params.*field == before, "a refusal kept the field");
        return;
    }
    Check(inRange, "a setter took a value out of range");
    Check(params.*field == static_cast<Field>(value), "a setter stored the value");
}

struct TDrawing {
    std::string outcome; // the message of EOverflow, or empty
    TDrawnSize size;
    FuzzSurface surface;
};

struct TDrawSetup {
    int dpiX, dpiY, screenDpi, textHeight, x, y;
    TBrushStyle brushStyle;
};

constexpr TColor kStartBrush{1, 2, 3};
constexpr unsigned kStartAlign = TA_RIGHT | TA_BASELINE;
constexpr TDrawnSize kUnwritten{-7, -9};

TDrawing Draw(TLLBarcode& barcode, const TDrawSetup& setup) {
    TDrawing drawing{
        {}, kUnwritten, FuzzSurface(setup.dpiX, setup.dpiY, setup.screenDpi, setup.textHeight)};
    FuzzSurface& surface = drawing.surface;
    surface.SetBrushColor(kStartBrush);
    surface.SetBrushStyle(setup.brushStyle);
    surface.SetTextAlign(kStartAlign);
    try {
        barcode.DrawBarcode(surface, setup.x, setup.y, drawing.size);
    } catch (const EOverflow& e) {
        drawing.outcome = std::string("EOverflow: ") + e.what();
    }
    return drawing;
}

// The pieces of text a successful drawing writes.
std::size_t ExpectedTexts(const TBarcodeParams& params) {
    if (!params.HumanReadable) return 0;
    const std::size_t addon = std::strlen(params.CodeAddon) != 0 ? 1 : 0;
    switch (params.CodeType) {
    case btCodeTypes::EAN_8: return 2;
    case btCodeTypes::EAN_13: return 3 + addon;
    case btCodeTypes::UPC_A: return 4 + addon;
    default: return 1;
    }
}

bool IsEanFamily(btCodeTypes type) {
    return type == btCodeTypes::EAN_8 || type == btCodeTypes::EAN_13 ||
           type == btCodeTypes::UPC_A || type == btCodeTypes::UPC_E;
}

// What of an unrotated drawing lies inside its size box (x, y, w, v):
// - every fill and every text point starts at or after (x, y);
// - fills end within the width (FIM bars too: the width takes in their whole-pixel pitch);
// - fills end within the height, but the EAN/UPC guard bars when the digits are shown (the
//   height is the digits' line, and with a small font the guard bars reach below it), and
//   add-on bars, which start below the digits above them and so are upside down when the
//   bars are short;
// - text points (centre, top) lie within the box.
void CheckBox(const FuzzSurface& surface, const TBarcodeParams& params, const TDrawSetup& setup,
              int w, int v) {
    int deepest = setup.y; // the bottom of the long bars
    for (const FuzzFill& fill : surface.fills)
        if (fill.top == setup.y) deepest = std::max(deepest, fill.bottom);
    for (const FuzzFill& raw : surface.fills) {
        const FuzzFill fill = raw.Normalised();
        Check(fill.left >= setup.x && fill.top >= setup.y, "fill inside the size");
        Check(fill.right <= setup.x + w, "fill inside the size across");
        const bool guardBar =
            IsEanFamily(params.CodeType) && params.HumanReadable && raw.bottom == deepest;
        const bool addonBar =
            (params.CodeType == btCodeTypes::EAN_13 || params.CodeType == btCodeTypes::UPC_A) &&
            raw.top != setup.y;
        if (!guardBar && !addonBar) Check(fill.bottom <= setup.y + v, "fill inside the size down");
    }
    for (const FuzzText& text : surface.texts)
        Check(text.x >= setup.x && text.x <= setup.x + w && text.y >= setup.y &&
                  text.y <= setup.y + v,
              "text point inside the size");
}

// ITF-14's bearer bars, the first fills of its drawing: one over and one under the bars, as
// thick as each other and at least a pixel, and with the frame one at either side between
// them, as wide as each other and at least a pixel, closing the frame. The bars (the fills
// from `first`) stand between the bars over and under, touching both, and leave at least a
// pixel of quiet zone to the frame's sides or, without them, to the ends of the bearer bars.
void CheckBearers(const std::vector<FuzzFill>& fills, std::size_t first, bool frame) {
    const FuzzFill over = fills[0].Normalised(), under = fills[1].Normalised();
    const int thickness = over.bottom - over.top;
    Check(thickness >= 1 && under.bottom - under.top == thickness,
          "ITF-14 bearer bars over and under at least a pixel and equally thick");
    Check(over.left == under.left && over.right == under.right,
          "ITF-14 bearer bars over and under of the same length");
    int inner = over.left, outer = over.right; // the room across for the bars
    if (frame) {
        const FuzzFill left = fills[2].Normalised(), right = fills[3].Normalised();
        Check(left.left == over.left && right.right == over.right,
              "ITF-14 frame sides at the ends of the bearer bars");
        Check(left.top == over.bottom && left.bottom == under.top && right.top == over.bottom &&
                  right.bottom == under.top,
              "ITF-14 frame sides close the frame");
        Check(left.right - left.left >= 1 && right.right - right.left == left.right - left.left,
              "ITF-14 frame sides at least a pixel and equally wide");
        inner = left.right;
        outer = right.left;
    }
    for (std::size_t i = first; i < fills.size(); ++i) {
        const FuzzFill bar = fills[i].Normalised();
        Check(bar.top == over.bottom && bar.bottom == under.top,
              "ITF-14 bars stand between the bearer bars, touching them");
        Check(bar.left - inner >= 1 && outer - bar.right >= 1,
              "ITF-14 bars leave a quiet zone inside the bearer bars");
    }
}

// Every bar of the pattern is drawn, at least a pixel wide and at least a pixel from the one
// before it, whatever the module width (the postal symbols draw bar positions, not runs).
void CheckBarsApart(const FuzzSurface& surface, const TLLBarcode& barcode) {
    const btCodeTypes type = barcode.Params.CodeType;
    if (type == btCodeTypes::Postnet || type == btCodeTypes::Postnet_FIM) return;
    std::size_t first = 0;
    if (type == btCodeTypes::ITF_14) {
        const bool frame = barcode.Params.Bearer != TBearer::TopBottom;
        first = frame ? 4 : 2;
        Check(surface.fills.size() > first, "ITF-14 draws its bearer bars and its bars");
        CheckBearers(surface.fills, first, frame);
    }
    std::size_t runs = 0;
    for (int i = 1; i <= barcode.ModuleCount; ++i)
        if (barcode.Modules[i] != 0 && (i == 1 || barcode.Modules[i - 1] == 0)) ++runs;
    Check(surface.fills.size() - first == runs, "one fill for every bar of the pattern");
    for (std::size_t i = first; i < surface.fills.size(); ++i) {
        const FuzzFill fill = surface.fills[i].Normalised();
        Check(fill.right - fill.left >= 1, "a bar is at least a pixel wide");
        if (i > first)
            Check(fill.left - surface.fills[i - 1].Normalised().right >= 1,
                  "a space between bars is at least a pixel wide");
    }
}

// A Code 128 symbol, GS1-128 too, has its start and stop characters at its ends only.
void CheckCode128Ends(const TLLBarcode& barcode) {
    const btCodeTypes type = barcode.Params.CodeType;
    if (type != btCodeTypes::CODE128_A && type != btCodeTypes::CODE128_B &&
        type != btCodeTypes::CODE128_C && type != btCodeTypes::GS1_128)
        return;
    const std::size_t length = std::strlen(barcode.CodeText);
    for (std::size_t i = 1; i + 1 < length; ++i) {
        const auto c = static_cast<unsigned char>(barcode.CodeText[i]);
        Check(c < 135 || c > 138, "no start or stop character between the data symbols");
    }
}

// A point of the drawing taken back into the unrotated layout box of width w and height v at
// (x, y).
void Unrotate(btCodeRotate rotation, int x, int y, int w, int v, int& px, int& py) {
    const int dx = px - x, dy = py - y;
    switch (rotation) {
    case btCodeRotate::rotate_090: px = x + w - dy, py = y + dx; break;
    case btCodeRotate::rotate_180: px = x + w - dx, py = y + v - dy; break;
    case btCodeRotate::rotate_270: px = x + dy, py = y + v - dx; break;
    default: break;
    }
}

void CheckDrawing(const TDrawing& drawing, const TLLBarcode& barcode, const TDrawSetup& setup,
                  const std::string& encodeOutcome, const TDrawing* unrotated) {
    const FuzzSurface& surface = drawing.surface;
    Check(drawing.outcome == encodeOutcome, "DrawBarcode fails exactly as Encode does");
    if (!drawing.outcome.empty()) {
        Check(surface.fills.empty() && surface.texts.empty(), "nothing drawn before a failure");
        Check(drawing.size == kUnwritten, "size not written on a failure");
        return;
    }
    const TBarcodeParams& params = barcode.Params;
    const int w = drawing.size.width, h = drawing.size.height;
    Check(w >= 0 && h >= 0, "drawn size not negative");

    for (const FuzzFill& fill : surface.fills) {
        Check(fill.color == kBlack, "bars are filled black");
        Check(fill.style == setup.brushStyle, "bars are filled with the brush style given");
    }
    // The unrotated drawing lies in its box; the others are checked to be its exact image.
    if (unrotated == nullptr) {
        CheckBox(surface, params, setup, w, h);
        CheckBarsApart(surface, barcode);
    }

    Check(surface.texts.size() == ExpectedTexts(params), "the expected pieces of text");
    const std::string_view face = std::string_view(params.Fontname)
                                      .substr(0, std::min<std::size_t>(31, params.Fontname.size()));
    for (const FuzzText& text : surface.texts) {
        Check(text.escapement == 900 * static_cast<int>(params.Rotation),
              "text turns with the rotation");
        Check(text.align == (TA_CENTER | TA_TOP), "text is centred on its top");
        Check(text.face == face, "text face is the font name cut to 31 characters");
        Check(text.height >= 0, "font height not negative");
    }

    Check(surface.BrushColor() == kStartBrush && surface.BrushStyle() == setup.brushStyle &&
              surface.TextAlign() == kStartAlign,
          "brush and text alignment put back");

    if (unrotated == nullptr) return;
    // The same drawing as the unrotated one, point for point.
    const bool turned =
        params.Rotation == btCodeRotate::rotate_090 || params.Rotation == btCodeRotate::rotate_270;
    const TDrawnSize expected =
        turned ? TDrawnSize{unrotated->size.height, unrotated->size.width} : unrotated->size;
    Check(drawing.size == expected, "rotation keeps the size, turned");
    const int boxW = unrotated->size.width, boxV = unrotated->size.height;
    const std::vector<FuzzFill>& fills = unrotated->surface.fills;
    Check(surface.fills.size() == fills.size(), "rotation keeps the number of fills");
    for (std::size_t i = 0; i < fills.size(); ++i) {
        FuzzFill back = surface.fills[i];
        Unrotate(params.Rotation, setup.x, setup.y, boxW, boxV, back.left, back.top);
        Unrotate(params.Rotation, setup.x, setup.y, boxW, boxV, back.right, back.bottom);
        Check(back.Normalised().SameArea(fills[i].Normalised()), "a fill rotates exactly");
    }
    const std::vector<FuzzText>& texts = unrotated->surface.texts;
    Check(surface.texts.size() == texts.size(), "rotation keeps the pieces of text");
    for (std::size_t i = 0; i < texts.size(); ++i) {
        int px = surface.texts[i].x, py = surface.texts[i].y;
        Unrotate(params.Rotation, setup.x, setup.y, boxW, boxV, px, py);
        Check(px == texts[i].x && py == texts[i].y, "a text point rotates exactly");
        Check(surface.texts[i].text == texts[i].text && surface.texts[i].height == texts[i].height,
              "rotation keeps the text and its font");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr std::size_t kHeader = 12;
    if (size < kHeader) return 0;
    const auto type = static_cast<btCodeTypes>(data[0] < 0xF0 ? data[0] % 16 : data[0]);
    const auto ratio = static_cast<btCodeRatio>(data[1] % 4);
    const auto moduleWidth = static_cast<btCodeSizes>(data[2] % 16);
    const std::uint8_t flags = data[3];
    const std::int32_t heightPercent = data[4], fontscaling = data[5];
    const std::size_t addonLength = std::min<std::size_t>(data[11] % 8, size - kHeader);
    const std::string_view addon(reinterpret_cast<const char*>(data + kHeader), addonLength);
    const std::string_view caption(reinterpret_cast<const char*>(data + kHeader + addonLength),
                                   size - kHeader - addonLength);

    TLLBarcode fresh;
    TBarcodeParams& params = fresh.Params;
    params.CodeType = type;
    SetChecked(params, &TBarcodeParams::Ratio, ratio, ratio <= btCodeRatio::Ratio_2,
               &TBarcodeParams::SetRatio);
    SetChecked(params, &TBarcodeParams::ModuleWidth, moduleWidth, moduleWidth <= btCodeSizes::SC9,
               &TBarcodeParams::SetModuleWidth);
    SetChecked(params, &TBarcodeParams::HeightPercent, heightPercent,
               heightPercent >= 20 && heightPercent <= 200, &TBarcodeParams::SetHeightPercent);
    SetChecked(params, &TBarcodeParams::Fontscaling, fontscaling,
               fontscaling >= 20 && fontscaling <= 200, &TBarcodeParams::SetFontscaling);
    const auto badRotation = static_cast<btCodeRotate>(4 + flags % 8);
    SetChecked(params, &TBarcodeParams::Rotation, badRotation, false, &TBarcodeParams::SetRotation);
    params.HumanReadable = (flags & 0x01) != 0;
    params.ZoomSize = (flags & 0x02) != 0;
    params.WidthReduce = (flags & 0x04) != 0;
    params.HighDensity = (flags & 0x08) != 0;
    params.ItfWideQuarters = static_cast<std::uint8_t>(9 + (data[1] >> 2) % 4);
    params.Bearer = (data[1] & 0x10) != 0 ? TBearer::TopBottom : TBearer::Frame;
    if ((flags & 0x40) != 0) params.Fontname = "Liberation Sans Narrow Condensed Bold Italic";
    params.SetCodeAddon(addon);
    CheckParams(params);
    const bool accepted = SetCaption(params, caption);
    const std::string freshOutcome = Encode(fresh);
    CheckEncoded(fresh, freshOutcome.empty());
    if (freshOutcome.empty()) {
        CheckTextRoutines(fresh);
        CheckCode128Ends(fresh);
    }

    // An engine that has encoded other inputs before must give the same result.
    static TLLBarcode used;
    used.Params = params;
    if (accepted) {
        const std::string usedOutcome = Encode(used);
        CheckEncoded(used, usedOutcome.empty());
        Check(usedOutcome == freshOutcome, "same outcome on a used engine");
        if (freshOutcome.empty()) {
            Check(used.ModuleCount == fresh.ModuleCount, "same ModuleCount on a used engine");
            Check(std::strcmp(used.CodeText, fresh.CodeText) == 0,
                  "same CodeText on a used engine");
            Check(std::memcmp(used.Modules + 1, fresh.Modules + 1,
                              static_cast<std::size_t>(TLLBarcode::kMaxModules)) == 0,
                  "same Modules on a used engine");
            Check(std::strcmp(used.Params.Caption, fresh.Params.Caption) == 0,
                  "same Caption after encoding");
        }
    }

    // Drawing, on the fresh engine (drawing encodes again), in the four rotations.
    const TDrawSetup setup{data[6] * 10,
                           data[7] * 10,
                           48 + data[8],
                           (flags & 0x10) != 0 ? -1 : 13,
                           static_cast<std::int8_t>(data[9]),
                           static_cast<std::int8_t>(data[10]),
                           (flags & 0x20) != 0 ? TBrushStyle::Clear : TBrushStyle::Solid};
    std::optional<TDrawing> unrotated;
    for (int rotation = 0; rotation < 4; ++rotation) {
        SetChecked(params, &TBarcodeParams::Rotation, static_cast<btCodeRotate>(rotation), true,
                   &TBarcodeParams::SetRotation);
        TDrawing drawing = Draw(fresh, setup);
        CheckDrawing(drawing, fresh, setup, freshOutcome, unrotated ? &*unrotated : nullptr);
        if (!unrotated) unrotated = std::move(drawing);
    }
    return 0;
}
