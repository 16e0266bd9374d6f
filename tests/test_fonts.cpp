// Fonts without a window system: faces found by family, sizes chosen by cell height, and
// the file of look-ups trusted only while nothing it depends on has changed.
#include "FileTesting.h"
#include "render/FontCache.h"
#include "render/FontTables.h"
#include "render/GlyphMasks.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <span>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

using namespace varimark;

namespace {

const std::string kSystemSans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
const std::string kLiberation = "/usr/share/fonts/truetype/liberation2/";

std::string Name(const std::string& file) {
    return std::filesystem::path(file).filename().string();
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// What lies at a path, as the tables state it: "nothing", "link", "fifo", "folder: NAMES",
// "look-ups" (a file of look-ups), or "file 'TEXT'".
std::string OnDisk(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return "nothing";
    if (S_ISLNK(info.st_mode)) return "link";
    if (S_ISFIFO(info.st_mode)) return "fifo";
    if (S_ISDIR(info.st_mode)) {
        std::string said = "folder:";
        for (const auto& entry : std::filesystem::directory_iterator(path))
            said += " " + entry.path().filename().string();
        return said;
    }
    const std::string text = ReadWholeFile(path);
    return text.starts_with("varimark font look-ups") ? "look-ups" : "file '" + text + "'";
}

// Runs a look-up in a child process that an alarm ends after 20 s, so that a look-up that
// blocks fails the test instead of hanging it: what the child said, or how it was killed.
std::string InChild(const std::function<std::string()>& run) {
    int out[2];
    if (::pipe(out) != 0) return "no pipe";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(out[0]);
        ::alarm(20);
        std::string said;
        try {
            said = run();
        } catch (const std::exception& error) {
            said = std::string("raised ") + error.what();
        }
        const ssize_t written = ::write(out[1], said.data(), said.size());
        ::_exit(written == static_cast<ssize_t>(said.size()) ? 0 : 1);
    }
    ::close(out[1]);
    std::string said;
    char buffer[256];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;)
        said.append(buffer, static_cast<std::size_t>(n));
    ::close(out[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFSIGNALED(status) ? "killed by signal " + std::to_string(WTERMSIG(status)) : said;
}

// A new process's look-up of Arial at 13 pixels, as the tables state it: the font file, the
// pixel size, the cell, and who answered.
std::string ArialAnswer() {
    ForgetFontLookups();
    const TMatchedFont& font = MatchFont("Arial", 13);
    return Name(font.location.file) + " " + std::to_string(font.pixelSize) + " " +
           std::to_string(font.cellHeight) +
           (FontLookupCounts().file == 1 ? " from the file" : " from fontconfig");
}

// The file of look-ups with its one entry's font file replaced, and its stamp by the new
// file's (links followed); the face name is kept.
std::string WithFontFile(const std::string& text, const std::string& file) {
    struct stat info {};
    ::stat(file.c_str(), &info);
    const std::size_t start = text.find("\nfont\t") + 1, end = text.find('\n', start);
    std::vector<std::string> fields;
    std::istringstream line(text.substr(start, end - start));
    for (std::string field; std::getline(line, field, '\t');) fields.push_back(field);
    fields.at(3) = file;
    fields.at(7) = std::to_string(info.st_mtim.tv_sec) + "." +
                   std::to_string(info.st_mtim.tv_nsec) + "." + std::to_string(info.st_size);
    std::string entry = fields[0];
    for (std::size_t i = 1; i < fields.size(); ++i) entry += "\t" + fields[i];
    return text.substr(0, start) + entry + text.substr(end);
}

// Every look-up in a scratch folder of its own: the user's cache and configuration, and a
// fontconfig configuration that adds a font folder of its own (cached in the scratch folder
// too) and leaves the system's DejaVu Sans out, so that the font folder decides where
// "DejaVu Sans" is found.
class Fonts : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(scratch_.Path("fonts"));
        WriteText(scratch_.Path("fonts.conf"),
                  "<?xml version=\"1.0\"?>\n<fontconfig>\n"
                  "<cachedir>" +
                      scratch_.Path("fccache") +
                      "</cachedir>\n"
                      "<include ignore_missing=\"yes\">/etc/fonts/fonts.conf</include>\n"
                      "<dir>" +
                      scratch_.Path("fonts") +
                      "</dir>\n"
                      "<selectfont><rejectfont><glob>" +
                      kSystemSans + "</glob></rejectfont></selectfont>\n</fontconfig>\n");
        setenv("XDG_CACHE_HOME", scratch_.Path("cache").c_str(), 1);
        setenv("XDG_CONFIG_HOME", scratch_.Path("config").c_str(), 1);
        setenv("FONTCONFIG_FILE", scratch_.Path("fonts.conf").c_str(), 1);
        ForgetFontLookups();
    }
    void TearDown() override { ForgetFontLookups(); }

    // A look-up as a new process makes it: nothing in memory, the file as it stands.
    TMatchedFont Fresh(const std::string& face, int height) {
        ForgetFontLookups();
        return MatchFont(face, height);
    }

    TScratchFolder scratch_;
};

TEST_F(Fonts, ChoosesThePixelSizeWhoseCellComesClosest) {
    struct TCase {
        const char* face;
        int height;
        const char* file;
        int pixelSize, cellHeight;
    };
    const TCase cases[] = {
        {"Arial", 13, "LiberationSans-Regular.ttf", 12, 13},
        {"Arial", -13, "LiberationSans-Regular.ttf", 12, 13},
        {"Arial", 14, "LiberationSans-Regular.ttf", 12, 13}, // 13 px make 15: the smaller wins
        {"Arial", 15, "LiberationSans-Regular.ttf", 13, 15},
        {"Arial", 22, "LiberationSans-Regular.ttf", 20, 22},
        {"Arial", 1, "LiberationSans-Regular.ttf", 1, 1},
        {"Arial", 0, "LiberationSans-Regular.ttf", 1, 0},
        {"Arial", 100000, "LiberationSans-Regular.ttf", 89510, 99999}, // by proportion
        {"Liberation Serif", 13, "LiberationSerif-Regular.ttf", 12, 13},
        {"Courier New", 20, "LiberationMono-Regular.ttf", 18, 20},
    };
    for (const TCase& c : cases) {
        const TMatchedFont& font = MatchFont(c.face, c.height);
        EXPECT_EQ(Name(font.location.file), c.file) << c.face << " " << c.height;
        EXPECT_EQ(font.pixelSize, c.pixelSize) << c.face << " " << c.height;
        EXPECT_EQ(font.cellHeight, c.cellHeight) << c.face << " " << c.height;
    }
}

TEST_F(Fonts, AFreshFileSparesFontconfig) {
    const TMatchedFont first = MatchFont("Arial", 13);
    EXPECT_EQ(FontLookupCounts().fontconfig, 1);
    ASSERT_TRUE(FileExists(FontLookupFile()));
    const TMatchedFont again = Fresh("Arial", 13);
    EXPECT_EQ(FontLookupCounts().fontconfig, 0);
    EXPECT_EQ(FontLookupCounts().file, 1);
    EXPECT_EQ(again.location, first.location);
    EXPECT_EQ(std::pair(again.pixelSize, again.cellHeight), std::pair(12, 13));
}

TEST_F(Fonts, AChangedFontFolderMakesTheFileStale) {
    EXPECT_NE(MatchFont("DejaVu Sans", 14).location.file, scratch_.Path("fonts/DejaVuSans.ttf"));
    std::filesystem::copy_file(kSystemSans, scratch_.Path("fonts/DejaVuSans.ttf"));
    const TMatchedFont font = Fresh("DejaVu Sans", 14);
    EXPECT_EQ(FontLookupCounts().fontconfig, 1);
    EXPECT_EQ(font.location.file, scratch_.Path("fonts/DejaVuSans.ttf"));
    EXPECT_EQ(std::pair(font.pixelSize, font.cellHeight), std::pair(12, 14));
    // Written anew, the file serves again.
    EXPECT_EQ(Fresh("DejaVu Sans", 14).location.file, scratch_.Path("fonts/DejaVuSans.ttf"));
    EXPECT_EQ(FontLookupCounts().fontconfig, 0);
}

TEST_F(Fonts, AChangedConfigurationMakesTheFileStale) {
    MatchFont("Arial", 13);
    std::string config = ReadWholeFile(scratch_.Path("fonts.conf"));
    config.insert(config.rfind("</fontconfig>"),
                  "<match><test name=\"family\"><string>Arial</string></test>"
                  "<edit name=\"family\" mode=\"assign\" binding=\"strong\">"
                  "<string>Liberation Serif</string></edit></match>\n");
    WriteText(scratch_.Path("fonts.conf"), config);
    EXPECT_EQ(Name(Fresh("Arial", 13).location.file), "LiberationSerif-Regular.ttf");
    EXPECT_EQ(FontLookupCounts().fontconfig, 1);
}

TEST_F(Fonts, ADamagedFileIsIgnoredAndWrittenAnew) {
    MatchFont("Arial", 13);
    const std::string good = ReadWholeFile(FontLookupFile());
    const std::string damaged[] = {
        "garbage",
        good.substr(0, good.rfind("end")),                    // cut short
        good.substr(0, good.find("\t12\t13\t")) + "\tx\t13\t" // a size that is no number
            + good.substr(good.find("\t12\t13\t") + 7),
        std::string(good).replace(good.find("\t12\t13\t"), 7, "\t0\t13\t"),  // size 0
        std::string(good).replace(good.find("\t12\t13\t"), 7, "\t11\t13\t"), // wrong size
    };
    for (const std::string& text : damaged) {
        WriteText(FontLookupFile(), text);
        const TMatchedFont font = Fresh("Arial", 13);
        EXPECT_EQ(FontLookupCounts().fontconfig, 1) << text;
        EXPECT_EQ(Name(font.location.file), "LiberationSans-Regular.ttf");
        EXPECT_EQ(font.pixelSize, 12);
        // Written anew, the file serves the next process.
        EXPECT_EQ(Fresh("Arial", 13).pixelSize, 12);
        EXPECT_EQ(FontLookupCounts().file, 1) << text;
    }
}

// A folder in the place of the file, then a cache folder that is a file: only the saving
// is lost.
TEST_F(Fonts, AnUnusableFileOnlyLosesTheSaving) {
    std::filesystem::create_directories(FontLookupFile());
    for (int i = 0; i < 4; ++i) {
        if (i == 2) {
            WriteText(scratch_.Path("notafolder"), "");
            setenv("XDG_CACHE_HOME", scratch_.Path("notafolder").c_str(), 1);
        }
        const TMatchedFont font = Fresh("Arial", 13);
        EXPECT_EQ(FontLookupCounts().fontconfig, 1) << i;
        EXPECT_EQ(Name(font.location.file), "LiberationSans-Regular.ttf");
        EXPECT_EQ(std::pair(font.pixelSize, font.cellHeight), std::pair(12, 13));
    }
}

// Whatever lies at the file's name or its folder, a look-up still answers and does not
// block, and what is not the user's own file of look-ups in a folder of the user's is left
// as it was: a link's target is never written, nothing is made where a dangling link
// points, and no temporary name is left.
TEST_F(Fonts, TheFileOfLookUpsIsUsedOnlyAsTheUsersOwnRegularFile) {
    namespace fs = std::filesystem;
    struct TCase {
        const char* what;
        std::function<void()> make; // in the row's folder, where cache/varimark/fonts is the file
        std::vector<std::pair<std::string, std::string>> after; // paths in the row's folder
        bool needsRoot = false;
    };
    const auto folder = [] { fs::create_directories("cache/varimark"); };
    const TCase cases[] = {
        {"link to a file",
         [&] {
             folder(), WriteText("victim", "precious");
             fs::create_symlink("../../victim", "cache/varimark/fonts");
         },
         {{"victim", "file 'precious'"},
          {"cache/varimark", "folder: fonts"},
          {"cache/varimark/fonts", "link"}}},
        {"dangling link",
         [&] { folder(), fs::create_symlink("../../nowhere", "cache/varimark/fonts"); },
         {{"nowhere", "nothing"}, {"cache/varimark/fonts", "link"}}},
        {"FIFO",
         [&] { folder(), ::mkfifo("cache/varimark/fonts", 0600); },
         {{"cache/varimark", "folder: fonts"}, {"cache/varimark/fonts", "fifo"}}},
        {"link to a FIFO",
         [&] {
             folder(), ::mkfifo("fifo", 0600);
             fs::create_symlink("../../fifo", "cache/varimark/fonts");
         },
         {{"fifo", "fifo"}, {"cache/varimark/fonts", "link"}}},
        {"folder",
         [&] { fs::create_directories("cache/varimark/fonts"); },
         {{"cache/varimark/fonts", "folder:"}}},
        {"garbage in the user's file",
         [&] { folder(), WriteText("cache/varimark/fonts", "x"); },
         {{"cache/varimark", "folder: fonts"}, {"cache/varimark/fonts", "look-ups"}}},
        {"another user's file",
         [&] {
             folder(), WriteText("cache/varimark/fonts", "x");
             if (::chown("cache/varimark/fonts", 65534, 65534) != 0) std::abort();
         },
         {{"cache/varimark/fonts", "file 'x'"}},
         true},
        {"folder writable by others",
         [&] { folder(), fs::permissions("cache/varimark", fs::perms::all); },
         {{"cache/varimark", "folder:"}}},
        {"link as the folder",
         [&] {
             fs::create_directories("cache"), fs::create_directory("elsewhere");
             fs::create_directory_symlink("../elsewhere", "cache/varimark");
         },
         {{"elsewhere", "folder:"}}},
        {"relative XDG_CACHE_HOME",
         [&] { ::setenv("XDG_CACHE_HOME", "cache", 1); },
         {{"cache", "nothing"}, {"home/.cache/varimark/fonts", "look-ups"}}},
    };
    for (const TCase& c : cases) {
        if (c.needsRoot && ::geteuid() != 0) continue; // only root gives a file away
        const std::string row = scratch_.Path(c.what);
        fs::create_directories(row);
        const std::string answer = InChild([&] {
            if (::chdir(row.c_str()) != 0) return std::string("no folder");
            ::setenv("XDG_CACHE_HOME", (row + "/cache").c_str(), 1);
            ::setenv("HOME", (row + "/home").c_str(), 1);
            c.make();
            return ArialAnswer();
        });
        EXPECT_EQ(answer, "LiberationSans-Regular.ttf 12 13 from fontconfig") << c.what;
        for (const auto& [path, expected] : c.after)
            EXPECT_EQ(OnDisk(row + "/" + path), expected) << c.what << ": " << path;
    }
}

// A look-up kept in the file is used only while its font file is a regular file (links
// followed) with the stamp, size and face name kept with it. Liberation Sans Bold has the
// Regular face's cell at every size (the same Windows ascent and descent), so only its name
// tells it from the face that was looked up.
TEST_F(Fonts, ALookUpFromTheFileIsUsedOnlyForTheSameFaceInARegularFile) {
    const std::string regular = kLiberation + "LiberationSans-Regular.ttf",
                      bold = kLiberation + "LiberationSans-Bold.ttf";
    for (const int size : {12, 100})
        ASSERT_EQ(TFontFace({bold, 0}).CellHeight(size), TFontFace({regular, 0}).CellHeight(size));
    ASSERT_EQ(MatchFont("Arial", 13).location.file, regular);
    const std::string good = ReadWholeFile(FontLookupFile());
    ::mkfifo(scratch_.Path("font.ttf").c_str(), 0600);
    std::filesystem::create_symlink(regular, scratch_.Path("link.ttf"));
    const struct {
        const char* what;
        std::string file;
        const char* answer;
    } cases[] = {
        {"a FIFO", scratch_.Path("font.ttf"), "LiberationSans-Regular.ttf 12 13 from fontconfig"},
        {"another face of equal metrics", bold, "LiberationSans-Regular.ttf 12 13 from fontconfig"},
        {"a link to the face", scratch_.Path("link.ttf"), "link.ttf 12 13 from the file"},
    };
    for (const auto& c : cases) {
        WriteText(FontLookupFile(), WithFontFile(good, c.file));
        EXPECT_EQ(InChild(ArialAnswer), c.answer) << c.what;
    }
}

// --- Glyphs kept in the file of look-ups

std::uint32_t U32At(const std::string& text, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value = value << 8 | static_cast<unsigned char>(text[at + i]);
    return value;
}

const std::string kRegular = kLiberation + "LiberationSans-Regular.ttf";

// The glyphs of a face at a size as FreeType draws them now, as the file keeps them.
TKeptGlyphs FromFreeType(const TFontLocation& location, int size, std::string_view text) {
    TFontFace face(location);
    TKeptGlyphs glyphs;
    glyphs.ascent64 = face.Ascent64(size), glyphs.descent64 = face.Descent64(size);
    for (const char c : text) {
        glyphs.advances64[c] = face.Advance64(static_cast<unsigned char>(c), size);
        for (int sub = 0; sub < TGlyphFont::kSubpixels; ++sub)
            glyphs.masks[c * TGlyphFont::kSubpixels + sub] =
                face.Render(static_cast<unsigned char>(c), size, sub * 64 / TGlyphFont::kSubpixels);
    }
    return glyphs;
}

// Draws text's glyphs with a glyph font (every quarter pixel) and keeps them in the file.
void DrawAndKeep(const TFontLocation& location, int size, std::string_view text) {
    TGlyphFont font(location, size);
    for (const char c : text) {
        font.Advance(static_cast<unsigned char>(c));
        for (int sub = 0; sub < TGlyphFont::kSubpixels; ++sub)
            font.Mask(static_cast<unsigned char>(c), sub);
    }
    font.KeepDrawn();
}

// What a glyph font gives, as the file keeps it.
TKeptGlyphs Drawn(const TFontLocation& location, int size, std::string_view text) {
    TGlyphFont font(location, size);
    TKeptGlyphs glyphs;
    glyphs.ascent64 = std::llround(font.Ascent() * 64);
    glyphs.descent64 = std::llround(font.Descent() * 64);
    for (const char c : text) {
        glyphs.advances64[c] = std::llround(font.Advance(static_cast<unsigned char>(c)) * 64);
        for (int sub = 0; sub < TGlyphFont::kSubpixels; ++sub) {
            const TGlyphMask& mask = font.Mask(static_cast<unsigned char>(c), sub);
            glyphs.masks[c * TGlyphFont::kSubpixels + sub] = {mask.left, mask.top, mask.width,
                                                              mask.height, mask.coverage};
        }
    }
    return glyphs;
}

// The glyph lines of the file of look-ups.
std::vector<std::string> GlyphLines() {
    std::vector<std::string> lines;
    std::istringstream text(ReadWholeFile(FontLookupFile()));
    for (std::string line; std::getline(text, line);)
        if (line.starts_with("glyphs\t")) lines.push_back(line);
    return lines;
}

// The file of look-ups with its glyph line changed by edit, its checksum made anew when
// resum (so that only what edit changed tells it apart).
void EditGlyphLine(const std::function<void(std::string&)>& edit, bool resum) {
    std::string text = ReadWholeFile(FontLookupFile());
    const std::size_t start = text.find("\nglyphs\t") + 1, end = text.find('\n', start);
    std::string line = text.substr(start, end - start);
    edit(line);
    if (resum) {
        const std::size_t tab = line.rfind('\t');
        const std::uint64_t sum = Fnv1a(std::string_view(line).substr(0, tab));
        char hex[17];
        std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(sum));
        line = line.substr(0, tab + 1) + hex;
    }
    WriteText(FontLookupFile(), text.substr(0, start) + line + text.substr(end));
}

// The masks kept in the file are FreeType's own: each glyph at each quarter pixel, its
// advance, the face's ascent and descent, at sizes hinted and not (past 64 pixels).
TEST_F(Fonts, KeptGlyphsAreWhatFreeTypeDraws) {
    const struct {
        const char* file;
        int size;
        const char* text;
    } cases[] = {
        {"LiberationSans-Regular.ttf", 12, "0123456789>"},
        {"LiberationSans-Regular.ttf", 24, "Ag ."},
        {"LiberationSerif-Regular.ttf", 17, "Wy"},
        {"LiberationSans-Bold.ttf", 90, "8"},
    };
    MatchFont("Arial", 13); // the file of look-ups in force
    for (const auto& c : cases) {
        const TFontLocation location{kLiberation + c.file, 0};
        DrawAndKeep(location, c.size, c.text);
        ForgetFontLookups();
        TKeptGlyphs kept;
        ASSERT_TRUE(KeptGlyphs(location, c.size, kept)) << c.file << " " << c.size;
        EXPECT_TRUE(kept == FromFreeType(location, c.size, c.text)) << c.file << " " << c.size;
        EXPECT_TRUE(Drawn(location, c.size, c.text) == kept) << c.file << " " << c.size;
    }
}

// A kept entry that is damaged, of another font file or another FreeType, or a file of
// look-ups that cannot be written, is never used: the glyphs are FreeType's all the same,
// and the entry is written anew where the file can be written.
TEST_F(Fonts, ADamagedOrStaleGlyphEntryIsDrawnAnew) {
    namespace fs = std::filesystem;
    const std::string copy = scratch_.Path("face.ttf");
    const TFontLocation location{copy, 0};
    const struct {
        const char* what;
        std::function<void()> damage;
        bool writtenAnew;
    } cases[] = {
        {"a mask's digit changed",
         [] {
             EditGlyphLine([](std::string& l) { l[l.find('=', l.find("\t48=") + 4) + 12] ^= 1; },
                           false);
         },
         true},
        {"cut short", [] { EditGlyphLine([](std::string& l) { l.resize(l.size() / 2); }, false); },
         true},
        {"a field left out, summed anew",
         [] {
             EditGlyphLine(
                 [](std::string& l) {
                     const std::size_t ascent = l.find('\t', l.find('|')) + 1;
                     l.erase(ascent, l.find('\t', ascent) + 1 - ascent);
                 },
                 true);
         },
         true},
        {"a mask longer than its box",
         [] { EditGlyphLine([](std::string& l) { l.insert(l.rfind('\t'), "00"); }, true); }, true},
        {"a mask past the bounds",
         [] {
             EditGlyphLine(
                 [](std::string& l) {
                     const auto at = l.rfind(' ') + 1;
                     l.replace(at, l.find('=', at) - at, "5000");
                 },
                 true);
         },
         true},
        {"another FreeType",
         [] { EditGlyphLine([](std::string& l) { l.insert(l.find('|') + 1, "1"); }, true); }, true},
        {"the whole file cut short",
         [] {
             const std::string t = ReadWholeFile(FontLookupFile());
             WriteText(FontLookupFile(), t.substr(0, t.size() - 4));
         },
         false},
        {"the font file changed in place",
         [&] {
             fs::copy_file(kLiberation + "LiberationSans-Bold.ttf", copy,
                           fs::copy_options::overwrite_existing);
         },
         true},
        {"a table's checksum changed, stamp and size kept",
         [&] {
             struct stat before {};
             ::stat(copy.c_str(), &before);
             std::string font = ReadWholeFile(copy);
             font[12 + 4] ^= 1; // the first table record's checksum
             WriteText(copy, font);
             const struct timespec times[2] = {before.st_atim, before.st_mtim};
             ::utimensat(AT_FDCWD, copy.c_str(), times, 0);
         },
         true},
        {"a cache folder that cannot be written",
         [&] {
             ::setenv("XDG_CACHE_HOME", scratch_.Path("fonts.conf").c_str(), 1); // a file
         },
         false},
    };
    for (const auto& c : cases) {
        ::setenv("XDG_CACHE_HOME", scratch_.Path("cache").c_str(), 1);
        fs::remove_all(scratch_.Path("cache"));
        fs::copy_file(kRegular, copy, fs::copy_options::overwrite_existing);
        Fresh("Arial", 13);
        DrawAndKeep(location, 12, "0123456789");
        ASSERT_EQ(GlyphLines().size(), 1u) << c.what;
        c.damage();
        ForgetFontLookups();
        Fresh("Arial", 13);
        TKeptGlyphs kept;
        EXPECT_FALSE(KeptGlyphs(location, 12, kept)) << c.what;
        EXPECT_TRUE(Drawn(location, 12, "0123456789") == FromFreeType(location, 12, "0123456789"))
            << c.what;
        if (c.writtenAnew) {
            DrawAndKeep(location, 12, "0123456789");
            ForgetFontLookups();
            Fresh("Arial", 13);
            EXPECT_TRUE(KeptGlyphs(location, 12, kept)) << c.what;
        }
    }
}

// The table directory is read only where every offset and length lies in the file: each
// damage below makes the face unknown (FreeType decides), none reads past the bytes.
TEST(SfntTables, AHostileTableDirectoryIsUnknown) {
    const std::string font = ReadWholeFile(kRegular);
    TSfntFace good;
    const auto bytes = [](const std::string& text) {
        return std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    };
    ASSERT_EQ(ParseSfnt(bytes(font), 0, good), TSfntRead::Read);
    const TFontFace face({kRegular, 0});
    EXPECT_EQ(std::tie(good.metrics.unitsPerEm, good.metrics.ascent, good.metrics.descent),
              std::tie(face.Metrics().unitsPerEm, face.Metrics().ascent, face.Metrics().descent));
    // The record of a table by its tag, and big-endian numbers put into the copy.
    const auto record = [&](const char* tag) {
        const unsigned tables =
            static_cast<unsigned char>(font[4]) << 8 | static_cast<unsigned char>(font[5]);
        for (unsigned i = 0; i < tables; ++i)
            if (font.compare(12 + 16 * i, 4, tag) == 0)
                return 12 + 16 * static_cast<std::size_t>(i);
        return std::string::npos;
    };
    const auto put = [](std::string text, std::size_t at, std::uint32_t value, int width) {
        for (int i = width - 1; i >= 0; --i, value >>= 8)
            text[at + static_cast<std::size_t>(i)] = static_cast<char>(value & 0xFF);
        return text;
    };
    const std::size_t head = record("head"), os2 = record("OS/2");
    ASSERT_NE(head, std::string::npos);
    ASSERT_NE(os2, std::string::npos);
    const std::uint32_t os2At = U32At(font, os2 + 8);
    const std::string collection =
        put(put(put(std::string("ttcf") + std::string(12, '\0'), 4, 0x10000, 4), 8, 0xFFFFFFFF, 4),
            12, 0xFFFFFF00, 4);
    const struct {
        const char* what;
        std::string bytes;
        int index;
    } cases[] = {
        {"nothing", "", 0},
        {"a header cut short", font.substr(0, 11), 0},
        {"records cut short", font.substr(0, 40), 0},
        {"no tables", put(font, 4, 0, 2), 0},
        {"65535 tables", put(font, 4, 0xFFFF, 2), 0},
        {"a head past the end", put(font, head + 8, 0xFFFFFFF0, 4), 0},
        {"a head longer than the file", put(font, head + 12, 0xFFFFFFFF, 4), 0},
        {"a head without its magic number", put(font, head + 8, 0, 4), 0},
        {"an OS/2 past the end",
         put(font, os2 + 8, static_cast<std::uint32_t>(font.size()) - 10, 4), 0},
        {"an OS/2 of version 0xFFFF", put(font, os2At, 0xFFFF, 2), 0},
        {"an OS/2 too short for its version", put(font, os2 + 12, 80, 4), 0},
        {"no Windows ascent and descent", put(put(font, os2At + 74, 0, 2), os2At + 76, 0, 2), 0},
        {"units per em 0", put(font, static_cast<std::size_t>(U32At(font, head + 8)) + 18, 0, 2),
         0},
        {"another kind of file", put(font, 0, 0x774F4646, 4), 0}, // "wOFF"
        {"a second face in a single font", font, 1},
        {"a collection of 2^32 - 1 faces, its offsets past the end", collection, 7},
        {"a collection's face past the end", collection, 0},
        {"a negative index", font, -1},
    };
    for (const auto& c : cases) {
        TSfntFace read;
        EXPECT_EQ(ParseSfnt(bytes(c.bytes), c.index, read), TSfntRead::Unknown) << c.what;
    }
}

// A name that is no regular file is no font, and is not waited on.
TEST_F(Fonts, TablesAreReadOnlyFromARegularFile) {
    ::mkfifo(scratch_.Path("fifo.ttf").c_str(), 0600);
    TFontFileStamp stamp;
    TSfntFace face;
    for (const std::string& file :
         {scratch_.Path("fifo.ttf"), scratch_.Path("fonts"), scratch_.Path("missing.ttf")})
        EXPECT_EQ(InChild([&] {
                      return std::to_string(static_cast<int>(ReadSfnt({file, 0}, stamp, face)));
                  }),
                  std::to_string(static_cast<int>(TSfntRead::NotAFile)))
            << file;
    EXPECT_EQ(ReadSfnt({kRegular, 0}, stamp, face), TSfntRead::Read);
}

} // namespace
