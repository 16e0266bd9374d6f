// Every byte value in every place of captions of the lengths around the limit, through every
// type of "varimark-cli encode --repair --batch" (the engine's own repairs, as the desktop
// program has them): each line gives a well-formed JSON object, either the symbol or one of
// the engine's own messages, and the program ends normally. A sample of the same inputs goes
// through "render" to show that drawing takes them as well. (Without --repair the texts are
// checked first: the CLI tests have those refusals.)
#include "CliRunner.h"
#include "FileTesting.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <map>
#include <random>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char* kTypes[] = {"EAN_8",       "EAN_13",   "UPC_A",     "UPC_E",      "CODE39",
                                  "CODE25i",     "CODE25iP", "CODE128_A", "CODE128_B",  "CODE128_C",
                                  "MSI_Plessey", "Codabar",  "Postnet",   "Postnet_FIM"};
constexpr int kLengths[] = {0, 1, 49, 50, 51};
constexpr int kMaxCaption = 50;

constexpr const char* kTooLong = "String exceeds maximum length";
constexpr const char* kCode128Error = "BarcoLL: Code128 error";
constexpr const char* kNulInText = "the text holds a NUL byte (\\x00), which no barcode can carry";
// Every message the engine raises for a text or an add-on, and the refusal of a NUL byte.
const std::set<std::string> kEngineMessages = {
    kTooLong,
    kNulInText,
    kCode128Error,
    "BarLL: Wrong Addoncode",
    "Barcode: Unknown Type of Barcode",
    "BarcoLL: No check char with this barcode type",
    "Decoded legth of UPC-E code is wrong!",
    "Barcode: Wrong EAN-charset (Internal error)",
    "AddonCode: Wrong EAN-charset (Internal error)",
    "Wrong barcode type in procedure AddMSIProofchar",
};

// Where the byte under test sits in the caption.
enum Place { kNowhere, kStart, kMiddle, kEnd, kPlaceCount };
constexpr const char* kPlaceNames[] = {"empty", "start", "middle", "end"};

// One caption: digits with one byte put in; the text for --esc gives that byte as \xNN.
struct Caption {
    int length;
    Place place;
    int byte; // -1 for the empty caption
    std::string escaped;
    std::string bytes;
};

std::vector<Caption> AllCaptions() {
    std::vector<Caption> captions;
    for (int length : kLengths) {
        if (length == 0) {
            captions.push_back({0, kNowhere, -1, "", ""});
            continue;
        }
        for (Place place : {kStart, kMiddle, kEnd}) {
            const int at = place == kStart ? 0 : place == kMiddle ? length / 2 : length - 1;
            for (int byte = 0; byte < 256; ++byte) {
                Caption c{length, place, byte, "", ""};
                for (int i = 0; i < length; ++i) {
                    if (i == at) {
                        char escape[8];
                        std::snprintf(escape, sizeof escape, "\\x%02X", byte);
                        c.escaped += escape;
                        c.bytes += static_cast<char>(byte);
                    } else {
                        c.escaped += static_cast<char>('0' + i % 10);
                        c.bytes += static_cast<char>('0' + i % 10);
                    }
                }
                captions.push_back(std::move(c));
            }
        }
    }
    return captions;
}

// The message for a caption, or "" when it is encoded. A NUL byte is refused before anything
// else (the engine's texts end at one); a caption over 50 bytes is refused; Code 128 refuses a
// byte 255 (it would end the text early) and a START character (135 to 137) between the data;
// A and B also refuse a control character and STOP (138) or above; code set C turns other bytes
// into digit 0; every other type repairs every character.
std::string ExpectedError(const std::string& type, const std::string& bytes) {
    if (bytes.find('\0') != std::string::npos) return kNulInText;
    if (bytes.size() > static_cast<std::size_t>(kMaxCaption)) return kTooLong;
    const bool setC = type == std::string("CODE128_C");
    if (!setC && type != "CODE128_A" && type != "CODE128_B") return "";
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b == 255 || (b >= 135 && b <= 137)) return kCode128Error;
        if (!setC && (b < 32 || b > 137)) return kCode128Error;
    }
    return "";
}

// A small JSON reader for the objects the program prints: string and integer values only.
class JsonObject {
public:
    // False when line is not exactly one such object.
    bool Parse(const std::string& line) {
        text_ = line;
        pos_ = 0;
        fields_.clear();
        if (!Take('{')) return false;
        if (Take('}')) return pos_ == text_.size();
        do {
            std::u32string key;
            if (!String(key)) return false;
            if (!Take(':')) return false;
            Value value;
            if (Peek() == '"') {
                value.isString = true;
                if (!String(value.text)) return false;
            } else if (!Integer(value.number)) {
                return false;
            }
            fields_.emplace_back(std::string(key.begin(), key.end()), value);
        } while (Take(','));
        return Take('}') && pos_ == text_.size();
    }

    struct Value {
        bool isString = false;
        std::u32string text;
        long long number = 0;
    };
    const std::vector<std::pair<std::string, Value>>& fields() const { return fields_; }

private:
    char Peek() const { return pos_ < text_.size() ? text_[pos_] : '\0'; }
    bool Take(char c) {
        if (Peek() != c) return false;
        ++pos_;
        return true;
    }
    bool Integer(long long& value) {
        const std::size_t start = pos_;
        Take('-');
        if (Peek() < '0' || Peek() > '9') return false;
        if (Peek() == '0' && pos_ + 1 < text_.size() && text_[pos_ + 1] >= '0' &&
            text_[pos_ + 1] <= '9')
            return false;
        while (Peek() >= '0' && Peek() <= '9' && pos_ - start < 18) ++pos_;
        if (Peek() >= '0' && Peek() <= '9') return false;
        value = std::stoll(text_.substr(start, pos_ - start));
        return true;
    }
    static int Hex(char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }
    // A string with JSON's escapes, in valid UTF-8, as code points.
    bool String(std::u32string& out) {
        if (!Take('"')) return false;
        for (;;) {
            if (pos_ >= text_.size()) return false;
            const auto b = static_cast<unsigned char>(text_[pos_++]);
            if (b == '"') return true;
            if (b < 0x20) return false;
            if (b == '\\') {
                const char e = Peek();
                ++pos_;
                static const std::string kSimple = "\"\\/bfnrt";
                static const char32_t kMeaning[] = {'"', '\\', '/', '\b', '\f', '\n', '\r', '\t'};
                const std::size_t k = kSimple.find(e);
                if (e != '\0' && k != std::string::npos) {
                    out += kMeaning[k];
                } else if (e == 'u') {
                    char32_t u = 0;
                    for (int i = 0; i < 4; ++i) {
                        const int h = Hex(Peek());
                        if (h < 0) return false;
                        u = u * 16 + static_cast<char32_t>(h);
                        ++pos_;
                    }
                    if (u >= 0xD800 && u <= 0xDFFF) return false; // no surrogates here
                    out += u;
                } else {
                    return false;
                }
            } else if (b < 0x80) {
                out += static_cast<char32_t>(b);
            } else {
                const int extra = b >= 0xF0 && b <= 0xF4   ? 3
                                  : b >= 0xE0 && b <= 0xEF ? 2
                                  : b >= 0xC2 && b <= 0xDF ? 1
                                                           : -1;
                if (extra < 0) return false;
                char32_t u = b & (0x3F >> extra);
                for (int i = 0; i < extra; ++i) {
                    const auto c = static_cast<unsigned char>(Peek());
                    if ((c & 0xC0) != 0x80) return false;
                    u = u << 6 | (c & 0x3F);
                    ++pos_;
                }
                if ((extra == 2 && u < 0x800) || (extra == 3 && (u < 0x10000 || u > 0x10FFFF)) ||
                    (u >= 0xD800 && u <= 0xDFFF))
                    return false;
                out += u;
            }
        }
    }

    std::string text_;
    std::size_t pos_ = 0;
    std::vector<std::pair<std::string, Value>> fields_;
};

std::string Narrow(const std::u32string& s) {
    std::string out;
    for (const char32_t c : s) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

// Checks one output line against what the engine should do with the caption; the reason
// of a mismatch, or "".
std::string CheckLine(const std::string& line, long long lineNumber, const std::string& type,
                      const Caption& caption, std::string& message) {
    JsonObject json;
    if (!json.Parse(line)) return "not a JSON object of strings and integers";
    const auto& f = json.fields();
    const std::string expected = ExpectedError(type, caption.bytes);
    message.clear();
    if (f.size() == 2 && f[0].first == "line" && f[1].first == "error") {
        if (f[0].second.isString || f[0].second.number != lineNumber) return "wrong line number";
        if (!f[1].second.isString) return "the error is not a string";
        message = Narrow(f[1].second.text);
        // The Code 128 refusal names the character after the engine's words.
        if (message.starts_with(std::string(kCode128Error) + ": character "))
            message = kCode128Error;
        if (kEngineMessages.count(message) == 0) return "not one of the engine's messages";
        if (message != expected) return "expected " + (expected.empty() ? "a symbol" : expected);
        return "";
    }
    if (f.size() != 4 || f[0].first != "type" || f[1].first != "codetext" ||
        f[2].first != "modules" || f[3].first != "count")
        return "neither a symbol nor an error line";
    if (!expected.empty()) return "a symbol, expected " + expected;
    if (!f[0].second.isString || Narrow(f[0].second.text) != type) return "wrong type";
    if (!f[1].second.isString) return "codetext is not a string";
    for (const char32_t c : f[1].second.text)
        if (c > 0xFF) return "codetext holds a character above U+00FF";
    const auto& modules = f[2].second;
    if (!modules.isString || modules.text.empty()) return "no modules";
    for (const char32_t c : modules.text)
        if (c != U'0' && c != U'1') return "modules other than 0 and 1";
    if (f[3].second.isString || f[3].second.number != static_cast<long long>(modules.text.size()))
        return "count differs from the modules";
    return "";
}

TEST(BadInput, EveryByteInEveryPlaceOfEveryTypeGivesAJsonLineAndANormalExit) {
    std::signal(SIGPIPE, SIG_IGN); // a program that dies early fails the test, not the runner
    const std::vector<Caption> captions = AllCaptions();
    std::string input;
    for (const Caption& c : captions)
        if (c.length > 0) input += c.escaped + "\n"; // an empty line is skipped

    long long tried[kPlaceCount][std::size(kLengths)] = {};
    std::map<std::string, int> outcomes;
    for (const char* type : kTypes) {
        const RunResult r =
            RunCli({"encode", "--type", type, "--repair", "--esc", "--batch", "-"}, input);
        ASSERT_TRUE(r.status == 0 || r.status == 1)
            << type << ": status " << r.status << " (-1: ended by a signal)\n"
            << r.err;
        EXPECT_EQ(r.status, 1) << type << ": the 51-byte captions are refused";
        EXPECT_EQ(r.err, "") << type;
        std::size_t pos = 0;
        int mismatches = 0;
        for (std::size_t i = 1; i < captions.size(); ++i) { // after the empty one
            const Caption& caption = captions[i];
            const std::size_t end = r.out.find('\n', pos);
            if (end == std::string::npos) {
                ADD_FAILURE() << type << ": output ends after " << i << " of " << captions.size()
                              << " lines";
                break;
            }
            const std::string line = r.out.substr(pos, end - pos);
            pos = end + 1;
            std::string message;
            const std::string problem =
                CheckLine(line, static_cast<long long>(i), type, caption, message);
            if (!problem.empty() && ++mismatches <= 5)
                ADD_FAILURE() << type << " caption " << caption.escaped << " (line " << i
                              << "): " << problem << "\n  " << line
                              << "\n  reproduce: printf '%s\\n' '" << caption.escaped
                              << "' | varimark-cli encode --type " << type
                              << " --repair --esc --batch -";
            ++outcomes[message.empty() ? "symbol" : message];
            std::size_t lengthIndex = 0;
            while (kLengths[lengthIndex] != caption.length) ++lengthIndex;
            ++tried[caption.place][lengthIndex];
        }
        EXPECT_EQ(mismatches, 0) << type;
        EXPECT_EQ(pos, r.out.size()) << type << ": more lines than captions";
    }

    std::printf("\nCaptions tried through encode --batch (%zu types, one process each):\n",
                std::size(kTypes));
    std::printf("%-8s", "place");
    for (int length : kLengths) std::printf(" %8s", ("len " + std::to_string(length)).c_str());
    std::printf(" %8s\n", "total");
    long long total = 0;
    for (int p = 0; p < kPlaceCount; ++p) {
        std::printf("%-8s", kPlaceNames[p]);
        long long row = 0;
        for (std::size_t l = 0; l < std::size(kLengths); ++l) {
            std::printf(" %8lld", tried[p][l]);
            row += tried[p][l];
        }
        std::printf(" %8lld\n", row);
        total += row;
    }
    std::printf("all: %lld inputs; outcomes:", total);
    for (const auto& [what, n] : outcomes) std::printf(" %s %d;", what.c_str(), n);
    std::printf("\n");
    EXPECT_EQ(total, static_cast<long long>(std::size(kTypes) * (captions.size() - 1)));
}

TEST(BadInput, ASampleOfTheSameCaptionsRendersOrIsRefusedWithTheEngineMessage) {
    constexpr int kSample = 200;
    constexpr unsigned kSeed = 20240607;
    const std::vector<Caption> captions = AllCaptions();
    const TScratchFolder scratch;
    const std::string& dir = scratch.Dir();

    std::mt19937 random(kSeed);
    std::uniform_int_distribution<std::size_t> pickType(0, std::size(kTypes) - 1);
    std::uniform_int_distribution<std::size_t> pickCaption(0, captions.size() - 1);
    int pictures = 0, refused = 0;
    for (int n = 0; n < kSample; ++n) {
        const std::string type = kTypes[pickType(random)];
        const Caption& caption = captions[pickCaption(random)];
        const std::string file = dir + "/" + std::to_string(n) + ".png";
        const RunResult r = RunCli(
            {"render", "--type", type, "--repair", "--esc", "-o", file, "--", caption.escaped});
        const std::string reproduce = "varimark-cli render --type " + type +
                                      " --repair --esc -o x.png -- '" + caption.escaped + "'";
        const std::string expected = ExpectedError(type, caption.bytes);
        struct stat info {};
        const bool written = stat(file.c_str(), &info) == 0 && info.st_size > 0;
        if (expected.empty()) {
            EXPECT_EQ(r.status, 0) << reproduce << "\n" << r.err;
            EXPECT_EQ(r.err, "") << reproduce;
            EXPECT_TRUE(written) << reproduce;
            ++pictures;
        } else {
            EXPECT_EQ(r.status, 1) << reproduce << " (-1: ended by a signal)";
            // The program names itself before its own refusals, not before the engine's.
            // The Code 128 refusal names the character after the engine's words.
            const bool code128 = expected == kCode128Error;
            EXPECT_EQ(code128 ? r.err.substr(0, r.err.find(": character ")) : r.err,
                      (expected == kNulInText ? "varimark-cli: " : "") + expected +
                          (code128 ? "" : "\n"))
                << reproduce;
            EXPECT_FALSE(written) << reproduce;
            ++refused;
        }
        unlink(file.c_str());
    }
    std::printf("\nrender sample (seed %u): %d captions, %d pictures, %d refused with the "
                "engine's message\n",
                kSeed, kSample, pictures, refused);
}

} // namespace
