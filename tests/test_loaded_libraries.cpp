// The libraries of the picture formats and of text (libtiff, giflib, libjpeg, libpng,
// FreeType, fontconfig) are loaded only when a picture of theirs is written or read or text is
// drawn: making a barcode starts without them, and a library found without its functions is
// refused by name.
#include "CliRunner.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {

using TEnvironment = std::vector<std::pair<const char*, std::string>>;

// Runs varimark-cli with variables of the environment set.
RunResult RunWith(const TEnvironment& environment, const std::vector<std::string>& args) {
    for (const auto& [variable, value] : environment) ::setenv(variable, value.c_str(), 1);
    RunResult result = RunCli(args);
    for (const auto& [variable, value] : environment) ::unsetenv(variable);
    return result;
}

// The dynamic loader names each library it loads, at start or later, as "file=SONAME" on
// standard error.
bool Loaded(const RunResult& run, const std::string& soname) {
    return run.err.find("file=" + soname + " ") != std::string::npos;
}

// Every library loaded when needed, and what they bring.
const char* const kLoadedWhenNeeded[] = {
    VARIMARK_LIBTIFF_SONAME,
    VARIMARK_LIBGIF_SONAME,
    VARIMARK_LIBJPEG_SONAME,
    VARIMARK_LIBPNG_SONAME,
    VARIMARK_FREETYPE_SONAME,
    VARIMARK_FONTCONFIG_SONAME,
    "libz.so.1",
    "libexpat.so.1",
    "libbrotlidec.so.1",
};

TEST(LoadedLibraries, EncodeLoadsNoneOfThem) {
    const RunResult r = RunWith({{"LD_DEBUG", "files"}},
                                {"encode", "--type", "GS1_128",
                                 "[01]09501101530003[3103]001250[17]260131[10]AB-12[21]XYZ9"});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_TRUE(Loaded(r, "libc.so.6")) << r.err; // the loader's listing is there
    for (const char* soname : kLoadedWhenNeeded) EXPECT_FALSE(Loaded(r, soname)) << soname;
}

// EAN-13 measures its text with FreeType (--no-text too) the first time; later processes take
// the glyphs FreeType drew from the file of look-ups. Postnet without text has no text to
// measure.
const std::vector<std::string> kEan13 = {"render", "--type", "EAN_13", "400638133393", "-o"};
// Its text at another size: glyphs that a file warmed by kEan13 does not keep.
const std::vector<std::string> kEan13Scaled = {"render", "--scale",      "3", "--type",
                                               "EAN_13", "400638133393", "-o"};
const std::vector<std::string> kPostnet = {"render",  "--no-text", "--type",
                                           "Postnet", "12345",     "-o"};

// The rows run in order with one file of look-ups, cold at the start.
TEST(LoadedLibraries, RenderLoadsWhatItsPictureNeeds) {
    TScratchFolder folder;
    const struct {
        const std::vector<std::string>& render;
        const char* picture;
        std::vector<const char*> loaded, notLoaded;
    } rows[] = {
        {kEan13,
         "a.png",
         {VARIMARK_FREETYPE_SONAME, VARIMARK_FONTCONFIG_SONAME},
         {VARIMARK_LIBJPEG_SONAME, VARIMARK_LIBTIFF_SONAME, VARIMARK_LIBGIF_SONAME}},
        // Warm: the same text needs neither fontconfig nor FreeType.
        {kEan13,
         "a2.png",
         {},
         {VARIMARK_FREETYPE_SONAME, VARIMARK_FONTCONFIG_SONAME, VARIMARK_LIBPNG_SONAME,
          "libz.so.1"}},
        {kEan13Scaled, "a3.png", {VARIMARK_FREETYPE_SONAME}, {VARIMARK_FONTCONFIG_SONAME}},
        // PNG is written without libpng (and zlib): only reading a PNG loads it.
        {kPostnet,
         "b.png",
         {},
         {VARIMARK_LIBPNG_SONAME, "libz.so.1", VARIMARK_FREETYPE_SONAME, VARIMARK_FONTCONFIG_SONAME,
          VARIMARK_LIBJPEG_SONAME}},
        {kPostnet, "c.jpg", {VARIMARK_LIBJPEG_SONAME}, {VARIMARK_LIBPNG_SONAME, "libz.so.1"}},
        {kEan13, "d.bmp", {}, {VARIMARK_FREETYPE_SONAME, VARIMARK_LIBJPEG_SONAME}},
        {kPostnet, "e.bmp", {}, {VARIMARK_FREETYPE_SONAME, VARIMARK_LIBPNG_SONAME}},
    };
    for (const auto& row : rows) {
        std::vector<std::string> args = row.render;
        args.push_back(folder.Path(row.picture));
        const RunResult r =
            RunWith({{"LD_DEBUG", "files"}, {"XDG_CACHE_HOME", folder.Path("cache")}}, args);
        ASSERT_EQ(r.status, 0) << row.picture << "\n" << r.err;
        for (const char* soname : row.loaded) EXPECT_TRUE(Loaded(r, soname)) << row.picture;
        for (const char* soname : row.notLoaded) EXPECT_FALSE(Loaded(r, soname)) << row.picture;
    }
}

TEST(LoadedLibraries, AStandInWithoutTheFunctionsIsRefusedByName) {
    TScratchFolder folder;
    // The font look-ups kept in "warm" name the face: FreeType opens it without fontconfig.
    const std::string warm = folder.Path("warm"), cold = folder.Path("cold");
    std::vector<std::string> warming = kEan13;
    warming.push_back(folder.Path("warming.bmp"));
    ASSERT_EQ(RunWith({{"XDG_CACHE_HOME", warm}}, warming).status, 0);
    const std::vector<std::string> verify = {"verify"};
    const struct {
        const char* standIn; // the folder of stand-ins/ that LD_LIBRARY_PATH names
        const char* picture; // the last argument
        bool made;           // made first, without the stand-in
        const std::vector<std::string>& run;
        const std::string& cache; // XDG_CACHE_HOME
        const char* message;
    } rows[] = {
        {"LIBTIFF", "a.tif", true, verify, warm,
         "TIFF pictures cannot be read: " VARIMARK_LIBTIFF_SONAME " has no TIFFOpenOptionsAlloc"},
        {"LIBGIF", "a.gif", true, verify, warm,
         "GIF pictures cannot be read: " VARIMARK_LIBGIF_SONAME " has no DGifOpen"},
        {"LIBJPEG", "a.jpg", true, verify, warm,
         "JPEG pictures cannot be read: " VARIMARK_LIBJPEG_SONAME " has no jpeg_std_error"},
        {"LIBPNG", "a.png", true, verify, warm,
         "PNG pictures cannot be read: " VARIMARK_LIBPNG_SONAME " has no png_create_info_struct"},
        // Without text: FreeType would load the libpng stand-in as its own.
        {"LIBJPEG", "b.jpg", false, kPostnet, warm,
         "JPEG pictures cannot be written: " VARIMARK_LIBJPEG_SONAME " has no jpeg_std_error"},
        {"FREETYPE", "c.bmp", false, kEan13Scaled, warm,
         "Text cannot be drawn: " VARIMARK_FREETYPE_SONAME " has no FT_Init_FreeType"},
        {"FONTCONFIG", "d.bmp", false, kEan13, cold,
         "Fonts cannot be found: " VARIMARK_FONTCONFIG_SONAME " has no FcInitLoadConfigAndFonts"},
    };
    for (const auto& row : rows) {
        std::vector<std::string> args = row.run;
        args.push_back(folder.Path(row.picture));
        if (row.made) {
            std::vector<std::string> making = kEan13;
            making.push_back(folder.Path(row.picture));
            ASSERT_EQ(RunWith({{"XDG_CACHE_HOME", warm}}, making).status, 0) << row.picture;
            EXPECT_EQ(RunCli(args).status, 0) << row.picture; // readable with the library
        }
        const RunResult r =
            RunWith({{"XDG_CACHE_HOME", row.cache},
                     {"LD_LIBRARY_PATH", std::string(VARIMARK_STAND_INS) + "/" + row.standIn}},
                    args);
        EXPECT_EQ(r.status, 1) << row.standIn << " " << row.picture;
        EXPECT_NE(r.err.find(row.message), std::string::npos) << r.err;
    }
}

} // namespace
