// Every scannable type drawn by "varimark-cli render" in every look (module width, ratio,
// rotation, --zoom, --width-reduce) at one and three pixels per drawn pixel, decoded by two
// independent readers, zbarimg and ZXingReader. A decoded text that differs from the encoded
// data fails the test, and so does a picture that should be within the readers' limits but
// that neither reads. GS1-128 must come with the readers' GS1 flag (zbarimg's modifier GS1,
// ZXingReader's symbology identifier ]C1) and no other Code 128 with it. The matrix of what
// each reader decoded is printed.
#include "CliRunner.h"
#include "FileTesting.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

// One symbol: what is drawn and what each reader reports for it.
struct Symbol {
    const char* name;  // in the printed matrix
    const char* type;  // --type
    const char* addon; // --addon, "" for none
    const char* text;  // the TEXT operand
    const char* zbarType;
    const char* zbarData;
    const char* zxingFormat;
    const char* zxingData;    // without the add-on, which ZXingReader appends after a space
    const char* ratio2 = "2"; // --ratio in place of the matrix's 2 (ITF-14 takes 2.25 to 3)
    const char* bearer = "";  // --bearer
    bool gs1 = false;         // read with the readers' GS1 flag
};

// The expected data are worked out by hand from the symbologies' rules (check digits
// included), not taken from the program.
constexpr Symbol kSymbols[] = {
    {"EAN-8", "EAN_8", "", "1234567", "EAN-8", "12345670", "EAN-8", "12345670"},
    {"EAN-13", "EAN_13", "", "400638133393", "EAN-13", "4006381333931", "EAN-13", "4006381333931"},
    {"EAN-13+2", "EAN_13", "12", "400638133393", "EAN-13", "4006381333931", "EAN-13",
     "4006381333931"},
    {"EAN-13+5", "EAN_13", "52495", "400638133393", "EAN-13", "4006381333931", "EAN-13",
     "4006381333931"},
    {"UPC-A", "UPC_A", "", "03600029145", "UPC-A", "036000291452", "UPC-A", "036000291452"},
    {"UPC-A+2", "UPC_A", "12", "03600029145", "UPC-A", "036000291452", "UPC-A", "036000291452"},
    {"UPC-A+5", "UPC_A", "52495", "03600029145", "UPC-A", "036000291452", "UPC-A", "036000291452"},
    // The readers put the number system 0 in front of the six digits and the check digit.
    {"UPC-E", "UPC_E", "", "123456", "UPC-E", "01234565", "UPC-E", "01234565"},
    {"Code 39", "CODE39", "", "ABC-123", "CODE-39", "ABC-123", "Code39", "ABC-123"},
    // Check digit weights 3-1 and 4-9.
    {"ITF 3-1", "CODE25i", "", "123456789", "I2/5", "1234567895", "ITF", "1234567895"},
    {"ITF 4-9", "CODE25iP", "", "12345678901", "I2/5", "123456789016", "ITF", "123456789016"},
    // zbarimg keeps the start and stop characters, ZXingReader leaves them out.
    {"Codabar", "Codabar", "", "A40156B", "Codabar", "A40156B", "Codabar", "40156"},
    {"Code 128 A", "CODE128_A", "", "ABC-123", "CODE-128", "ABC-123", "Code128", "ABC-123"},
    {"Code 128 B", "CODE128_B", "", "Abc-123", "CODE-128", "Abc-123", "Code128", "Abc-123"},
    // An odd digit count: the last digit follows a switch to code set A.
    {"Code 128 C", "CODE128_C", "", "1234567", "CODE-128", "1234567", "Code128", "1234567"},
    // GS1-128: the element string after FNC1 in first position, with FNC1 (sent as GS,
    // which ZXingReader shows as <GS>) after an element of variable length that is not the
    // last. An SSCC (check digit 8: 3x0+0+3x9+...); a GTIN with an expiry date and a batch;
    // a net weight in kg with three decimals (3103); a batch that is not last.
    {"GS1 SSCC", "GS1_128", "", "(00)095011010000000018", "CODE-128", "00095011010000000018",
     "Code128", "00095011010000000018", "2", "", true},
    {"GS1 exp+lot", "GS1_128", "", "(01)09501101530003(17)260131(10)AB-123", "CODE-128",
     "01095011015300031726013110AB-123", "Code128", "01095011015300031726013110AB-123", "2", "",
     true},
    {"GS1 weight", "GS1_128", "", "[01]09501101530003[3103]001250", "CODE-128",
     "01095011015300033103001250", "Code128", "01095011015300033103001250", "2", "", true},
    {"GS1 lot+ser", "GS1_128", "", "(01)09501101530003(10)ABC123(21)XYZ", "CODE-128",
     "010950110153000310ABC123\x1d"
     "21XYZ",
     "Code128", "010950110153000310ABC123<GS>21XYZ", "2", "", true},
    // ITF-14: the GTIN-14's check digit computed (1540014128876: 3x1+5+3x4+... gives 3) and
    // given, in a frame and between bars over and under; the matrix's ratio 2 is 2.5.
    {"ITF-14", "ITF_14", "", "1540014128876", "I2/5", "15400141288763", "ITF", "15400141288763",
     "2.5", "frame"},
    {"ITF-14 tb", "ITF_14", "", "15400141288763", "I2/5", "15400141288763", "ITF", "15400141288763",
     "2.5", "top-bottom"},
};
constexpr int kSymbolCount = static_cast<int>(std::size(kSymbols));

// Module widths SC0, SC2 and SC9 (--module) and their millimetres.
struct ModuleWidth {
    int sc;
    double millimetres;
};
constexpr ModuleWidth kModules[] = {{0, 0.27}, {2, 0.33}, {9, 0.66}};
constexpr int kRatios[] = {3, 2};
constexpr int kRotations[] = {0, 90, 180, 270};
constexpr int kScales[] = {1, 3};
constexpr double kDpi = 96; // the render command's default

enum Reader { kZbar, kZxing, kReaderCount };
constexpr const char* kReaderNames[] = {"zbarimg", "ZXingReader"};

// One rendering of the matrix.
struct Combination {
    int symbol = 0;
    ModuleWidth module{};
    int ratio = 3, rotation = 0;
    bool zoom = false, widthReduce = false;
    int scale = 1;
    std::string file;
    bool rendered = false;
    bool decoded[kReaderCount] = {};
    std::vector<std::string> wrong; // what a reader reported that is not the encoded data

    // Whether the picture is within what a reader can be expected to decode. Without --zoom
    // every module is p = nearest(m x dpi / 25.4) layout pixels wide (1 at SC0 and SC2, 2 at
    // SC9 at 96 dpi); with --zoom each edge is rounded on its own, an error of up to half a
    // pixel that stays below a quarter of a module only from two pixels a module on (SC9).
    // --width-reduce takes one layout pixel off every bar of two or more pixels: at one
    // pixel a module, bars of one and two modules come out alike, and at two pixels half a
    // module goes, which the readers tolerate only in part. --scale magnifies the layout, errors
    // included. Modules of one picture pixel are at the readers' edge and not required.
    bool WithinReaderLimits() const {
        const double exact = module.millimetres * kDpi / 25.4;
        if (widthReduce || (zoom && exact < 2)) return false;
        const double layoutPixels = zoom ? exact : std::max(1.0, std::nearbyint(exact));
        return layoutPixels * scale >= 2;
    }

    // --ratio as given.
    std::string Ratio() const {
        return ratio == 2 ? kSymbols[symbol].ratio2 : std::to_string(ratio);
    }

    std::string Describe() const {
        return std::string(kSymbols[symbol].name) + " SC" + std::to_string(module.sc) + " ratio " +
               Ratio() + " rotate " + std::to_string(rotation) + (zoom ? " --zoom" : "") +
               (widthReduce ? " --width-reduce" : "") + " scale " + std::to_string(scale);
    }
};

// What a reader reported for one picture: (symbology, text) pairs.
using Reports = std::vector<std::pair<std::string, std::string>>;

// Runs a program with its standard output into a file and its standard error discarded;
// returns the wait status.
int RunTool(const std::vector<std::string>& args, const std::string& outFile) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int error = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

// Calls visit for every line of a reader's output.
template <typename Visit> void ForEachLine(const std::string& out, Visit visit) {
    for (std::size_t pos = 0; pos < out.size();) {
        std::size_t end = out.find('\n', pos);
        if (end == std::string::npos) end = out.size();
        visit(out.substr(pos, end - pos));
        pos = end + 1;
    }
}

// Base64 (RFC 4648) to bytes; what is not of its alphabet is skipped.
std::string FromBase64(const std::string& text) {
    static const std::string kAlphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string bytes;
    unsigned bits = 0;
    int count = 0;
    for (const char c : text) {
        const std::size_t value = kAlphabet.find(c);
        if (value == std::string::npos) continue;
        bits = (bits << 6) | static_cast<unsigned>(value);
        count += 6;
        if (count >= 8) {
            count -= 8;
            bytes += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    return bytes;
}

// zbarimg --xml: <source href='FILE'> ... <symbol type='T' ...><data><![CDATA[TEXT]]>, the
// type given as "T/GS1" with the modifier GS1. Data with a control character comes as
// <data format='base64' ...><![CDATA[ on its own line, the base64 lines, then ]]>.
std::map<std::string, Reports> ParseZbar(const std::string& out) {
    std::map<std::string, Reports> result;
    Reports* current = nullptr;
    std::optional<std::string> base64; // lines of base64 data being gathered
    ForEachLine(out, [&](const std::string& line) {
        if (base64 && current != nullptr) {
            if (!line.starts_with("]]>")) {
                *base64 += line;
                return;
            }
            current->back().second = FromBase64(*base64);
            base64.reset();
            return;
        }
        if (line.starts_with("<source href='")) {
            const std::size_t close = line.find('\'', 14);
            current = &result[line.substr(14, close - 14)];
        } else if (current != nullptr && line.starts_with("<symbol type='")) {
            const std::size_t close = line.find('\'', 14);
            const std::size_t data = line.find("<![CDATA[");
            const std::size_t dataEnd = line.find("]]>", data);
            const std::string type =
                line.substr(14, close - 14) +
                (line.find(" modifiers='GS1'") != std::string::npos ? "/GS1" : "");
            if (close != std::string::npos && data != std::string::npos &&
                line.find("format='base64'") != std::string::npos && dataEnd == std::string::npos) {
                current->emplace_back(type, "");
                base64 = std::string();
                return;
            }
            if (close == std::string::npos || data == std::string::npos ||
                dataEnd == std::string::npos) {
                current->emplace_back("?", line); // a line we cannot read is a wrong read
                return;
            }
            current->emplace_back(type, line.substr(data + 9, dataEnd - data - 9));
        }
    });
    return result;
}

// ZXingReader -1: one line per result, FILE FORMAT "TEXT", or FILE None.
std::map<std::string, Reports> ParseZxing(const std::string& out) {
    std::map<std::string, Reports> result;
    ForEachLine(out, [&](const std::string& line) {
        const std::size_t space = line.find(' ');
        if (space == std::string::npos) return;
        Reports& reports = result[line.substr(0, space)];
        const std::string rest = line.substr(space + 1);
        if (rest == "None") return;
        const std::size_t quote = rest.find(" \"");
        if (quote == std::string::npos || rest.back() != '"' || rest.size() < quote + 3) {
            reports.emplace_back("?", rest);
            return;
        }
        reports.emplace_back(rest.substr(0, quote),
                             rest.substr(quote + 2, rest.size() - quote - 3));
    });
    return result;
}

// ZXingReader's long output: "File:       FILE", then per result "Format:     F" and
// "Identifier: ]XN"; gives (format, identifier) by file.
std::map<std::string, Reports> ParseZxingIdentifiers(const std::string& out) {
    std::map<std::string, Reports> result;
    Reports* current = nullptr;
    std::string format;
    const auto value = [](const std::string& line) {
        const std::size_t start = line.find_first_not_of(' ', line.find(':') + 1);
        return start == std::string::npos ? std::string() : line.substr(start);
    };
    ForEachLine(out, [&](const std::string& line) {
        if (line.starts_with("File:"))
            current = &result[value(line)];
        else if (line.starts_with("Format:"))
            format = value(line);
        else if (line.starts_with("Identifier:") && current != nullptr)
            current->emplace_back(format, value(line));
    });
    return result;
}

// Runs a reader over the files in batches and adds what it reports to all. A reader that
// ends normally but stops before the end of a batch (zbarimg on a file it cannot open)
// loses that one file, recorded in failed, and goes on after it. A reader killed by a
// signal (ZXingReader 1.4 can fail an assertion) loses its buffered output, so its batch is
// read again one file per call.
void ReadAll(const std::vector<std::string>& command, const std::vector<std::string>& files,
             const std::function<std::map<std::string, Reports>(const std::string&)>& parse,
             const std::string& outFile, std::size_t batch, std::map<std::string, Reports>& all,
             std::vector<std::string>& failed) {
    std::size_t next = 0;
    while (next < files.size()) {
        const std::size_t end = std::min(files.size(), next + batch);
        std::vector<std::string> args = command;
        args.insert(args.end(), files.begin() + next, files.begin() + end);
        const int status = RunTool(args, outFile);
        if (!WIFEXITED(status) && end - next > 1) {
            ReadAll(command, {files.begin() + next, files.begin() + end}, parse, outFile, 1, all,
                    failed);
            next = end;
            continue;
        }
        auto reports = parse(ReadWholeFile(outFile));
        std::size_t i = next;
        while (i < end && reports.count(files[i]) != 0) {
            all[files[i]] = std::move(reports[files[i]]);
            ++i;
        }
        if (i < end) failed.push_back(files[i++]);
        next = i;
    }
}

bool Executable(const char* path) {
    return access(path, X_OK) == 0;
}

std::string Cell(int decoded, int total) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%d/%d", decoded, total);
    return buffer;
}

TEST(ScanMatrix, EveryRenderingDecodesToItsDataWithinTheReadersLimits) {
    constexpr const char* kZbarimg = "/usr/bin/zbarimg";
    constexpr const char* kZxingReader = "/usr/bin/ZXingReader";
    ASSERT_TRUE(Executable(kZbarimg)) << kZbarimg << " is missing: install zbar-tools";
    ASSERT_TRUE(Executable(kZxingReader)) << kZxingReader << " is missing: install zxing-cpp-tools";

    const TScratchFolder scratch;
    const std::string& dir = scratch.Dir();

    std::vector<Combination> combinations;
    for (int s = 0; s < kSymbolCount; ++s)
        for (const ModuleWidth& module : kModules)
            for (int ratio : kRatios)
                for (int rotation : kRotations)
                    for (int look = 0; look < 4; ++look)
                        for (int scale : kScales) {
                            Combination c;
                            c.symbol = s;
                            c.module = module;
                            c.ratio = ratio;
                            c.rotation = rotation;
                            c.zoom = (look & 1) != 0;
                            c.widthReduce = (look & 2) != 0;
                            c.scale = scale;
                            c.file = dir + "/" + std::to_string(combinations.size()) + ".png";
                            combinations.push_back(std::move(c));
                        }

    // Render: one process per picture, two at a time.
    const auto start = std::chrono::steady_clock::now();
    std::atomic<std::size_t> nextJob{0};
    std::vector<std::string> renderFailures(combinations.size());
    const auto renderWorker = [&] {
        for (std::size_t i; (i = nextJob++) < combinations.size();) {
            Combination& c = combinations[i];
            const Symbol& symbol = kSymbols[c.symbol];
            std::vector<std::string> args{"render", "--type", symbol.type};
            if (*symbol.addon != '\0') args.insert(args.end(), {"--addon", symbol.addon});
            if (*symbol.bearer != '\0') args.insert(args.end(), {"--bearer", symbol.bearer});
            args.insert(args.end(), {"--module", std::to_string(c.module.sc), "--ratio", c.Ratio(),
                                     "--rotate", std::to_string(c.rotation)});
            if (c.zoom) args.push_back("--zoom");
            if (c.widthReduce) args.push_back("--width-reduce");
            args.insert(args.end(),
                        {"--scale", std::to_string(c.scale), "-o", c.file, "--", symbol.text});
            const RunResult r = RunCli(args);
            c.rendered = r.status == 0 && access(c.file.c_str(), R_OK) == 0;
            if (!c.rendered)
                renderFailures[i] = "status " + std::to_string(r.status) + ": " + r.err;
        }
    };
    {
        std::thread a(renderWorker), b(renderWorker);
        a.join();
        b.join();
    }
    const auto rendered = std::chrono::steady_clock::now();

    // Decode: each reader takes many files per call; the two readers run side by side.
    constexpr std::size_t kBatch = 400;
    std::vector<std::string> files;
    for (const Combination& c : combinations)
        if (c.rendered) files.push_back(c.file);
    std::vector<std::string> failed[kReaderCount];
    std::map<std::string, Reports> reports[kReaderCount];
    std::map<std::string, Reports> identifiers; // ZXingReader's (format, identifier) by file
    {
        std::thread zbar([&] {
            ReadAll({kZbarimg, "--nodbus", "-q", "--xml", "-Supca.enable", "-Supce.enable",
                     "-Sean2.enable", "-Sean5.enable"},
                    files, ParseZbar, dir + "/zbar.out", kBatch, reports[kZbar], failed[kZbar]);
        });
        // -noscale: the reader's down-scaled pass fails an assertion on some of these
        // pictures (ZXing-C++ 1.4); they are small enough to be read as they are.
        ReadAll({kZxingReader, "-1", "-noscale"}, files, ParseZxing, dir + "/zxing.out", kBatch,
                reports[kZxing], failed[kZxing]);
        // The symbology identifiers of the GS1-128 pictures, which only the long output shows.
        std::vector<std::string> gs1Files;
        for (const Combination& c : combinations)
            if (c.rendered && kSymbols[c.symbol].gs1) gs1Files.push_back(c.file);
        // The first file again at the end: the reader names the files only when it has two.
        for (std::size_t next = 0; next < gs1Files.size(); next += kBatch) {
            const std::size_t end = std::min(gs1Files.size(), next + kBatch);
            std::vector<std::string> args{kZxingReader, "-noscale"};
            args.insert(args.end(), gs1Files.begin() + next, gs1Files.begin() + end);
            args.push_back(gs1Files[next]);
            RunTool(args, dir + "/zxing-id.out");
            identifiers.merge(ParseZxingIdentifiers(ReadWholeFile(dir + "/zxing-id.out")));
        }
        zbar.join();
    }
    const auto decoded = std::chrono::steady_clock::now();

    // Compare with the encoded data.
    for (Combination& c : combinations) {
        if (!c.rendered) continue;
        const Symbol& symbol = kSymbols[c.symbol];
        const std::string addon = symbol.addon;
        {
            const std::string addonType = addon.size() == 2 ? "EAN-2" : "EAN-5";
            bool main = false, extra = addon.empty();
            const std::string zbarType = std::string(symbol.zbarType) + (symbol.gs1 ? "/GS1" : "");
            for (const auto& [type, data] : reports[kZbar][c.file]) {
                if (type == zbarType && data == symbol.zbarData)
                    main = true;
                else if (!addon.empty() && type == addonType && data == addon)
                    extra = true;
                else
                    c.wrong.push_back("zbarimg " + type + ":" + data);
            }
            c.decoded[kZbar] = main && extra;
        }
        {
            const std::string whole =
                std::string(symbol.zxingData) + (addon.empty() ? "" : " " + addon);
            for (const auto& [format, data] : reports[kZxing][c.file]) {
                if (format != symbol.zxingFormat || (data != whole && data != symbol.zxingData))
                    c.wrong.push_back("ZXingReader " + format + " \"" + data + "\"");
                else if (data == whole)
                    c.decoded[kZxing] = true;
            }
            // Code 128 reads carry ]C0, GS1-128's ]C1: FNC1 in the first position (ISO/IEC
            // 15424's symbology identifiers).
            if (symbol.gs1 && c.decoded[kZxing]) {
                bool flagged = false;
                for (const auto& [format, identifier] : identifiers[c.file]) {
                    if (identifier == "]C1")
                        flagged = true;
                    else
                        c.wrong.push_back("ZXingReader identifier " + identifier);
                }
                c.decoded[kZxing] = flagged;
            }
        }
    }

    // The matrix by type: decoded / rendered per reader and scale.
    std::printf("\nDecoded / rendered by type (%d modules x %d ratios x %d rotations x 4 looks "
                "per scale)\n",
                int(std::size(kModules)), int(std::size(kRatios)), int(std::size(kRotations)));
    std::printf("%-12s %11s %11s %11s %11s %11s %11s %13s\n", "", "zbar x1", "zbar x3", "ZXing x1",
                "ZXing x3", "either x1", "either x3", "within limits");
    const auto count = [&](const std::function<bool(const Combination&)>& select,
                           const std::function<bool(const Combination&)>& success) {
        int yes = 0, all = 0;
        for (const Combination& c : combinations) {
            if (!select(c)) continue;
            ++all;
            if (c.rendered && success(c)) ++yes;
        }
        return Cell(yes, all);
    };
    const auto byZbar = [](const Combination& c) { return c.decoded[kZbar]; };
    const auto byZxing = [](const Combination& c) { return c.decoded[kZxing]; };
    const auto byEither = [](const Combination& c) {
        return c.decoded[kZbar] || c.decoded[kZxing];
    };
    const auto printRow = [&](const std::string& label,
                              const std::function<bool(const Combination&)>& select) {
        const auto at = [&](int scale) {
            return [&, scale](const Combination& c) { return select(c) && c.scale == scale; };
        };
        std::printf("%-12s %11s %11s %11s %11s %11s %11s %13s\n", label.c_str(),
                    count(at(1), byZbar).c_str(), count(at(3), byZbar).c_str(),
                    count(at(1), byZxing).c_str(), count(at(3), byZxing).c_str(),
                    count(at(1), byEither).c_str(), count(at(3), byEither).c_str(),
                    count([&](const Combination& c) { return select(c) && c.WithinReaderLimits(); },
                          byEither)
                        .c_str());
    };
    for (int s = 0; s < kSymbolCount; ++s)
        printRow(kSymbols[s].name, [s](const Combination& c) { return c.symbol == s; });
    printRow("all", [](const Combination&) { return true; });

    // The same by look, over all types.
    std::printf("\nDecoded / rendered by look (all types, ratios and rotations)\n");
    std::printf("%-12s %11s %11s %11s %11s %11s %11s %13s\n", "", "zbar x1", "zbar x3", "ZXing x1",
                "ZXing x3", "either x1", "either x3", "within limits");
    for (const ModuleWidth& module : kModules)
        for (int look = 0; look < 4; ++look) {
            const std::string label = "SC" + std::to_string(module.sc) +
                                      ((look & 1) ? " zoom" : "") + ((look & 2) ? " wr" : "");
            printRow(label, [module, look](const Combination& c) {
                return c.module.sc == module.sc && c.zoom == ((look & 1) != 0) &&
                       c.widthReduce == ((look & 2) != 0);
            });
        }

    // Every combination that no reader decodes, in the order of the matrix, its ratios and
    // rotations gathered.
    std::printf("\nNot decoded by any reader (* = within the readers' limits):\n");
    struct Undecoded {
        std::string look;
        std::map<int, std::vector<int>> rotationsByRatio;
        bool within = false;
    };
    std::vector<Undecoded> undecoded;
    std::map<std::string, std::size_t> undecodedIndex;
    for (const Combination& c : combinations) {
        if (byEither(c)) continue;
        const std::string look = std::string(kSymbols[c.symbol].name) + " SC" +
                                 std::to_string(c.module.sc) + (c.zoom ? " --zoom" : "") +
                                 (c.widthReduce ? " --width-reduce" : "") + " scale " +
                                 std::to_string(c.scale);
        const auto [at, added] = undecodedIndex.emplace(look, undecoded.size());
        if (added) undecoded.push_back({look, {}, false});
        Undecoded& u = undecoded[at->second];
        u.rotationsByRatio[c.ratio].push_back(c.rotation);
        u.within = u.within || c.WithinReaderLimits();
    }
    for (const Undecoded& u : undecoded) {
        std::string which;
        for (const auto& [ratio, rotations] : u.rotationsByRatio) {
            which += (which.empty() ? "" : "; ") + std::string("ratio ") + std::to_string(ratio);
            if (rotations.size() == std::size(kRotations)) {
                which += " every rotation";
            } else {
                which += " rotate";
                for (int rotation : rotations) which += " " + std::to_string(rotation);
            }
        }
        std::printf("  %s %s: %s\n", u.within ? "*" : " ", u.look.c_str(), which.c_str());
    }

    // The figures, and the failures.
    int renderedCount = 0, byReader[kReaderCount] = {}, anyReader = 0, wrongReads = 0,
        withinLimits = 0, withinDecoded = 0;
    for (std::size_t i = 0; i < combinations.size(); ++i) {
        const Combination& c = combinations[i];
        EXPECT_TRUE(c.rendered) << c.Describe() << ": " << renderFailures[i];
        if (!c.rendered) continue;
        ++renderedCount;
        for (int r = 0; r < kReaderCount; ++r) byReader[r] += c.decoded[r];
        anyReader += byEither(c);
        wrongReads += static_cast<int>(c.wrong.size());
        for (const auto& w : c.wrong)
            ADD_FAILURE() << "wrong read of " << c.Describe() << " (" << c.file << "): " << w;
        if (c.WithinReaderLimits()) {
            ++withinLimits;
            withinDecoded += byEither(c);
            EXPECT_TRUE(byEither(c))
                << "within the readers' limits but decoded by neither: " << c.Describe() << " ("
                << c.file << ")";
        }
    }
    std::printf("\nReader failures (the reader stopped on the picture; counted as not "
                "decoded):");
    bool anyFailure = false;
    for (int r = 0; r < kReaderCount; ++r)
        for (const auto& f : failed[r]) {
            std::printf("\n  %s: %s", kReaderNames[r], f.c_str());
            anyFailure = true;
        }
    std::printf("%s\n", anyFailure ? "" : " none");

    const auto seconds = [](auto from, auto to) {
        return std::chrono::duration<double>(to - from).count();
    };
    std::printf("\nScan matrix figures:\n"
                "  rendered                         %d of %zu\n"
                "  decoded by zbarimg               %d\n"
                "  decoded by ZXingReader           %d\n"
                "  decoded by at least one reader   %d\n"
                "  decoded by neither               %d\n"
                "  within the readers' limits       %d, decoded %d\n"
                "  wrong reads                      %d\n"
                "  time: rendering %.1f s, decoding %.1f s\n\n",
                renderedCount, combinations.size(), byReader[kZbar], byReader[kZxing], anyReader,
                renderedCount - anyReader, withinLimits, withinDecoded, wrongReads,
                seconds(start, rendered), seconds(rendered, decoded));
    std::fflush(stdout);

    for (const Combination& c : combinations) unlink(c.file.c_str());
}

} // namespace
