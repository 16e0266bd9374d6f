// GIF LZW: variable code width from minimum code size + 1 up to 12 bits, codes packed
// least significant bit first, a clear code first and whenever the next free code reaches
// 4095 (so 4095 itself is never assigned), the end code last, and the bytes cut into
// sub-blocks of at most 255 bytes followed by the block terminator.
#include "engine/ThreadState.h"
#include "export/GIFImage.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>

namespace varimark {

namespace {

// The dictionary: an open-addressing table of 8009 slots. A slot holds key × 4096 + code
// with key = prefix × 256 + pixel; all bits set marks an empty slot (it would need the
// code 4095 under the prefix 4095, and neither exists).
constexpr std::uint32_t kSlots = 8009;
constexpr std::uint32_t kEmptySlot = 0xFFFFFFFF;
constexpr std::uint32_t kNoSlot = kSlots; // probing found neither the key nor room
constexpr int kMaxCodeWidth = 12;
constexpr std::uint32_t kCodeLimit = 4095; // a clear code goes out when the next code is this
constexpr std::size_t kMaxBlock = 255;

// First probe for a key.
inline std::uint32_t FirstProbe(std::uint32_t key) {
    return (key ^ (key >> 4)) % kSlots;
}

// The probe after h: h - (8009 - h), or -1 after 0, brought back into the table. This
// walks h, 2h, 4h, ... modulo 8009 (0 goes on with -1, -2, -4, ...), a cycle of 4004 slots.
inline std::uint32_t NextProbe(std::uint32_t h) {
    if (h == 0) return kSlots - 1;
    const std::uint32_t twice = 2 * h;
    return twice >= kSlots ? twice - kSlots : twice;
}

// Collects codes in a 64-bit accumulator, least significant bit first, and stores them
// four bytes at a time.
class BitPacker {
public:
    explicit BitPacker(std::uint8_t* out) : out_(out) {}

    void Put(std::uint32_t code, int width) {
        acc_ |= static_cast<std::uint64_t>(code) << bits_;
        bits_ += width;
        if (bits_ >= 32) {
            Store32(static_cast<std::uint32_t>(acc_));
            acc_ >>= 32;
            bits_ -= 32;
        }
    }

    // Writes the bits left over, padded with zero bits to a whole byte; returns the end.
    std::uint8_t* Finish() {
        for (; bits_ > 0; bits_ -= 8) {
            *out_++ = static_cast<std::uint8_t>(acc_);
            acc_ >>= 8;
        }
        bits_ = 0;
        return out_;
    }

private:
    void Store32(std::uint32_t v) {
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(out_, &v, 4);
        } else {
            out_[0] = static_cast<std::uint8_t>(v);
            out_[1] = static_cast<std::uint8_t>(v >> 8);
            out_[2] = static_cast<std::uint8_t>(v >> 16);
            out_[3] = static_cast<std::uint8_t>(v >> 24);
        }
        out_ += 4;
    }

    std::uint8_t* out_;
    std::uint64_t acc_ = 0;
    int bits_ = 0;
};

[[noreturn]] void ColorNotInTable() {
    throw GIFException("Color not in color table");
}

// The dictionary maps (prefix code, pixel) to a code. Its home is the 8009-slot table.
// Beside it, the first pixel values met get ids and a direct index per code that mirrors
// the table's entries for them: child[id] for the first four, and pair[2 a + b], the code
// two steps further, for the first two. A barcode picture holds two colours, so nearly
// every step is one load that moves by two pixels, instead of hashing and probing per
// pixel; the table, and so the codes written, stay exactly the same.
constexpr std::uint32_t kChildIds = 4;
constexpr std::uint32_t kPairIds = 2;
constexpr std::uint8_t kNoId = 0xFF;
constexpr std::uint16_t kNoCode = 0xFFFF;

struct Node {
    std::uint16_t child[kChildIds];
    std::uint16_t pair[kPairIds * kPairIds];
};

struct Dictionary {
    std::uint32_t slots[kSlots];
    Node nodes[4096];
    // How each code above the roots was made: its prefix and the id of its last pixel.
    std::uint16_t parent[4096];
    std::uint8_t lastId[4096];
};

inline void EmptyNode(Node& node) {
    std::memset(&node, 0xFF, sizeof node);
}

// Looks the key up in the table: its code, or kNoCode with slot set to where it goes.
inline std::uint32_t Find(const std::uint32_t* slots, std::uint32_t key, std::uint32_t& slot) {
    std::uint32_t h = FirstProbe(key);
    for (std::uint32_t probes = 0;; h = NextProbe(h)) {
        const std::uint32_t v = slots[h];
        if (v == kEmptySlot) break;
        if ((v >> 12) == key) return v & 0xFFF;
        if (++probes > kSlots) {
            h = kNoSlot;
            break;
        }
    }
    slot = h;
    return kNoCode;
}

// Compresses the pixels into out (room for the worst case) and returns the end of the
// written bytes. kCheck: pixels can be at or above the limit and must be checked.
template <bool kCheck>
std::uint8_t* Compress(const std::uint8_t* pixels, std::size_t count, int minCodeSize,
                       std::uint32_t limit, Dictionary& dict, std::uint8_t* out) {
    const std::uint32_t clearCode = 1u << minCodeSize;
    const std::uint32_t endCode = clearCode + 1;
    std::uint32_t* const slots = dict.slots;
    Node* const nodes = dict.nodes;
    BitPacker packer(out);

    int width = minCodeSize + 1;
    std::uint32_t maxCode = 0, nextCode = 0;
    // The table is emptied only before it is first needed after a clear: a picture of
    // four colours or fewer never uses it.
    bool slotsEmpty = false;
    // Clear code: width back to the minimum, dictionary emptied (the nodes of the codes
    // above the roots are emptied as the codes are assigned).
    auto clear = [&] {
        packer.Put(clearCode, width);
        width = minCodeSize + 1;
        maxCode = (1u << width) - 1;
        nextCode = clearCode + 2;
        slotsEmpty = false;
        for (std::uint32_t root = 0; root < clearCode; ++root) EmptyNode(nodes[root]);
    };
    // The width grows after a code is written once the next free code no longer fits.
    auto grow = [&] {
        if (nextCode > maxCode && width < kMaxCodeWidth) {
            ++width;
            maxCode = (1u << width) - 1;
        }
    };

    clear();
    if (count == 0) {
        packer.Put(endCode, width);
        return packer.Finish();
    }

    // Ids are given to pixel values as they are first met on their own after the first
    // pixel (an entry can only end with a value met so); a pixel without one takes no
    // step of two, so it is always checked before it gets one.
    std::uint8_t ids[256];
    std::fill_n(ids, 256, kNoId);
    std::uint32_t idsGiven = 0;

    std::uint32_t prefix = pixels[0];
    if (kCheck && prefix >= limit) ColorNotInTable();
    std::size_t i = 1;
    // Not in the dictionary: writes the prefix and enters prefix + pixel (into the table
    // at slot unless that is kNoSlot); the pixel starts the next entry.
    const auto enter = [&](std::uint32_t pixel, std::uint32_t id, std::uint32_t slot) {
        packer.Put(prefix, width);
        grow();
        if (nextCode >= kCodeLimit) {
            prefix = pixel;
            clear();
            return;
        }
        EmptyNode(nodes[nextCode]);
        if (slot != kNoSlot || id < kChildIds) {
            const auto code = static_cast<std::uint16_t>(nextCode);
            if (slot != kNoSlot) slots[slot] = (prefix << 8 | pixel) << 12 | nextCode;
            dict.parent[nextCode] = static_cast<std::uint16_t>(prefix);
            dict.lastId[nextCode] = static_cast<std::uint8_t>(id);
            if (id < kChildIds) nodes[prefix].child[id] = code;
            if (id < kPairIds && prefix > endCode && dict.lastId[prefix] < kPairIds)
                nodes[dict.parent[prefix]].pair[dict.lastId[prefix] * kPairIds + id] = code;
        }
        ++nextCode;
        prefix = pixel;
    };

    for (;;) {
        // Two pixels in one step while the dictionary holds both extensions: nothing but
        // loads, the step that nearly every pixel of a barcode takes.
        bool pairMissing = false;
        while (i + 1 < count) {
            const std::uint32_t a = ids[pixels[i]], b = ids[pixels[i + 1]];
            if ((a | b) >= kPairIds) break;
            const std::uint32_t code = nodes[prefix].pair[a * kPairIds + b];
            if (code == kNoCode) {
                pairMissing = true;
                break;
            }
            prefix = code;
            i += 2;
        }
        if (pairMissing) {
            // prefix + a + b is missing, so the entry ends within one pixel: prefix + a when
            // the dictionary holds it (then b follows), else prefix (then a follows). Taken
            // without a branch, which would go either way as often.
            const std::uint32_t a = ids[pixels[i]];
            const std::uint32_t one = nodes[prefix].child[a];
            const std::uint32_t taken = 1 - ((one + 1) >> 16); // kNoCode + 1 is 1 << 16
            const std::uint32_t mask = 0 - taken;
            prefix = (one & mask) | (prefix & ~mask);
            i += taken;
            const std::uint32_t pixel = pixels[i++];
            enter(pixel, ids[pixel], kNoSlot);
            continue;
        }
        if (i >= count) break;

        const std::uint32_t pixel = pixels[i++];
        if (kCheck && pixel >= limit) ColorNotInTable();
        std::uint32_t id = ids[pixel];
        if (id == kNoId && idsGiven < kChildIds)
            ids[pixel] = static_cast<std::uint8_t>(id = idsGiven++);
        std::uint32_t slot = kNoSlot;
        if (id < kChildIds) {
            // Entries ending in a pixel with an id live in the nodes only.
            const std::uint32_t code = nodes[prefix].child[id];
            if (code != kNoCode) {
                prefix = code;
                continue;
            }
        } else {
            if (!slotsEmpty) {
                std::fill_n(slots, kSlots, kEmptySlot);
                slotsEmpty = true;
            }
            const std::uint32_t code = Find(slots, prefix << 8 | pixel, slot);
            if (code != kNoCode) {
                prefix = code;
                continue;
            }
        }
        enter(pixel, id, slot);
    }
    packer.Put(prefix, width);
    grow();
    packer.Put(endCode, width);
    return packer.Finish();
}

// The encoder's working memory, kept on each thread from one picture to the next (a batch
// encodes thousands): the dictionary, and the room for the packed codes of pictures up to
// kKeptRoom bytes (a larger picture's room is given back after it).
constexpr std::size_t kKeptRoom = std::size_t{1} << 20;
struct TScratch {
    std::unique_ptr<Dictionary> dict = std::make_unique_for_overwrite<Dictionary>();
    std::unique_ptr<std::uint8_t[]> room;
    std::size_t roomSize = 0;
};

} // namespace

void TLZWEncoder::Encode(const std::vector<std::uint8_t>& pixels, int bitsPerPixel, int colorCount,
                         std::vector<std::uint8_t>& out) {
    const int minCodeSize = std::clamp(bitsPerPixel, 2, 8);
    // A pixel must be an entry of the colour map and below the clear code.
    const std::uint32_t limit =
        static_cast<std::uint32_t>(std::clamp(colorCount, 0, 1 << minCodeSize));

    // Worst case: one code per pixel plus the clear codes (at least 3837 codes apart), the
    // first clear and the end code, 12 bits each, and room for the four-byte stores.
    const std::size_t count = pixels.size();
    const std::size_t codes = count + count / 2048 + 4;
    const std::size_t room = codes / 2 * 3 + 16;
    TScratch& scratch = TThreadState<TScratch>::Get(); // kept from picture to picture
    // Left uninitialised: only the pages written are ever touched.
    std::unique_ptr<std::uint8_t[]> large;
    std::uint8_t* raw;
    if (room <= kKeptRoom) {
        if (scratch.roomSize < room) {
            scratch.room = std::make_unique_for_overwrite<std::uint8_t[]>(room);
            scratch.roomSize = room;
        }
        raw = scratch.room.get();
    } else {
        large = std::make_unique_for_overwrite<std::uint8_t[]>(room);
        raw = large.get();
    }
    Dictionary& dict = *scratch.dict;
    // One quick pass finds whether any pixel is out of the colour map; only then does the
    // compressor check pixel by pixel (to stop where the first one is).
    const bool inMap =
        limit >= 256 || count == 0 || *std::max_element(pixels.begin(), pixels.end()) < limit;
    const std::uint8_t* end =
        inMap ? Compress<false>(pixels.data(), count, minCodeSize, limit, dict, raw)
              : Compress<true>(pixels.data(), count, minCodeSize, limit, dict, raw);
    const std::size_t size = static_cast<std::size_t>(end - raw);

    // Sub-blocks: full blocks of 255 bytes, then the rest (never an empty block), then
    // the block terminator.
    const std::size_t blocks = (size + kMaxBlock - 1) / kMaxBlock;
    const std::size_t at = out.size();
    out.resize(at + 1 + blocks + size + 1);
    std::uint8_t* o = out.data() + at;
    *o++ = static_cast<std::uint8_t>(minCodeSize);
    for (std::size_t from = 0; from < size; from += kMaxBlock) {
        const std::size_t n = std::min(kMaxBlock, size - from);
        *o++ = static_cast<std::uint8_t>(n);
        std::memcpy(o, raw + from, n);
        o += n;
    }
    *o = 0;
}

} // namespace varimark
