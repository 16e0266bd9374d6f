// The library's API as a program outside sees it: linked against the shared library, so
// that only what it exports is reachable and its errors cross the boundary as Error.
#include "FileTesting.h"
#include "varimark/varimark.h"
#include "varimark/varimark_c.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iterator>
#include <set>
#include <signal.h>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace varimark;

namespace {

using varimark::Format;
using varimark::PictureOptions;
using varimark::Symbol;
using varimark::Type;

Symbol Ean13() {
    Symbol symbol;
    symbol.type = Type::EAN_13;
    symbol.text = "400638133393";
    return symbol;
}

std::string MessageOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const varimark::Error& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(Api, EncodeGivesPreparedTextAndModules) {
    const varimark::Encoded encoded = varimark::Encode(Ean13());
    EXPECT_EQ(encoded.codeText, "4006381333931");
    ASSERT_EQ(encoded.modules.size(), 95u);
    EXPECT_EQ(encoded.modules.substr(0, 3), "101");    // start guard
    EXPECT_EQ(encoded.modules.substr(45, 5), "01010"); // centre guard
}

TEST(Api, NamesOfTypesAndFormats) {
    EXPECT_EQ(varimark::TypeFromName("ean-13"), Type::EAN_13);
    EXPECT_EQ(varimark::TypeFromName("Postnet_FIM"), Type::Postnet_FIM);
    EXPECT_EQ(varimark::TypeFromName("gs1-128"), Type::GS1_128);
    EXPECT_EQ(varimark::TypeFromName("ITF_14"), Type::ITF_14);
    EXPECT_EQ(static_cast<int>(Type::GS1_128), 14);
    EXPECT_EQ(static_cast<int>(Type::ITF_14), 15);
    EXPECT_STREQ(varimark::TypeName(Type::ITF_14), "ITF_14");
    EXPECT_STREQ(varimark::TypeName(static_cast<Type>(16)), "");
    EXPECT_EQ(varimark::TypeFromName("EAN_14"), std::nullopt);
    EXPECT_STREQ(varimark::TypeName(Type::CODE25iP), "CODE25iP");
    EXPECT_EQ(varimark::FormatFromName("a/label.TIF"), Format::Tiff);
    EXPECT_EQ(varimark::FormatFromName("label.pdf"), Format::Pdf);
    EXPECT_EQ(varimark::FormatFromName("a.png/label"), std::nullopt);
    EXPECT_EQ(varimark::FormatFromName("label.jpeg"), std::nullopt);
    EXPECT_EQ(varimark::FormatFromExtension(".GIF"), Format::Gif);
    EXPECT_EQ(varimark::FormatFromExtension("svg"), Format::Svg);
    for (const char* notOne : {"a.png", "x/.png", "", "."})
        EXPECT_EQ(varimark::FormatFromExtension(notOne), std::nullopt) << notOne;
}

TEST(Api, RefusalsCarryTheSystemsMessage) {
    const struct {
        std::function<void(Symbol&, PictureOptions&)> change;
        std::string message;
    } kCases[] = {
        {[](Symbol& s, PictureOptions&) { s.moduleSize = 10; },
         "Bar_SC_Size must be in the range 0..9!"},
        {[](Symbol& s, PictureOptions&) { s.rotation = 45; },
         "Bar_Rotate must be in the range rotate_000..rotate_270!"},
        {[](Symbol& s, PictureOptions&) { s.barHeight = 19; },
         "Bar_HeightPercent must be in the range 20..200!"},
        {[](Symbol& s, PictureOptions&) { s.fontHeight = 201; },
         "Bar_Fontscaling must be in the range 20..200!"},
        {[](Symbol& s, PictureOptions&) { s.ratio = 4; }, "bad ratio 4 (3 or 2)"},
        {[](Symbol& s, PictureOptions&) {
             s.type = Type::CODE128_B, s.text = std::string(51, '1');
         },
         "String exceeds maximum length"},
        // The text checked, not repaired.
        {[](Symbol& s, PictureOptions&) { s.text = "4006381333930"; },
         "check digit 0 is wrong: 1 expected"},
        {[](Symbol& s, PictureOptions&) { s.text = "12AB"; },
         "character 3 (\"A\") is not a digit: EAN_13 carries digits only"},
        {[](Symbol& s, PictureOptions&) { s.text = ""; }, "the text is empty"},
        {[](Symbol& s, PictureOptions&) { s.addon = "123"; },
         "an add-on has 2 or 5 digits: 3 given"},
        {[](Symbol& s, PictureOptions&) { s.type = Type::CODE128_B, s.text = "10\xE2\x82\xAC"; },
         "character 3 (\"\xE2\x82\xAC\", U+20AC) is not one Code 128 can carry"},
        {[](Symbol& s, PictureOptions&) {
             s.type = Type::CODE128_B, s.text = "\xC3\xA9", s.repair = true;
         },
         "BarcoLL: Code128 error: character 1 (\"\xC3\xA9\", U+00E9) is not one Code 128 B can "
         "carry"},
        {[](Symbol& s, PictureOptions&) {
             s.text = std::string("12\0"
                                  "3",
                                  4);
         },
         "the text holds a NUL byte (\\x00), which no barcode can carry"},
        {[](Symbol&, PictureOptions& o) { o.scale = 0; },
         "Barcode: Factor for \"MagnifyBy\" must be >=1"},
        {[](Symbol&, PictureOptions& o) { o.scale = 65536; },
         "Picture too large: the scale is at most 65535"},
        {[](Symbol&, PictureOptions& o) { o.dpi = 0; }, "the resolution must be at least 1 dpi"},
        {[](Symbol&, PictureOptions& o) { o.margin = -1; }, "the margin must not be negative"},
        {[](Symbol&, PictureOptions& o) { o.format = Format::Svg, o.monochrome = true; },
         "monochrome applies to raster pictures, not SVG or PDF"},
        {[](Symbol&, PictureOptions& o) { o.dpi = 100000, o.scale = 100; }, "Picture too large: "},
    };
    for (const auto& c : kCases) {
        Symbol symbol = Ean13();
        PictureOptions options;
        c.change(symbol, options);
        const std::string message = MessageOf([&] { varimark::Render(symbol, options); });
        EXPECT_EQ(message.substr(0, c.message.size()), c.message);
    }
}

// Each thread keeps its own glyphs and working lists, freed when it ends (the sanitizer
// build's leak check sees to that): threads that come and go draw what this one draws.
TEST(Api, ThreadsThatComeAndGoRenderTheSamePicture) {
    const std::vector<std::uint8_t> here = varimark::Render(Ean13(), {});
    for (int round = 0; round < 2; ++round) {
        std::vector<std::vector<std::uint8_t>> there(3);
        std::vector<std::thread> threads;
        for (auto& picture : there)
            threads.emplace_back([&picture] { picture = varimark::Render(Ean13(), {}); });
        for (auto& thread : threads) thread.join();
        for (const auto& picture : there) EXPECT_EQ(picture, here);
    }
}

TEST(Api, RenderToFileWritesTheRenderedBytesOrNothing) {
    const TScratchFolder folder;
    std::filesystem::create_directories(folder.Path("taken.png"));
    PictureOptions options;
    varimark::RenderToFile(Ean13(), options, folder.Path("label.png"));
    EXPECT_EQ(std::filesystem::file_size(folder.Path("label.png")),
              varimark::Render(Ean13(), options).size());
    EXPECT_NE(MessageOf([&] {
                  varimark::RenderToFile(Ean13(), options, folder.Path("taken.png"));
              }).find("it is a directory"),
              std::string::npos);
    // Past the file size limit, over the old file and as a new one: the old file stays and
    // nothing is left beside it.
    const std::string picture = ReadWholeFile(folder.Path("label.png"));
    for (const char* name : {"label.png", "new.png"}) {
        const std::string message = WithFileSizeLimit([&] {
            return MessageOf([&] { varimark::RenderToFile(Ean13(), options, folder.Path(name)); });
        });
        EXPECT_EQ(message, "Cannot write file " + folder.Path(name) + ": File too large");
    }
    EXPECT_EQ(ReadWholeFile(folder.Path("label.png")), picture);
    EXPECT_EQ(folder.Names(), (std::set<std::string>{"label.png", "taken.png"}));
}

void HostHandler(int) {}

// The library leaves the host's ending signals alone: a Python host keeps its own handlers.
// Only varimark-cli takes them (its main), to remove the hidden names of its saves first.
TEST(Api, SavingLeavesTheHostsSignalsAsTheHostSetThem) {
    const struct {
        int number;
        void (*handler)(int);
    } rows[] = {{SIGINT, SIG_IGN}, {SIGTERM, HostHandler}, {SIGHUP, HostHandler}};
    struct sigaction before[std::size(rows)];
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        struct sigaction host {};
        host.sa_handler = rows[i].handler;
        ASSERT_EQ(::sigaction(rows[i].number, &host, &before[i]), 0);
    }
    const TScratchFolder folder;
    varimark::RenderToFile(Ean13(), {}, folder.Path("label.png"));
    varimark_symbol* symbol = varimark_symbol_new();
    varimark_options* options = varimark_options_new();
    ASSERT_EQ(varimark_symbol_set_type(symbol, "EAN_13"), VARIMARK_OK);
    ASSERT_EQ(varimark_symbol_set_text(symbol, "400638133393"), VARIMARK_OK);
    EXPECT_EQ(varimark_render_to_file(symbol, options, folder.Path("c.png").c_str()), VARIMARK_OK);
    varimark_options_free(options);
    varimark_symbol_free(symbol);
    sigset_t blocked;
    ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, nullptr, &blocked), 0);
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        struct sigaction now {};
        ASSERT_EQ(::sigaction(rows[i].number, &before[i], &now), 0);
        EXPECT_EQ(now.sa_handler, rows[i].handler) << strsignal(rows[i].number);
        EXPECT_EQ(sigismember(&blocked, rows[i].number), 0) << strsignal(rows[i].number);
    }
}

// The C API: statuses, messages, buffers. Each documented refusal once; a success clears
// the message.
TEST(CApi, ErrorPathsGiveStatusAndMessage) {
    varimark_symbol* symbol = varimark_symbol_new();
    varimark_options* options = varimark_options_new();
    ASSERT_NE(symbol, nullptr);
    const std::uint8_t bmp[2] = {'B', 'M'}, text[] = "not a picture";
    varimark_buffer buffer, other;
    constexpr varimark_status kOk = VARIMARK_OK, kRefused = VARIMARK_REFUSED,
                              kInvalid = VARIMARK_INVALID_ARGUMENT;
    const struct {
        std::function<varimark_status()> call;
        varimark_status status;
        std::string message;
    } kCases[] = {
        // clang-format off
        {[&] { return varimark_symbol_set_type(nullptr, "EAN_13"); },
         kInvalid, "null symbol or type name"},
        {[&] { return varimark_symbol_set_type(symbol, "EAN_14"); },
         kInvalid, "unknown barcode type 'EAN_14'"},
        {[&] { return varimark_symbol_set_text(nullptr, "1"); }, kInvalid, "null symbol or text"},
        {[&] { return varimark_symbol_set_addon(symbol, nullptr); },
         kInvalid, "null symbol or text"},
        {[&] { return varimark_symbol_set_font(symbol, nullptr); },
         kInvalid, "null symbol or text"},
        {[&] { return varimark_symbol_set_int(symbol, nullptr, 1); },
         kInvalid, "null symbol or field name"},
        {[&] { return varimark_symbol_set_int(symbol, "colour", 1); },
         kInvalid, "unknown symbol field 'colour'"},
        {[&] { return varimark_symbol_set_int(symbol, "zoom", 2); }, kInvalid, "zoom takes 0 or 1"},
        {[&] { return varimark_symbol_set_int(symbol, "human_readable", -1); },
         kInvalid, "human_readable takes 0 or 1"},
        {[&] { return varimark_options_set_format(nullptr, "png"); },
         kInvalid, "null options or format"},
        {[&] { return varimark_options_set_format(options, "jpeg"); }, kInvalid,
         "unknown format 'jpeg': use bmp, gif, tif, jpg, emf, png, svg or pdf"},
        {[&] { return varimark_options_set_format(options, "a.png"); }, kInvalid,
         "unknown format 'a.png': use bmp, gif, tif, jpg, emf, png, svg or pdf"},
        {[&] { return varimark_options_set_int(nullptr, "dpi", 300); },
         kInvalid, "null options or field name"},
        {[&] { return varimark_options_set_int(options, "colour", 1); },
         kInvalid, "unknown option field 'colour'"},
        {[&] { return varimark_options_set_int(options, "quiet_zones", 2); },
         kInvalid, "quiet_zones takes 0 or 1"},
        {[&] { return varimark_options_set_int(options, "monochrome", -1); },
         kInvalid, "monochrome takes 0 or 1"},
        {[&] { return varimark_options_set_int(options, "margin", -1); }, kOk, ""},
        {[&] { return varimark_render(symbol, options, nullptr); },
         kInvalid, "null symbol or buffer"},
        {[&] { return varimark_encode(symbol, &buffer, nullptr); },
         kInvalid, "null symbol or buffer"},
        {[&] { return varimark_render_to_file(symbol, options, nullptr); },
         kInvalid, "null symbol or file name"},
        {[&] { return varimark_symbol_set_int(symbol, "module_size", 12); }, kOk, ""},
        {[&] { return varimark_render(symbol, nullptr, &buffer); },
         kRefused, "Bar_SC_Size must be in the range 0..9!"},
        {[&] { return varimark_symbol_set_int(symbol, "module_size", 1LL << 40); },
         kOk, ""}, // never narrowed
        {[&] { return varimark_encode(symbol, &buffer, &other); },
         kRefused, "Bar_SC_Size must be in the range 0..9!"},
        {[&] { return varimark_symbol_set_int(symbol, "module_size", 2); }, kOk, ""},
        {[&] { return varimark_symbol_set_text(symbol, "Hello"); }, kOk, ""},
        {[&] { return varimark_render_to_file(symbol, nullptr, "/nonexistent-folder/x.png"); },
         kRefused,
         "Cannot create file /nonexistent-folder/x.png"},
        {[&] { return varimark_symbol_set_type(symbol, "code128-b"); }, kOk, ""},
        {[&] { return varimark_options_set_int(options, "scale", 0); }, kOk, ""},
        {[&] { return varimark_render(symbol, options, &buffer); }, kRefused,
         "Barcode: Factor for \"MagnifyBy\" must be >=1"},
        {[&] { return varimark_verify_flags(bmp, 2, nullptr, 0, 0, 0, 100, 1.5, 2, &buffer); },
         kInvalid,
         "unknown verify flags 2"},
        {[&] { return varimark_verify(nullptr, 0, nullptr, 0, 0, 0, 100, 1.5, &buffer); }, kInvalid,
         "null picture or buffer"},
        {[&] { return varimark_verify(bmp, 2, "EAN_14", 0, 0, 0, 100, 1.5, &buffer); }, kInvalid,
         "unknown barcode type 'EAN_14'"},
        {[&] { return varimark_verify(text, sizeof text, "auto", 0, 0, 0, 100, 1.5, &buffer); },
         kRefused,
         "not a PNG, BMP, TIFF, GIF or JPEG"},
        // clang-format on
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(c.call(), c.status) << c.message;
        const std::string said = varimark_last_error();
        EXPECT_EQ(c.message.empty() ? said : said.substr(0, c.message.size()), c.message);
    }
    varimark_options_free(options);
    varimark_symbol_free(symbol);
}

// The message lives in 512 bytes of the thread's own: "unknown barcode type '" is 22
// bytes, which leaves 489 of the 511 for the name. 489 = 489 × 1 (x: all kept, 511 bytes),
// 244 × 2 + 1 (é: the lead byte of the 245th cut off, 510), 163 × 3 (€: 511),
// 122 × 4 + 1 (a 4-byte character: 510).
TEST(CApi, LongMessagesAreCutAfterAWholeCharacter) {
    varimark_symbol* symbol = varimark_symbol_new();
    const struct {
        const char* character;
        std::size_t length;
    } kCases[] = {{"x", 511}, {"\xc3\xa9", 510}, {"\xe2\x82\xac", 511}, {"\xf0\x9d\x84\x9e", 510}};
    for (const auto& c : kCases) {
        std::string name;
        while (name.size() < 1000) name += c.character;
        ASSERT_EQ(varimark_symbol_set_type(symbol, name.c_str()), VARIMARK_INVALID_ARGUMENT);
        const std::string message = varimark_last_error();
        EXPECT_EQ(message.size(), c.length) << c.character;
        EXPECT_EQ(message, ("unknown barcode type '" + name).substr(0, c.length));
    }
    varimark_symbol_free(symbol);
}

TEST(CApi, EachThreadHasItsOwnMessage) {
    varimark_symbol* symbol = varimark_symbol_new();
    ASSERT_EQ(varimark_symbol_set_type(symbol, "EAN_14"), VARIMARK_INVALID_ARGUMENT);
    std::string seen, own;
    std::thread([&] {
        seen = varimark_last_error();
        varimark_symbol_set_int(symbol, "colour", 1);
        own = varimark_last_error();
    }).join();
    EXPECT_EQ(seen, "");
    EXPECT_EQ(own, "unknown symbol field 'colour'");
    EXPECT_STREQ(varimark_last_error(), "unknown barcode type 'EAN_14'");
    varimark_symbol_free(symbol);
}

// ITF-14 through the C API's fields by name: its ratio in hundredths, its bearer bars.
// The types' names by number, each one varimark_symbol_set_type takes: 16 of them, the
// first EAN_8 and the last ITF_14, then NULL (and for a negative number).
TEST(CApi, TypeNamesByNumberEndWithNull) {
    varimark_symbol* s = varimark_symbol_new();
    ASSERT_NE(s, nullptr);
    int count = 0;
    for (const char* name; (name = varimark_type_name(count)) != nullptr; ++count)
        EXPECT_EQ(varimark_symbol_set_type(s, name), VARIMARK_OK) << name;
    EXPECT_EQ(count, 16);
    EXPECT_STREQ(varimark_type_name(0), "EAN_8");
    EXPECT_STREQ(varimark_type_name(15), "ITF_14");
    EXPECT_EQ(varimark_type_name(-1), nullptr);
    EXPECT_EQ(varimark_type_name(256), nullptr);
    varimark_symbol_free(s);
}

TEST(CApi, Itf14RatioAndBearerByName) {
    varimark_symbol* s = varimark_symbol_new();
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(varimark_symbol_set_type(s, "itf-14"), VARIMARK_OK);
    EXPECT_EQ(varimark_symbol_set_text(s, "1540014128876"), VARIMARK_OK);
    EXPECT_EQ(varimark_symbol_set_int(s, "bearer", 1), VARIMARK_OK);
    EXPECT_EQ(varimark_symbol_set_int(s, "bearer", 2), VARIMARK_INVALID_ARGUMENT);
    EXPECT_STREQ(varimark_last_error(), "bearer takes 0 (frame) or 1 (top-bottom)");
    const std::pair<long long, std::size_t> ratios[] = {{225, 453}, {250, 241}, {300, 135}};
    for (const auto& [percent, modules] : ratios) {
        EXPECT_EQ(varimark_symbol_set_int(s, "ratio_percent", percent), VARIMARK_OK);
        varimark_buffer code{}, bars{};
        ASSERT_EQ(varimark_encode(s, &code, &bars), VARIMARK_OK) << varimark_last_error();
        EXPECT_EQ(bars.size, modules) << percent;
        varimark_buffer_free(&code);
        varimark_buffer_free(&bars);
    }
    EXPECT_EQ(varimark_symbol_set_int(s, "ratio_percent", 220), VARIMARK_OK);
    varimark_buffer code{}, bars{};
    EXPECT_EQ(varimark_encode(s, &code, &bars), VARIMARK_REFUSED);
    EXPECT_STREQ(varimark_last_error(), "bad ratio 2.2 (ITF_14: 2.25, 2.5, 2.75 or 3)");
    varimark_symbol_free(s);
}

TEST(CApi, SuccessClearsTheMessageAndFillsBuffers) {
    varimark_symbol* symbol = varimark_symbol_new();
    ASSERT_EQ(varimark_symbol_set_type(symbol, "unknown"), VARIMARK_INVALID_ARGUMENT);
    ASSERT_EQ(varimark_symbol_set_type(symbol, "ean-13"), VARIMARK_OK);
    EXPECT_STREQ(varimark_last_error(), "");
    ASSERT_EQ(varimark_symbol_set_text(symbol, "400638133393"), VARIMARK_OK);
    varimark_buffer code, modules, picture;
    ASSERT_EQ(varimark_encode(symbol, &code, &modules), VARIMARK_OK);
    EXPECT_STREQ(reinterpret_cast<const char*>(code.data), "4006381333931");
    EXPECT_EQ(modules.size, 95u);
    ASSERT_EQ(varimark_render(symbol, nullptr, &picture), VARIMARK_OK);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(picture.data), 4), "\x89PNG");
    for (varimark_buffer* buffer : {&code, &modules, &picture}) {
        varimark_buffer_free(buffer);
        EXPECT_EQ(buffer->data, nullptr);
    }
    varimark_buffer_free(nullptr);
    varimark_symbol_free(symbol);
    varimark_symbol_free(nullptr);
}

} // namespace

// varimark_verify grades our own pictures (they grade 4.0) with no checks beyond the grade;
// a symbol not found as the type asked for is a report, no failure; "auto" and NULL are any
// symbology. varimark_verify_flags adds GS1's size checks only when asked for, in the same
// report (for EAN/UPC too).
TEST(CApi, VerifyGradesAndChecksSizesOnlyWhenAsked) {
    varimark::PictureOptions options;
    options.dpi = 600;
    varimark::Symbol gs1;
    gs1.type = varimark::Type::GS1_128;
    gs1.text = "(00)095011015300000003";
    const std::vector<std::uint8_t> ean = varimark::Render(Ean13(), options);
    const std::vector<std::uint8_t> gs1Png = varimark::Render(gs1, options);
    struct TRow {
        const std::vector<std::uint8_t>& png;
        const char* type;
        int flags; // -1: varimark_verify
        double minGrade;
        const char* expected[3]; // in the report
        bool sizeChecks;
    };
    const TRow kRows[] = {
        {ean,
         "EAN_13",
         -1,
         1.5,
         {"\"decoded\":true", "\"passed\":true", "\"data\":\"4006381333931\""},
         false},
        {ean, "auto", -1, 4, {"\"decoded\":true", "\"passed\":true", "\"type\":\"EAN_13\""}, false},
        {ean, nullptr, -1, 4, {"\"decoded\":true", "\"passed\":true", "\"letter\":\"A\""}, false},
        {ean, "CODE39", -1, 1.5, {"\"decoded\":false", "\"passed\":false", "\"failure\":"}, false},
        {ean,
         "EAN_13",
         VARIMARK_VERIFY_GS1,
         1.5,
         {"\"decoded\":true", "\"gs1\":", "\"table\":"},
         true},
        {gs1Png, "GS1_128", 0, 1.5, {"\"decoded\":true", "\"ais\"", "\"passed\":true"}, false},
        {gs1Png,
         "GS1_128",
         VARIMARK_VERIFY_GS1,
         1.5,
         {"\"decoded\":true", "\"ais\"", "\"table\":"},
         true},
    };
    for (const TRow& row : kRows) {
        varimark_buffer report{};
        const varimark_status status =
            row.flags < 0
                ? varimark_verify(row.png.data(), row.png.size(), row.type, 600, 0, 0, 100,
                                  row.minGrade, &report)
                : varimark_verify_flags(row.png.data(), row.png.size(), row.type, 600, 0, 0, 100,
                                        row.minGrade, static_cast<unsigned>(row.flags), &report);
        ASSERT_EQ(status, VARIMARK_OK) << varimark_last_error();
        EXPECT_STREQ(varimark_last_error(), "");
        const std::string json(reinterpret_cast<const char*>(report.data), report.size);
        for (const char* part : row.expected)
            EXPECT_NE(json.find(part), std::string::npos) << part << " in " << json.substr(0, 300);
        EXPECT_EQ(json.find("\"size_checks\"") != std::string::npos, row.sizeChecks) << row.type;
        varimark_buffer_free(&report);
    }
}
