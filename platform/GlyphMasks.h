#pragma once
// Glyphs of a font as coverage masks, rendered once per thread and then reused: pictures
// draw their text by blending these masks instead of laying the text out anew for every
// picture. And the per-thread state of the drawing code, these masks among it.
#include "platform/FontFace.h"

#include <array>
#include <cstdint>
#include <memory>
#include <pthread.h>
#include <string_view>
#include <vector>

namespace varimark {

// A T for each thread that asks for one (kept from one picture to the next: a batch draws
// thousands on each thread), made on the thread's first Get and deleted when the thread
// ends. The thread reaches it through a plain pointer in thread-local storage, never a
// thread_local object with a destructor: registering such a destructor allocates, and
// the C library ends the process when that fails. Here memory running out on first use is
// std::bad_alloc, which the callers turn into their message like any other. A thread's T
// is freed through a thread-specific key's destructor, which needs no memory to register;
// the state a thread still holds when the process ends stays reachable from that thread
// and goes with the process.
template <class T> class TThreadState {
public:
    // The calling thread's T, made (std::bad_alloc when memory is out) on first use.
    static T& Get() { return state_ != nullptr ? *state_ : Make(); }
    // The calling thread's T, or null when it has none; allocates nothing.
    static T* Existing() noexcept { return state_; }

private:
    static T& Make();
    static void Free(void* state) {
        state_ = nullptr;
        delete static_cast<T*>(state);
    }
    static inline thread_local T* state_ = nullptr;
};

namespace thread_state {
// A key whose destructor frees each thread's value when the thread ends; std::bad_alloc
// when none can be had.
pthread_key_t NewKey(void (*free)(void*));
// Makes state the calling thread's value of key; std::bad_alloc when that needs memory
// that is not there.
void Attach(pthread_key_t key, void* state);
} // namespace thread_state

template <class T> T& TThreadState<T>::Make() {
    static const pthread_key_t key = thread_state::NewKey(&Free);
    auto state = std::make_unique<T>();
    thread_state::Attach(key, state.get());
    state_ = state.release();
    return *state_;
}

// One glyph's coverage (0 = none, 255 = full) in a box placed relative to the pen
// position on the base line, x right and y down.
struct TGlyphMask {
    int left = 0, top = 0, width = 0, height = 0;
    std::vector<std::uint8_t> coverage; // width × height, rows top first
    // The glyph drawn on white: 255 - coverage, once per pixel and thrice (grey and
    // blue, green, red pictures).
    std::vector<std::uint8_t> onWhite, onWhite3;
};

// The glyphs of one font at one pixel size, for the 256 characters of Windows-1252.
class TGlyphFont {
public:
    // Pen positions are kept to a quarter pixel along the base line.
    static constexpr int kSubpixels = 4;

    TGlyphFont(const varimark::TFontLocation& location, int pixelSize);

    double Ascent() const { return ascent_; }
    double Descent() const { return descent_; }
    double Advance(unsigned char c);
    // The mask of c drawn with the pen subpixel / kSubpixels right of a whole pixel.
    const TGlyphMask& Mask(unsigned char c, int subpixel);

private:
    varimark::TFontFace face_;
    int pixelSize_;
    double ascent_, descent_;
    std::array<double, 256> advances_;
    std::array<std::unique_ptr<TGlyphMask>, 256 * kSubpixels> masks_;
};

// The glyph fonts of the calling thread, by face (8-bit name, as MatchFont takes it),
// cell height and magnification. When 256 have gathered they are all dropped and made
// again as needed. The font returned serves until the next call on the thread. Memory
// running out is std::bad_alloc.
TGlyphFont& GlyphFontFor(std::string_view face, int cellHeight, int magnification);

} // namespace varimark
