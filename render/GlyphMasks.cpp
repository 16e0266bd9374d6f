#include "render/GlyphMasks.h"

#include "engine/Windows1252.h"
#include "render/FontCache.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <map>
#include <new>
#include <string>
#include <system_error>
#include <tuple>

namespace varimark {

static_assert(256 * TGlyphFont::kSubpixels <= TKeptGlyphs::kMaxGlyphKey);

TGlyphFont::TGlyphFont(const varimark::TFontLocation& location, int pixelSize)
    : location_(location), pixelSize_(pixelSize) {
    advances_.fill(-1);
    if (KeptGlyphs(location_, pixelSize_, kept_)) return;
    kept_ = TKeptGlyphs();
    kept_.ascent64 = Face().Ascent64(pixelSize_);
    kept_.descent64 = Face().Descent64(pixelSize_);
    drawn_ = true;
}

varimark::TFontFace& TGlyphFont::Face() {
    if (!face_) face_ = std::make_unique<varimark::TFontFace>(location_);
    return *face_;
}

double TGlyphFont::Advance(unsigned char c) {
    if (advances_[c] < 0) {
        auto [it, added] = kept_.advances64.try_emplace(c, 0);
        if (added) {
            try {
                it->second = Face().Advance64(Windows1252ToCodePoint(c), pixelSize_);
            } catch (...) {
                kept_.advances64.erase(it);
                throw;
            }
            drawn_ = true;
        }
        advances_[c] = static_cast<double>(it->second) / 64;
    }
    return advances_[c];
}

const TGlyphMask& TGlyphFont::Mask(unsigned char c, int subpixel) {
    const int key = c * kSubpixels + subpixel;
    std::unique_ptr<TGlyphMask>& slot = masks_[static_cast<std::size_t>(key)];
    if (!slot) {
        auto kept = kept_.masks.find(key);
        if (kept == kept_.masks.end()) {
            kept = kept_.masks
                       .emplace(key, Face().Render(Windows1252ToCodePoint(c), pixelSize_,
                                                   subpixel * 64 / kSubpixels))
                       .first;
            drawn_ = true;
        }
        const varimark::TGlyphCoverage& glyph = kept->second;
        auto mask = std::make_unique<TGlyphMask>();
        mask->left = glyph.left, mask->top = glyph.top;
        mask->width = glyph.width, mask->height = glyph.height;
        mask->coverage = glyph.coverage;
        const std::size_t n = mask->coverage.size();
        mask->onWhite.resize(n);
        mask->onWhite3.resize(3 * n);
        for (std::size_t i = 0; i < n; ++i) {
            const auto white = static_cast<std::uint8_t>(255 - mask->coverage[i]);
            mask->onWhite[i] = white;
            mask->onWhite3[3 * i] = mask->onWhite3[3 * i + 1] = mask->onWhite3[3 * i + 2] = white;
        }
        slot = std::move(mask);
    }
    return *slot;
}

void TGlyphFont::KeepDrawn() {
    if (!drawn_) return;
    KeepGlyphs(location_, pixelSize_, kept_);
    drawn_ = false;
}

namespace {

// A thread's glyph fonts, and the last one asked for: the pictures of a batch ask for the
// same font again and again.
struct TGlyphFonts {
    using TKey = std::tuple<std::string, int, int>;
    std::map<TKey, std::unique_ptr<TGlyphFont>, std::less<>> fonts;
    const TKey* lastKey = nullptr;
    TGlyphFont* last = nullptr;
};

} // namespace

TGlyphFont& GlyphFontFor(std::string_view face, int cellHeight, int magnification) {
    TGlyphFonts& state = TThreadState<TGlyphFonts>::Get();
    const TGlyphFonts::TKey* lastKey = state.lastKey;
    if (state.last != nullptr && std::get<0>(*lastKey) == face &&
        std::get<1>(*lastKey) == cellHeight && std::get<2>(*lastKey) == magnification)
        return *state.last;
    auto& fonts = state.fonts;
    const auto key = std::make_tuple(std::string(face), cellHeight, magnification);
    auto it = fonts.find(key);
    if (it == fonts.end()) {
        if (fonts.size() >= 256) { // a run through many sizes keeps no more
            state.last = nullptr, state.lastKey = nullptr;
            fonts.clear();
        }
        const varimark::TMatchedFont& font = varimark::MatchFont(face, cellHeight);
        const long long size = static_cast<long long>(font.pixelSize) * magnification;
        it = fonts
                 .emplace(key, std::make_unique<TGlyphFont>(
                                   font.location, static_cast<int>(std::clamp(
                                                      size, 1LL, static_cast<long long>(INT_MAX)))))
                 .first;
    }
    state.lastKey = &it->first;
    state.last = it->second.get();
    return *state.last;
}

} // namespace varimark

namespace varimark {

void KeepDrawnGlyphs() noexcept {
    TGlyphFonts* state = TThreadState<TGlyphFonts>::Existing();
    if (state == nullptr) return;
    for (auto& [key, font] : state->fonts) try {
            font->KeepDrawn();
        } catch (...) {
            // Only the keeping is lost: the glyphs are drawn anew by the next process.
        }
}

} // namespace varimark
