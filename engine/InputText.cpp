#include "engine/InputText.h"

#include "engine/ApplicationIdentifiers.h"
#include "engine/BarcodeParams.h"
#include "engine/EOverflow.h"
#include "engine/Escapes.h"
#include "engine/Formatted.h"
#include "engine/SymbologyTables.h"
#include "engine/TextPreparation.h"
#include "engine/Windows1252.h"

#include <cstring>
#include <optional>
#include <vector>

namespace varimark {

namespace {

// One byte of the 8-bit text and where it came from: the character's place in the text
// (counted from 1), as typed or as an escape.
struct TByte {
    unsigned char value;
    std::size_t place;
    bool escaped;
};

std::string Hex(unsigned value, int digits) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out(static_cast<std::size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i, value >>= 4)
        out[static_cast<std::size_t>(i)] = kDigits[value & 15];
    return out;
}

// "character 3 ("A")", "character 7 ("€", U+20AC)", "character 2 (U+0009)" for a control
// character, "the escape \x8B at character 4".
std::string Describe(const TByte& b) {
    if (b.escaped)
        return "the escape \\x" + Hex(b.value, 2) + " at character " + std::to_string(b.place);
    const char32_t cp = Windows1252ToCodePoint(b.value);
    const std::string code = "U+" + Hex(static_cast<unsigned>(cp), 4);
    std::string out = "character " + std::to_string(b.place) + " (";
    if (cp < 0x20 || (cp >= 0x7F && cp < 0xA0)) return out + code + ")";
    out += "\"" + Windows1252ToUtf8(std::string(1, static_cast<char>(b.value))) + "\"";
    return out + (cp >= 0x7F ? ", " + code : "") + ")";
}

// The UTF-8 text as bytes of Windows-1252 with their places, escapes expanded.
std::vector<TByte> ToBytes(std::string_view utf8, TTextRules rules) {
    std::vector<TByte> bytes;
    std::size_t place = 0;
    for (std::size_t i = 0; i < utf8.size();) {
        ++place;
        char32_t cp = 0;
        const std::size_t length = NextCodePoint(utf8, i, cp);
        if (length == 0) {
            if (!rules.repair)
                throw ETextRefused("character " + std::to_string(place) + " is not UTF-8 (byte 0x" +
                                   Hex(static_cast<unsigned char>(utf8[i]), 2) + ")");
            bytes.push_back({'?', place, false});
            ++i;
            continue;
        }
        const unsigned char b = CodePointToWindows1252(cp);
        if (b == '?' && cp != '?' && !rules.repair)
            throw ETextRefused("character " + std::to_string(place) + " (\"" +
                               std::string(utf8.substr(i, length)) + "\", U+" +
                               Hex(static_cast<unsigned>(cp), cp > 0xFFFF ? 6 : 4) +
                               ") is outside Windows-1252: no barcode here can carry it");
        bytes.push_back({b, place, false});
        i += length;
    }
    if (!rules.escapes) return bytes;
    std::string text;
    for (const TByte& b : bytes) text += static_cast<char>(b.value);
    ExpandEscapes(text); // raises EEscape for a bad one
    // Places again: an escape "\xNN" is four characters of one byte, "\\" two.
    std::vector<TByte> expanded;
    for (std::size_t in = 0, out = 0; out < text.size(); ++out) {
        const bool escape = bytes[in].value == '\\';
        expanded.push_back({static_cast<unsigned char>(text[out]), bytes[in].place,
                            escape && bytes[in + 1].value == 'x'});
        in += !escape ? 1 : bytes[in + 1].value == 'x' ? 4 : 2;
    }
    return expanded;
}

bool IsDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}

[[noreturn]] void Refuse(const TByte& b, const std::string& why) {
    throw ETextRefused(Describe(b) + " " + why);
}

// Code 128: the code set the text is in at each place, as the engine maps it. Code set A
// carries the bytes 32..95, B 32..127, C pairs of digits; the function characters (FNC3
// 128, FNC2 129, SHIFT 130, FNC1 134) and the code set changes (CODE C 131, CODE B 132,
// CODE A 133) only as escapes; start and stop characters never.
std::optional<TByte> Code128Uncarried(const std::vector<TByte>& bytes, btCodeTypes type,
                                      std::string& why) {
    char set = type == btCodeTypes::CODE128_A ? 'A' : type == btCodeTypes::CODE128_B ? 'B' : 'C';
    bool pending = false; // a digit of set C waiting for its partner
    for (const TByte& b : bytes) {
        const unsigned char c = b.value;
        if (c >= 128 && c <= 134 && !b.escaped) {
            why = "is not one Code 128 can carry: its byte 0x" + Hex(c, 2) +
                  " stands for a function character, and those are given as escapes "
                  "(\\x80 .. \\x86)";
            return b;
        }
        if (c >= 135) {
            why = c <= 138 ? "is a Code 128 start or stop character, which the symbol places "
                             "itself"
                           : std::string("is not one Code 128 ") + set + " can carry";
            return b;
        }
        if (c >= 131 && c <= 133) {
            const char to = c == 131 ? 'C' : c == 132 ? 'B' : 'A';
            if (to != set) pending = false, set = to;
            continue;
        }
        if (set == 'C') {
            if (c == 134 && !pending) continue; // FNC1
            if (!IsDigit(c)) {
                why = c == 134 ? "comes between the two digits of a pair of code set C"
                               : "is not a digit, and Code 128 C carries pairs of digits";
                return b;
            }
            pending = !pending;
            continue;
        }
        if (c >= 128) continue; // FNC1 .. FNC3, SHIFT
        if (c < 32 || (set == 'A' && c > 95)) {
            why = std::string("is not one Code 128 ") + set + " can carry" +
                  (set == 'A' && c >= 'a' && c <= 'z' ? " (it has no lower-case letters)" : "");
            return b;
        }
    }
    return std::nullopt;
}

// The digits an EAN/UPC or ITF-14 text holds before its check digit.
int DataDigits(btCodeTypes type) {
    switch (type) {
    case btCodeTypes::EAN_8: return 7;
    case btCodeTypes::EAN_13: return 12;
    case btCodeTypes::UPC_A: return 11;
    case btCodeTypes::ITF_14: return 13;
    default: return 6; // UPC-E: the six digits of the compressed number
    }
}

void CheckEanUpc(const std::vector<TByte>& bytes, btCodeTypes type) {
    for (const TByte& b : bytes)
        if (!IsDigit(b.value))
            Refuse(b,
                   std::string("is not a digit: ") + CodeTypeName(type) + " carries digits only");
    const std::size_t digits = static_cast<std::size_t>(DataDigits(type));
    if (bytes.size() != digits && bytes.size() != digits + 1)
        throw ETextRefused(std::string(CodeTypeName(type)) + " takes " + std::to_string(digits) +
                           " digits, or " + std::to_string(digits + 1) +
                           " with its check digit: " + std::to_string(bytes.size()) + " given");
    if (bytes.size() == digits) return;
    char text[16] = {}; // ITF-14's 13 digits and the check digit at most
    for (std::size_t i = 0; i < digits; ++i) text[i] = static_cast<char>(bytes[i].value);
    AddCheckDigit(text, type);
    const char given = static_cast<char>(bytes.back().value), expected = text[digits];
    if (given != expected)
        throw ETextRefused(std::string("check digit ") + given + " is wrong: " + expected +
                           " expected");
}

// The characters of the symbologies with one set: those the type's table holds.
bool Carries(btCodeTypes type, unsigned char c, bool atEnd) {
    switch (type) {
    case btCodeTypes::CODE39:
        return c != '*' && std::strchr(TBarCode39::kAlphabet, c) != nullptr && c != 0;
    case btCodeTypes::Codabar: {
        if (c == 0 || std::strchr(TBarCodabar::kAlphabet, c) == nullptr) return false;
        return atEnd || !(c >= 'A' && c <= 'D'); // start and stop at the ends only
    }
    case btCodeTypes::Postnet_FIM: return c != 0 && std::strchr("ABCabc", c) != nullptr;
    default: return IsDigit(c); // Interleaved 2 of 5, MSI, Postnet
    }
}

void CheckOthers(const std::vector<TByte>& bytes, btCodeTypes type) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const bool atEnd = i == 0 || i + 1 == bytes.size();
        if (!Carries(type, bytes[i].value, atEnd))
            Refuse(bytes[i], std::string("is not one ") + CodeTypeName(type) + " can carry" +
                                 (type == btCodeTypes::Codabar && bytes[i].value >= 'A' &&
                                          bytes[i].value <= 'D'
                                      ? " between its start and stop"
                                      : ""));
    }
    if (type == btCodeTypes::Postnet && bytes.size() != 5 && bytes.size() != 9 &&
        bytes.size() != 11)
        throw ETextRefused("Postnet takes 5, 9 or 11 digits: " + std::to_string(bytes.size()) +
                           " given");
}

// GS1-128: the AIs in brackets parsed and checked, then the element string as the engine
// takes it, FNC1 (the byte 134) where a separator is due. GS1 data has no repairs.
std::string CheckedGs1(std::string_view utf8) {
    std::vector<TGs1Element> elements;
    try {
        elements = ParseGs1Bracketed(utf8);
    } catch (const EGs1Data& e) {
        throw ETextRefused(e.what());
    }
    if (elements.empty()) throw ETextRefused("the text is empty");
    const std::size_t count = Gs1DataCharacterCount(elements);
    if (count > kGs1MaxDataCharacters)
        throw ETextRefused("GS1-128 holds at most 48 data characters: " + std::to_string(count) +
                           " given");
    std::string text = Gs1ElementString(elements);
    for (char& c : text)
        if (c == kGs1Separator) c = static_cast<char>(kEngineFnc1);
    return text;
}

} // namespace

std::string CheckedText(std::string_view utf8, btCodeTypes type, TTextRules rules) {
    // A text that cannot fit the caption is refused before it is taken apart, with the
    // engine's own words.
    if (utf8.size() > kMaxTextBytes) throw EOverflow(kCaptionTooLong);
    if (type == btCodeTypes::GS1_128) return CheckedGs1(utf8);
    const std::vector<TByte> bytes = ToBytes(utf8, rules);
    std::string text;
    text.reserve(bytes.size());
    for (const TByte& b : bytes) text += static_cast<char>(b.value);
    CheckNoNul(text);
    if (rules.repair) return text;
    if (text.empty()) throw ETextRefused("the text is empty");
    switch (type) {
    case btCodeTypes::EAN_8:
    case btCodeTypes::EAN_13:
    case btCodeTypes::UPC_A:
    case btCodeTypes::UPC_E:
    case btCodeTypes::ITF_14: CheckEanUpc(bytes, type); break;
    case btCodeTypes::CODE128_A:
    case btCodeTypes::CODE128_B:
    case btCodeTypes::CODE128_C: {
        std::string why;
        if (const std::optional<TByte> b = Code128Uncarried(bytes, type, why)) Refuse(*b, why);
        break;
    }
    default: CheckOthers(bytes, type); break;
    }
    return text;
}

std::string CheckedAddon(std::string_view utf8, btCodeTypes type, bool repair) {
    const std::vector<TByte> bytes = ToBytes(utf8, {false, repair});
    std::string addon;
    for (const TByte& b : bytes) addon += static_cast<char>(b.value);
    if (repair || addon.empty()) return addon;
    if (type != btCodeTypes::EAN_13 && type != btCodeTypes::UPC_A && type != btCodeTypes::UPC_E)
        throw ETextRefused(std::string(CodeTypeName(type)) + " takes no add-on");
    for (const TByte& b : bytes)
        if (!IsDigit(b.value)) Refuse(b, "of the add-on is not a digit");
    if (addon.size() != 2 && addon.size() != 5)
        throw ETextRefused("an add-on has 2 or 5 digits: " + std::to_string(addon.size()) +
                           " given");
    return addon;
}

std::string Code128Error(std::string_view text, btCodeTypes type) {
    std::string message = kCode128Refusal;
    if (type != btCodeTypes::CODE128_A && type != btCodeTypes::CODE128_B &&
        type != btCodeTypes::CODE128_C)
        return message;
    std::vector<TByte> bytes;
    for (std::size_t i = 0; i < text.size(); ++i)
        bytes.push_back({static_cast<unsigned char>(text[i]), i + 1, true});
    std::string why;
    if (const std::optional<TByte> b = Code128Uncarried(bytes, type, why)) {
        TByte shown = *b;
        shown.escaped = false;
        message += ": " + Describe(shown) + " " + why;
    }
    return message;
}

} // namespace varimark
