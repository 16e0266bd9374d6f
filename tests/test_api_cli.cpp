// The API's functions that a command-line program is built on (1.3): the symbol checked in
// steps with a text's refusals told apart, the encoded symbol as JSON, a dated PDF, safe
// writes into a file and a folder, and the grading's report as text. Linked against the
// shared library, so that each is reached through what it exports and its errors cross the
// boundary as their own types.
#include "FileTesting.h"
#include "varimark/varimark.h"
#include "varimark/verify.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace varimark;

namespace {

// What a call raised: the most specific of the API's types, and the message.
enum class Raised { Nothing, Error, TextError, EscapeSequenceError };

struct Outcome {
    Raised raised = Raised::Nothing;
    std::string message;
};

Outcome OutcomeOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const EscapeSequenceError& e) {
        return {Raised::EscapeSequenceError, e.what()};
    } catch (const TextError& e) {
        return {Raised::TextError, e.what()};
    } catch (const Error& e) {
        return {Raised::Error, e.what()};
    }
    return {};
}

Symbol SymbolOf(Type type, std::string text, bool escapes = false, bool repair = false) {
    Symbol symbol;
    symbol.type = type;
    symbol.text = std::move(text);
    symbol.escapes = escapes;
    symbol.repair = repair;
    return symbol;
}

struct TextRow {
    Symbol symbol;
    Raised raised;
    std::string message;
};

// Each kind of refusal, and the message the command line prints after its name. The check
// digit of 400638133393 is 1 (worked at EncodeJsonMatchesEncode), so ...2 is refused.
TEST(ApiCli, CheckTextTellsRefusalsApart) {
    const std::string tooLong(201, 'A'); // four bytes per caption character at most: 200
    const TextRow rows[] = {
        {SymbolOf(Type::EAN_13, "400638133393"), Raised::Nothing, ""},
        {SymbolOf(Type::EAN_13, "40063813339X"), Raised::TextError,
         "character 12 (\"X\") is not a digit: EAN_13 carries digits only"},
        {SymbolOf(Type::EAN_13, "4006381333932"), Raised::TextError,
         "check digit 2 is wrong: 1 expected"},
        {SymbolOf(Type::EAN_13, "4006381333932", false, true), Raised::Nothing, ""},
        {SymbolOf(Type::CODE128_B, "a\\qb", true), Raised::EscapeSequenceError,
         "bad escape '\\q' (use \\xNN or \\\\)"},
        {SymbolOf(Type::CODE128_B, "a\\qb"), Raised::Nothing, ""}, // no escapes: a backslash
        {SymbolOf(Type::CODE128_B, "a\\x00b", true), Raised::TextError,
         "the text holds a NUL byte (\\x00), which no barcode can carry"},
        {SymbolOf(Type::CODE128_B, tooLong), Raised::TextError, "String exceeds maximum length"},
        {SymbolOf(Type::CODE128_B, tooLong, false, true), Raised::TextError,
         "String exceeds maximum length"},
        {SymbolOf(Type::CODE128_B, ""), Raised::TextError, ""},
    };
    for (const TextRow& row : rows) {
        const Outcome outcome = OutcomeOf([&] { CheckText(row.symbol); });
        EXPECT_EQ(outcome.raised, row.raised) << row.symbol.text;
        if (!row.message.empty()) {
            EXPECT_EQ(outcome.message, row.message) << row.symbol.text;
        }
        // Encode refuses the text as the check does, before anything else.
        if (row.raised != Raised::Nothing) {
            EXPECT_EQ(OutcomeOf([&] { Encode(row.symbol); }).raised, row.raised) << row.symbol.text;
        }
    }
}

TEST(ApiCli, CheckAddonAndTheRest) {
    struct Row {
        Type type;
        std::string addon;
        bool repair;
        int moduleSize;
        double ratio;
        Raised addonRaised, restRaised;
        std::string message; // of CheckSymbolOptions
    };
    const Row rows[] = {
        {Type::EAN_13, "12", false, 2, 0, Raised::Nothing, Raised::Nothing, ""},
        {Type::UPC_E, "12345", false, 2, 0, Raised::Nothing, Raised::Nothing, ""},
        {Type::CODE39, "12", false, 2, 0, Raised::TextError, Raised::TextError,
         "CODE39 takes no add-on"},
        {Type::CODE39, "12", true, 2, 0, Raised::Nothing, Raised::Nothing, ""},
        {Type::EAN_13, "123", false, 2, 0, Raised::TextError, Raised::TextError,
         "an add-on has 2 or 5 digits: 3 given"},
        {Type::EAN_13, "", false, 10, 0, Raised::Nothing, Raised::Error,
         "Bar_SC_Size must be in the range 0..9!"},
        {Type::ITF_14, "", false, 2, 2.6, Raised::Nothing, Raised::Error,
         "bad ratio 2.6 (ITF_14: 2.25, 2.5, 2.75 or 3)"},
        {Type::CODE39, "", false, 2, 2.5, Raised::Nothing, Raised::Error, "bad ratio 2.5 (3 or 2)"},
        // The add-on is checked before the look, as Render checks it.
        {Type::CODE39, "12", false, 10, 0, Raised::TextError, Raised::TextError,
         "CODE39 takes no add-on"},
    };
    for (const Row& row : rows) {
        Symbol symbol = SymbolOf(row.type, "");
        symbol.addon = row.addon;
        symbol.repair = row.repair;
        symbol.moduleSize = row.moduleSize;
        symbol.ratio = row.ratio;
        EXPECT_EQ(OutcomeOf([&] { CheckAddon(symbol); }).raised, row.addonRaised) << row.addon;
        const Outcome rest = OutcomeOf([&] { CheckSymbolOptions(symbol); });
        EXPECT_EQ(rest.raised, row.restRaised) << row.addon << " " << row.moduleSize;
        EXPECT_EQ(rest.message, row.message);
    }
}

TEST(ApiCli, NulBytesInALine) {
    const struct {
        std::string text;
        Raised raised;
    } rows[] = {{"EAN_13\t400638133393", Raised::Nothing},
                {std::string("EAN\0_13\t1", 10), Raised::TextError},
                {std::string("\0", 1), Raised::TextError},
                {"", Raised::Nothing}};
    for (const auto& row : rows)
        EXPECT_EQ(OutcomeOf([&] { CheckNoNulByte(row.text); }).raised, row.raised) << row.text;
}

TEST(ApiCli, TypesAddonsRatiosBearers) {
    const struct {
        Type type;
        bool addon;
        bool fits3, fits2, fits25;
        const char* choices;
    } rows[] = {
        {Type::EAN_13, true, true, true, false, "(3 or 2)"},
        {Type::UPC_A, true, true, true, false, "(3 or 2)"},
        {Type::UPC_E, true, true, true, false, "(3 or 2)"},
        {Type::EAN_8, false, true, true, false, "(3 or 2)"},
        {Type::CODE39, false, true, true, false, "(3 or 2)"},
        {Type::ITF_14, false, true, false, true, "(ITF_14: 2.25, 2.5, 2.75 or 3)"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(TakesAddon(row.type), row.addon) << TypeName(row.type);
        EXPECT_EQ(RatioFits(row.type, 3), row.fits3) << TypeName(row.type);
        EXPECT_EQ(RatioFits(row.type, 2), row.fits2) << TypeName(row.type);
        EXPECT_EQ(RatioFits(row.type, 2.5), row.fits25) << TypeName(row.type);
        EXPECT_TRUE(RatioFits(row.type, 0)) << "0 is the type's own";
        EXPECT_STREQ(RatioChoices(row.type), row.choices);
    }
    const struct {
        const char* name;
        std::optional<Bearer> bearer;
    } names[] = {{"frame", Bearer::Frame},
                 {"FRAME", Bearer::Frame},
                 {"top-bottom", Bearer::TopBottom},
                 {"Top_Bottom", Bearer::TopBottom},
                 {"top", std::nullopt},
                 {"", std::nullopt}};
    for (const auto& row : names) EXPECT_EQ(BearerFromName(row.name), row.bearer) << row.name;
}

TEST(ApiCli, JsonStrings) {
    const struct {
        std::string text, json;
    } rows[] = {{"abc", "\"abc\""},
                {"a\"b\\c", "\"a\\\"b\\\\c\""},
                {"\x01\x1f", "\"\\u0001\\u001f\""},
                {"line\nend", "\"line\\u000aend\""},
                {"\xc3\xa9", "\"\xc3\xa9\""}}; // UTF-8 stays as it is
    for (const auto& row : rows) EXPECT_EQ(JsonString(row.text), row.json);
}

// The JSON of the encoded symbol carries what Encode gives: the same modules and their count;
// the code text of EAN-13 with its check digit. 400638133393: from the right, the digits
// weigh 3, 1, 3, ...: 3 x (3+3+3+8+6+0) = 69 and 9+3+1+3+0+4 = 20, 89 in all, so the check
// digit is 1 (89 + 1 = 90).
TEST(ApiCli, EncodeJsonMatchesEncode) {
    Symbol code128 = SymbolOf(Type::CODE128_B, "a\\x86\"b", true);
    const Symbol rows[] = {SymbolOf(Type::EAN_13, "400638133393"), SymbolOf(Type::CODE39, "ABC-12"),
                           code128};
    for (const Symbol& symbol : rows) {
        const Encoded encoded = Encode(symbol);
        const std::string json = EncodeJson(symbol);
        EXPECT_EQ(json.rfind(std::string("{\"type\":\"") + TypeName(symbol.type) + "\",", 0), 0u)
            << json;
        EXPECT_NE(json.find(",\"modules\":\"" + encoded.modules +
                            "\",\"count\":" + std::to_string(encoded.modules.size()) + "}"),
                  std::string::npos)
            << json;
    }
    EXPECT_NE(EncodeJson(rows[0]).find("\"codetext\":\"4006381333931\""), std::string::npos);
    // Code 128 gives its symbol values v as the bytes 32 + v, each byte b as U+00bb in UTF-8
    // (0x88 as C2 88): START B (104) 0x88, a (65), FNC1 (102) 0x86, '"' (2) escaped, b (66),
    // the check character 104 + 1x65 + 2x102 + 3x2 + 4x66 = 643 = 6 x 103 + 25, so 25 ('9'),
    // and STOP (106) 0x8A.
    EXPECT_NE(EncodeJson(code128).find("\"codetext\":\"\xc2\x88"
                                       "a\xc2\x86\\\"b9\xc2\x8a\","),
              std::string::npos)
        << EncodeJson(code128);
    EXPECT_EQ(OutcomeOf([&] { EncodeJson(SymbolOf(Type::EAN_13, "4006381333932")); }).raised,
              Raised::TextError);
}

TEST(ApiCli, DatedPdf) {
    PictureOptions pdf;
    pdf.format = Format::Pdf;
    const Symbol symbol = SymbolOf(Type::EAN_13, "400638133393");
    const auto text = [](const std::vector<std::uint8_t>& bytes) {
        return std::string(bytes.begin(), bytes.end());
    };
    // 86400 seconds after 1970-01-01T00:00:00Z is the next midnight.
    const std::string dated = text(Render(symbol, pdf, 86400));
    EXPECT_NE(dated.find("/CreationDate (D:19700102000000Z)"), std::string::npos);
    const std::string undated = text(Render(symbol, pdf));
    EXPECT_EQ(undated.find("/CreationDate"), std::string::npos);
    EXPECT_EQ(dated.size(), undated.size()); // the date's room is kept either way
    PictureOptions png;
    EXPECT_EQ(Render(symbol, png, 86400), Render(symbol, png)); // only a PDF carries a date
}

TEST(ApiCli, FilesWholeOrNothing) {
    const TScratchFolder folder;
    const std::vector<std::uint8_t> first{1, 2, 3}, second{4, 5};
    WriteFile(folder.Path("a.bin"), first);
    WriteFile(folder.Path("a.bin"), second); // replaced whole
    EXPECT_EQ(ReadWholeFile(folder.Path("a.bin")), std::string("\x04\x05"));

    const PictureFolder pictures(folder.Dir());
    pictures.Write("000001.png", first);
    pictures.Write("000001.png", second);
    pictures.Write("000002.png", first);
    EXPECT_EQ(ReadWholeFile(folder.Path("000001.png")), std::string("\x04\x05"));
    EXPECT_EQ(folder.Names(), (std::set<std::string>{"a.bin", "000001.png", "000002.png"}));

    const Outcome missing = OutcomeOf([&] { WriteFile(folder.Path("no/such.png"), first); });
    EXPECT_EQ(missing.raised, Raised::Error);
    EXPECT_NE(missing.message.find(folder.Path("no/such.png")), std::string::npos)
        << missing.message;
    const PictureFolder gone(folder.Path("gone"));
    EXPECT_EQ(OutcomeOf([&] { gone.Write("x.png", first); }).raised, Raised::Error);
}

TEST(ApiCli, VerifyReportText) {
    const TScratchFolder folder;
    const std::string file = folder.Path("label.png");
    PictureOptions options;
    options.scale = 3;
    options.dpi = 300;
    RenderToFile(SymbolOf(Type::EAN_13, "400638133393"), options, file);
    VerifyOptions verify;
    verify.dpi = 300;
    const VerifyReport report = VerifyFile(file, verify);
    ASSERT_TRUE(report.decoded);
    const std::string text = VerifyReportText(report, file, 2.5);
    const std::string expected[] = {
        "File          " + file + "\n",
        "Symbol grade  " + report.gradeText + " (" + report.letter +
            ") passed: at least 2.5 wanted\n",
        "Data          4006381333931\n",
        "Symbology     EAN_13 ]E0\n",
        "\nScan Grade Decode Rmin ",
        "  10 ",
    };
    for (const std::string& line : expected)
        EXPECT_NE(text.find(line), std::string::npos) << line << "\nin\n" << text;
    EXPECT_EQ(text.find("Not decoded"), std::string::npos);
    EXPECT_EQ(text.rfind("File ", 0), 0u);
}

} // namespace
