// PNG written into memory, without libpng. A picture of at most 256 distinct colours becomes a
// palette image of the smallest depth that holds its colours (1, 2, 4 or 8 bits); the palette
// lists the colours in the order they are first met, reading rows from the top. Any other
// picture becomes 8-bit-per-sample RGB. Only the colours count: a palette entry that no pixel
// uses is left out, and equal entries are merged. The chunks are IHDR, PLTE (palette images),
// one IDAT and IEND; every row is unfiltered, the image data one zlib stream of one deflate
// block with the fixed codes.
#include "export/PngWriter.h"
#include "export/Pixels.h"
#include "varimark/error.h"

#include <array>
#include <bit>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>

namespace varimark {

namespace {

// The colour keys (0xRRGGBB) of row y: calls visit(x, key) for every pixel.
template <typename Visit> void ForEachKey(const TBitmap& bitmap, int y, Visit visit) {
    varimark::ForEachColour(bitmap.ScanLine(y), bitmap.Width(), bitmap.PixelFormat(),
                            bitmap.Palette(),
                            [&](int x, std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
                                visit(x, red << 16 | green << 8 | blue);
                            });
}

// Whether row y holds the same pixels as the row above it: barcodes are mostly rows drawn
// alike, read and converted once.
bool SameAsRowAbove(const TBitmap& bitmap, int y) {
    const std::size_t bytes = (static_cast<std::size_t>(bitmap.Width()) *
                                   static_cast<std::size_t>(bitmap.BitsPerPixel()) +
                               7) /
                              8;
    return y > 0 && std::memcmp(bitmap.ScanLine(y), bitmap.ScanLine(y - 1), bytes) == 0;
}

// --- What is written

struct TColour {
    std::uint8_t red, green, blue;
};

// The palette's colours by key (0xRRGGBB): at most 256 in a table of four times as many
// places, found by a multiplicative hash and the places after it; nothing allocated.
class TColourTable {
public:
    std::size_t Size() const { return size_; }
    // The index of key, added (as the next index) when it is new; -1 when it is new and the
    // table holds 256 already.
    int Add(std::uint32_t key) {
        std::size_t at = Place(key);
        for (; keys_[at] != 0; at = (at + 1) % kPlaces)
            if (keys_[at] == key + 1) return indices_[at];
        if (size_ == 256) return -1;
        keys_[at] = key + 1, indices_[at] = static_cast<std::uint8_t>(size_++);
        return indices_[at];
    }
    // The index of key; 0 when it is not there.
    unsigned Find(std::uint32_t key) const {
        for (std::size_t at = Place(key); keys_[at] != 0; at = (at + 1) % kPlaces)
            if (keys_[at] == key + 1) return indices_[at];
        return 0;
    }

private:
    static constexpr int kPlaceBits = 10;
    static constexpr std::size_t kPlaces = std::size_t{1} << kPlaceBits;
    static std::size_t Place(std::uint32_t key) { return (key * 2654435761u) >> (32 - kPlaceBits); }
    std::array<std::uint32_t, kPlaces> keys_{}; // key + 1; 0 for a free place
    std::array<std::uint8_t, kPlaces> indices_{};
    std::size_t size_ = 0;
};

struct TPlan {
    bool palette = false;
    int depth = 8;                             // bits per sample (palette: per index)
    std::vector<TColour> colours;              // the palette
    std::array<std::uint8_t, 256> fromIndex{}; // source palette index -> PNG index
    TColourTable fromColour;                   // RGB -> PNG index
};

// Finds the distinct colours: for a palette picture through the indices it uses, for
// any other picture until a 257th colour shows that RGB is needed. Each run of one colour
// along a row, and each row like the one above it, is looked up once.
TPlan Plan(const TBitmap& bitmap) {
    TPlan plan;
    TColourTable& colours = plan.fromColour;
    // The index of key, the colour added to the palette when new; -1 past 256 colours.
    auto add = [&](std::uint32_t key) -> int {
        const std::size_t before = colours.Size();
        const int index = colours.Add(key);
        if (colours.Size() != before)
            plan.colours.push_back({static_cast<std::uint8_t>(key >> 16),
                                    static_cast<std::uint8_t>(key >> 8),
                                    static_cast<std::uint8_t>(key)});
        return index;
    };
    const int bits = bitmap.BitsPerPixel();
    if (bits <= 8) {
        std::array<bool, 256> used{};
        for (int y = 0; y < bitmap.Height(); ++y) {
            if (SameAsRowAbove(bitmap, y)) continue;
            const std::uint8_t* row = bitmap.ScanLine(y);
            for (int x = 0; x < bitmap.Width(); ++x) {
                const unsigned index = varimark::PixelIndex(row, x, bits);
                if (used[index]) continue;
                used[index] = true;
                const TRGBQuad c = varimark::PaletteEntry(bitmap.Palette(), index);
                plan.fromIndex[index] = static_cast<std::uint8_t>(
                    add(std::uint32_t{c.red} << 16 | c.green << 8 | c.blue));
            }
        }
        plan.palette = true;
    } else {
        plan.palette = true;
        std::uint32_t last = 0xFFFFFFFF;
        for (int y = 0; y < bitmap.Height() && plan.palette; ++y) {
            if (SameAsRowAbove(bitmap, y)) continue;
            ForEachKey(bitmap, y, [&](int, std::uint32_t key) {
                if (key == last || !plan.palette) return;
                last = key;
                if (add(key) < 0) plan.palette = false;
            });
        }
    }
    if (plan.palette) {
        const std::size_t n = plan.colours.size();
        plan.depth = n <= 2 ? 1 : n <= 4 ? 2 : n <= 16 ? 4 : 8;
    } else {
        plan.colours.clear();
    }
    return plan;
}

// Row y as PNG samples: packed indices (first pixel in the high bits) or RGB.
void PngRow(const TBitmap& bitmap, const TPlan& plan, int y, std::uint8_t* out) noexcept {
    const int width = bitmap.Width();
    if (!plan.palette) {
        bitmap.ReadRgbRow(y, out);
        return;
    }
    const int bits = bitmap.BitsPerPixel();
    std::memset(out, 0, (static_cast<std::size_t>(width) * plan.depth + 7) / 8);
    const auto put = [&](int x, unsigned index) {
        const std::size_t bit = static_cast<std::size_t>(x) * plan.depth;
        out[bit / 8] |= static_cast<std::uint8_t>(index << (8 - plan.depth - bit % 8));
    };
    if (bits <= 8) {
        const std::uint8_t* row = bitmap.ScanLine(y);
        for (int x = 0; x < width; ++x) put(x, plan.fromIndex[varimark::PixelIndex(row, x, bits)]);
        return;
    }
    std::uint32_t lastKey = 0xFFFFFFFF; // barcodes are long runs of one colour
    unsigned lastIndex = 0;
    ForEachKey(bitmap, y, [&](int x, std::uint32_t key) {
        if (key != lastKey) lastKey = key, lastIndex = plan.fromColour.Find(key);
        put(x, lastIndex);
    });
}

// --- The zlib stream: deflate with the fixed Huffman codes

// Bits gathered least significant first, as deflate packs them.
class TBitWriter {
public:
    explicit TBitWriter(std::vector<std::uint8_t>& out) : out_(out) {}
    void Put(std::uint32_t bits, int count) {
        buffer_ |= static_cast<std::uint64_t>(bits) << filled_;
        filled_ += count;
        while (filled_ >= 8) {
            out_.push_back(static_cast<std::uint8_t>(buffer_));
            buffer_ >>= 8, filled_ -= 8;
        }
    }
    // A Huffman code goes out from its first (most significant) bit.
    void PutCode(std::uint32_t code, int count) {
        std::uint32_t reversed = 0;
        for (int i = 0; i < count; ++i) reversed |= ((code >> i) & 1u) << (count - 1 - i);
        Put(reversed, count);
    }
    void Finish() {
        if (filled_ > 0) Put(0, 8 - filled_);
    }

private:
    std::vector<std::uint8_t>& out_;
    std::uint64_t buffer_ = 0;
    int filled_ = 0;
};

// The fixed literal/length code (RFC 1951, 3.2.6), each code's bits reversed to go out
// least significant first.
struct TFixedCode {
    std::uint16_t bits;
    std::uint8_t count;
};
const std::array<TFixedCode, 288>& FixedCodes() {
    static const std::array<TFixedCode, 288> kCodes = [] {
        std::array<TFixedCode, 288> c{};
        for (unsigned symbol = 0; symbol < 288; ++symbol) {
            const auto [code, count] = symbol < 144   ? std::pair(0x30 + symbol, 8)
                                       : symbol < 256 ? std::pair(0x190 + symbol - 144, 9)
                                       : symbol < 280 ? std::pair(symbol - 256, 7)
                                                      : std::pair(0xC0 + symbol - 280, 8);
            unsigned reversed = 0;
            for (int i = 0; i < count; ++i) reversed |= ((code >> i) & 1u) << (count - 1 - i);
            c[symbol] = {static_cast<std::uint16_t>(reversed), static_cast<std::uint8_t>(count)};
        }
        return c;
    }();
    return kCodes;
}

void PutSymbol(TBitWriter& bits, unsigned symbol) {
    const TFixedCode code = FixedCodes()[symbol];
    bits.Put(code.bits, code.count);
}

// Lengths 3..258 and distances 1..32768 as codes with extra bits (RFC 1951, 3.2.5).
constexpr std::uint16_t kLengthBase[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                           15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                           67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                           2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::uint16_t kDistanceBase[30] = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                             6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

void PutMatch(TBitWriter& bits, unsigned length, unsigned distance) {
    unsigned l = 28;
    while (kLengthBase[l] > length) --l;
    PutSymbol(bits, 257 + l);
    bits.Put(length - kLengthBase[l], kLengthExtra[l]);
    unsigned d = 29;
    while (kDistanceBase[d] > distance) --d;
    bits.PutCode(d, 5);
    bits.Put(distance - kDistanceBase[d], kDistanceExtra[d]);
}

constexpr std::size_t kWindow = 32768, kMaxMatch = 258, kMinMatch = 3;

// Deflates the rows as they come, in one block of fixed codes: each position takes the
// longest of the matches a byte, a pixel or a row back and the last place its next three
// bytes were seen (a hash of them), else a literal. Barcodes are runs and rows alike, which
// these find; the bytes kept are the last window's and the rows not yet deflated.
class TDeflater {
public:
    TDeflater(std::vector<std::uint8_t>& out, std::size_t pixelBytes, std::size_t rowBytes)
        : bits_(out), near_{1, pixelBytes, rowBytes}, head_(kHashSize, -1) {
        bits_.Put(1, 1); // the last block
        bits_.Put(1, 2); // of fixed codes
    }
    // Takes bytes; deflates all but the last kMaxMatch, which a later match may still reach.
    void Add(const std::uint8_t* data, std::size_t size) {
        data_.insert(data_.end(), data, data + size);
        Deflate(kMaxMatch);
        if (done_ > 2 * kWindow) { // keep the window only
            const std::size_t drop = done_ - kWindow;
            data_.erase(data_.begin(), data_.begin() + static_cast<std::ptrdiff_t>(drop));
            done_ -= drop, base_ += drop;
        }
    }
    void Finish() {
        Deflate(0);
        PutSymbol(bits_, 256);
        bits_.Finish();
    }

private:
    static constexpr int kHashBits = 12;
    static constexpr std::size_t kHashSize = std::size_t{1} << kHashBits;
    std::size_t Hash(std::size_t at) const {
        const std::uint32_t v = std::uint32_t{data_[at]} << 16 | data_[at + 1] << 8 | data_[at + 2];
        return (v * 2654435761u) >> (32 - kHashBits);
    }
    std::size_t MatchLength(std::size_t at, std::size_t from, std::size_t limit) const {
        const std::uint8_t* a = data_.data() + at;
        const std::uint8_t* b = data_.data() + from;
        std::size_t n = 0;
        for (; n + 8 <= limit; n += 8) { // eight bytes at a time, the first unequal one found
            std::uint64_t x, y;
            std::memcpy(&x, a + n, 8);
            std::memcpy(&y, b + n, 8);
            if (x != y) return n + static_cast<std::size_t>(std::countr_zero(x ^ y) / 8);
        }
        while (n < limit && a[n] == b[n]) ++n;
        return n;
    }
    // Deflates up to keep bytes before the end.
    void Deflate(std::size_t keep) {
        while (done_ + keep < data_.size() && done_ + kMinMatch <= data_.size()) {
            const std::size_t limit = std::min(kMaxMatch, data_.size() - done_);
            std::size_t best = 0, bestDistance = 0;
            const auto consider = [&](std::size_t distance) {
                if (best == limit || distance == 0 || distance > done_ || distance > kWindow)
                    return;
                // Only a match longer than the best so far counts: its last byte must agree.
                if (data_[done_ + best] != data_[done_ - distance + best]) return;
                const std::size_t n = MatchLength(done_, done_ - distance, limit);
                if (n > best) best = n, bestDistance = distance;
            };
            for (const std::size_t distance : near_) consider(distance);
            const std::size_t hash = Hash(done_);
            const long long seen = head_[hash];
            if (seen >= 0 && best < limit) consider(base_ + done_ - static_cast<std::size_t>(seen));
            head_[hash] = static_cast<long long>(base_ + done_);
            if (best >= kMinMatch) {
                PutMatch(bits_, static_cast<unsigned>(best), static_cast<unsigned>(bestDistance));
                // The places inside a short match are remembered; a long one is a run or
                // rows alike, found again by the near distances.
                for (std::size_t i = 1;
                     best <= 32 && i < best && done_ + i + kMinMatch <= data_.size(); ++i)
                    head_[Hash(done_ + i)] = static_cast<long long>(base_ + done_ + i);
                done_ += best;
            } else {
                PutSymbol(bits_, data_[done_++]);
            }
        }
        if (keep == 0)
            while (done_ < data_.size()) PutSymbol(bits_, data_[done_++]);
    }

    TBitWriter bits_;
    std::array<std::size_t, 3> near_;
    std::vector<long long> head_; // by hash: where its bytes were last seen (from the start)
    std::vector<std::uint8_t> data_;
    std::size_t done_ = 0; // bytes of data_ deflated
    std::size_t base_ = 0; // bytes dropped from data_'s front
};

// Adler-32 of the stream's bytes (RFC 1950, 2.2), kept as the rows come.
struct TAdler32 {
    static constexpr std::uint32_t kBase = 65521;
    std::uint32_t a = 1, b = 0;
    void Add(const std::uint8_t* data, std::size_t size) {
        while (size > 0) {
            const std::size_t n = std::min<std::size_t>(size, 5552); // no overflow before %
            for (std::size_t i = 0; i < n; ++i) a += data[i], b += a;
            a %= kBase, b %= kBase, data += n, size -= n;
        }
    }
    // Adds size bytes whose own sums (from a = 0, b = 0, modulo kBase) are sum and weighted:
    // each of their bytes adds itself to a, and a to b, so b gains size times the a before them
    // besides their own weighted sum.
    void AddSums(std::uint32_t sum, std::uint32_t weighted, std::size_t size) {
        b = static_cast<std::uint32_t>((b + (size % kBase) * std::uint64_t{a} + weighted) % kBase);
        a = (a + sum) % kBase;
    }
    std::uint32_t Value() const { return b << 16 | a; }
};

// --- The file

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(v >> shift));
}

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size) {
    static const std::array<std::uint32_t, 256> kTable = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) crc = kTable[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

// A chunk: length, type, data, CRC of type and data.
void PutChunk(std::vector<std::uint8_t>& out, const char (&type)[5],
              const std::vector<std::uint8_t>& data) {
    PutU32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    PutU32(out, Crc32(out.data() + start, out.size() - start));
}

// The rows, each after its filter byte (0: none), as one zlib stream.
std::vector<std::uint8_t> ImageData(const TBitmap& bitmap, const TPlan& plan) {
    const std::size_t rowBytes =
        plan.palette ? (static_cast<std::size_t>(bitmap.Width()) * plan.depth + 7) / 8
                     : static_cast<std::size_t>(bitmap.Width()) * 3;
    std::vector<std::uint8_t> row(1 + static_cast<std::size_t>(bitmap.Width()) * 3);
    std::vector<std::uint8_t> stream = {0x78, 0x01}; // deflate, 32 KiB window
    TDeflater deflater(stream, plan.palette ? 1 : 3, rowBytes + 1);
    TAdler32 adler, ofRow; // of the stream, and of the row alone (from 0, 0)
    for (int y = 0; y < bitmap.Height(); ++y) {
        if (!SameAsRowAbove(bitmap, y)) { // else the row and its sums are kept
            PngRow(bitmap, plan, y, row.data() + 1);
            ofRow = {0, 0};
            ofRow.Add(row.data(), rowBytes + 1);
        }
        deflater.Add(row.data(), rowBytes + 1);
        adler.AddSums(ofRow.a, ofRow.b, rowBytes + 1);
    }
    deflater.Finish();
    PutU32(stream, adler.Value());
    return stream;
}

} // namespace

std::vector<std::uint8_t> PngFileBytes(const TBitmap& bitmap) {
    // The limits libpng keeps by default, refused with its message.
    constexpr int kMaxSide = 1000000;
    if (bitmap.Width() <= 0 || bitmap.Height() <= 0 || bitmap.Width() > kMaxSide ||
        bitmap.Height() > kMaxSide)
        throw varimark::Error("PNG error: Invalid IHDR data");
    const TPlan plan = Plan(bitmap);
    std::vector<std::uint8_t> header;
    PutU32(header, static_cast<std::uint32_t>(bitmap.Width()));
    PutU32(header, static_cast<std::uint32_t>(bitmap.Height()));
    header.push_back(static_cast<std::uint8_t>(plan.depth));
    header.push_back(plan.palette ? 3 : 2); // colour type: palette or RGB
    header.insert(header.end(), {0, 0, 0}); // deflate, adaptive filters, not interlaced
    std::vector<std::uint8_t> palette;
    for (const TColour& c : plan.colours) palette.insert(palette.end(), {c.red, c.green, c.blue});

    std::vector<std::uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    PutChunk(out, "IHDR", header);
    if (plan.palette) PutChunk(out, "PLTE", palette);
    PutChunk(out, "IDAT", ImageData(bitmap, plan));
    PutChunk(out, "IEND", {});
    return out;
}

} // namespace varimark
