// Fonts without a window system: faces found by family, sizes chosen by cell height, and
// the file of look-ups trusted only while nothing it depends on has changed.
#include "FileTesting.h"
#include "render/FontCache.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
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

} // namespace
