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
    throw EGif("Color not in color table");
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

// Compresses the pixels into out (room for the worst case). kCheck: pixels can be at or
// above the limit and must be checked. The steps are inlined into Run, so the hot loop
// keeps the state in registers as one function's locals would be.
template <bool kCheck> class TCompressor {
public:
    TCompressor(const std::uint8_t* pixels, std::size_t count, int minCodeSize, std::uint32_t limit,
                Dictionary& dict, std::uint8_t* out)
        : pixels_(pixels), count_(count), limit_(limit), minCodeSize_(minCodeSize),
          clearCode_(1u << minCodeSize), endCode_(clearCode_ + 1), dict_(dict), slots_(dict.slots),
          nodes_(dict.nodes), packer_(out), width_(minCodeSize + 1) {}

    // Returns the end of the written bytes.
    [[gnu::always_inline]] std::uint8_t* Run() {
        Clear();
        if (count_ == 0) {
            packer_.Put(endCode_, width_);
            return packer_.Finish();
        }
        std::uint8_t ids[256];
        std::fill_n(ids, 256, kNoId);
        ids_ = ids;
        prefix_ = pixels_[0];
        if (kCheck && prefix_ >= limit_) ColorNotInTable();
        next_ = 1;
        for (;;) {
            if (TakePairs()) {
                EndWithinOnePixel();
                continue;
            }
            if (next_ >= count_) break;
            TakeOnePixel();
        }
        packer_.Put(prefix_, width_);
        Grow();
        packer_.Put(endCode_, width_);
        return packer_.Finish();
    }

private:
    // Clear code: width back to the minimum, dictionary emptied (the nodes of the codes
    // above the roots are emptied as the codes are assigned).
    [[gnu::always_inline]] void Clear() {
        packer_.Put(clearCode_, width_);
        width_ = minCodeSize_ + 1;
        maxCode_ = (1u << width_) - 1;
        nextCode_ = clearCode_ + 2;
        slotsEmpty_ = false;
        for (std::uint32_t root = 0; root < clearCode_; ++root) EmptyNode(nodes_[root]);
    }

    // The width grows after a code is written once the next free code no longer fits.
    [[gnu::always_inline]] void Grow() {
        if (nextCode_ > maxCode_ && width_ < kMaxCodeWidth) {
            ++width_;
            maxCode_ = (1u << width_) - 1;
        }
    }

    // Two pixels in one step while the dictionary holds both extensions: nothing but
    // loads, the step that nearly every pixel of a barcode takes. True when it stopped at
    // a pair whose entry is missing.
    [[gnu::always_inline]] bool TakePairs() {
        while (next_ + 1 < count_) {
            const std::uint32_t a = ids_[pixels_[next_]], b = ids_[pixels_[next_ + 1]];
            if ((a | b) >= kPairIds) return false;
            const std::uint32_t code = nodes_[prefix_].pair[a * kPairIds + b];
            if (code == kNoCode) return true;
            prefix_ = code;
            next_ += 2;
        }
        return false;
    }

    // prefix + a + b is missing, so the entry ends within one pixel: prefix + a when the
    // dictionary holds it (then b follows), else prefix (then a follows). Taken without a
    // branch, which would go either way as often.
    [[gnu::always_inline]] void EndWithinOnePixel() {
        const std::uint32_t a = ids_[pixels_[next_]];
        const std::uint32_t one = nodes_[prefix_].child[a];
        const std::uint32_t taken = 1 - ((one + 1) >> 16); // kNoCode + 1 is 1 << 16
        const std::uint32_t mask = 0 - taken;
        prefix_ = (one & mask) | (prefix_ & ~mask);
        next_ += taken;
        const std::uint32_t pixel = pixels_[next_++];
        Enter(pixel, ids_[pixel], kNoSlot);
    }

    // One pixel: prefix + pixel becomes the prefix when the dictionary holds it, else it is
    // entered.
    [[gnu::always_inline]] void TakeOnePixel() {
        const std::uint32_t pixel = pixels_[next_++];
        if (kCheck && pixel >= limit_) ColorNotInTable();
        std::uint32_t id = ids_[pixel];
        if (id == kNoId && idsGiven_ < kChildIds)
            ids_[pixel] = static_cast<std::uint8_t>(id = idsGiven_++);
        std::uint32_t slot = kNoSlot;
        if (id < kChildIds) {
            // Entries ending in a pixel with an id live in the nodes only.
            const std::uint32_t code = nodes_[prefix_].child[id];
            if (code != kNoCode) {
                prefix_ = code;
                return;
            }
        } else {
            if (!slotsEmpty_) {
                std::fill_n(slots_, kSlots, kEmptySlot);
                slotsEmpty_ = true;
            }
            const std::uint32_t code = Find(slots_, prefix_ << 8 | pixel, slot);
            if (code != kNoCode) {
                prefix_ = code;
                return;
            }
        }
        Enter(pixel, id, slot);
    }

    // Not in the dictionary: writes the prefix and enters prefix + pixel (into the table
    // at slot unless that is kNoSlot); the pixel starts the next entry.
    [[gnu::always_inline]] void Enter(std::uint32_t pixel, std::uint32_t id, std::uint32_t slot) {
        packer_.Put(prefix_, width_);
        Grow();
        if (nextCode_ >= kCodeLimit) {
            prefix_ = pixel;
            Clear();
            return;
        }
        EmptyNode(nodes_[nextCode_]);
        if (slot != kNoSlot || id < kChildIds) {
            const auto code = static_cast<std::uint16_t>(nextCode_);
            if (slot != kNoSlot) slots_[slot] = (prefix_ << 8 | pixel) << 12 | nextCode_;
            dict_.parent[nextCode_] = static_cast<std::uint16_t>(prefix_);
            dict_.lastId[nextCode_] = static_cast<std::uint8_t>(id);
            if (id < kChildIds) nodes_[prefix_].child[id] = code;
            if (id < kPairIds && prefix_ > endCode_ && dict_.lastId[prefix_] < kPairIds)
                nodes_[dict_.parent[prefix_]].pair[dict_.lastId[prefix_] * kPairIds + id] = code;
        }
        ++nextCode_;
        prefix_ = pixel;
    }

    const std::uint8_t* const pixels_;
    const std::size_t count_;
    const std::uint32_t limit_;
    const int minCodeSize_;
    const std::uint32_t clearCode_;
    const std::uint32_t endCode_;
    Dictionary& dict_;
    std::uint32_t* const slots_;
    Node* const nodes_;
    BitPacker packer_;

    int width_;
    std::uint32_t maxCode_ = 0;
    std::uint32_t nextCode_ = 0;
    // The table is emptied only before it is first needed after a clear: a picture of
    // four colours or fewer never uses it.
    bool slotsEmpty_ = false;
    // Ids are given to pixel values as they are first met on their own after the first
    // pixel (an entry can only end with a value met so); a pixel without one takes no
    // step of two, so it is always checked before it gets one. The array is a local of
    // Run: outside the object, the compiler keeps the members above in registers.
    std::uint8_t* ids_ = nullptr;
    std::uint32_t idsGiven_ = 0;
    // The entry being extended, and the index of the next pixel.
    std::uint32_t prefix_ = 0;
    std::size_t next_ = 0;
};

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
        inMap ? TCompressor<false>(pixels.data(), count, minCodeSize, limit, dict, raw).Run()
              : TCompressor<true>(pixels.data(), count, minCodeSize, limit, dict, raw).Run();
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
