// End-to-end tests of "varimark-cli encode": runs the built program and checks its output,
// error messages and exit statuses.
#include "CliRunner.h"
#include "generated/Version.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace {

// Checks one JSON line: type, codetext (as it appears in the JSON, UTF-8), count and that
// modules holds count characters of "0"/"1".
void ExpectSymbolLine(const std::string& line, const std::string& type, const std::string& codetext,
                      int count) {
    const std::string head =
        "{\"type\":\"" + type + "\",\"codetext\":\"" + codetext + "\",\"modules\":\"";
    const std::string tail = "\",\"count\":" + std::to_string(count) + "}\n";
    ASSERT_GE(line.size(), head.size() + tail.size()) << line;
    EXPECT_EQ(line.substr(0, head.size()), head);
    EXPECT_EQ(line.substr(line.size() - tail.size()), tail);
    const std::string modules = line.substr(head.size(), line.size() - head.size() - tail.size());
    EXPECT_EQ(modules.size(), static_cast<std::size_t>(count));
    EXPECT_EQ(modules.find_first_not_of("01"), std::string::npos) << modules;
}

// Code 128 symbol characters as they appear in codetext (code c as U+00cc in UTF-8).
const std::string kStartA = "\xC2\x87", kStartB = "\xC2\x88", kStartC = "\xC2\x89";
const std::string kCodeA = "\xC2\x85", kCodeC = "\xC2\x83", kStop = "\xC2\x8A";
const std::string kFnc1 = "\xC2\x86";

struct SymbolCase {
    std::vector<std::string> args;
    std::string type;
    std::string codetext;
    int count;
};

void PrintTo(const SymbolCase& c, std::ostream* os) {
    PrintArgs(c.args, os);
}

class CliSymbol : public ::testing::TestWithParam<SymbolCase> {};

TEST_P(CliSymbol, PrintsOneJsonLine) {
    const SymbolCase& c = GetParam();
    std::vector<std::string> args{"encode"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const RunResult r = RunCli(args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    ExpectSymbolLine(r.out, c.type, c.codetext, c.count);
}

INSTANTIATE_TEST_SUITE_P(
    AllTypes, CliSymbol,
    ::testing::Values(
        // --repair: the desktop program's repairs (letters as zeros, add-ons of other
        // lengths or types dropped, lower-case letters in upper case).
        SymbolCase{{"--type", "EAN_8", "--repair", "12AB"}, "EAN_8", "12000005", 67},
        SymbolCase{{"--type", "EAN_13", "400638133393"}, "EAN_13", "4006381333931", 95},
        SymbolCase{{"--type", "EAN_13", "--addon", "12345", "400638133393"},
                   "EAN_13",
                   "4006381333931",
                   152},
        SymbolCase{{"--type=EAN_13", "--repair", "--addon=x1y2", "400638133393"},
                   "EAN_13",
                   "4006381333931",
                   125},
        SymbolCase{{"--type", "UPC_A", "--repair", "--addon", "123", "12345678901"},
                   "UPC_A",
                   "123456789012",
                   125},
        SymbolCase{{"--type", "UPC_E", "123456"}, "UPC_E", "1234565", 51},
        SymbolCase{{"--type", "EAN_8", "--repair", "--addon", "12345", "1234567"},
                   "EAN_8",
                   "12345670",
                   67},
        SymbolCase{{"--type", "EAN_8", "12345670"}, "EAN_8", "12345670", 67}, // check digit given
        SymbolCase{{"--type", "CODE39", "--repair", "abc-1"}, "CODE39", "*ABC-1*", 112},
        SymbolCase{{"--type", "CODE39", "--ratio", "2", "ABC-1"}, "CODE39", "*ABC-1*", 91},
        SymbolCase{{"--type", "CODE25i", "1234567"}, "CODE25i", "12345670", 81},
        SymbolCase{{"--type", "CODE25iP", "1234567"}, "CODE25iP", "12345678", 81},
        SymbolCase{
            {"--type", "CODE128_A", "--repair", "abc"}, "CODE128_A", kStartA + "abcy" + kStop, 68},
        SymbolCase{{"Hello"}, "CODE128_B", kStartB + "Hellol" + kStop, 90},
        SymbolCase{{"--type", "CODE128_C", "12345"},
                   "CODE128_C",
                   kStartC + ",B" + kCodeA + "5Y" + kStop,
                   79},
        SymbolCase{{"--type", "MSI_Plessey", "1234567"}, "MSI_Plessey", "12345674", 140},
        SymbolCase{
            {"--type", "MSI_Plessey", "--ratio=2", "1234567"}, "MSI_Plessey", "12345674", 105},
        SymbolCase{{"--type", "Codabar", "--repair", "b12"}, "Codabar", "B12A", 52},
        SymbolCase{{"--type", "Codabar", "B12"}, "Codabar", "B12A", 52}, // a stop added
        SymbolCase{{"--type", "Postnet", "12345"}, "Postnet", "123455", 32},
        SymbolCase{{"--type", "Postnet_FIM", "b"}, "Postnet_FIM", "FIM-B", 9},
        // Type names without regard to case and with '-' for '_'.
        SymbolCase{{"--type", "ean-13", "400638133393"}, "EAN_13", "4006381333931", 95},
        SymbolCase{{"--type", "code128-b", "Hello"}, "CODE128_B", kStartB + "Hellol" + kStop, 90},
        SymbolCase{{"--type", "MSI-PLESSEY", "1234567"}, "MSI_Plessey", "12345674", 140},
        SymbolCase{{"--type", "postnet-fim", "b"}, "Postnet_FIM", "FIM-B", 9},
        // GS1-128: START C, FNC1, the SSCC's 10 pairs (00 as 32 " ", 09 as ")", 50 "R",
        // 11 "+", 01 "!", 18 "2"), check 75 as "k", STOP: 14 characters, 156 modules.
        SymbolCase{{"--type", "gs1-128", "(00)095011010000000018"},
                   "GS1_128",
                   kStartC + kFnc1 + " )R+!    2k" + kStop,
                   156},
        // ITF-14: the check digit computed; 2.5 in half modules (241), 2.25 in quarters (453).
        SymbolCase{{"--type", "ITF_14", "1540014128876"}, "ITF_14", "15400141288763", 241},
        SymbolCase{
            {"--type", "itf-14", "--ratio", "2.25", "--bearer", "top-bottom", "15400141288763"},
            "ITF_14",
            "15400141288763",
            453},
        SymbolCase{
            {"--ratio", "3", "--type", "ITF_14", "1540014128876"}, "ITF_14", "15400141288763", 135},
        SymbolCase{{"--type", "code25ip", "1234567"}, "CODE25iP", "12345678", 81},
        // Options after the text; "--" lets a text start with '-'.
        SymbolCase{{"ABC-1", "--type", "code39"}, "CODE39", "*ABC-1*", 112},
        SymbolCase{{"--type", "CODE39", "--", "-5"}, "CODE39", "*-5*", 64},
        // --repair, Windows-1252: U+20AC is 0x80 (FNC3 in Code 128), shown as U+0080; a
        // character outside Windows-1252 becomes '?'.
        SymbolCase{
            {"--repair", "\xE2\x82\xAC"}, "CODE128_B", kStartB + "\xC2\x80\xC2\x81" + kStop, 46},
        SymbolCase{{"--repair", "A\xE4\xB8\xAD"
                                "B"},
                   "CODE128_B",
                   kStartB + "A?B\x7F" + kStop,
                   68},
        // --esc: \x83 (CODE C) switches CODE128_B to set C; \\ is a backslash.
        SymbolCase{{"--esc", "A\\x8312"}, "CODE128_B", kStartB + "A" + kCodeC + ",^" + kStop, 68},
        SymbolCase{{"--esc", "a\\\\b"}, "CODE128_B", kStartB + "a\\\\bk" + kStop, 68},
        SymbolCase{{"a\\x41"}, "CODE128_B", kStartB + "a\\\\x41\xC2\x84" + kStop, 90}));

struct FailureCase {
    std::vector<std::string> args;
    int status;
    std::string err; // the first line of stderr
};

void PrintTo(const FailureCase& c, std::ostream* os) {
    PrintArgs(c.args, os);
}

class CliFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(CliFailure, ExitsWithMessage) {
    const FailureCase& c = GetParam();
    const RunResult r = RunCli(c.args);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.substr(0, r.err.find('\n') + 1), c.err + "\n");
    if (c.status == 2) {
        EXPECT_NE(r.err.find("\nUsage: varimark-cli encode"), std::string::npos) << r.err;
    } else {
        EXPECT_EQ(r.err, c.err + "\n"); // the engine's message alone
    }
}

const std::string k51(51, 'A');
const std::string kNulRefused =
    "varimark-cli: the text holds a NUL byte (\\x00), which no barcode can carry";

const FailureCase kFailures[] = {
    {{"encode", k51}, 1, "String exceeds maximum length"},
    {{"encode", "--type", "CODE39", k51}, 1, "String exceeds maximum length"},
    // Checked: what a symbology cannot carry is refused with its name and place.
    {{"encode", "A\tB"}, 1, "varimark-cli: character 2 (U+0009) is not one Code 128 B can carry"},
    {{"encode", "--esc", "\\x09"},
     1,
     "varimark-cli: the escape \\x09 at character 1 is not one Code 128 B can carry"},
    {{"encode", "\xC3\xA9"},
     1,
     "varimark-cli: character 1 (\"\xC3\xA9\", U+00E9) is not one Code 128 B can carry"},
    {{"encode", "Price 10\xE2\x82\xAC"},
     1,
     "varimark-cli: character 9 (\"\xE2\x82\xAC\", U+20AC) is not one Code 128 can "
     "carry: its byte 0x80 stands for a function character, and those are given as "
     "escapes (\\x80 .. \\x86)"},
    {{"encode", "\xE3\x81\x93\xE3\x82\x93"},
     1,
     "varimark-cli: character 1 (\"\xE3\x81\x93\", U+3053) is outside Windows-1252: no "
     "barcode here can carry it"},
    {{"encode", "--type", "EAN_13", "4006381333930"},
     1,
     "varimark-cli: check digit 0 is wrong: 1 expected"},
    {{"encode", "--type", "EAN_13", "12AB"},
     1,
     "varimark-cli: character 3 (\"A\") is not a digit: EAN_13 carries digits only"},
    {{"encode", "--type", "EAN_13", "12"},
     1,
     "varimark-cli: EAN_13 takes 12 digits, or 13 with its check digit: 2 given"},
    {{"encode", "--type", "EAN_13", ""}, 1, "varimark-cli: the text is empty"},
    {{"encode", "--type", "EAN_13", "--addon", "123", "400638133393"},
     1,
     "varimark-cli: an add-on has 2 or 5 digits: 3 given"},
    {{"encode", "--type", "CODE128_C", "12A4"},
     1,
     "varimark-cli: character 3 (\"A\") is not a digit, and Code 128 C carries pairs "
     "of digits"},
    // --repair: the engine's own message, with the character it could not carry named.
    {{"encode", "--repair", "--esc", "\\x09"},
     1,
     "BarcoLL: Code128 error: character 1 (U+0009) is not one Code 128 B can carry"},
    {{"encode", "--repair",
      "Z\xC3\xBF"
      "B"},
     1,
     "BarcoLL: Code128 error: character 2 (\"\xC3\xBF\", U+00FF) is not one Code 128 B "
     "can carry"},
    {{}, 2, "varimark-cli: missing command"},
    {{"decode", "x"}, 2, "varimark-cli: unknown command 'decode'"},
    {{"encode"}, 2, "varimark-cli: missing TEXT (or --batch FILE)"},
    {{"encode", "--type", "QR", "x"}, 2, "varimark-cli: unknown type 'QR'"},
    {{"encode", "--type", "EAN13", "x"}, 2, "varimark-cli: unknown type 'EAN13'"},
    {{"encode", "--ratio", "4", "x"}, 1, "varimark-cli: bad ratio '4' (3 or 2)"},
    {{"encode", "--ratio", "-4294967294", "x"},
     1,
     "varimark-cli: bad ratio '-4294967294' (3 or 2)"},
    {{"encode", "--ratio", "x", "x"}, 2, "varimark-cli: bad ratio 'x' (3 or 2)"},
    // A ratio with a decimal is ITF_14's alone, which takes 2.25 to 3.
    {{"encode", "--ratio", "2.5", "x"}, 2, "varimark-cli: bad ratio '2.5' (3 or 2)"},
    {{"encode", "--type", "ITF_14", "--ratio", "2.2", "1540014128876"},
     1,
     "varimark-cli: bad ratio '2.2' (ITF_14: 2.25, 2.5, 2.75 or 3)"},
    {{"encode", "--ratio", "2", "--type", "ITF_14", "1540014128876"},
     1,
     "varimark-cli: bad ratio '2' (ITF_14: 2.25, 2.5, 2.75 or 3)"},
    {{"encode", "--bearer", "left", "x"},
     2,
     "varimark-cli: unknown bearer 'left' (frame or top-bottom)"},
    {{"encode", "--type", "ITF_14", "15400141288764"},
     1,
     "varimark-cli: check digit 4 is wrong: 3 expected"},
    {{"encode", "--type", "GS1_128", "(17)261331"}, 1, "varimark-cli: (17) 261331: month 13"},
    {{"encode", "--type", "GS1_128", "(00)095011010000000018(01)09501101530003(10)ABCDEFGHIJK"},
     1,
     "varimark-cli: GS1-128 holds at most 48 data characters: 49 given"},
    {{"encode", "--ratio", "4", "--bold", "x"}, 2, "varimark-cli: unknown option '--bold'"},
    {{"encode", "--esc", "AB\\x00CD"}, 1, kNulRefused},
    {{"encode", "--esc", "--type", "CODE39", "\\x00"}, 1, kNulRefused},
    {{"encode", "--bold", "x"}, 2, "varimark-cli: unknown option '--bold'"},
    {{"encode", "x", "--type"}, 2, "varimark-cli: option '--type' needs a value"},
    {{"encode", "--esc=1", "x"}, 2, "varimark-cli: option '--esc' takes no value"},
    {{"encode", "a", "b"}, 2, "varimark-cli: unexpected argument 'b'"},
    {{"encode", "--batch", "-", "x"},
     2,
     "varimark-cli: TEXT cannot be given together with --batch"},
    {{"encode", "--esc", "a\\qb"}, 2, "varimark-cli: bad escape '\\q' (use \\xNN or \\\\)"},
    {{"encode", "--esc", "a\\x4"}, 2, "varimark-cli: bad escape '\\x4' (use \\xNN or \\\\)"},
    {{"encode", "--esc", "a\\"},
     2,
     "varimark-cli: bad escape '\\' at the end of the text (use \\xNN or \\\\)"},
    {{"encode", "--batch", "/nonexistent/lines.txt"},
     1,
     "varimark-cli: cannot read /nonexistent/lines.txt: No such file or "
     "directory"},
};

INSTANTIATE_TEST_SUITE_P(Errors, CliFailure, ::testing::ValuesIn(kFailures));
;

TEST(CliEncode, HelpGoesToStdout) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--help"}, {"help"}, {"-h"}}) {
        const RunResult r = RunCli(args);
        EXPECT_EQ(r.status, 0) << args.back();
        EXPECT_EQ(r.err, "");
        EXPECT_NE(r.out.find("Usage: varimark-cli encode"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("Usage: varimark-cli render"), std::string::npos) << r.out;
    }
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"encode", "--help"}, {"encode", "x", "-h"}, {"render", "--help"}}) {
        const RunResult r = RunCli(args);
        EXPECT_EQ(r.status, 0) << args.back();
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out.rfind("Usage: varimark-cli " + args.front(), 0), 0u) << r.out;
        EXPECT_NE(r.out.find("Examples:"), std::string::npos);
    }
}

// The version is the project's (CMakeLists.txt), and the overview names the option.
TEST(CliEncode, VersionGoesToStdout) {
    const RunResult r = RunCli({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "varimark-cli " VARIMARK_PROJECT_VERSION "\n");
    EXPECT_NE(RunCli({"--help"}).out.find("'varimark-cli --version'"), std::string::npos);
}

TEST(CliEncode, FiftyWindows1252CharactersFitFiftyOneDoNot) {
    std::string text;
    for (int i = 0; i < 50; ++i) text += "\xC3\xA9"; // 100 bytes of UTF-8, 50 characters
    const RunResult ok = RunCli({"encode", "--repair", "--type", "CODE39", text});
    EXPECT_EQ(ok.status, 0) << ok.err;
    ExpectSymbolLine(ok.out, "CODE39", "*" + std::string(50, '0') + "*", 52 * 16);
    const RunResult refused = RunCli({"encode", "--repair", "--type", "CODE39", text + "\xC3\xA9"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, "String exceeds maximum length\n");
}

// The single-text output of each text, concatenated (an empty line gives nothing).
std::string SingleOutputs(const std::vector<std::string>& texts) {
    std::string all;
    for (const auto& t : texts)
        if (!t.empty()) all += RunCli({"encode", "--type", "CODE39", t}).out;
    return all;
}

TEST(CliEncodeBatch, ErrorLineInTheMiddleFromFileAndStdin) {
    const std::string input = "Hello\nA\tB\n" + k51 + "\nXYZ\n";
    const std::string expected = RunCli({"encode", "Hello"}).out +
                                 "{\"line\":2,\"error\":\"character 2 (U+0009) is not one Code "
                                 "128 B can carry\"}\n" +
                                 "{\"line\":3,\"error\":\"String exceeds maximum length\"}\n" +
                                 RunCli({"encode", "XYZ"}).out;
    const TempFile file(input);
    for (const RunResult& r :
         {RunCli({"encode", "--batch", file.path()}), RunCli({"encode", "--batch=-"}, input)}) {
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out, expected);
    }
}

TEST(CliEncodeBatch, LineEndings) {
    struct Case {
        std::string input;
        std::vector<std::string> lines;
    };
    // Empty lines (a lone byte-order mark too) are skipped.
    for (const Case& c : std::vector<Case>{{"", {}},
                                           {"\n", {""}},
                                           {"\xEF\xBB\xBF", {""}},
                                           {"AB\nCD", {"AB", "CD"}},
                                           {"AB\nCD\n", {"AB", "CD"}},
                                           {"AB\r\nCD\r\n", {"AB", "CD"}},
                                           {"AB\n\nCD\n\n", {"AB", "", "CD", ""}}}) {
        const RunResult r = RunCli({"encode", "--type", "code39", "--batch", "-"}, c.input);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, SingleOutputs(c.lines)) << "input: " << c.input;
    }
}

TEST(CliEncodeBatch, EscapesApplyToLines) {
    const RunResult r = RunCli({"encode", "--esc", "--batch", "-"}, "A\\x8312\n\\x09\nA\\q\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, RunCli({"encode", "--esc", "A\\x8312"}).out +
                         "{\"line\":2,\"error\":\"the escape \\\\x09 at character 1 is not one "
                         "Code 128 B can carry\"}\n"
                         "{\"line\":3,\"error\":\"bad escape '\\\\q' (use \\\\xNN or "
                         "\\\\\\\\)\"}\n");
}

// A bad line is reported in its place and the others encoded: a NUL byte (raw or escaped)
// refuses its line instead of cutting the text there, lines of over 4096 bytes besides
// "\r\n" are refused, and a byte-order mark before the first line is skipped.
TEST(CliEncodeBatch, BadLinesAreReportedInPlace) {
    const auto json = [](const std::string& text) { return RunCli({"encode", text}).out; };
    const auto error = [](int line, const std::string& message) {
        return "{\"line\":" + std::to_string(line) + ",\"error\":\"" + message + "\"}\n";
    };
    const std::string nul = "the text holds a NUL byte (\\\\x00), which no barcode can carry";
    const std::string x4096(4096, 'x');
    const std::tuple<bool, std::string, int, std::string> cases[] = {
        // --esc, input, status, out
        {false, std::string("A\nAB\0CD\nB\n", 10), 1, json("A") + error(2, nul) + json("B")},
        {true, "A\nAB\\x00CD\nB\n", 1, json("A") + error(2, nul) + json("B")},
        {false, "\xEF\xBB\xBFHello\r\n", 0, json("Hello")},
        {false,
         x4096 + "\r\n" + x4096 + "x\n" + std::string(1 << 20, 'x') + "\nHello\n" + x4096 + "x", 1,
         error(1, "String exceeds maximum length") + error(2, "line too long") +
             error(3, "line too long") + json("Hello") + error(5, "line too long")}};
    for (const auto& [esc, input, status, out] : cases) {
        std::vector<std::string> args{"encode", "--batch", "-"};
        if (esc) args.push_back("--esc");
        const RunResult r = RunCli(args, input);
        EXPECT_EQ(r.status, status);
        EXPECT_EQ(r.out, out);
    }
}

// Output that cannot be written is an error with its cause, whatever wrote it.
TEST(CliEncode, FullStandardOutputIsReported) {
    std::string lines;
    for (int i = 0; i < 2000; ++i) lines += "line " + std::to_string(i) + "\n"; // > 64 KB of JSON
    for (const auto& args :
         std::vector<std::vector<std::string>>{{"--help"},
                                               {"--version"},
                                               {"encode", "--help"},
                                               {"render", "--help"},
                                               {"encode", "x"},
                                               {"encode", "--batch", "-"},
                                               {"render", "-o", "-", "--format", "png", "x"},
                                               {"render", "-o", "-", "--format", "svg", "x"},
                                               {"render", "-o", "-", "--format", "pdf", "x"}}) {
        const RunResult r = RunCli(args, args.back() == "-" ? lines : "", -1, "/dev/full");
        EXPECT_EQ(r.status, 1) << args.back();
        EXPECT_EQ(r.err, "varimark-cli: cannot write to standard output: No space left on device\n")
            << args.back();
    }
}

TEST(CliEncodeBatch, ManyLinesKeepTheirOrder) {
    std::string input, expected;
    for (int i = 0; i < 2000; ++i) {
        const std::string number = std::to_string(1000000 + i); // seven digits
        input += number + "\n";
        if (i % 500 == 0) expected += RunCli({"encode", "--type", "EAN_8", number}).out;
    }
    const RunResult r = RunCli({"encode", "--type", "EAN_8", "--batch", "-"}, input);
    EXPECT_EQ(r.status, 0);
    std::vector<std::string> lines;
    for (std::size_t pos = 0; pos < r.out.size();) {
        const std::size_t nl = r.out.find('\n', pos);
        lines.push_back(r.out.substr(pos, nl + 1 - pos));
        pos = nl + 1;
    }
    ASSERT_EQ(lines.size(), 2000u);
    EXPECT_EQ(lines[0] + lines[500] + lines[1000] + lines[1500], expected);
}

} // namespace
