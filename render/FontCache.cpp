#include "render/FontCache.h"

#include "engine/Windows1252.h"
#include "export/SharedLibrary.h"
#include "render/FontLibraries.h"
#include "render/FontTables.h"
#include "varimark/error.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <map>
#include <mutex>
#include <new>
#include <stdexcept>
#include <tuple>
#include <vector>

namespace varimark {

namespace {

// Fonts whose cell reaches this are not measured size by size: their size and cell come
// from the face's proportions.
constexpr double kMaxMeasuredCell = 16000;
constexpr const char* kFileHeader = "varimark font look-ups 3";
constexpr const char* kFileName = "fonts";
// A file that grew past this many look-ups starts again.
constexpr std::size_t kMaxEntries = 1000;
constexpr std::size_t kMaxFileBytes = 1 << 20;
// Kept glyphs: an entry (one face at one size) holds masks up to this many bytes of text,
// each mask of at most kMaxMaskPixels; the file keeps other faces' glyphs only while it
// stays under kMaxFileBytes.
constexpr std::size_t kMaxGlyphEntryBytes = 128 << 10;
constexpr long long kMaxMaskSide = 1024, kMaxMaskPixels = 16384, kMaxMaskOffset = 1 << 20;

int ClampToInt(double v) {
    return static_cast<int>(std::clamp(v, 0.0, static_cast<double>(INT_MAX)));
}

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// The user's folder for a kind of file: $XDG_<kind>_HOME, else $HOME/<fallback>; empty when
// neither is known. As the XDG base directory rules say, a relative path in the variable
// is ignored (as if it were not set); so is a relative HOME.
std::string UserFolder(const char* variable, const char* fallback) {
    const std::string folder = Env(variable);
    if (folder.starts_with('/')) return folder;
    const std::string home = Env("HOME");
    return home.starts_with('/') ? home + "/" + fallback : "";
}

// fontconfig does not check every allocation: when memory runs out it may keep a
// configuration loaded in part, or crash in the middle of a look-up. It is called only
// when the calling thread can make three to five times the allocations the call holds at
// once (measured on Debian 12: 5,300 while loading the configuration, 800 in a look-up,
// nearly all small); otherwise std::bad_alloc. Counted in allocations rather than bytes:
// a thread that could not get a malloc arena of its own (under a tight ulimit -v) pays a
// whole page for each.
constexpr std::size_t kLoadAllocations = 16384, kLookUpAllocations = 4096;

void EnsureRoomForFontconfig(std::size_t allocations) {
    // Called through a pointer the compiler cannot see through, so that the trial stays.
    static void* (*volatile allocate)(std::size_t) = &std::malloc;
    std::vector<void*> taken;
    taken.reserve(allocations);
    while (taken.size() < allocations) {
        void* block = allocate(128);
        if (block == nullptr) break;
        taken.push_back(block);
    }
    const bool room = taken.size() == allocations;
    for (void* block : taken) std::free(block);
    if (!room) throw std::bad_alloc();
}

// A file's stamp as the file of look-ups keeps it: "seconds.nanoseconds.size".
std::string StampText(const TFontFileStamp& stamp) {
    char text[3 * 21];
    char* end = text;
    for (const long long part : {stamp.seconds, stamp.nanoseconds, stamp.size}) {
        if (end != text) *end++ = '.';
        end = std::to_chars(end, text + sizeof text, part).ptr;
    }
    return std::string(text, end);
}

// When a file or folder last changed (to the nanosecond) and its size; "-" when it is not
// there.
std::string Stamp(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return "-";
    return StampText({st.st_mtim.tv_sec, st.st_mtim.tv_nsec, st.st_size});
}

// The places whose change may change fontconfig's answers, known without fontconfig.
std::vector<std::string> BasePlaces() {
    std::vector<std::string> places;
    const std::string file = Env("FONTCONFIG_FILE"), path = Env("FONTCONFIG_PATH");
    const std::string etc = path.empty() ? "/etc/fonts" : path;
    places.push_back(etc);
    places.push_back(etc + "/conf.d");
    places.push_back(file.empty() ? etc + "/fonts.conf" : file);
    if (const std::string config = UserFolder("XDG_CONFIG_HOME", ".config"); !config.empty()) {
        places.push_back(config + "/fontconfig");
        places.push_back(config + "/fontconfig/fonts.conf");
        places.push_back(config + "/fontconfig/conf.d");
    }
    places.push_back("/var/cache/fontconfig");
    if (const std::string cache = UserFolder("XDG_CACHE_HOME", ".cache"); !cache.empty())
        places.push_back(cache + "/fontconfig");
    return places;
}

// Tabs and line ends would break the file's lines: such names are not kept.
bool Keepable(std::string_view text) {
    return std::none_of(text.begin(), text.end(),
                        [](char c) { return c == '\t' || c == '\n' || c == '\r'; });
}

// The tab-separated fields of a line (views into it), without allocating: a line of more
// fields than any line of the file has counts as kMax fields.
struct TFields {
    static constexpr std::size_t kMax = 12;
    std::array<std::string_view, kMax> fields;
    std::size_t count = 0;
    std::size_t Size() const { return count; }
    std::string_view operator[](std::size_t i) const { return fields[i]; }
};

TFields Split(std::string_view line) {
    TFields f;
    for (;;) {
        const std::size_t tab = line.find('\t');
        f.fields[f.count++] = line.substr(0, tab);
        if (tab == std::string_view::npos || f.count == TFields::kMax) return f;
        line.remove_prefix(tab + 1);
    }
}

// A descriptor closed when it goes out of scope.
struct TDescriptor {
    int fd = -1;
    explicit TDescriptor(int opened) : fd(opened) {}
    ~TDescriptor() {
        if (fd >= 0) ::close(fd);
    }
    TDescriptor(const TDescriptor&) = delete;
    TDescriptor& operator=(const TDescriptor&) = delete;
};

bool OwnedByUser(const struct stat& info) {
    return info.st_uid == ::geteuid();
}

// The folder of the file of look-ups, opened only when it is a folder (not a link to one)
// that the user owns and others cannot write; -1 otherwise. With create, a missing folder
// and the folders above it are made, for the user alone.
int OpenCacheFolder(const std::string& file, bool create) {
    const std::string folder = file.substr(0, file.rfind('/'));
    if (create)
        for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
            ::mkdir(folder.substr(0, slash).c_str(), 0700); // one that is there stays as it is
            if (slash == std::string::npos) break;
        }
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat info {};
    if (fd >= 0 && (::fstat(fd, &info) != 0 || !OwnedByUser(info) || (info.st_mode & S_IWOTH))) {
        ::close(fd);
        errno = EACCES;
        return -1;
    }
    return fd;
}

// What lies at the file's name in the folder: nothing, the user's own regular file, or
// anything else (a link, a FIFO, a folder, another user's file), which is left alone.
enum class TFileState { Missing, Own, Foreign };

TFileState StateAt(int folder) {
    struct stat info {};
    if (::fstatat(folder, kFileName, &info, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? TFileState::Missing : TFileState::Foreign;
    return S_ISREG(info.st_mode) && OwnedByUser(info) ? TFileState::Own : TFileState::Foreign;
}

// Reads the user's own file, opened without following a link and without blocking; text
// is left empty when the file is larger than kMaxFileBytes or cannot be read.
TFileState ReadOwnFile(int folder, std::string& text) {
    text.clear();
    const TDescriptor file(
        ::openat(folder, kFileName, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.fd < 0) return errno == ENOENT ? TFileState::Missing : TFileState::Foreign;
    struct stat info {};
    if (::fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode) || !OwnedByUser(info))
        return TFileState::Foreign;
    char buffer[16384];
    for (ssize_t got; (got = ::read(file.fd, buffer, sizeof buffer)) != 0;) {
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 || text.size() + static_cast<std::size_t>(got) > kMaxFileBytes) {
            text.clear();
            break;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    return TFileState::Own;
}

bool WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t put = ::write(fd, text.data(), text.size());
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        text.remove_prefix(static_cast<std::size_t>(put));
    }
    return true;
}

// Puts text in the folder under the file's name as a new file of the user's: written
// without a name where the file system allows (O_TMPFILE), then named; otherwise under a
// temporary name made for it alone. Renamed over what was there, so that nothing is
// written through a link. A process killed meanwhile leaves at most a temporary name
// (".fonts.PID.N"), and with O_TMPFILE only between two calls that write nothing. False
// when it could not be written.
bool WriteOwnFile(int folder, const std::string& text) {
    static std::atomic<unsigned> serial{0};
    const std::string temporary =
        ".fonts." + std::to_string(::getpid()) + "." + std::to_string(serial++);
    TDescriptor file(::openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
    const bool unnamed = file.fd >= 0;
    if (!unnamed)
        file.fd = ::openat(folder, temporary.c_str(),
                           O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (file.fd < 0 || !WriteAll(file.fd, text)) {
        if (file.fd >= 0 && !unnamed) ::unlinkat(folder, temporary.c_str(), 0);
        return false;
    }
    if (unnamed) {
        // Naming a file without one: through /proc, or by its descriptor with the right to.
        const std::string self = "/proc/self/fd/" + std::to_string(file.fd);
        const auto name = [&](const char* as) {
            return ::linkat(AT_FDCWD, self.c_str(), folder, as, AT_SYMLINK_FOLLOW) == 0 ||
                   ::linkat(file.fd, "", folder, as, AT_EMPTY_PATH) == 0;
        };
        if (name(kFileName)) return true; // there was none: named at once
        if (!name(temporary.c_str())) return false;
    }
    if (::renameat(folder, temporary.c_str(), folder, kFileName) == 0) return true;
    ::unlinkat(folder, temporary.c_str(), 0);
    return false;
}

struct TEntry {
    TMatchedFont font;
    std::string fileStamp, faceName; // of the font file, as it was looked up
    std::string tables = "-";        // the digest of its tables (FontTables.h), "-" unknown
};
using TKey = std::pair<std::string, int>;
using TGlyphKey = std::tuple<std::string, int, int>; // font file, index, pixel size

std::string Hex64(std::uint64_t value) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text(16, '0');
    for (int i = 15; i >= 0; --i, value >>= 4)
        text[static_cast<std::size_t>(i)] = kDigits[value & 15];
    return text;
}

template <typename T> bool ToNumber(std::string_view text, T& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

// --- Kept glyphs: one line per face and size,
//   glyphs FILE INDEX SIZE IDENTITY ENGINE ASCENT64 DESCENT64 ADVANCES MASKS CHECKSUM
// (tab-separated): IDENTITY the font file's stamp and tables' digest ("STAMP/DIGEST"),
// ENGINE the file FreeType was loaded from and its stamp ("PATH|STAMP": another FreeType may
// draw otherwise), ADVANCES "CHAR=ADVANCE64,..." and MASKS "KEY=LEFT,TOP,WIDTH,HEIGHT,HEX ..." ("-"
// when none), CHECKSUM the FNV-1a of everything before its tab, in hexadecimal.

std::string GlyphLine(const TGlyphKey& key, const std::string& identity, const std::string& engine,
                      const TKeptGlyphs& kept) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string line = "glyphs\t" + std::get<0>(key) + "\t" + std::to_string(std::get<1>(key)) +
                       "\t" + std::to_string(std::get<2>(key)) + "\t" + identity + "\t" + engine +
                       "|" + Stamp(engine) + "\t" + std::to_string(kept.ascent64) + "\t" +
                       std::to_string(kept.descent64) + "\t";
    const std::size_t advancesFrom = line.size();
    for (const auto& [c, advance] : kept.advances64)
        line += (line.size() > advancesFrom ? "," : "") + std::to_string(c) + "=" +
                std::to_string(advance);
    if (line.size() == advancesFrom) line += "-";
    line += "\t";
    const std::size_t masksFrom = line.size();
    for (const auto& [k, mask] : kept.masks) {
        const std::size_t bytes = mask.coverage.size() * 2 + 40;
        if (line.size() - masksFrom + bytes > kMaxGlyphEntryBytes) break; // the rest drawn anew
        line += (line.size() > masksFrom ? " " : "") + std::to_string(k) + "=" +
                std::to_string(mask.left) + "," + std::to_string(mask.top) + "," +
                std::to_string(mask.width) + "," + std::to_string(mask.height) + ",";
        for (const std::uint8_t v : mask.coverage) line += {kDigits[v >> 4], kDigits[v & 15]};
    }
    if (line.size() == masksFrom) line += "-";
    return line + "\t" + Hex64(Fnv1a(line));
}

// One mask, "KEY=LEFT,TOP,WIDTH,HEIGHT,HEX"; false when it is not one.
bool ReadMask(std::string_view text, TKeptGlyphs& kept) {
    const std::size_t equals = text.find('=');
    int key = 0;
    if (equals == std::string_view::npos || !ToNumber(text.substr(0, equals), key) || key < 0 ||
        key >= TKeptGlyphs::kMaxGlyphKey || kept.masks.contains(key))
        return false;
    text.remove_prefix(equals + 1);
    long long numbers[4];
    for (long long& number : numbers) {
        const std::size_t comma = text.find(',');
        if (comma == std::string_view::npos || !ToNumber(text.substr(0, comma), number) ||
            number < -kMaxMaskOffset || number > kMaxMaskOffset)
            return false;
        text.remove_prefix(comma + 1);
    }
    const long long width = numbers[2], height = numbers[3];
    if (width < 0 || height < 0 || width > kMaxMaskSide || height > kMaxMaskSide ||
        width * height > kMaxMaskPixels || (width == 0) != (height == 0) ||
        static_cast<long long>(text.size()) != 2 * width * height)
        return false;
    TGlyphCoverage mask;
    mask.left = static_cast<int>(numbers[0]), mask.top = static_cast<int>(numbers[1]);
    mask.width = static_cast<int>(width), mask.height = static_cast<int>(height);
    mask.coverage.resize(text.size() / 2);
    const auto nibble = [](char c) {
        return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    };
    for (std::size_t i = 0; i < mask.coverage.size(); ++i) {
        const int high = nibble(text[2 * i]), low = nibble(text[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        mask.coverage[i] = static_cast<std::uint8_t>(high << 4 | low);
    }
    kept.masks.emplace(key, std::move(mask));
    return true;
}

// The glyphs of a line, when its checksum holds and it was kept for the font file whose
// identity is given; false otherwise.
bool ReadGlyphLine(std::string_view line, const std::string& identity, TKeptGlyphs& kept) {
    const std::size_t lastTab = line.rfind('\t');
    if (lastTab == std::string_view::npos ||
        line.substr(lastTab + 1) != Hex64(Fnv1a(line.substr(0, lastTab))))
        return false;
    const TFields f = Split(line.substr(0, lastTab));
    if (f.Size() != 10 || f[4] != identity || !ToNumber(f[6], kept.ascent64) ||
        !ToNumber(f[7], kept.descent64))
        return false;
    const std::size_t bar = f[5].rfind('|');
    if (bar == std::string_view::npos ||
        Stamp(std::string(f[5].substr(0, bar))) != f[5].substr(bar + 1))
        return false;
    if (f[8] != "-")
        for (std::string_view rest = f[8]; !rest.empty();) {
            const std::size_t comma = rest.find(','), equals = rest.find('=');
            const std::string_view item = rest.substr(0, comma);
            int c = 0;
            long long advance = 0;
            if (equals >= item.size() || !ToNumber(item.substr(0, equals), c) || c < 0 ||
                c > 0x10FFFF || !ToNumber(item.substr(equals + 1), advance))
                return false;
            kept.advances64[c] = advance;
            rest.remove_prefix(comma == std::string_view::npos ? rest.size() : comma + 1);
        }
    if (f[9] != "-")
        for (std::string_view rest = f[9]; !rest.empty();) {
            const std::size_t space = rest.find(' ');
            if (!ReadMask(rest.substr(0, space), kept)) return false;
            rest.remove_prefix(space == std::string_view::npos ? rest.size() : space + 1);
        }
    return true;
}

// Orders keys, and finds them by a face name not copied into a string.
struct TKeyOrder {
    using is_transparent = void;
    using TView = std::pair<std::string_view, int>;
    static TView View(const TKey& key) { return {key.first, key.second}; }
    static TView View(const TView& key) { return key; }
    template <class A, class B> bool operator()(const A& a, const B& b) const {
        return View(a) < View(b);
    }
};

// The file of look-ups: the places it depends on with their stamps, and the look-ups.
struct TLookupFile {
    std::vector<std::pair<std::string, std::string>> stamps;
    std::map<TKey, TEntry, TKeyOrder> entries;
    std::map<TGlyphKey, std::string> glyphs; // their lines, read when asked for

    void Clear() { stamps.clear(), entries.clear(), glyphs.clear(); }

    // Takes the file's text; false (and nothing kept) when it is damaged or stale.
    bool Read(const std::string& text) {
        Clear();
        if (!ReadLines(text)) {
            Clear();
            return false;
        }
        // Every place known without fontconfig must be among the stamped ones: the
        // configuration it was written under is the one in force now.
        for (const std::string& place : BasePlaces())
            if (std::none_of(stamps.begin(), stamps.end(),
                             [&](const auto& s) { return s.first == place; })) {
                Clear();
                return false;
            }
        for (const auto& [place, stamp] : stamps)
            if (Stamp(place) != stamp) {
                Clear();
                return false;
            }
        return true;
    }

    std::string Text() const {
        std::string text = std::string(kFileHeader) + "\n";
        std::size_t lines = 1;
        for (const auto& [place, stamp] : stamps) text += "stamp\t" + place + "\t" + stamp + "\n";
        for (const auto& [key, entry] : entries)
            text += "font\t" + key.first + "\t" + std::to_string(key.second) + "\t" +
                    entry.font.location.file + "\t" + std::to_string(entry.font.location.index) +
                    "\t" + std::to_string(entry.font.pixelSize) + "\t" +
                    std::to_string(entry.font.cellHeight) + "\t" + entry.fileStamp + "\t" +
                    entry.faceName + "\t" + entry.tables + "\n";
        for (const auto& [key, line] : glyphs) text += line + "\n";
        lines += stamps.size() + entries.size() + glyphs.size();
        return text + "end\t" + std::to_string(lines) + "\n";
    }

private:
    bool ReadLines(std::string_view rest) {
        if (rest.empty() || rest.back() != '\n') return false;
        const auto nextLine = [&rest] {
            const std::size_t end = rest.find('\n'); // the text ends in one
            const std::string_view line = rest.substr(0, end);
            rest.remove_prefix(end + 1);
            return line;
        };
        if (nextLine() != kFileHeader) return false;
        std::size_t count = 1;
        bool ended = false;
        while (!rest.empty()) {
            if (ended) return false; // nothing after the end
            const std::string_view line = nextLine();
            const TFields f = Split(line);
            if (f[0] == "stamp" && f.Size() == 3 && !f[1].empty() && !f[2].empty() &&
                entries.empty()) {
                stamps.emplace_back(f[1], f[2]);
            } else if (f[0] == "font" && f.Size() == 10) {
                TEntry entry;
                int height = 0;
                if (!ToNumber(f[2], height) || f[3].empty() || f[7].empty() ||
                    !ToNumber(f[4], entry.font.location.index) ||
                    !ToNumber(f[5], entry.font.pixelSize) ||
                    !ToNumber(f[6], entry.font.cellHeight) || entry.font.pixelSize < 1 ||
                    entry.font.cellHeight < 0 || entry.font.location.index < 0)
                    return false;
                entry.font.location.file = std::string(f[3]);
                entry.fileStamp = f[7];
                entry.faceName = f[8];
                entry.tables = f[9];
                entries.emplace(TKey(f[1], height), std::move(entry));
            } else if (f[0] == "glyphs") {
                // Checked when asked for: one that is damaged is only dropped.
                int index = 0, size = 0;
                if (f.Size() == 11 && !f[1].empty() && ToNumber(f[2], index) &&
                    ToNumber(f[3], size))
                    glyphs.emplace(TGlyphKey(f[1], index, size), line);
            } else if (f[0] == "end" && f.Size() == 2) {
                int lines = 0;
                if (!ToNumber(f[1], lines) || static_cast<std::size_t>(lines) != count)
                    return false;
                ended = true;
                continue;
            } else {
                return false;
            }
            ++count;
        }
        return ended;
    }
};

class TFontLookups {
public:
    const TMatchedFont& Match(std::string_view face, int height) {
        std::lock_guard lock(mutex_);
        if (auto it = memory_.find(TKeyOrder::TView(face, height)); it != memory_.end())
            return it->second;
        if (!fileRead_) ReadFile();
        TKey key(std::string(face), height);
        if (auto it = file_.entries.find(key); it != file_.entries.end()) {
            if (Trusted(it->second, height)) {
                ++counts_.file;
                return memory_.emplace(std::move(key), it->second.font).first->second;
            }
            file_.entries.erase(it);
        }
        TEntry entry = LookUp(face, height);
        ++counts_.fontconfig;
        Save(key, entry);
        return memory_.emplace(std::move(key), std::move(entry.font)).first->second;
    }

    void Prepare() {
        std::lock_guard lock(mutex_);
        Config();
    }

    bool Kept(const TFontLocation& location, int pixelSize, TKeptGlyphs& glyphs) {
        std::lock_guard lock(mutex_);
        if (!fileRead_) ReadFile();
        const auto it = file_.glyphs.find(TGlyphKey(location.file, location.index, pixelSize));
        if (it == file_.glyphs.end()) return false;
        const std::string& identity = Identity(location);
        if (!identity.empty() && ReadGlyphLine(it->second, identity, glyphs)) return true;
        glyphs = TKeptGlyphs();
        file_.glyphs.erase(it); // damaged or of another file: written anew
        return false;
    }

    void Keep(const TFontLocation& location, int pixelSize, const TKeptGlyphs& glyphs) {
        std::lock_guard lock(mutex_);
        if (!fileRead_) ReadFile();
        const std::string& identity = Identity(location);
        const std::string engine = FreeTypeFile();
        if (identity.empty() || engine.empty() || !Keepable(location.file) || !Keepable(engine) ||
            !ReadyToWrite())
            return;
        const TGlyphKey key(location.file, location.index, pixelSize);
        file_.glyphs[key] = GlyphLine(key, identity, engine, glyphs);
        if (file_.Text().size() > kMaxFileBytes) // other faces' glyphs give way
            std::erase_if(file_.glyphs, [&](const auto& kept) { return kept.first != key; });
        if (file_.Text().size() > kMaxFileBytes) file_.glyphs.erase(key);
        WriteFile();
    }

    TFontLookupCounts Counts() {
        std::lock_guard lock(mutex_);
        return counts_;
    }

    void Forget() {
        std::lock_guard lock(mutex_);
        memory_.clear();
        file_ = TLookupFile();
        fileRead_ = fileFresh_ = fileForeign_ = false;
        counts_ = {};
        identities_.clear();
        if (config_ != nullptr) FontconfigCalls().ConfigDestroy(config_), config_ = nullptr;
    }

private:
    // Reads the file of look-ups once. Anything but the user's own regular file at its
    // name, in a folder of the user's, turns the file off for this process.
    void ReadFile() {
        fileRead_ = true;
        const std::string path = FontLookupFile();
        if (path.empty()) return;
        const TDescriptor folder(OpenCacheFolder(path, false));
        if (folder.fd < 0) {
            fileForeign_ = errno != ENOENT; // a missing one is made when saving
            return;
        }
        std::string text;
        const TFileState state = ReadOwnFile(folder.fd, text);
        fileForeign_ = state == TFileState::Foreign;
        fileFresh_ = state == TFileState::Own && file_.Read(text);
    }

    // fontconfig's configuration of this process, loaded anew when what it was loaded from
    // has changed. Kept apart from the one a window system may use; never kept when it could
    // not be loaded whole.
    FcConfig* Config() {
        const TFontconfigCalls& fc = FontconfigCalls();
        if (config_ != nullptr)
            for (const auto& [place, stamp] : configPlaces_)
                if (Stamp(place) != stamp) {
                    fc.ConfigDestroy(config_), config_ = nullptr;
                    break;
                }
        if (config_ == nullptr) {
            EnsureRoomForFontconfig(kLoadAllocations);
            FcConfig* loaded = fc.InitLoadConfigAndFonts();
            if (loaded == nullptr) throw std::bad_alloc(); // it fails only for memory
            try {
                configPlaces_ = Places(fc, loaded);
            } catch (...) {
                fc.ConfigDestroy(loaded);
                throw;
            }
            config_ = loaded;
        }
        return config_;
    }

    // The places fontconfig's answers depend on, with their stamps now: its configuration
    // files and folders, the font folders and its caches.
    static std::vector<std::pair<std::string, std::string>> Places(const TFontconfigCalls& fc,
                                                                   FcConfig* config) {
        std::vector<std::pair<std::string, std::string>> places;
        const auto add = [&](const std::string& place) {
            if (!Keepable(place)) return;
            for (const auto& known : places)
                if (known.first == place) return;
            places.emplace_back(place, Stamp(place));
        };
        for (const std::string& place : BasePlaces()) add(place);
        for (FcStrList* list : {fc.ConfigGetConfigFiles(config), fc.ConfigGetFontDirs(config),
                                fc.ConfigGetCacheDirs(config)}) {
            if (list == nullptr) throw std::bad_alloc();
            while (FcChar8* place = fc.StrListNext(list)) add(reinterpret_cast<char*>(place));
            fc.StrListDone(list);
        }
        return places;
    }

    TFontLocation Find(std::string_view face) {
        FcConfig* config = Config();
        const TFontconfigCalls& fc = FontconfigCalls(); // loaded by Config
        EnsureRoomForFontconfig(kLookUpAllocations);
        const std::string family = face == "Default" ? "sans-serif" : Windows1252ToUtf8(face);
        FcPattern* pattern = fc.PatternCreate();
        if (pattern == nullptr) throw std::bad_alloc();
        FcResult result = FcResultNoMatch;
        FcPattern* match = nullptr;
        if (fc.PatternAddString(pattern, FC_FAMILY,
                                reinterpret_cast<const FcChar8*>(family.c_str())) &&
            fc.PatternAddBool(pattern, FC_SCALABLE, FcTrue) &&
            fc.ConfigSubstitute(config, pattern, FcMatchPattern)) {
            fc.DefaultSubstitute(pattern);
            match = fc.FontMatch(config, pattern, &result);
        } else {
            result = FcResultOutOfMemory;
        }
        fc.PatternDestroy(pattern);
        TFontLocation location;
        FcChar8* file = nullptr;
        if (match != nullptr && fc.PatternGetString(match, FC_FILE, 0, &file) == FcResultMatch)
            location.file = reinterpret_cast<const char*>(file);
        if (match != nullptr &&
            fc.PatternGetInteger(match, FC_INDEX, 0, &location.index) != FcResultMatch)
            location.index = 0;
        if (match != nullptr) fc.PatternDestroy(match);
        if (result == FcResultOutOfMemory) throw std::bad_alloc();
        if (location.file.empty()) throw varimark::Error("No font found for \"" + family + "\"");
        return location;
    }

    TEntry LookUp(std::string_view face, int height) {
        TEntry entry;
        entry.font.location = Find(face);
        const TFontFace opened(entry.font.location);
        entry.fileStamp = StampText(opened.Stamp());
        entry.faceName = opened.Name();
        ChooseSize(opened.Metrics(), height, entry.font);
        // The tables' digest, when they are read as the file FreeType opened.
        TFontFileStamp stamp;
        TSfntFace tables;
        if (ReadSfnt(entry.font.location, stamp, tables) == TSfntRead::Read &&
            StampText(stamp) == entry.fileStamp) {
            entry.tables = Hex64(tables.digest);
            identities_[LocationKey(entry.font.location)] = entry.fileStamp + "/" + entry.tables;
        }
        return entry;
    }

    static std::pair<std::string, int> LocationKey(const TFontLocation& location) {
        return {location.file, location.index};
    }

    // The font file as it is now, as kept glyphs name it ("STAMP/DIGEST"), once per process;
    // empty when its tables cannot be read without FreeType.
    const std::string& Identity(const TFontLocation& location) {
        const auto [it, added] = identities_.try_emplace(LocationKey(location));
        if (added) {
            TFontFileStamp stamp;
            TSfntFace tables;
            if (ReadSfnt(location, stamp, tables) == TSfntRead::Read)
                it->second = StampText(stamp) + "/" + Hex64(tables.digest);
        }
        return it->second;
    }

    // Whether a look-up read from the file is what the font file gives now: the same file
    // (its stamp and size), the same face in it (the digest of its tables, or with FreeType
    // its family and style), the same size chosen. The file is never trusted further than
    // that.
    bool Trusted(const TEntry& kept, int height) {
        TFontFileStamp stamp;
        TSfntFace tables;
        const TSfntRead read = ReadSfnt(kept.font.location, stamp, tables);
        if (read == TSfntRead::NotAFile) return false;
        if (read == TSfntRead::Read && kept.tables != "-") {
            const std::string stampText = StampText(stamp), digest = Hex64(tables.digest);
            identities_[LocationKey(kept.font.location)] = stampText + "/" + digest;
            return stampText == kept.fileStamp && digest == kept.tables &&
                   SameSize(tables.metrics, height, kept.font);
        }
        try {
            const TFontFace opened(kept.font.location);
            return StampText(opened.Stamp()) == kept.fileStamp && opened.Name() == kept.faceName &&
                   SameSize(opened.Metrics(), height, kept.font);
        } catch (const ELibraryUnavailable&) {
            throw; // FreeType missing: no font is a font without it
        } catch (const varimark::Error&) {
            return false; // not a font (any more)
        }
    }

    static bool SameSize(const TFaceMetrics& metrics, int height, const TMatchedFont& kept) {
        TMatchedFont font;
        ChooseSize(metrics, height, font);
        return font.pixelSize == kept.pixelSize && font.cellHeight == kept.cellHeight;
    }

    // The pixel size of the face whose cell comes closest to height, and that cell.
    static void ChooseSize(const TFaceMetrics& metrics, int height, TMatchedFont& font) {
        font.pixelSize = 1, font.cellHeight = 0;
        const long long target = std::llabs(static_cast<long long>(height));
        if (target == 0) return;
        // The cell of most faces is 1.1 to 1.2 times the pixel size; look around the size
        // the face's own proportion gives.
        const double proportion = metrics.Proportion();
        const long long guess =
            proportion > 0 ? std::llround(static_cast<double>(target) / proportion) : target;
        if (static_cast<double>(guess + 3) * std::max(proportion, 1.0) >= kMaxMeasuredCell) {
            font.pixelSize = std::max(1, ClampToInt(static_cast<double>(guess)));
            font.cellHeight = proportion > 0 ? ClampToInt(std::round(font.pixelSize * proportion))
                                             : font.pixelSize;
            return;
        }
        long long bestDiff = -1;
        for (long long size = std::max(1LL, guess - 3); size <= guess + 3; ++size) {
            const long long cell = metrics.CellHeight(size);
            const long long diff = std::llabs(cell - target);
            if (bestDiff < 0 || diff < bestDiff) {
                font.pixelSize = static_cast<int>(size);
                font.cellHeight = static_cast<int>(cell);
                bestDiff = diff;
            }
        }
    }

    // Adds the look-up to the file and writes it anew; a folder that cannot be written
    // only loses the saving, and a name taken by anything but the user's own file is left
    // as it is.
    void Save(const TKey& key, const TEntry& entry) {
        if (!Keepable(key.first) || !Keepable(entry.font.location.file) ||
            !Keepable(entry.faceName) || !ReadyToWrite())
            return;
        if (file_.entries.size() >= kMaxEntries) StartFile();
        file_.entries[key] = entry;
        WriteFile();
    }

    // Whether the file may be written, begun anew when it is stale (which takes fontconfig's
    // places, known once a look-up has loaded it).
    bool ReadyToWrite() {
        if (FontLookupFile().empty() || fileForeign_) return false;
        // The places may have changed since the file was read.
        for (const auto& [place, stamp] : file_.stamps)
            if (Stamp(place) != stamp) fileFresh_ = false;
        if (!fileFresh_) {
            if (config_ == nullptr) return false;
            StartFile();
        }
        return true;
    }

    void StartFile() {
        file_ = TLookupFile();
        file_.stamps = configPlaces_;
        fileFresh_ = true;
    }

    void WriteFile() {
        try {
            const TDescriptor folder(OpenCacheFolder(FontLookupFile(), true));
            if (folder.fd >= 0 && StateAt(folder.fd) != TFileState::Foreign)
                WriteOwnFile(folder.fd, file_.Text());
        } catch (const std::exception&) {
            // What was looked up stands; only the saving is lost.
        }
    }

    std::mutex mutex_;
    std::map<TKey, TMatchedFont, TKeyOrder> memory_;
    TLookupFile file_;
    bool fileRead_ = false, fileFresh_ = false, fileForeign_ = false;
    TFontLookupCounts counts_;
    FcConfig* config_ = nullptr;
    std::vector<std::pair<std::string, std::string>> configPlaces_;
    std::map<std::pair<std::string, int>, std::string> identities_; // by file and index
};

TFontLookups& Lookups() {
    static TFontLookups* lookups = new TFontLookups; // used until the process ends
    return *lookups;
}

} // namespace

const TMatchedFont& MatchFont(std::string_view face, int height) {
    return Lookups().Match(face, height);
}

void PrepareFonts() {
    Lookups().Prepare();
}

std::string FontLookupFile() {
    const std::string cache = UserFolder("XDG_CACHE_HOME", ".cache");
    return cache.empty() ? "" : cache + "/varimark/fonts";
}

bool KeptGlyphs(const TFontLocation& location, int pixelSize, TKeptGlyphs& glyphs) {
    return Lookups().Kept(location, pixelSize, glyphs);
}

void KeepGlyphs(const TFontLocation& location, int pixelSize, const TKeptGlyphs& glyphs) {
    Lookups().Keep(location, pixelSize, glyphs);
}

TFontLookupCounts FontLookupCounts() {
    return Lookups().Counts();
}

void ForgetFontLookups() {
    Lookups().Forget();
}

} // namespace varimark
