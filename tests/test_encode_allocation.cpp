// The global allocation functions replaced with counting ones that can also be told to
// refuse: TLLBarcode::Encode() must not touch the heap (encoding adds nothing to the
// count), the raster surface must flush without it, and every call of the C API must come
// through memory running out at any allocation with VARIMARK_NO_MEMORY or its usual
// status, never ending the process.
#include "engine/EOverflow.h"
#include "engine/LLBarcode.h"
#include "render/RasterSurface.h"
#include "varimark/varimark_c.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <sys/mman.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace varimark;
// The engine's enumerators by their names, as the tables below give them.
using enum btCodeTypes;
using enum btCodeRatio;

namespace {

std::atomic<long> gAllocations{0};
// Allocations still granted before every later one is refused; negative: no limit.
std::atomic<long> gGranted{-1};
std::atomic<bool> gRefused{false};

bool Grant() {
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    const long granted = gGranted.load(std::memory_order_relaxed);
    if (granted < 0) return true;
    if (granted == 0) return gRefused.store(true, std::memory_order_relaxed), false;
    gGranted.store(granted - 1, std::memory_order_relaxed);
    return true;
}

void* CountedAlloc(std::size_t size) {
    if (!Grant()) throw std::bad_alloc();
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}

void* CountedAlignedAlloc(std::size_t size, std::align_val_t align) {
    if (!Grant()) throw std::bad_alloc();
    const auto alignment = static_cast<std::size_t>(align);
    const std::size_t rounded = (size + alignment - 1) / alignment * alignment;
    if (void* p = std::aligned_alloc(alignment, rounded == 0 ? alignment : rounded)) return p;
    throw std::bad_alloc();
}

} // namespace

void* operator new(std::size_t size) {
    return CountedAlloc(size);
}
void* operator new[](std::size_t size) {
    return CountedAlloc(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return CountedAlloc(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return CountedAlloc(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new(std::size_t size, std::align_val_t align) {
    return CountedAlignedAlloc(size, align);
}
void* operator new[](std::size_t size, std::align_val_t align) {
    return CountedAlignedAlloc(size, align);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}

namespace {

// Keeps a pointer alive in the compiler's eyes, so an allocation cannot be elided.
void* volatile gSink = nullptr;

TEST(AllocationCounter, CountsLibraryAndDirectAllocations) {
    const long before = gAllocations.load();
    {
        std::string s(200, 'x'); // allocated inside the standard library
        gSink = s.data();
    }
    EXPECT_GE(gAllocations.load() - before, 1);

    const long beforeNew = gAllocations.load();
    int* p = new int[64];
    gSink = p;
    delete[] p;
    EXPECT_EQ(gAllocations.load() - beforeNew, 1);
}

struct EncodeCase {
    const char* name;
    btCodeTypes type;
    btCodeRatio ratio;
    const char* caption;
    const char* addon;
};

void PrintTo(const EncodeCase& c, std::ostream* os) {
    *os << c.name;
}

class EncodeAllocation : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(EncodeAllocation, EncodeAllocatesNothing) {
    const EncodeCase& c = GetParam();
    TLLBarcode barcode;
    barcode.Params.CodeType = c.type;
    barcode.Params.Ratio = c.ratio;
    barcode.Params.SetCaption(c.caption);
    barcode.Params.SetCodeAddon(c.addon);

    for (int round = 0; round < 3; ++round) { // a fresh engine and a used one
        const long before = gAllocations.load();
        try {
            barcode.Encode();
        } catch (const EOverflow& e) {
            FAIL() << "Encode raised: " << e.what();
        }
        const long during = gAllocations.load() - before;
        EXPECT_EQ(during, 0) << "round " << round;
        EXPECT_GT(barcode.ModuleCount, 0);
    }
}

// 50-character captions: the longest the caption takes.
constexpr const char* kCode39Text = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-. $/+%ABCDEFG";
constexpr const char* kMixedText = "Varimark 2024: Mixed text, digits 01234 & {more}!?";
constexpr const char* kDigits50 = "12345678901234567890123456789012345678901234567890";

const EncodeCase kCases[] = {
    {"EAN8", EAN_8, Ratio_3, "1234567", ""},
    {"EAN13", EAN_13, Ratio_3, "400638133393", ""},
    {"EAN13Addon2", EAN_13, Ratio_3, "400638133393", "12"},
    {"EAN13Addon5", EAN_13, Ratio_3, "400638133393", "12345"},
    {"UPCAAddon5", UPC_A, Ratio_3, "12345678901", "52495"},
    {"UPCE", UPC_E, Ratio_3, "425261", ""},
    {"Code39_50", CODE39, Ratio_3, kCode39Text, ""},
    {"Code39_50Ratio2", CODE39, Ratio_2, kCode39Text, ""},
    {"Code25i_50", CODE25i, Ratio_3, kDigits50, ""},
    {"Code25iP_odd", CODE25iP, Ratio_2, "1234567890123", ""},
    {"Code128A", CODE128_A, Ratio_3, "CODE 128 A: 0123456789", ""},
    {"Code128B_50", CODE128_B, Ratio_3, kMixedText, ""},
    {"Code128C_50", CODE128_C, Ratio_3, kDigits50, ""},
    {"Code128B_SwitchToC", CODE128_B, Ratio_3,
     "AB\x83"
     "123456",
     ""},
    {"MSI_50", MSI_Plessey, Ratio_3, kDigits50, ""},
    {"Codabar", Codabar, Ratio_3, "a1234-5678$9:0/1.2+3d", ""},
    {"Postnet11", Postnet, Ratio_3, "12345678901", ""},
    {"PostnetFIM", Postnet_FIM, Ratio_3, "b", ""},
    // GS1-128's caption is the element string, FNC1 (\x86) after a variable-length AI.
    {"GS1_128", GS1_128, Ratio_3,
     "10ABCDEFGHIJKLMNOPQRS\x86"
     "2112345678901234567890",
     ""},
    {"ITF14", ITF_14, Ratio_3, "1540014128876", ""},
};

INSTANTIATE_TEST_SUITE_P(AllTypes, EncodeAllocation, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<EncodeCase>& row) {
                             return std::string(row.param.name);
                         });

TEST(EncodeAllocationTable, CoversEveryType) {
    bool seen[kCodeTypeCount] = {};
    for (const EncodeCase& c : kCases) seen[static_cast<int>(c.type)] = true;
    for (int t = 0; t < kCodeTypeCount; ++t)
        EXPECT_TRUE(seen[t]) << CodeTypeName(static_cast<btCodeTypes>(t));
}

} // namespace

// The raster surface flushes its deferred fills in its destructor, so flushing may not
// raise: the room it needs is taken as the fills come, and a copy of a row that cannot be
// had only means the rows alike are drawn one by one.

// Bars of three heights and two colours on a blank picture of the given width: rows alike
// in bands, which flushing draws once and copies.
void DrawBars(TRasterSurface& surface, int width) {
    for (int x = 0; x + 1 < width; x += 2) {
        surface.SetBrushColor(x % 6 == 0 ? TColor{200, 10, 10} : TColor{0, 0, 0});
        surface.FillRect(x, x % 3 == 0 ? 4 : 0, x + 1, 40 + x % 5);
    }
}

TEST(RasterSurfaceFlush, DrawsTheSamePictureWithNoMemoryLeft) {
    // Each case its own width, so that no row copies kept from one are at hand for the next.
    const struct { int width, bytesPerPixel; } kCases[] = {{61, 1}, {67, 3}, {301, 1}, {307, 3}};
    for (const auto& c : kCases) {
        const auto drawn = [&](bool refused) {
            std::vector<std::uint8_t> pixels(static_cast<std::size_t>(c.width) * 50 *
                                                 static_cast<std::size_t>(c.bytesPerPixel),
                                             255);
            {
                TRasterSurface surface(TPixelRows{pixels.data(), c.width * c.bytesPerPixel, c.width,
                                                  50, c.bytesPerPixel},
                                       96, 96, true);
                DrawBars(surface, c.width);
                gRefused = false;
                if (refused) gGranted = 0;
                surface.Flush(); // noexcept: an allocation that raised would end the program
            }                    // and the shared rows written out, still without memory
            gGranted = -1;
            return pixels;
        };
        const std::vector<std::uint8_t> withoutMemory = drawn(true);
        EXPECT_TRUE(gRefused) << c.width << ": the flush wanted no memory, the case tests nothing";
        EXPECT_EQ(withoutMemory, drawn(false)) << c.width;
    }
}

// Memory running out part-way through the drawing: the exception leaves through the
// surface's destructor, which flushes what came before it. Each try on a new thread, whose
// working lists are yet to be made.
TEST(RasterSurfaceFlush, MemoryRunningOutWhileDrawingLeavesThroughTheDestructor) {
    std::vector<std::uint8_t> pixels(301 * 50, 255);
    int raised = 0;
    for (long granted = 0; granted < 16; ++granted)
        std::thread([&] {
            try {
                TRasterSurface surface(TPixelRows{pixels.data(), 301, 301, 50, 1}, 96, 96, true);
                gGranted = granted;
                DrawBars(surface, 301);
            } catch (const std::bad_alloc&) {
                ++raised;
            }
            gGranted = -1;
        }).join();
    EXPECT_GT(raised, 0) << "the drawing never ran out of memory: the test tests nothing";
}

// The C API with memory running out: each call is made again and again, the allocations
// after the first n refused for n = 0, 1, 2, ... until one call completes without a
// refusal. Every call must give its usual status or VARIMARK_NO_MEMORY (with the message
// "out of memory"), and the same call with memory back must give the usual one again: what
// failed half-way left nothing broken behind. Each row runs in a child process of its own,
// so that it starts with nothing cached (fonts, glyphs, lists) and an abort ends only the
// child, which tells how far it came through shared memory.

namespace {

struct TCApiState {
    varimark_symbol* symbol = nullptr;
    varimark_options* options = nullptr;
    varimark_buffer picture{nullptr, 0}; // a PNG for the grading rows
    std::string fileName;
};

// Frees what a call gave back.
struct TBuffers {
    varimark_buffer a{nullptr, 0}, b{nullptr, 0};
    ~TBuffers() {
        varimark_buffer_free(&a);
        varimark_buffer_free(&b);
    }
};

varimark_status NewSymbol(TCApiState&) {
    varimark_symbol* symbol = varimark_symbol_new();
    if (symbol == nullptr) return VARIMARK_NO_MEMORY;
    varimark_symbol_free(symbol);
    return VARIMARK_OK;
}

varimark_status NewOptions(TCApiState&) {
    varimark_options* options = varimark_options_new();
    if (options == nullptr) return VARIMARK_NO_MEMORY;
    varimark_options_free(options);
    return VARIMARK_OK;
}

varimark_status Encoded(TCApiState& s) {
    TBuffers out;
    return varimark_encode(s.symbol, &out.a, &out.b);
}

varimark_status RenderAs(TCApiState& s, const char* format, bool monochrome = false) {
    varimark_options_set_format(s.options, format);
    varimark_options_set_int(s.options, "monochrome", monochrome ? 1 : 0);
    TBuffers out;
    return varimark_render(s.symbol, s.options, &out.a);
}

// The picture to grade, rendered with memory to spare: its font is cached by then, the
// grading's work is not.
void Rendered(TCApiState& s) {
    if (varimark_render(s.symbol, nullptr, &s.picture) != VARIMARK_OK) std::abort();
}

varimark_status Grade(TCApiState& s, const char* type) {
    TBuffers out;
    return varimark_verify(s.picture.data, s.picture.size, type, 0, 0, 0, 100, 1.5, &out.a);
}

const std::string kLongText(300, '7'); // past any small-string room

struct CApiCase {
    const char* name;
    std::function<varimark_status(TCApiState&)> call;
    varimark_status usual;
    // Made with memory to spare, before the sweep.
    std::function<void(TCApiState&)> setup = [](TCApiState&) {};
};

void PrintTo(const CApiCase& c, std::ostream* os) {
    *os << c.name;
}

const CApiCase kCApiCases[] = {
    {"SymbolNew", NewSymbol, VARIMARK_OK},
    {"OptionsNew", NewOptions, VARIMARK_OK},
    {"SetType", [](TCApiState& s) { return varimark_symbol_set_type(s.symbol, "code128-c"); },
     VARIMARK_OK},
    {"SetTypeUnknown",
     [](TCApiState& s) { return varimark_symbol_set_type(s.symbol, kLongText.c_str()); },
     VARIMARK_INVALID_ARGUMENT},
    {"SetText", [](TCApiState& s) { return varimark_symbol_set_text(s.symbol, kLongText.c_str()); },
     VARIMARK_OK},
    {"SetAddon", [](TCApiState& s) { return varimark_symbol_set_addon(s.symbol, "12"); },
     VARIMARK_OK},
    {"SetFont", [](TCApiState& s) { return varimark_symbol_set_font(s.symbol, kLongText.c_str()); },
     VARIMARK_OK},
    {"SetInt", [](TCApiState& s) { return varimark_symbol_set_int(s.symbol, "bar_height", 150); },
     VARIMARK_OK},
    {"SetIntRepair", [](TCApiState& s) { return varimark_symbol_set_int(s.symbol, "repair", 1); },
     VARIMARK_OK},
    {"SetIntUnknown",
     [](TCApiState& s) { return varimark_symbol_set_int(s.symbol, kLongText.c_str(), 1); },
     VARIMARK_INVALID_ARGUMENT},
    {"SetIntNotASwitch", [](TCApiState& s) { return varimark_symbol_set_int(s.symbol, "zoom", 2); },
     VARIMARK_INVALID_ARGUMENT},
    {"SetFormat", [](TCApiState& s) { return varimark_options_set_format(s.options, ".TIF"); },
     VARIMARK_OK},
    {"SetFormatUnknown",
     [](TCApiState& s) { return varimark_options_set_format(s.options, kLongText.c_str()); },
     VARIMARK_INVALID_ARGUMENT},
    {"OptionsSetInt", [](TCApiState& s) { return varimark_options_set_int(s.options, "dpi", 300); },
     VARIMARK_OK},
    {"OptionsSetIntUnknown",
     [](TCApiState& s) { return varimark_options_set_int(s.options, kLongText.c_str(), 1); },
     VARIMARK_INVALID_ARGUMENT},
    {"OptionsSetIntNotASwitch",
     [](TCApiState& s) { return varimark_options_set_int(s.options, "monochrome", 3); },
     VARIMARK_INVALID_ARGUMENT},
    {"Encode", Encoded, VARIMARK_OK},
    {"EncodeRefused", Encoded, VARIMARK_REFUSED,
     [](TCApiState& s) { varimark_symbol_set_text(s.symbol, kLongText.c_str()); }},
    {"RenderPng", [](TCApiState& s) { return RenderAs(s, "png"); }, VARIMARK_OK},
    {"RenderBmpMonochrome", [](TCApiState& s) { return RenderAs(s, "bmp", true); }, VARIMARK_OK},
    {"RenderGif", [](TCApiState& s) { return RenderAs(s, "gif"); }, VARIMARK_OK},
    {"RenderTiff", [](TCApiState& s) { return RenderAs(s, "tif"); }, VARIMARK_OK},
    {"RenderJpeg", [](TCApiState& s) { return RenderAs(s, "jpg"); }, VARIMARK_OK},
    {"RenderEmf", [](TCApiState& s) { return RenderAs(s, "emf"); }, VARIMARK_OK},
    {"RenderSvg", [](TCApiState& s) { return RenderAs(s, "svg"); }, VARIMARK_OK},
    {"RenderPdf", [](TCApiState& s) { return RenderAs(s, "pdf"); }, VARIMARK_OK},
    {"RenderRefused", [](TCApiState& s) { return RenderAs(s, "png"); }, VARIMARK_REFUSED,
     [](TCApiState& s) { varimark_options_set_int(s.options, "scale", 0); }},
    {"RenderToFile",
     [](TCApiState& s) { return varimark_render_to_file(s.symbol, s.options, s.fileName.c_str()); },
     VARIMARK_OK},
    {"Verify", [](TCApiState& s) { return Grade(s, "auto"); }, VARIMARK_OK, Rendered},
    {"VerifyType", [](TCApiState& s) { return Grade(s, "EAN-13"); }, VARIMARK_OK, Rendered},
    {"VerifyUnknownType", [](TCApiState& s) { return Grade(s, kLongText.c_str()); },
     VARIMARK_INVALID_ARGUMENT, Rendered},
};

// Shared with the child: how far it came and what went wrong.
struct TChildReport {
    long granted = 0; // allocations granted to the last call
    char failure[512] = {};
};

// The sweep of one row; a description of the first wrong result, or "".
std::string Sweep(const CApiCase& c, TChildReport& report) {
    TCApiState state;
    state.symbol = varimark_symbol_new();
    state.options = varimark_options_new();
    state.fileName = ::testing::TempDir() + "varimark-nomem-" + std::to_string(getpid()) + ".png";
    if (state.symbol == nullptr || state.options == nullptr) return "no handles";
    varimark_symbol_set_type(state.symbol, "EAN_13");
    varimark_symbol_set_text(state.symbol, "400638133393");
    c.setup(state);
    constexpr long kMostAllocations = 200000;
    for (long n = 0; n < kMostAllocations; ++n) {
        report.granted = n;
        gRefused = false;
        gGranted = n;
        const varimark_status status = c.call(state);
        gGranted = -1;
        const std::string message = varimark_last_error();
        if (status != c.usual && status != VARIMARK_NO_MEMORY)
            return "status " + std::to_string(status) + " (" + message + ") with " +
                   std::to_string(n) + " allocations granted";
        if (status == VARIMARK_NO_MEMORY && message != "out of memory")
            return "message '" + message + "' with " + std::to_string(n) + " granted";
        if (gRefused) continue;
        if (status != c.usual) return "status " + std::to_string(status) + " with nothing refused";
        break;
    }
    const varimark_status again = c.call(state);
    if (again != c.usual) return "status " + std::to_string(again) + " once memory was back";
    varimark_buffer_free(&state.picture);
    varimark_symbol_free(state.symbol);
    varimark_options_free(state.options);
    std::remove(state.fileName.c_str());
    return "";
}

class CApiOutOfMemory : public ::testing::TestWithParam<CApiCase> {};

TEST_P(CApiOutOfMemory, GivesNoMemoryOrItsUsualStatusNeverAborts) {
    auto* report = static_cast<TChildReport*>(mmap(
        nullptr, sizeof(TChildReport), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(report, MAP_FAILED);
    new (report) TChildReport;
    std::fflush(nullptr);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        const std::string failure = Sweep(GetParam(), *report);
        std::snprintf(report->failure, sizeof report->failure, "%s", failure.c_str());
        _exit(failure.empty() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_FALSE(WIFSIGNALED(status)) << "ended by signal " << WTERMSIG(status) << " with "
                                      << report->granted << " allocations granted";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << report->failure;
    munmap(report, sizeof(TChildReport));
}

INSTANTIATE_TEST_SUITE_P(EveryEntryPoint, CApiOutOfMemory, ::testing::ValuesIn(kCApiCases),
                         [](const ::testing::TestParamInfo<CApiCase>& row) {
                             return std::string(row.param.name);
                         });

} // namespace
