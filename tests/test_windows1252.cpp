// Conversion between UTF-8 and the engine's 8-bit Windows-1252 text.
#include "engine/Windows1252.h"

#include <gtest/gtest.h>

#include <string>

using namespace varimark;

namespace {

// Code points of the bytes 0x80..0x9F; the five unassigned bytes map to the C1 controls.
const char32_t kHighControls[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t CodePointOf(int b) {
    return b >= 0x80 && b <= 0x9F ? kHighControls[b - 0x80] : b;
}

TEST(Windows1252, ByteToCodePointForAllBytes) {
    for (int b = 0; b < 256; ++b)
        EXPECT_EQ(Windows1252ToCodePoint(static_cast<unsigned char>(b)), CodePointOf(b)) << b;
}

TEST(Windows1252, CodePointToByteIsTheInverse) {
    for (int b = 0; b < 256; ++b) EXPECT_EQ(CodePointToWindows1252(CodePointOf(b)), b) << b;
}

TEST(Windows1252, CodePointsOutsideTheSetBecomeQuestionMark) {
    for (char32_t cp : {char32_t{0x80}, char32_t{0x82}, char32_t{0x9F}, char32_t{0x100},
                        char32_t{0x151}, char32_t{0x20AD}, char32_t{0x4E2D}, char32_t{0xFFFD},
                        char32_t{0x1F600}, char32_t{0x10FFFF}})
        EXPECT_EQ(CodePointToWindows1252(cp), '?') << static_cast<unsigned>(cp);
}

TEST(Windows1252, Utf8ToWindows1252) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"Hello 4711", "Hello 4711"},
        {"Gr\xC3\xB6\xC3\x9F"
         "e",
         "Gr\xF6\xDF"
         "e"}, // Größe
        {"\xE2\x82\xAC"
         "5",
         "\x80"
         "5"},                                        // €5
        {"\xE2\x80\x9Cq\xE2\x80\x9D", "\x93q\x94"},   // curly quotes
        {"\xC5\xB8\xC2\xA0\xC3\xBF", "\x9F\xA0\xFF"}, // Ÿ, no-break space, ÿ
        {"\xC2\x81", "\x81"},                         // C1 control kept
        {"a\xF0\x9F\x98\x80"
         "b",
         "a?b"},                                         // outside the set
        {"\xE4\xB8\xAD\xC4\x80", "??"},                  // CJK, Latin Extended-A
        {std::string("x\0y", 3), std::string("x\0y", 3)} // embedded NUL
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(Utf8ToWindows1252(in), out) << in;
}

TEST(Windows1252, MalformedUtf8BytesBecomeQuestionMarks) {
    const std::pair<std::string, std::string> cases[] = {
        {"\x80", "?"}, // lone continuation byte
        {"a\xBF"
         "b",
         "a?b"},
        {"\xFF\xFE", "??"}, // never valid in UTF-8
        {"\xC3(", "?("},    // lead byte without continuation
        {"a\xC3", "a?"},    // truncated at the end
        {"\xC0\xAF", "??"}, // overlong '/'
        {"\xE2\x82"
         "A",
         "??A"} // truncated three-byte sequence
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(Utf8ToWindows1252(in), out) << in;
}

TEST(Windows1252, ToUtf8) {
    EXPECT_EQ(Windows1252ToUtf8("abc"), "abc");
    EXPECT_EQ(Windows1252ToUtf8("\x80"), "\xE2\x82\xAC");
    EXPECT_EQ(Windows1252ToUtf8("\xE9"), "\xC3\xA9");
    EXPECT_EQ(Windows1252ToUtf8("\x81\x9D"), "\xC2\x81\xC2\x9D");
    EXPECT_EQ(Windows1252ToUtf8("\x99"), "\xE2\x84\xA2"); // ™
}

TEST(Windows1252, AllBytesSurviveARoundTrip) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    const std::string utf8 = Windows1252ToUtf8(all);
    EXPECT_EQ(Utf8ToWindows1252(utf8), all);
    for (int b = 0; b < 256; ++b) { // each byte alone, and its encoded length
        const std::string one(1, static_cast<char>(b));
        const std::string u = Windows1252ToUtf8(one);
        const char32_t cp = CodePointOf(b);
        EXPECT_EQ(u.size(), cp < 0x80 ? 1u : cp < 0x800 ? 2u : 3u) << b;
        EXPECT_EQ(Utf8ToWindows1252(u), one) << b;
    }
}

} // namespace
