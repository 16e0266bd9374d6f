#pragma once
// The parts the reference decoders share: one direction's attempt, and the two ways of
// reading one character's elements (similar-edge distances in whole modules, and two widths
// split by a threshold).
#include "verify/ReferenceDecode.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace varimark::decode {

using TWidths = std::span<const double>;

// One reading direction: the result, and how far the decoder got (characters read), so that
// the failure of the direction that got further is the one reported.
struct TAttempt {
    TDecoded result;
    int progress = 0;
};

// Sets the failure of an attempt; returns it for `return Fail(...)`.
TAttempt& Fail(TAttempt& attempt, std::string why);
// The count of characters of `per` elements in m elements beside `fixed` others (start,
// stop), when m is at least `least` and fits; else the attempt fails with "m elements: "
// and the symbol's shape, and the count is none.
std::optional<std::size_t> CountCharacters(TAttempt& attempt, std::size_t m, std::size_t least,
                                           std::size_t fixed, std::size_t per,
                                           std::string_view shape);

// A similar-edge distance e of a character p wide and n modules, in whole modules, with its
// margin: the distance of e to the nearest reference threshold (j + 0.5) * p / n over half a
// module, 0..1.
struct TEdgeValue {
    int modules = 0;
    double margin = 0;
};
TEdgeValue EdgeModules(double e, double p, int n);

// Two-width elements (one character, or one group of its elements: the bars, the spaces)
// read as narrow and wide. The reference threshold RT lies halfway between the mean narrow
// and the mean wide width; an element wider than RT is wide, one no wider is narrow.
struct TTwoWidth {
    bool ok = false;
    std::uint32_t wide = 0; // bit i: element i is wide
    double threshold = 0;
    double meanNarrow = 0, meanWide = 0;
    double margin = 0; // 0..1, see TwoWidthMargin
};
// The wideCount widest of the elements wide (0 < wideCount < size, at most 16 elements); ok is
// false when RT does not lie strictly between the narrow and the wide ones.
TTwoWidth SplitTwoWidth(TWidths elements, int wideCount);
// The elements read as `wide` says (at most 16); ok is false when an element lies on the
// wrong side of the threshold this reading gives. The threshold stays 0 when the reading has
// no narrow or no wide element, or its wide ones are not wider on average.
TTwoWidth ReadTwoWidth(TWidths elements, std::uint32_t wide);
// Decodability of two-width elements (ISO/IEC 15416, two-width symbologies): each element's
// distance from the reference threshold RT on its own side, over the nominal distance of an
// element from RT, (N - 1) Z / 2 with Z the mean narrow width and N the wide to narrow
// ratio: RT - meanNarrow for the narrow elements, meanWide - RT for the wide ones (the two are
// equal as every RT here lies halfway). The worst element's margin, clamped to 0..1; -1 when
// an element lies on the wrong side of RT. The threshold and means are the reference's, so
// that elements without a wide one of their own (Interleaved 2 of 5's start and stop,
// Codabar's spaces in : / . +) are judged against a threshold found beside them.
double TwoWidthMargin(TWidths elements, std::uint32_t wide, const TTwoWidth& reference);

// Fills moduleWidth and nominal of a two-width result: kind[i] is 1 for a wide element, 0
// for a narrow one and 2 for an inter-character gap (nominally narrow). N and W are the
// means of the narrow (wide) bars and spaces averaged, free of bar gain. Returns the index
// of the first inter-character gap wider than W + N, or -1.
int FinishTwoWidth(TDecoded& result, TWidths widths, std::span<const std::uint8_t> kind);

// The decoders, for one reading direction.
TAttempt DecodeEanUpc(btCodeTypes type, TWidths widths);
TAttempt DecodeCode128(TWidths widths);
// GS1-128: Code 128 whose first data character is FNC1 (identifier "]C1").
TAttempt DecodeGs1128(TWidths widths);
TAttempt DecodeCode39(TWidths widths);
TAttempt DecodeCode25(btCodeTypes type, TWidths widths);
// Whether the last of an Interleaved 2 of 5 symbol's digits is the check digit the type's
// rule computes for the others.
bool Code25CheckDigitMatches(const std::string& digits, btCodeTypes type);
// ITF-14: Interleaved 2 of 5 of 14 digits, the last the GS1 check digit of the others.
TAttempt DecodeItf14(TWidths widths);
// The GS1 check digit of digits (GS1 General Specifications 7.9.1, modulo 10): weights 3
// and 1 alternating from the rightmost digit (weighted 3) leftwards; the check digit takes
// the sum up to a multiple of ten. Every character must be a digit.
char Gs1CheckDigit(std::string_view digits);
TAttempt DecodeCodabar(TWidths widths);
TAttempt DecodeMsi(TWidths widths);

} // namespace varimark::decode
