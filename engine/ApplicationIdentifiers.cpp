// GS1 Application Identifiers: the table (Gs1Table.inc, generated from GS1's Barcode Syntax
// Dictionary by scripts/gs1-table.py) and the checks of each element against it.
//
// An element's data field is checked in this order, the first fault being the element's
// fault: no data; the character set of each component (so that a stray space or bracket is
// named before the length it adds); the length of the whole field against the lengths its
// components allow; each component's linters in the dictionary's order. Messages count
// character positions from 1 at the first character of the data field.
//
// Linters checked: csum, csumalpha, gcppos1, gcppos2 (see GcpFault), hasnondigit, hh, hhmi,
// hyphen, importeridx, iso5218, latitude, longitude, mediatype, mi, nonzero, nozeroprefix,
// pcenc, pieceoftotal, posinseqslash, ss, winding, yesno, yymmd0, yymmdd, yyyymmdd, zero.
// Linters ACCEPTED WITHOUT CHECK, for want of their code lists here: iso3166 and iso3166999
// (ISO 3166-1 numeric country codes), iso3166alpha2 (ISO 3166-1 alpha-2), iso4217 (ISO 4217
// numeric currency codes), iban (ISO 13616, country-dependent lengths), packagetype (UN/ECE
// Recommendation 21 package types), couponcode and couponposoffer (the North American coupon
// formats). Their components still get the type and length checks.
#include "engine/ApplicationIdentifiers.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>

namespace varimark {

namespace {

enum EGs1Linter : std::uint8_t;

// A component of a data field, as the generated table writes it.
struct TGs1Component {
    char type;
    std::uint8_t minLength;
    std::uint8_t maxLength;
    bool optional;
    EGs1Linter linters[3];
};

// An AI or a range of AIs of one format ("3100".."3105").
struct TGs1Row {
    std::string_view first;
    std::string_view last;
    bool predefined;
    std::uint16_t component;
    std::uint8_t componentCount;
    std::string_view req;
    std::string_view ex;
    std::string_view title;
};

#include "engine/Gs1Table.inc"

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsHexDigit(char c) {
    return IsDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

bool AllDigits(std::string_view s) {
    return std::all_of(s.begin(), s.end(), IsDigit);
}

int Number(std::string_view digits) {
    int n = 0;
    for (const char c : digits) n = n * 10 + (c - '0');
    return n;
}

// The row of an AI. The rows are in lexical order of their first AI, a range differs only in
// its last digit, and no AI is the prefix of another (the generator and the test see to
// these), so the AI's row can only be the last row whose first AI is not above it.
const TGs1Row* FindRow(std::string_view ai) {
    if (ai.size() < 2 || ai.size() > 4 || !AllDigits(ai)) return nullptr;
    const auto after =
        std::upper_bound(std::begin(kGs1Rows), std::end(kGs1Rows), ai,
                         [](std::string_view a, const TGs1Row& row) { return a < row.first; });
    if (after == std::begin(kGs1Rows)) return nullptr;
    const TGs1Row& row = *(after - 1);
    return row.first.size() == ai.size() && ai <= row.last ? &row : nullptr;
}

const TGs1Component* Components(const TGs1Row& row) {
    return kGs1Components + row.component;
}

// Data as a message shows it: bytes outside printable ASCII as \xHH, cut after 100.
std::string Shown(std::string_view data) {
    constexpr std::size_t kMaxShown = 100;
    std::string out;
    for (std::size_t i = 0; i < data.size() && i < kMaxShown; ++i) {
        const auto c = static_cast<unsigned char>(data[i]);
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    if (data.size() > kMaxShown) out += "...";
    return out;
}

// One character of the data as a message quotes it: ("~").
std::string QuotedCharacter(char c) {
    if (c == '"') return "(\"\\\"\")";
    return "(\"" + Shown(std::string_view(&c, 1)) + "\")";
}

std::string Position(std::size_t at, std::size_t count, std::string_view field) {
    const std::string_view part = field.substr(at, count);
    if (count == 1) return "character " + std::to_string(at + 1) + " " + QuotedCharacter(part[0]);
    return "characters " + std::to_string(at + 1) + " to " + std::to_string(at + count) + " (\"" +
           Shown(part) + "\")";
}

// --- Character sets (GS1 General Specifications 7.11) -------------------------------------

// Character set 82, the GS1 AI encodable character set (Figure 7.11-1), in the order of its
// values 0..81 that the check character pair weighs.
constexpr std::string_view kCset82 = "!\"%&'()*+,-./0123456789:;<=>?"
                                     "ABCDEFGHIJKLMNOPQRSTUVWXYZ_abcdefghijklmnopqrstuvwxyz";
// Character set 39 (Figure 7.11-2).
constexpr std::string_view kCset39 = "#-/0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";

bool IsBase64Url(char c) {
    return IsDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-' || c == '_';
}

// The first character of a component outside its type's set, as a fault; data is the
// component, at its offset in the field.
std::string CharacterFault(char type, std::string_view field, std::size_t at, std::size_t size) {
    const std::string_view data = field.substr(at, size);
    for (std::size_t i = 0; i < data.size(); ++i) {
        const char c = data[i];
        bool ok = false;
        const char* set = "";
        switch (type) {
        case 'N': ok = IsDigit(c), set = "is not a digit"; break;
        case 'X':
            ok = kCset82.find(c) != kCset82.npos, set = "is not in the GS1 character set";
            break;
        case 'Y':
            ok = kCset39.find(c) != kCset39.npos, set = "is not in the GS1 character set 39";
            break;
        default:
            // base64url (RFC 4648 section 5), with "=" padding only at the end (at most two).
            if (c == '=') {
                const std::size_t rest = data.find_first_not_of('=', i);
                ok = rest == data.npos && data.size() - i <= 2;
            } else {
                ok = IsBase64Url(c);
            }
            set = "is not in the base64url character set";
        }
        if (!ok) return Position(at + i, 1, field) + " " + set;
    }
    return {};
}

// --- Linters --------------------------------------------------------------------------------

constexpr const char* kMonths[12] = {"January",   "February", "March",    "April",
                                     "May",       "June",     "July",     "August",
                                     "September", "October",  "November", "December"};

bool LeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

std::string TwoDigits(int n) {
    return std::string(1, static_cast<char>('0' + n / 10)) + static_cast<char>('0' + n % 10);
}

std::string DateFault(int year, int month, int day, bool dayZero) {
    if (month < 1 || month > 12) return "month " + TwoDigits(month);
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const int days = kDays[month - 1] + (month == 2 && LeapYear(year) ? 1 : 0);
    if (day == 0 && dayZero) return {};
    if (day == 0) return "day 00";
    if (day > days)
        return "day " + TwoDigits(day) + " of " + kMonths[month - 1] + " " + std::to_string(year);
    return {};
}

// csumalpha: the check character pair of GS1 General Specifications 7.9.5. Each character
// before the pair takes its value in character set 82, weighted by the primes 2, 3, 5 ...
// from the right; the sum modulo 1021 gives the pair, value / 32 and value % 32, in the
// 32 characters "23456789ABCDEFGHJKLMNPQRSTUVWXYZ".
std::string CheckPairFault(std::string_view data) {
    static constexpr int kPrimes[] = {2,  3,  5,  7,  11, 13, 17, 19, 23, 29, 31, 37, 41,
                                      43, 47, 53, 59, 61, 67, 71, 73, 79, 83, 89, 97};
    static constexpr std::string_view kCset32 = "23456789ABCDEFGHJKLMNPQRSTUVWXYZ";
    if (data.size() < 2)
        return std::to_string(data.size()) + " character, too short for its check pair";
    const std::size_t n = data.size() - 2;
    if (n > std::size(kPrimes)) return "too long for its check pair";
    int sum = 0;
    for (std::size_t i = 0; i < n; ++i)
        sum += static_cast<int>(kCset82.find(data[i])) * kPrimes[n - 1 - i];
    sum %= 1021;
    const std::string should{kCset32[static_cast<std::size_t>(sum >> 5)],
                             kCset32[static_cast<std::size_t>(sum & 31)]};
    if (data.substr(n) == should) return {};
    return "check characters " + Shown(data.substr(n)) + ", should be " + should;
}

// gcppos1, gcppos2: where a GS1 Company Prefix begins (character 1, or 2 after an extension
// or indicator digit). Without GS1's table of allocated prefixes only this is checked: the
// prefix begins with a digit, and the digits from there (up to the check digit of a
// component that has one, else its leading run of digits) are not all zeros.
std::string GcpFault(std::string_view field, std::size_t at, std::size_t size, std::size_t pos,
                     bool checkDigit) {
    const std::string_view data = field.substr(at, size);
    if (data.size() <= pos) return {};
    if (!IsDigit(data[pos]))
        return Position(at + pos, 1, field) + " cannot begin a GS1 Company Prefix";
    std::size_t end = checkDigit ? data.size() - 1 : data.size();
    for (std::size_t i = pos; i < end; ++i)
        if (!IsDigit(data[i])) end = i;
    if (data.substr(pos, end - pos).find_first_not_of('0') == std::string_view::npos)
        return "the GS1 Company Prefix at character " + std::to_string(at + pos + 1) +
               " is all zeros";
    return {};
}

struct TLintContext {
    std::string_view field; // the whole data field
    std::size_t at;         // the component's offset in it
    std::size_t size;       // the component's length
    bool checkDigit;        // the component also has csum
    int currentYear;
};

// The component's characters.
std::string_view Component(const TLintContext& x) {
    return x.field.substr(x.at, x.size);
}

// The number in the two digits of the component from i.
int TwoDigitsAt(const TLintContext& x, std::size_t i) {
    return Number(Component(x).substr(i, 2));
}

// The component's first character, named by its position in the field.
std::string FirstCharacter(const TLintContext& x) {
    return Position(x.at, 1, x.field);
}

std::string CsumFault(const TLintContext& x) {
    const std::string_view s = Component(x);
    if (s.size() < 2) return {};
    const int should = Gs1CheckDigit(s.substr(0, s.size() - 1));
    if (should == s.back() - '0') return {};
    return std::string("check digit ") + s.back() + ", should be " +
           static_cast<char>('0' + should);
}

std::string HhmiFault(const TLintContext& x) {
    if (TwoDigitsAt(x, 0) > 23) return "hour " + TwoDigits(TwoDigitsAt(x, 0));
    if (TwoDigitsAt(x, 2) > 59) return "minute " + TwoDigits(TwoDigitsAt(x, 2));
    return {};
}

// A time field of two digits: its name and its highest value.
std::string TimePartFault(const TLintContext& x, const char* name, int most) {
    return TwoDigitsAt(x, 0) > most ? name + TwoDigits(TwoDigitsAt(x, 0)) : "";
}

std::string PieceOfTotalFault(const TLintContext& x) {
    const int piece = TwoDigitsAt(x, 0), total = TwoDigitsAt(x, 2);
    if (piece == 0) return "piece 00";
    if (total == 0) return "total 00";
    if (piece > total) return "piece " + TwoDigits(piece) + " of " + TwoDigits(total);
    return {};
}

std::string PercentEncodingFault(const TLintContext& x) {
    const std::string_view s = Component(x);
    for (std::size_t i = 0; i < s.size(); ++i)
        if (s[i] == '%' && (i + 2 >= s.size() || !IsHexDigit(s[i + 1]) || !IsHexDigit(s[i + 2])))
            return Position(x.at + i, 1, x.field) + " does not begin a percent-encoded byte";
    return {};
}

// Degrees times 10^7 plus 90 (latitude) or 180 (longitude) degrees.
std::string CoordinateFault(const TLintContext& x, const char* name, std::string_view most) {
    const std::string_view s = Component(x);
    return s > most ? name + std::string(s) + " is over " + std::string(most) : "";
}

// GS1 AIDC media type code list: 01..10 assigned, 80..99 for a company's own use.
std::string MediaTypeFault(const TLintContext& x) {
    const std::string_view s = Component(x);
    const int n = Number(s);
    if ((n >= 1 && n <= 10) || (n >= 80 && n <= 99)) return {};
    return "media type " + std::string(s) + ", takes 01 to 10 or 80 to 99";
}

// "position/total", both without leading zeros, 1 <= position <= total.
std::string PositionInSequenceFault(const TLintContext& x) {
    const std::string_view s = Component(x);
    const std::size_t slash = s.find('/');
    const std::string_view pos = s.substr(0, slash);
    const std::string_view total = slash == s.npos ? "" : s.substr(slash + 1);
    const auto number = [](std::string_view n) {
        return !n.empty() && AllDigits(n) && n[0] != '0';
    };
    if (!number(pos) || !number(total))
        return "\"" + Shown(s) + "\" is not a position in a sequence such as 1/2";
    if (pos.size() > total.size() || (pos.size() == total.size() && pos > total))
        return "position " + std::string(pos) + " of " + std::string(total);
    return {};
}

// Each checked linter and its check: the fault found in the component, or "".
struct TLinterCheck {
    EGs1Linter linter;
    std::string (*fault)(const TLintContext&);
};

constexpr TLinterCheck kLinterChecks[] = {
    {kLintCsum, CsumFault},
    {kLintCsumalpha, [](const TLintContext& x) { return CheckPairFault(Component(x)); }},
    {kLintGcppos1,
     [](const TLintContext& x) { return GcpFault(x.field, x.at, x.size, 0, x.checkDigit); }},
    {kLintGcppos2,
     [](const TLintContext& x) { return GcpFault(x.field, x.at, x.size, 1, x.checkDigit); }},
    {kLintYymmd0,
     [](const TLintContext& x) {
         return DateFault(Gs1FullYear(TwoDigitsAt(x, 0), x.currentYear), TwoDigitsAt(x, 2),
                          TwoDigitsAt(x, 4), true);
     }},
    {kLintYymmdd,
     [](const TLintContext& x) {
         return DateFault(Gs1FullYear(TwoDigitsAt(x, 0), x.currentYear), TwoDigitsAt(x, 2),
                          TwoDigitsAt(x, 4), false);
     }},
    {kLintYyyymmdd,
     [](const TLintContext& x) {
         return DateFault(Number(Component(x).substr(0, 4)), TwoDigitsAt(x, 4), TwoDigitsAt(x, 6),
                          false);
     }},
    {kLintHhmi, HhmiFault},
    {kLintHh, [](const TLintContext& x) { return TimePartFault(x, "hour ", 23); }},
    {kLintMi, [](const TLintContext& x) { return TimePartFault(x, "minute ", 59); }},
    {kLintSs, [](const TLintContext& x) { return TimePartFault(x, "second ", 59); }},
    {kLintNonzero,
     [](const TLintContext& x) -> std::string {
         if (Component(x).find_first_not_of('0') != std::string_view::npos) return {};
         return Position(x.at, x.size, x.field) + (x.size == 1 ? " is zero" : " are zero");
     }},
    {kLintZero,
     [](const TLintContext& x) -> std::string {
         return Component(x) == "0" ? "" : Position(x.at, x.size, x.field) + " is not 0";
     }},
    {kLintNozeroprefix,
     [](const TLintContext& x) -> std::string {
         const std::string_view s = Component(x);
         return s.size() > 1 && s[0] == '0' ? FirstCharacter(x) + " is a leading zero" : "";
     }},
    {kLintYesno,
     [](const TLintContext& x) -> std::string {
         const std::string_view s = Component(x);
         return s == "0" || s == "1" ? "" : FirstCharacter(x) + " is neither 0 (no) nor 1 (yes)";
     }},
    {kLintHyphen,
     [](const TLintContext& x) -> std::string {
         return Component(x) == "-" ? "" : FirstCharacter(x) + " is not \"-\"";
     }},
    {kLintPieceoftotal, PieceOfTotalFault},
    {kLintPcenc, PercentEncodingFault},
    {kLintHasnondigit,
     [](const TLintContext& x) -> std::string {
         return AllDigits(Component(x)) ? "all digits, takes at least one other character" : "";
     }},
    {kLintWinding,
     [](const TLintContext& x) -> std::string {
         const std::string_view s = Component(x);
         return s == "0" || s == "1" || s == "9"
                    ? ""
                    : "winding direction " + std::string(s) + ", takes 0, 1 or 9";
     }},
    {kLintLatitude,
     [](const TLintContext& x) { return CoordinateFault(x, "latitude ", "1800000000"); }},
    {kLintLongitude,
     [](const TLintContext& x) { return CoordinateFault(x, "longitude ", "3600000000"); }},
    // ISO/IEC 5218 sex codes: 0 not known, 1 male, 2 female, 9 not applicable.
    {kLintIso5218,
     [](const TLintContext& x) -> std::string {
         const std::string_view s = Component(x);
         return s == "0" || s == "1" || s == "2" || s == "9"
                    ? ""
                    : "sex " + std::string(s) + ", takes 0, 1, 2 or 9 (ISO/IEC 5218)";
     }},
    {kLintMediatype, MediaTypeFault},
    // The importer index: one of the 64 characters 0-9, A-Z, a-z, "-", "_".
    {kLintImporteridx,
     [](const TLintContext& x) -> std::string {
         return IsBase64Url(Component(x)[0])
                    ? ""
                    : FirstCharacter(x) + " is not an importer index (0-9, A-Z, a-z, \"-\", \"_\")";
     }},
    {kLintPosinseqslash, PositionInSequenceFault},
};

std::string LinterFault(EGs1Linter linter, const TLintContext& x) {
    for (const TLinterCheck& check : kLinterChecks)
        if (check.linter == linter) return check.fault(x);
    return {}; // kLintNone, or not checked: see the list at the top
}

// --- Lengths -----------------------------------------------------------------------------------

struct TLengthRange {
    std::size_t low;
    std::size_t high;
};

// The lengths the whole field may take: using the first k components, for every k from the
// count of mandatory ones (at least 1) to all. Ascending and disjoint, as only the last
// component varies and each is at least 1 long.
std::vector<TLengthRange> FieldLengths(const TGs1Row& row) {
    const TGs1Component* c = Components(row);
    std::vector<TLengthRange> ranges;
    std::size_t fixed = 0;
    for (std::size_t k = 0; k < row.componentCount; ++k) {
        const bool enough = k + 1 == row.componentCount || c[k + 1].optional;
        if (enough) {
            const TLengthRange r{fixed + c[k].minLength, fixed + c[k].maxLength};
            if (!ranges.empty() && ranges.back().high + 1 >= r.low)
                ranges.back().high = r.high;
            else
                ranges.push_back(r);
        }
        fixed += c[k].maxLength;
    }
    return ranges;
}

std::string LengthsText(const std::vector<TLengthRange>& ranges, std::size_t size) {
    if (ranges.size() == 1) {
        const TLengthRange r = ranges[0];
        if (r.low == r.high) return std::to_string(r.low);
        if (size > r.high) return "at most " + std::to_string(r.high);
        return "at least " + std::to_string(r.low);
    }
    std::string text;
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        if (i > 0) text += i + 1 == ranges.size() ? " or " : ", ";
        text += std::to_string(ranges[i].low);
        if (ranges[i].high != ranges[i].low) text += " to " + std::to_string(ranges[i].high);
    }
    return text;
}

bool Numeric(const TGs1Row& row) {
    const TGs1Component* c = Components(row);
    return std::all_of(c, c + row.componentCount,
                       [](const TGs1Component& k) { return k.type == 'N'; });
}

int CurrentYear() {
    using namespace std::chrono;
    return static_cast<int>(year_month_day{floor<days>(system_clock::now())}.year());
}

std::string Prefix(std::string_view ai, std::string_view data) {
    return "(" + Shown(ai) + ") " + Shown(data) + ": ";
}

// The first fault of one element, or "" when it keeps every rule.
std::string ElementFault(const TGs1Row& row, std::string_view ai, std::string_view data,
                         int currentYear) {
    if (data.empty()) return "(" + Shown(ai) + "): no data";
    // The components the data reaches, each with its offset and length: each fixed one takes
    // its length, the last (or a variable one) the rest, whatever the length of the whole.
    const TGs1Component* c = Components(row);
    struct TPart {
        const TGs1Component* component;
        std::size_t at;
        std::size_t size;
    };
    std::vector<TPart> parts;
    for (std::size_t k = 0, at = 0; k < row.componentCount && at < data.size(); ++k) {
        const std::size_t size = k + 1 == row.componentCount || c[k].minLength != c[k].maxLength
                                     ? data.size() - at
                                     : std::min<std::size_t>(c[k].maxLength, data.size() - at);
        parts.push_back({c + k, at, size});
        at += size;
    }
    for (const TPart& p : parts) {
        const std::string fault = CharacterFault(p.component->type, data, p.at, p.size);
        if (!fault.empty()) return Prefix(ai, data) + fault;
    }
    const std::vector<TLengthRange> ranges = FieldLengths(row);
    const auto fits = std::find_if(ranges.begin(), ranges.end(), [&](const TLengthRange& r) {
        return data.size() >= r.low && data.size() <= r.high;
    });
    if (fits == ranges.end()) {
        const char* noun = Numeric(row) ? " digit" : " character";
        return Prefix(ai, data) + std::to_string(data.size()) + noun +
               (data.size() == 1 ? "" : "s") + ", takes " + LengthsText(ranges, data.size());
    }
    for (const TPart& p : parts) {
        const auto& linters = p.component->linters;
        const bool checkDigit =
            std::find(std::begin(linters), std::end(linters), kLintCsum) != std::end(linters);
        for (const EGs1Linter linter : linters) {
            const std::string fault =
                LinterFault(linter, {data, p.at, p.size, checkDigit, currentYear});
            if (!fault.empty()) return Prefix(ai, data) + fault;
        }
    }
    return {};
}

std::string NotAnAi(std::string_view ai) {
    return "(" + Shown(ai) + "): not an Application Identifier";
}

// The length of the AI at the start of an element string: the table's AI that is a prefix
// of it (GS1 AIs are prefix-free), else 0.
std::size_t AiLength(std::string_view data) {
    for (std::size_t n = 2; n <= 4 && n <= data.size(); ++n)
        if (FindRow(data.substr(0, n))) return n;
    return 0;
}

// How many characters of an unknown AI a message shows: the length of the table's AIs that
// share its first two digits, else two.
std::size_t UnknownAiLength(std::string_view data) {
    const std::string_view two = data.substr(0, 2);
    for (const TGs1Row& row : kGs1Rows)
        if (row.first.substr(0, 2) == two) return std::min(row.first.size(), data.size());
    return two.size();
}

// --- Pairs of elements ----------------------------------------------------------------------

// Whether an AI matches an entry of a pairing list: "8111", or "394n" where n is any digit.
bool MatchesEntry(std::string_view ai, std::string_view entry) {
    if (ai.size() != entry.size()) return false;
    for (std::size_t i = 0; i < ai.size(); ++i)
        if (entry[i] != ai[i] && !(entry[i] == 'n' && IsDigit(ai[i]))) return false;
    return true;
}

// The pieces of list between the separators in seps: "01+21,03" by "," gives "01+21", "03".
std::vector<std::string_view> Split(std::string_view list, std::string_view seps) {
    std::vector<std::string_view> pieces;
    while (!list.empty()) {
        const std::size_t end = std::min(list.find_first_of(seps), list.size());
        pieces.push_back(list.substr(0, end));
        list.remove_prefix(std::min(end + 1, list.size()));
    }
    return pieces;
}

bool Excludes(const TGs1Row& row, std::string_view other) {
    const std::vector<std::string_view> entries = Split(row.ex, ",;");
    return std::any_of(entries.begin(), entries.end(),
                       [&](std::string_view e) { return MatchesEntry(other, e); });
}

// The faults of the elements taken together: an AI given twice with different data, and two
// AIs that the dictionary's ex= rules keep apart (any carrier of an item that holds both is
// wrong, so one symbol is judged by them). Each pair of distinct AIs is weighed once, so the
// work is bounded by the table's size whatever the count of elements.
std::vector<std::string> PairFaults(const std::vector<TGs1Element>& elements) {
    std::vector<std::string> faults;
    std::vector<const TGs1Element*> distinct; // the first element of each AI
    for (const TGs1Element& e : elements) {
        const TGs1Row* row = FindRow(e.ai);
        if (!row) continue;
        const auto first = std::find_if(distinct.begin(), distinct.end(),
                                        [&](const TGs1Element* d) { return d->ai == e.ai; });
        if (first != distinct.end()) {
            if ((*first)->data != e.data)
                faults.push_back(Prefix(e.ai, e.data) + "(" + e.ai + ") given twice, first as " +
                                 Shown((*first)->data));
            continue;
        }
        for (const TGs1Element* d : distinct)
            if (Excludes(*row, d->ai) || Excludes(*FindRow(d->ai), e.ai))
                faults.push_back(Prefix(e.ai, e.data) + "not to be used with (" + d->ai + ")");
        distinct.push_back(&e);
    }
    return faults;
}

std::string TrailingSeparator(std::size_t at) {
    return "character " + std::to_string(at + 1) + ": a separator after the last element";
}

} // namespace

std::optional<TGs1AiFormat> Gs1AiFormat(std::string_view ai) {
    const TGs1Row* row = FindRow(ai);
    if (!row) return std::nullopt;
    TGs1AiFormat format;
    format.predefinedLength = row->predefined;
    format.title = row->title;
    const TGs1Component* c = Components(*row);
    for (std::size_t k = 0; k < row->componentCount; ++k) {
        TGs1ComponentFormat f{c[k].type, c[k].minLength, c[k].maxLength, c[k].optional, {}};
        for (const EGs1Linter linter : c[k].linters)
            if (linter != kLintNone) f.linters.push_back(kGs1LinterNames[linter]);
        format.components.push_back(std::move(f));
    }
    return format;
}

int Gs1CheckDigit(std::string_view digits) {
    int sum = 0;
    int weight = 3;
    for (auto i = digits.rbegin(); i != digits.rend(); ++i) {
        if (!IsDigit(*i)) return -1;
        sum += (*i - '0') * weight;
        weight = 4 - weight;
    }
    return (10 - sum % 10) % 10;
}

int Gs1FullYear(int yy, int currentYear) {
    const int century = currentYear - currentYear % 100;
    const int difference = yy - currentYear % 100;
    if (difference >= 51) return century - 100 + yy;
    if (difference <= -50) return century + 100 + yy;
    return century + yy;
}

bool Gs1PredefinedLength(std::string_view ai) {
    const TGs1Row* row = FindRow(ai);
    return row && row->predefined;
}

// "(" begins each AI and ")" ends it; everything up to the next "(" is the AI's data, so
// data cannot hold a "(" written this way: write such data with square brackets, "[" and
// "]", where "(" and ")" are data (neither "[" nor "]" is in the GS1 character set).
std::vector<TGs1Element> ParseGs1Bracketed(std::string_view text) {
    if (text.empty()) throw EGs1Data("no GS1 data: give each AI in parentheses, as (01)");
    const char open = text[0] == '[' ? '[' : '(';
    const char close = open == '[' ? ']' : ')';
    if (text[0] != open) {
        const std::size_t first = text.find_first_of("([");
        throw EGs1Data("\"" + Shown(text.substr(0, first)) +
                       "\" before the first Application Identifier: GS1 data begins with an "
                       "AI in parentheses, as (01)");
    }
    const int currentYear = CurrentYear();
    std::vector<TGs1Element> elements;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = text.find(close, pos + 1);
        if (end == text.npos)
            throw EGs1Data(std::string("\"") + open + "\" at character " + std::to_string(pos + 1) +
                           " is not closed");
        const std::string_view ai = text.substr(pos + 1, end - pos - 1);
        const TGs1Row* row = FindRow(ai);
        if (!row) throw EGs1Data(NotAnAi(ai));
        const std::size_t next = std::min(text.find(open, end + 1), text.size());
        const std::string_view data = text.substr(end + 1, next - end - 1);
        const std::string fault = ElementFault(*row, ai, data, currentYear);
        if (!fault.empty()) throw EGs1Data(fault);
        elements.push_back({std::string(ai), std::string(data)});
        pos = next;
    }
    const std::vector<std::string> faults = PairFaults(elements);
    if (!faults.empty()) throw EGs1Data(faults.front());
    return elements;
}

std::string Gs1ElementString(const std::vector<TGs1Element>& elements) {
    std::string out;
    for (std::size_t i = 0; i < elements.size(); ++i) {
        out += elements[i].ai;
        out += elements[i].data;
        if (i + 1 < elements.size() && !Gs1PredefinedLength(elements[i].ai)) out += kGs1Separator;
    }
    return out;
}

std::string Gs1HumanReadable(const std::vector<TGs1Element>& elements) {
    std::string out;
    for (const TGs1Element& e : elements) {
        if (!out.empty()) out += ' ';
        out += "(" + e.ai + ") " + e.data;
    }
    return out;
}

// A separator right after an element of predefined length is accepted without a fault
// (it is needless, but a scanner reads it and it takes nothing away).
TGs1Check CheckGs1ElementString(std::string_view data) {
    const int currentYear = CurrentYear();
    TGs1Check check;
    std::size_t pos = 0;
    while (pos < data.size()) {
        if (data[pos] == kGs1Separator) {
            check.faults.push_back("character " + std::to_string(pos + 1) +
                                   ": a separator where an Application Identifier begins");
            ++pos;
            continue;
        }
        const std::string_view rest = data.substr(pos);
        const std::size_t aiLength = AiLength(rest);
        if (aiLength == 0) {
            check.faults.push_back(NotAnAi(rest.substr(0, UnknownAiLength(rest))));
            break;
        }
        const std::string_view ai = rest.substr(0, aiLength);
        const TGs1Row& row = *FindRow(ai);
        const std::size_t begin = pos + aiLength;
        const std::size_t separator = std::min(data.find(kGs1Separator, begin), data.size());
        const std::vector<TLengthRange> ranges = FieldLengths(row);
        const std::size_t most = ranges.back().high;
        std::string_view field;
        if (row.predefined) {
            field = data.substr(begin, std::min(most, separator - begin));
            if (field.size() < most) {
                // Cut short by a separator or the end: the rest cannot be split.
                check.elements.push_back({std::string(ai), std::string(field)});
                check.faults.push_back(ElementFault(row, ai, field, currentYear));
                if (separator == data.size()) break;
                pos = separator + 1;
                continue;
            }
            pos = begin + most;
            if (pos < data.size() && data[pos] == kGs1Separator) {
                if (pos + 1 == data.size()) check.faults.push_back(TrailingSeparator(pos));
                ++pos;
            }
        } else if (separator - begin > most) {
            field = data.substr(begin, most);
            check.faults.push_back(Prefix(ai, field) + "no separator after these " +
                                   std::to_string(most) + " characters, the most it takes");
            pos = begin + most;
        } else {
            field = data.substr(begin, separator - begin);
            pos = separator + (separator < data.size() ? 1 : 0);
            if (separator + 1 == data.size()) check.faults.push_back(TrailingSeparator(separator));
        }
        const std::string fault = ElementFault(row, ai, field, currentYear);
        if (!fault.empty()) check.faults.push_back(fault);
        check.elements.push_back({std::string(ai), std::string(field)});
    }
    for (std::string& fault : PairFaults(check.elements)) check.faults.push_back(std::move(fault));
    return check;
}

std::vector<std::string> Gs1UnmetAssociations(const std::vector<TGs1Element>& elements) {
    // The first element of each AI: what follows weighs only these, so the work is bounded
    // by the table's size whatever the count of elements.
    std::vector<const TGs1Element*> distinct;
    for (const TGs1Element& e : elements)
        if (FindRow(e.ai) && std::none_of(distinct.begin(), distinct.end(),
                                          [&](const TGs1Element* d) { return d->ai == e.ai; }))
            distinct.push_back(&e);
    const auto present = [&](std::string_view entry) {
        return std::any_of(distinct.begin(), distinct.end(),
                           [&](const TGs1Element* d) { return MatchesEntry(d->ai, entry); });
    };
    std::vector<std::string> unmet;
    for (const TGs1Element* e : distinct) {
        // Each req= key (";" between them) must be met by one of its alternatives (","),
        // an alternative by all of its AIs ("+").
        for (const std::string_view key : Split(FindRow(e->ai)->req, ";")) {
            const std::vector<std::string_view> alternatives = Split(key, ",");
            const bool met =
                std::any_of(alternatives.begin(), alternatives.end(), [&](std::string_view a) {
                    const std::vector<std::string_view> ais = Split(a, "+");
                    return std::all_of(ais.begin(), ais.end(), present);
                });
            if (met) continue;
            std::string text;
            for (std::size_t k = 0; k < alternatives.size(); ++k) {
                if (k > 0) text += k + 1 == alternatives.size() ? " or " : ", ";
                const std::vector<std::string_view> ais = Split(alternatives[k], "+");
                for (std::size_t j = 0; j < ais.size(); ++j)
                    text += (j > 0 ? "+(" : "(") + std::string(ais[j]) + ")";
            }
            unmet.push_back(Prefix(e->ai, e->data) + "goes with " + text);
        }
    }
    return unmet;
}

std::size_t Gs1DataCharacterCount(const std::vector<TGs1Element>& elements) {
    return Gs1ElementString(elements).size();
}

} // namespace varimark
