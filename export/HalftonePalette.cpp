// The fixed halftone palette of 8-bit pictures and the exact nearest-colour lookup into it.
//
// The 256 entries, in this order:
//   0 .. 15    the 16-colour system palette (black first, white last), so that the index
//              of a 4-bit pixel means the same colour in an 8-bit picture;
//   16 .. 223  the 6 x 6 x 6 colour cube of the levels 0, 51, 102, 153, 204, 255, red
//              slowest and blue fastest, without the 8 cube corners (black, red, lime,
//              yellow, blue, fuchsia, aqua, white) that the system colours already hold;
//   224 .. 255 32 greys 5, 13, 21, ..., 253 (8 apart), none of which is in the cube or
//              the system colours, so that grey pictures keep at most 4 levels of error.
// All 256 colours are different; pure black is entry 0 and pure white entry 15.
//
// Lookup: the colour space is cut into 32 x 32 x 32 cells of 8 x 8 x 8 colours. A cell
// lists every entry that can be the nearest for some colour in it: an entry whose
// smallest distance to the cell is no larger than the smallest, over all entries, of the
// largest distance to the cell. The true nearest entry of any colour in the cell is
// always listed (its distance is at least its smallest distance to the cell and at most
// that bound), so scanning the short list in index order with a strict comparison gives
// exactly the brute-force answer, lowest index on a tie.
#include "export/HalftonePalette.h"
#include "export/Pixels.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

namespace varimark {

namespace {

TRGBQuad Rgb(int r, int g, int b) {
    return TRGBQuad{static_cast<std::uint8_t>(b), static_cast<std::uint8_t>(g),
                    static_cast<std::uint8_t>(r), 0};
}

std::array<TRGBQuad, 256> MakeHalftone() {
    std::array<TRGBQuad, 256> p{};
    const std::array<TRGBQuad, 16>& system = varimark::SystemPalette16();
    std::size_t n = 0;
    for (const TRGBQuad& c : system) p[n++] = c;
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b) {
                const bool corner = (r == 0 || r == 5) && (g == 0 || g == 5) && (b == 0 || b == 5);
                if (!corner) p[n++] = Rgb(51 * r, 51 * g, 51 * b);
            }
    for (int i = 0; i < 32; ++i) p[n++] = Rgb(5 + 8 * i, 5 + 8 * i, 5 + 8 * i);
    return p;
}

constexpr int kCellBits = 3; // 8 levels per cell side
constexpr int kCellsPerSide = 256 >> kCellBits;
constexpr int kCellCount = kCellsPerSide * kCellsPerSide * kCellsPerSide;

class THalftoneTable {
public:
    THalftoneTable() {
        const std::array<TRGBQuad, 256>& p = HalftonePalette();
        for (int e = 0; e < 256; ++e) {
            red_[e] = p[e].red;
            green_[e] = p[e].green;
            blue_[e] = p[e].blue;
        }
        // Per channel and cell position: each entry's smallest and largest squared
        // distance to the cell's range of that channel.
        using Side = std::vector<std::array<std::uint32_t, 256>>;
        Side nearR(kCellsPerSide), nearG(kCellsPerSide), nearB(kCellsPerSide);
        Side farR(kCellsPerSide), farG(kCellsPerSide), farB(kCellsPerSide);
        auto fill = [](const std::array<std::uint8_t, 256>& v, Side& nearD, Side& farD) {
            for (int k = 0; k < kCellsPerSide; ++k) {
                const int lo = k << kCellBits, hi = lo + (1 << kCellBits) - 1;
                for (int e = 0; e < 256; ++e) {
                    const int c = v[e];
                    const int gap = c < lo ? lo - c : c > hi ? c - hi : 0;
                    const int far = std::max(c - lo, hi - c);
                    nearD[k][e] = static_cast<std::uint32_t>(gap * gap);
                    farD[k][e] = static_cast<std::uint32_t>(far * far);
                }
            }
        };
        fill(red_, nearR, farR);
        fill(green_, nearG, farG);
        fill(blue_, nearB, farB);

        start_.resize(kCellCount + 1);
        candidates_.reserve(kCellCount * 4);
        std::array<std::uint32_t, 256> nearRG{}, farRG{}, nearD{};
        for (int r = 0; r < kCellsPerSide; ++r)
            for (int g = 0; g < kCellsPerSide; ++g) {
                for (int e = 0; e < 256; ++e) {
                    nearRG[e] = nearR[r][e] + nearG[g][e];
                    farRG[e] = farR[r][e] + farG[g][e];
                }
                for (int b = 0; b < kCellsPerSide; ++b) {
                    std::uint32_t bound = std::numeric_limits<std::uint32_t>::max();
                    for (int e = 0; e < 256; ++e) {
                        bound = std::min(bound, farRG[e] + farB[b][e]);
                        nearD[e] = nearRG[e] + nearB[b][e];
                    }
                    const int cell = (r * kCellsPerSide + g) * kCellsPerSide + b;
                    start_[cell] = static_cast<std::uint32_t>(candidates_.size());
                    for (int e = 0; e < 256; ++e)
                        if (nearD[e] <= bound) candidates_.push_back(static_cast<std::uint8_t>(e));
                }
            }
        start_[kCellCount] = static_cast<std::uint32_t>(candidates_.size());
        candidates_.shrink_to_fit();
    }

    std::uint8_t Nearest(int r, int g, int b) const {
        const int cell = ((r >> kCellBits) * kCellsPerSide + (g >> kCellBits)) * kCellsPerSide +
                         (b >> kCellBits);
        const std::uint8_t* it = candidates_.data() + start_[cell];
        const std::uint8_t* end = candidates_.data() + start_[cell + 1];
        std::uint8_t best = *it;
        if (end - it == 1) return best;
        int bestDistance = std::numeric_limits<int>::max();
        for (; it != end; ++it) {
            const int dr = r - red_[*it], dg = g - green_[*it], db = b - blue_[*it];
            const int d = dr * dr + dg * dg + db * db;
            if (d < bestDistance) {
                bestDistance = d;
                best = *it;
            }
        }
        return best;
    }

private:
    std::array<std::uint8_t, 256> red_{}, green_{}, blue_{};
    std::vector<std::uint32_t> start_;     // cell -> first candidate; one past the last cell
    std::vector<std::uint8_t> candidates_; // per cell, ascending entry indices
};

} // namespace

const std::array<TRGBQuad, 256>& HalftonePalette() {
    static const std::array<TRGBQuad, 256> kPalette = MakeHalftone();
    return kPalette;
}

std::uint8_t NearestHalftoneIndex(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    static const THalftoneTable kTable;
    return kTable.Nearest(red, green, blue);
}

} // namespace varimark
