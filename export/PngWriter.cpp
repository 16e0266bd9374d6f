// PNG through libpng (loaded when the first picture is written), written into memory. A picture of
// at most 256 distinct colours becomes a palette image of the smallest depth that holds its colours
// (1, 2, 4 or 8 bits); the palette lists the colours in the order they are first met, reading rows
// from the top. Any other picture becomes 8-bit-per-sample RGB. Only the colours count: a palette
// entry that no pixel uses is left out, and equal entries are merged.
//
// libpng reports failures by longjmp to the writing function; it raises nothing itself.
// The failure becomes a varimark::Error with libpng's message once libpng's frames
// are left. No C++ exception ever passes through libpng.
#include "export/PngWriter.h"
#include "export/Pixels.h"
#include "export/PngLibrary.h"
#include "varimark/error.h"

#include <array>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <unordered_map>

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

struct TPlan {
    bool palette = false;
    int depth = 8;                             // bits per sample (palette: per index)
    std::vector<png_color> colours;            // the palette
    std::array<std::uint8_t, 256> fromIndex{}; // source palette index -> PNG index
    std::unordered_map<std::uint32_t, std::uint8_t> fromColour; // RGB -> PNG index
};

// Finds the distinct colours: for a palette picture through the indices it uses, for
// any other picture until a 257th colour shows that RGB is needed.
TPlan Plan(const TBitmap& bitmap) {
    TPlan plan;
    std::unordered_map<std::uint32_t, std::uint8_t> colours;
    auto add = [&](std::uint32_t key) -> std::uint8_t {
        const auto [it, added] =
            colours.try_emplace(key, static_cast<std::uint8_t>(colours.size()));
        if (added)
            plan.colours.push_back({static_cast<png_byte>(key >> 16),
                                    static_cast<png_byte>(key >> 8), static_cast<png_byte>(key)});
        return it->second;
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
                plan.fromIndex[index] = add(std::uint32_t{c.red} << 16 | c.green << 8 | c.blue);
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
                if (colours.size() == 256 && !colours.contains(key))
                    plan.palette = false;
                else
                    add(key);
            });
        }
        plan.fromColour = std::move(colours);
    }
    if (plan.palette) {
        const std::size_t n = plan.colours.size();
        plan.depth = n <= 2 ? 1 : n <= 4 ? 2 : n <= 16 ? 4 : 8;
    } else {
        plan.colours.clear();
        plan.fromColour.clear();
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
        if (key != lastKey) {
            const auto it = plan.fromColour.find(key);
            lastKey = key;
            lastIndex = it != plan.fromColour.end() ? it->second : 0;
        }
        put(x, lastIndex);
    });
}

// --- libpng callbacks

// libpng's functions: loaded before any callback can be called.
const TPngCalls& Png() {
    return PngCalls("PNG pictures cannot be written");
}

struct TWriteState {
    std::vector<std::uint8_t>* out = nullptr;
    TPngError error{};
    bool outOfMemory = false; // an allocation failed: std::bad_alloc, not a PNG error
};

// libpng's memory, with a failure noted: libpng tells it as an error of its own.
png_voidp PngAllocate(png_structp png, png_alloc_size_t size) {
    void* memory = std::malloc(size);
    if (memory == nullptr) static_cast<TWriteState*>(Png().GetMemPtr(png))->outOfMemory = true;
    return memory;
}

void PngFree(png_structp, png_voidp memory) {
    std::free(memory);
}

// Appends to the memory; a failed allocation becomes a libpng error once no C++ object
// of this frame is alive, so that the jump may leave it.
void PngWriteData(png_structp png, png_bytep data, png_size_t length) {
    const TPngCalls& lib = Png();
    auto* state = static_cast<TWriteState*>(lib.GetIoPtr(png));
    bool failed = false;
    try {
        state->out->insert(state->out->end(), data, data + length);
    } catch (...) {
        failed = true;
    }
    if (failed) {
        state->outOfMemory = true;
        lib.Error(png, "Out of memory");
    }
}

void PngFlush(png_structp) {}

// Writes the whole file; false when libpng failed. Every C++ object this function uses
// exists before setjmp, so the jump back skips no destructor.
bool WritePng(const TPngCalls& lib, png_structp png, png_infop info, const TBitmap& bitmap,
              const TPlan& plan, std::uint8_t* row) {
    if (setjmp(PngJumpBuffer(lib, png)) != 0) return false;
    lib.SetIHDR(png, info, static_cast<png_uint_32>(bitmap.Width()),
                static_cast<png_uint_32>(bitmap.Height()), plan.depth,
                plan.palette ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (plan.palette)
        lib.SetPLTE(png, info, plan.colours.data(), static_cast<int>(plan.colours.size()));
    lib.WriteInfo(png, info);
    for (int y = 0; y < bitmap.Height(); ++y) {
        if (!SameAsRowAbove(bitmap, y)) PngRow(bitmap, plan, y, row); // else row holds it
        lib.WriteRow(png, row);
    }
    lib.WriteEnd(png, info);
    return true;
}

} // namespace

std::vector<std::uint8_t> PngFileBytes(const TBitmap& bitmap) {
    const TPngCalls& lib = Png();
    std::vector<std::uint8_t> row(static_cast<std::size_t>(bitmap.Width()) * 3 + 1);
    const TPlan plan = Plan(bitmap);

    std::vector<std::uint8_t> out;
    TWriteState state;
    state.out = &out;
    png_structp png = lib.CreateWriteStruct2(PNG_LIBPNG_VER_STRING, &state.error, PngErrorJump,
                                             PngWarningDropped, &state, PngAllocate, PngFree);
    if (png == nullptr) throw std::bad_alloc(); // libpng fails to make it only for want of memory
    png_infop info = lib.CreateInfoStruct(png);
    if (info == nullptr) {
        lib.DestroyWriteStruct(&png, nullptr);
        throw std::bad_alloc();
    }
    lib.SetWriteFn(png, &state, PngWriteData, PngFlush);
    const bool written = WritePng(lib, png, info, bitmap, plan, row.data());
    lib.DestroyWriteStruct(&png, &info);
    if (!written && state.outOfMemory) throw std::bad_alloc();
    if (!written) throw varimark::Error(std::string("PNG error: ") + state.error.message);
    return out;
}

} // namespace varimark
