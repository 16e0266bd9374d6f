// Fonts without a window system: faces found by family, sizes chosen by cell height, and
// the file of look-ups trusted only while nothing it depends on has changed.
#include "FileTesting.h"
#include "platform/FontCache.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

using namespace varimark;

namespace {

const std::string kSystemSans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

std::string Name(const std::string& file) {
    return std::filesystem::path(file).filename().string();
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
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

} // namespace
