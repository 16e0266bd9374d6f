// libtiff and giflib are loaded only when a picture of theirs is read: making a barcode
// starts without them, and a library found without its functions is refused by name.
#include "CliRunner.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

// Runs varimark-cli with one variable of the environment set.
RunResult RunWith(const char* variable, const std::string& value,
                  const std::vector<std::string>& args) {
    ::setenv(variable, value.c_str(), 1);
    RunResult result = RunCli(args);
    ::unsetenv(variable);
    return result;
}

} // namespace

TEST(ReaderLibraries, MakingABarcodeLoadsNeither) {
    // The dynamic loader lists what it loads at start, and runs nothing.
    const RunResult r =
        RunWith("LD_TRACE_LOADED_OBJECTS", "1", {"encode", "--type", "EAN_13", "400638133393"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("libc.so"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find(VARIMARK_LIBTIFF_SONAME), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find(VARIMARK_LIBGIF_SONAME), std::string::npos) << r.out;
}

TEST(ReaderLibraries, AStandInWithoutTheFunctionsIsRefusedByName) {
    TScratchFolder folder;
    const struct {
        const char* extension;
        const char* message;
    } rows[] = {
        {"tif",
         "TIFF pictures cannot be read: " VARIMARK_LIBTIFF_SONAME " has no TIFFOpenOptionsAlloc"},
        {"gif", "GIF pictures cannot be read: " VARIMARK_LIBGIF_SONAME " has no DGifOpen"},
    };
    for (const auto& row : rows) {
        const std::string picture = folder.Path(std::string("a.") + row.extension);
        ASSERT_EQ(RunCli({"render", "--type", "EAN_13", "-o", picture, "400638133393"}).status, 0);
        EXPECT_EQ(RunCli({"verify", picture}).status, 0) << row.extension;
        const RunResult r = RunWith("LD_LIBRARY_PATH", VARIMARK_STAND_INS, {"verify", picture});
        EXPECT_EQ(r.status, 1) << row.extension;
        EXPECT_NE(r.err.find(row.message), std::string::npos) << r.err;
    }
}
