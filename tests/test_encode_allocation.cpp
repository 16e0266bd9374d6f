// TLLBarcode::Encode() must not touch the heap: this program replaces the global allocation
// functions with counting ones and checks that encoding adds nothing to the count.
#include "engine/EOverflow.h"
#include "engine/LLBarcode.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

using namespace varimark;

namespace {

std::atomic<long> gAllocations{0};

void* CountedAlloc(std::size_t size) {
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}

void* CountedAlignedAlloc(std::size_t size, std::align_val_t align) {
    gAllocations.fetch_add(1, std::memory_order_relaxed);
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
};

INSTANTIATE_TEST_SUITE_P(AllTypes, EncodeAllocation, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<EncodeCase>& row) {
                             return std::string(row.param.name);
                         });

TEST(EncodeAllocationTable, CoversEveryType) {
    bool seen[kCodeTypeCount] = {};
    for (const EncodeCase& c : kCases) seen[c.type] = true;
    for (int t = 0; t < kCodeTypeCount; ++t)
        EXPECT_TRUE(seen[t]) << CodeTypeName(static_cast<btCodeTypes>(t));
}

} // namespace
