// Reference decoding: checks of the widths, the reading directions, and the parts the
// symbology decoders share.
#include "verify/ReferenceDecode.h"

#include "engine/Formatted.h"
#include "verify/DecodeCharacters.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>

namespace varimark {

namespace decode {

// A failure transmits nothing, also where it comes after a decode that succeeded (ITF-14's
// check digit, GS1-128's FNC1 after the start).
TAttempt& Fail(TAttempt& attempt, std::string why) {
    TDecoded& result = attempt.result;
    result.ok = false;
    result.message.clear();
    result.identifier.clear();
    result.decodability = 0;
    result.nominal.clear();
    result.failure = std::move(why);
    return attempt;
}

std::optional<std::size_t> CountCharacters(TAttempt& attempt, std::size_t m, std::size_t least,
                                           std::size_t fixed, std::size_t per,
                                           std::string_view shape) {
    if (m >= least && (m - fixed) % per == 0) return (m - fixed) / per;
    Fail(attempt, std::to_string(m) + " elements: " + std::string(shape));
    return std::nullopt;
}

TEdgeValue EdgeModules(double e, double p, int n) {
    const double x = e * n / p;
    const double whole = std::floor(x + 0.5);
    TEdgeValue value;
    value.modules = !(whole <= 1000) ? 1000 : static_cast<int>(whole);
    value.margin = std::clamp(1 - 2 * std::fabs(x - whole), 0.0, 1.0);
    return value;
}

double TwoWidthMargin(TWidths elements, std::uint32_t wide, const TTwoWidth& reference) {
    const double rt = reference.threshold;
    double margin = 1;
    for (std::size_t i = 0; i < elements.size(); ++i) {
        const double w = elements[i];
        if ((wide >> i) & 1u) {
            if (!(w > rt)) return -1;
            if (reference.meanWide > rt)
                margin = std::min(margin, (w - rt) / (reference.meanWide - rt));
        } else {
            if (!(w <= rt)) return -1;
            if (rt > reference.meanNarrow)
                margin = std::min(margin, (rt - w) / (rt - reference.meanNarrow));
        }
    }
    return std::clamp(margin, 0.0, 1.0);
}

TTwoWidth ReadTwoWidth(TWidths elements, std::uint32_t wide) {
    TTwoWidth read;
    read.wide = wide;
    if (elements.size() > 16) return read;
    double sum[2] = {};
    int count[2] = {};
    for (std::size_t i = 0; i < elements.size(); ++i) {
        const std::uint32_t kind = (wide >> i) & 1u;
        sum[kind] += elements[i];
        ++count[kind];
    }
    if (count[0] == 0 || count[1] == 0) return read;
    read.meanNarrow = sum[0] / count[0];
    read.meanWide = sum[1] / count[1];
    if (!(read.meanWide > read.meanNarrow)) return read;
    read.threshold = (read.meanNarrow + read.meanWide) / 2;
    read.margin = TwoWidthMargin(elements, wide, read);
    read.ok = read.margin >= 0;
    return read;
}

TTwoWidth SplitTwoWidth(TWidths elements, int wideCount) {
    const int m = static_cast<int>(elements.size());
    if (m > 16 || wideCount <= 0 || wideCount >= m) return {};
    std::array<double, 16> sorted{};
    std::copy(elements.begin(), elements.end(), sorted.begin());
    std::sort(sorted.begin(), sorted.begin() + m);
    // Halfway between the narrow and the wide means picks the wideCount widest, unless the
    // widths around the split are equal.
    const int narrowCount = m - wideCount;
    const double narrow =
        std::accumulate(sorted.begin(), sorted.begin() + narrowCount, 0.0) / narrowCount;
    const double wide =
        std::accumulate(sorted.begin() + narrowCount, sorted.begin() + m, 0.0) / wideCount;
    std::uint32_t mask = 0;
    int count = 0;
    for (int i = 0; i < m; ++i)
        if (elements[static_cast<std::size_t>(i)] > (narrow + wide) / 2) {
            mask |= 1u << i;
            ++count;
        }
    if (count != wideCount) return {};
    return ReadTwoWidth(elements, mask);
}

int FinishTwoWidth(TDecoded& result, TWidths widths, std::span<const std::uint8_t> kind) {
    // sum[wide][space], count[wide][space]
    double sum[2][2] = {};
    int count[2][2] = {};
    for (std::size_t i = 0; i < widths.size(); ++i) {
        if (kind[i] > 1) continue;
        sum[kind[i]][i % 2] += widths[i];
        ++count[kind[i]][i % 2];
    }
    const auto mean = [&](int wide) {
        double total = 0;
        int parts = 0;
        for (int space = 0; space < 2; ++space)
            if (count[wide][space] > 0) {
                total += sum[wide][space] / count[wide][space];
                ++parts;
            }
        return parts > 0 ? total / parts : 0.0;
    };
    const double narrow = mean(0), wide = mean(1);
    result.moduleWidth = narrow;
    result.nominal.resize(widths.size());
    for (std::size_t i = 0; i < widths.size(); ++i)
        result.nominal[i] = kind[i] == 1 ? wide : narrow;
    for (std::size_t i = 0; i < widths.size(); ++i)
        if (kind[i] == 2 && widths[i] > wide + narrow) return static_cast<int>(i);
    return -1;
}

} // namespace decode

using namespace decode;

namespace {

// Why the widths cannot be a symbol at all, or "".
std::string CheckWidths(std::span<const double> widths) {
    if (widths.empty()) return "no elements to decode";
    if (widths.size() % 2 == 0)
        return std::to_string(widths.size()) +
               " elements: a symbol runs from a bar to a bar, an odd number of elements";
    double total = 0;
    for (std::size_t i = 0; i < widths.size(); ++i) {
        if (!std::isfinite(widths[i]) || widths[i] <= 0) {
            return "element " + std::to_string(i + 1) + " is " + Formatted("%g", widths[i]) +
                   " wide: every width must be a positive number";
        }
        total += widths[i];
    }
    if (!std::isfinite(total)) return "the widths add up beyond the range of a number";
    return "";
}

TAttempt DecodeOneWay(btCodeTypes type, TWidths widths) {
    switch (Symbology(type)->reader) {
    case TReader::EanUpc: return DecodeEanUpc(type, widths);
    case TReader::Code39: return DecodeCode39(widths);
    case TReader::Interleaved2of5: return DecodeCode25(type, widths);
    case TReader::Code128: return DecodeCode128(widths);
    case TReader::Gs1128: return DecodeGs1128(widths);
    case TReader::Itf14: return DecodeItf14(widths);
    case TReader::MsiPlessey: return DecodeMsi(widths);
    case TReader::Codabar: return DecodeCodabar(widths);
    case TReader::None: break;
    }
    TAttempt attempt;
    return Fail(attempt, "no reference decoder for this symbology");
}

} // namespace

TDecoded ReferenceDecode(btCodeTypes type, std::span<const double> widths) {
    TDecoded failed;
    failed.type = type;
    if (type == btCodeTypes::Postnet || type == btCodeTypes::Postnet_FIM) {
        failed.failure = kPostalNotGraded;
        return failed;
    }
    if (!Symbology(type)) {
        failed.failure = "unknown symbology " + std::to_string(static_cast<int>(type));
        return failed;
    }
    failed.failure = CheckWidths(widths);
    if (!failed.failure.empty()) return failed;

    TAttempt forward = DecodeOneWay(type, widths);
    if (forward.result.ok) return forward.result;
    const std::vector<double> reversed(widths.rbegin(), widths.rend());
    TAttempt backward = DecodeOneWay(type, reversed);
    if (backward.result.ok) {
        std::reverse(backward.result.nominal.begin(), backward.result.nominal.end());
        backward.result.reversed = true;
        return backward.result;
    }
    // The failure of the direction that read more characters says most.
    TDecoded& further = backward.progress > forward.progress ? backward.result : forward.result;
    further.type = type;
    further.nominal.clear();
    return further;
}

namespace {

// Whether a read is one to believe when no symbology was named. As zbar does by default,
// Interleaved 2 of 5 wants 6 digits and Codabar 4 characters with its start and stop (a
// few strokes of print read as "59" or "DC" otherwise); an MSI Plessey symbol of zeros
// only is what a regular grille reads as.
bool Plausible(const TDecoded& decoded) {
    const std::string& m = decoded.message;
    switch (decoded.type) {
    case btCodeTypes::CODE25i:
    case btCodeTypes::CODE25iP: return m.size() >= 6;
    case btCodeTypes::Codabar: return m.size() >= 4;
    case btCodeTypes::MSI_Plessey: return m.find_first_not_of('0') != std::string::npos;
    default: return true;
    }
}

} // namespace

TDecoded ReferenceDecodeAny(std::span<const double> widths) {
    static constexpr btCodeTypes kOrder[] = {
        btCodeTypes::EAN_8,   btCodeTypes::UPC_E,       btCodeTypes::UPC_A,
        btCodeTypes::EAN_13,  btCodeTypes::CODE39,      btCodeTypes::CODE128_B,
        btCodeTypes::CODE25i, btCodeTypes::MSI_Plessey, btCodeTypes::Codabar};
    TDecoded failed;
    failed.failure = CheckWidths(widths);
    if (!failed.failure.empty()) return failed;
    for (const btCodeTypes type : kOrder) {
        TDecoded decoded = ReferenceDecode(type, widths);
        // The two Interleaved 2 of 5 types differ only in their check digit's rule.
        if (decoded.ok && type == btCodeTypes::CODE25i &&
            !Code25CheckDigitMatches(decoded.data, btCodeTypes::CODE25i) &&
            Code25CheckDigitMatches(decoded.data, btCodeTypes::CODE25iP))
            decoded.type = btCodeTypes::CODE25iP;
        // A Code 128 symbol whose first data character is FNC1 is GS1-128 (its identifier
        // "]C1"); Interleaved 2 of 5 is taken for ITF-14 only where its bearer bars are
        // seen, which the widths of one line do not show.
        if (decoded.ok && decoded.identifier == "]C1") decoded.type = btCodeTypes::GS1_128;
        if (decoded.ok && Plausible(decoded)) return decoded;
    }
    failed.failure = "the bars decode as none of the linear symbologies";
    return failed;
}

} // namespace varimark
