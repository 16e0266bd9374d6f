#pragma once
// The barcode engine: turns the parameter record into the prepared text and the
// module pattern of one of fourteen symbologies.
#include "engine/BarcodeParams.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace varimark {

class TSurface;

// A drawn size in device pixels after rotation, width first.
struct TDrawnSize {
    std::int32_t width = 0;
    std::int32_t height = 0;
    friend bool operator==(const TDrawnSize&, const TDrawnSize&) = default;
};

// A rectangle in unrotated layout coordinates.
struct TRect {
    int left, top, right, bottom;
};

class TLLBarcode {
public:
    static constexpr int kMaxModules = 833;      // CODE39 with 52 characters at Ratio_3: 832
    static constexpr int kCodeTextCapacity = 56; // prepared characters (Code 128 needs 54,
                                                 // GS1-128 at most 52)
    static constexpr int kMapCode128Capacity = 2 * (TBarcodeParams::kMaxCaption + 2) + 8;

    TLLBarcode() = default;

    // Builds CodeText, Modules and ModuleCount from Params. Allocates nothing; raises
    // EOverflow with the engine's messages.
    void Encode();

    // Module width in millimetres, halved with HighDensity.
    long double ModuleWidthMM() const;
    // Entries of Modules per module: ITF_14 draws a ratio of 2.5 in halves of a module and
    // 2.25 or 2.75 in quarters (1 at 3); every other type 1.
    int UnitsPerModule() const;
    // ITF_14's wide element in quarters of a module: ItfWideQuarters held to 9..12.
    int WideQuarters() const;

    // Code 128 code-set mapping of text (at most kMaxCaption + 2 characters). Encoding
    // mode gives the symbol characters from the start character to a STOP placeholder;
    // human-readable mode gives the printed line. Writes a zero-terminated result into
    // out (kMapCode128Capacity bytes) and returns its length.
    static std::size_t MapCode128(const char* text, bool humanReadable, char* out);

    // GS1-128: the symbol characters of an element string (AIs and data, FNC1 as the byte
    // 134 after each element of variable length that is not the last) from the start
    // character through FNC1 in first position to a STOP placeholder, in the code sets of
    // the shortest symbol. Writes a zero-terminated result into out (kCodeTextCapacity + 1
    // bytes) and returns its length; raises EOverflow(kCode128Refusal) for a byte of no code
    // set (below 32, above 127 but FNC1) and kCaptionTooLong for more than kMaxCaption.
    static std::size_t MapGs1Code128(std::string_view elements, char* out);

    // Rewrites a 12- or 14-character CODE25iP text in place into its grouped
    // human-readable form (up to 20 characters); other lengths stay as they are.
    void FormatCode25iP(char* text) const;

    // Encodes and draws the barcode with its unrotated top-left corner at (x, y) at the
    // surface's resolution; returns the drawn size after rotation in size. Postnet and
    // FIM go to DrawPostnet. Raises what Encode raises, before anything is drawn.
    void DrawBarcode(TSurface& surface, int x, int y, TDrawnSize& size);
    void DrawPostnet(TSurface& surface, int x, int y, TDrawnSize& size);
    // Fills rect, mapped through the rotation for the layout box (x, y, w, v).
    void FillRectRotated(TSurface& surface, const TRect& rect, int x, int y, int w, int v) const;
    // Writes text centred on the unrotated point (centre, top), the point at the top of
    // the text, with a font of face Fontname and the height derived from basis.
    void TextOutRotated(TSurface& surface, int x, int y, std::string_view text, long double basis,
                        int w, int v, int top, int centre) const;

    TBarcodeParams Params;
    char CodeText[kCodeTextCapacity + 1] = {};
    std::uint8_t Code39Elements[468] = {};
    std::uint8_t Code25Elements[260] = {};
    std::uint8_t Modules[kMaxModules + 1] = {}; // entries 1..ModuleCount are valid
    std::int32_t ModuleCount = 0;

private:
    void BuildEAN8();
    void BuildEAN13();
    void BuildUPCA();
    void BuildUPCE();
    void BuildAddon2();
    void BuildAddon5();
    void BuildCode39();
    void BuildCode25();
    void BuildCodabar();
    void BuildMSI();
    void BuildCode128();
    void BuildITF14();
    void BuildInterleaved(int narrow, int wide);
    void BuildPostnet();
    void BuildFIM();

    // Font height for the human-readable line, from a basis height (the bar height).
    int FontHeightFor(long double basis) const;
    // Writes `count` modules of value `bar` from entry pos; returns the next entry.
    int PutRun(int pos, std::uint8_t bar, int count);
    // Copies a pattern of 0/1 bytes into Modules from entry pos; returns the next entry.
    int PutPattern(int pos, const std::uint8_t* pattern, int count);
};

} // namespace varimark
