#include "platform/FontCache.h"

#include "engine/Windows1252.h"
#include "export/FileReader.h"
#include "export/FileWriter.h"
#include "varimark/error.h"

#include <fcntl.h>
#include <fontconfig/fontconfig.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <stdexcept>
#include <vector>

namespace varimark {

namespace {

// Fonts whose cell reaches this are not measured size by size: their size and cell come
// from the face's proportions.
constexpr double kMaxMeasuredCell = 16000;
constexpr const char* kFileHeader = "varimark font look-ups 1";
// A file that grew past this many look-ups starts again.
constexpr std::size_t kMaxEntries = 1000;
constexpr std::size_t kMaxFileBytes = 1 << 20;

int ClampToInt(double v) {
    return static_cast<int>(std::clamp(v, 0.0, static_cast<double>(INT_MAX)));
}

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// The user's folder for a kind of file: $XDG_<kind>_HOME, else ~/<fallback>; empty when
// neither is known.
std::string UserFolder(const char* variable, const char* fallback) {
    std::string folder = Env(variable);
    if (!folder.empty()) return folder;
    const std::string home = Env("HOME");
    return home.empty() ? "" : home + "/" + fallback;
}

// When a file or folder last changed (to the nanosecond) and its size; "-" when it is not
// there.
std::string Stamp(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return "-";
    return std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec) + "." +
           std::to_string(st.st_size);
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

// The tab-separated fields of a line (views into it).
std::vector<std::string_view> Split(std::string_view line) {
    std::vector<std::string_view> fields;
    for (;;) {
        const std::size_t tab = line.find('\t');
        fields.push_back(line.substr(0, tab));
        if (tab == std::string_view::npos) return fields;
        line.remove_prefix(tab + 1);
    }
}

bool ToInt(std::string_view text, int& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

struct TEntry {
    TMatchedFont font;
    std::string fileStamp;
};
using TKey = std::pair<std::string, int>;

// The file of look-ups: the places it depends on with their stamps, and the look-ups.
struct TLookupFile {
    std::vector<std::pair<std::string, std::string>> stamps;
    std::map<TKey, TEntry, std::less<>> entries;

    // Reads the file; false (and nothing kept) when it is missing, damaged or stale.
    bool Read(const std::string& path) {
        stamps.clear(), entries.clear();
        if (path.empty() || !ReadLines(path)) {
            stamps.clear(), entries.clear();
            return false;
        }
        // Every place known without fontconfig must be among the stamped ones: the
        // configuration it was written under is the one in force now.
        for (const std::string& place : BasePlaces())
            if (std::none_of(stamps.begin(), stamps.end(),
                             [&](const auto& s) { return s.first == place; })) {
                stamps.clear(), entries.clear();
                return false;
            }
        for (const auto& [place, stamp] : stamps)
            if (Stamp(place) != stamp) {
                stamps.clear(), entries.clear();
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
                    std::to_string(entry.font.cellHeight) + "\t" + entry.fileStamp + "\n";
        lines += stamps.size() + entries.size();
        return text + "end\t" + std::to_string(lines) + "\n";
    }

private:
    bool ReadLines(const std::string& path) {
        std::string text;
        if (ReadSmallFile(path, kMaxFileBytes, text) != TReadStatus::Loaded || text.empty() ||
            text.back() != '\n')
            return false;
        std::string_view rest(text);
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
            const std::vector<std::string_view> f = Split(nextLine());
            if (f[0] == "stamp" && f.size() == 3 && !f[1].empty() && !f[2].empty() &&
                entries.empty()) {
                stamps.emplace_back(f[1], f[2]);
            } else if (f[0] == "font" && f.size() == 8) {
                TEntry entry;
                int height = 0;
                if (!ToInt(f[2], height) || f[3].empty() || f[7].empty() ||
                    !ToInt(f[4], entry.font.location.index) || !ToInt(f[5], entry.font.pixelSize) ||
                    !ToInt(f[6], entry.font.cellHeight) || entry.font.pixelSize < 1 ||
                    entry.font.cellHeight < 0 || entry.font.location.index < 0)
                    return false;
                entry.font.location.file = std::string(f[3]);
                entry.fileStamp = f[7];
                entries.emplace(TKey(f[1], height), std::move(entry));
            } else if (f[0] == "end" && f.size() == 2) {
                int lines = 0;
                if (!ToInt(f[1], lines) || static_cast<std::size_t>(lines) != count) return false;
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
        if (auto it = memory_.find(TKey(std::string(face), height)); it != memory_.end())
            return it->second;
        if (!fileRead_) {
            fileRead_ = true;
            fileFresh_ = file_.Read(FontLookupFile());
        }
        TKey key(std::string(face), height);
        if (auto it = file_.entries.find(key); it != file_.entries.end()) {
            if (Stamp(it->second.font.location.file) == it->second.fileStamp &&
                Agrees(it->second.font, height)) {
                ++counts_.file;
                return memory_.emplace(std::move(key), it->second.font).first->second;
            }
            file_.entries.erase(it);
        }
        TMatchedFont font = LookUp(face, height);
        ++counts_.fontconfig;
        Save(key, font);
        return memory_.emplace(std::move(key), std::move(font)).first->second;
    }

    TFontLookupCounts Counts() {
        std::lock_guard lock(mutex_);
        return counts_;
    }

    void Forget() {
        std::lock_guard lock(mutex_);
        memory_.clear();
        file_ = TLookupFile();
        fileRead_ = fileFresh_ = false;
        counts_ = {};
        if (config_ != nullptr) FcConfigDestroy(config_), config_ = nullptr;
    }

private:
    // fontconfig's configuration of this process, loaded anew when what it was loaded from
    // has changed. Kept apart from the one a window system may use.
    FcConfig* Config() {
        if (config_ != nullptr)
            for (const auto& [place, stamp] : configPlaces_)
                if (Stamp(place) != stamp) {
                    FcConfigDestroy(config_), config_ = nullptr;
                    break;
                }
        if (config_ == nullptr) {
            config_ = FcInitLoadConfigAndFonts();
            if (config_ == nullptr) throw varimark::Error("Cannot read the font configuration");
            configPlaces_ = Places(config_);
        }
        return config_;
    }

    // The places fontconfig's answers depend on, with their stamps now: its configuration
    // files and folders, the font folders and its caches.
    static std::vector<std::pair<std::string, std::string>> Places(FcConfig* config) {
        std::vector<std::pair<std::string, std::string>> places;
        const auto add = [&](const std::string& place) {
            if (!Keepable(place)) return;
            for (const auto& known : places)
                if (known.first == place) return;
            places.emplace_back(place, Stamp(place));
        };
        for (const std::string& place : BasePlaces()) add(place);
        for (FcStrList* list : {FcConfigGetConfigFiles(config), FcConfigGetFontDirs(config),
                                FcConfigGetCacheDirs(config)}) {
            if (list == nullptr) continue;
            while (FcChar8* place = FcStrListNext(list)) add(reinterpret_cast<char*>(place));
            FcStrListDone(list);
        }
        return places;
    }

    TFontLocation Find(std::string_view face) {
        FcConfig* config = Config();
        FcPattern* pattern = FcPatternCreate();
        const std::string family = face == "Default" ? "sans-serif" : Windows1252ToUtf8(face);
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
        FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
        FcConfigSubstitute(config, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        FcPattern* match = FcFontMatch(config, pattern, &result);
        FcPatternDestroy(pattern);
        TFontLocation location;
        FcChar8* file = nullptr;
        if (match != nullptr && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch)
            location.file = reinterpret_cast<const char*>(file);
        if (match != nullptr &&
            FcPatternGetInteger(match, FC_INDEX, 0, &location.index) != FcResultMatch)
            location.index = 0;
        if (match != nullptr) FcPatternDestroy(match);
        if (location.file.empty()) throw varimark::Error("No font found for \"" + family + "\"");
        return location;
    }

    TMatchedFont LookUp(std::string_view face, int height) {
        TMatchedFont font;
        font.location = Find(face);
        ChooseSize(TFontFace(font.location), height, font);
        return font;
    }

    // Whether a look-up read from the file is what the font itself gives: the file is
    // never trusted further than that.
    static bool Agrees(const TMatchedFont& kept, int height) {
        try {
            TMatchedFont font;
            ChooseSize(TFontFace(kept.location), height, font);
            return font.pixelSize == kept.pixelSize && font.cellHeight == kept.cellHeight;
        } catch (const std::exception&) {
            return false; // not a font (any more)
        }
    }

    // The pixel size of the face whose cell comes closest to height, and that cell.
    static void ChooseSize(const TFontFace& metrics, int height, TMatchedFont& font) {
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
    // only loses the saving.
    void Save(const TKey& key, const TMatchedFont& font) {
        const std::string path = FontLookupFile();
        if (path.empty() || !Keepable(key.first) || !Keepable(font.location.file)) return;
        // The places may have changed since the file was read.
        for (const auto& [place, stamp] : file_.stamps)
            if (Stamp(place) != stamp) fileFresh_ = false;
        if (!fileFresh_ || file_.entries.size() >= kMaxEntries) {
            file_ = TLookupFile();
            file_.stamps = configPlaces_;
            fileFresh_ = true;
        }
        file_.entries[key] = TEntry{font, Stamp(font.location.file)};
        try {
            std::error_code error;
            std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
            WriteFileReplacing(path, file_.Text());
        } catch (const std::exception&) {
            // The look-up stands; only the saving is lost.
        }
    }

    std::mutex mutex_;
    std::map<TKey, TMatchedFont, std::less<>> memory_;
    TLookupFile file_;
    bool fileRead_ = false, fileFresh_ = false;
    TFontLookupCounts counts_;
    FcConfig* config_ = nullptr;
    std::vector<std::pair<std::string, std::string>> configPlaces_;
};

// Raised when what the process looked up is forgotten: the threads' last answers go too.
std::atomic<int> lookupGeneration{0};

TFontLookups& Lookups() {
    static TFontLookups* lookups = new TFontLookups; // used until the process ends
    return *lookups;
}

} // namespace

const TMatchedFont& MatchFont(std::string_view face, int height) {
    // Pictures of a batch ask for the same font again and again.
    thread_local std::string lastFace;
    thread_local int lastHeight = 0;
    thread_local const TMatchedFont* last = nullptr;
    thread_local int generation = -1;
    const int current = lookupGeneration.load(std::memory_order_relaxed);
    if (last != nullptr && generation == current && lastHeight == height && lastFace == face)
        return *last;
    last = &Lookups().Match(face, height);
    lastFace = face, lastHeight = height, generation = current;
    return *last;
}

std::string FontLookupFile() {
    const std::string cache = UserFolder("XDG_CACHE_HOME", ".cache");
    return cache.empty() ? "" : cache + "/varimark/fonts";
}

TFontLookupCounts FontLookupCounts() {
    return Lookups().Counts();
}

void ForgetFontLookups() {
    Lookups().Forget();
    ++lookupGeneration;
}

} // namespace varimark
