#pragma once
// Fonts by cell height, without a window system: a face is found by family name through
// fontconfig ("Arial" as the system resolves it, "Default" the system's sans face) and the
// pixel size chosen whose cell height (the face's Windows ascent + descent, as the Windows
// display measures a font) comes closest to the requested height.
// What was looked up is kept in memory and in a small file under the user's cache folder,
// so that later processes skip setting up fontconfig. The file is trusted only while the
// fontconfig configuration, its caches, the font folders and the font file are as they
// were when it was written; a stale or damaged file is ignored and written anew, and a
// folder that cannot be written costs only the saving.
// The file is read and replaced only as the user's own regular file in a folder of the
// user's that others cannot write (the folder "varimark" itself not a link); it is never
// written through a link, only replaced by a new file renamed over it. Anything else at
// its name (a link, a FIFO, a folder, another user's file) is left alone and the file is
// not used by the process. A look-up read from it is used only while the font file (its
// links followed) is a regular file with the stamp, size and face name kept with it.
#include "render/FontFace.h"

#include <map>
#include <string>
#include <string_view>

namespace varimark {

struct TMatchedFont {
    TFontLocation location;
    int pixelSize = 1;  // the em square in pixels
    int cellHeight = 0; // ascent + descent at that size, rounded
};

// The font of the given face (8-bit name) whose cell height is as close to height as the
// face allows; heights past what can be measured (a cell of 16000 pixels) take the size and
// the cell from the face's proportions. Raises varimark::Error when no font can be found or
// opened at all, std::bad_alloc when memory runs out. The answer stays valid for the life of
// the process (until ForgetFontLookups). Safe from any thread.
const TMatchedFont& MatchFont(std::string_view face, int height);

// Sets fontconfig up for the whole process, as the first look-up would, so that a program
// running pictures in many threads finds a failure before its threads start. Raises
// std::bad_alloc when fontconfig cannot load its configuration (it fails only when memory
// runs out) or when the process lacks the room fontconfig needs to load it safely; no
// configuration loaded in part is kept, so later look-ups try again from the start. It
// costs the loading of fontconfig (a few milliseconds) that the file of look-ups would
// otherwise spare.
void PrepareFonts();

// The file of look-ups: $XDG_CACHE_HOME/varimark/fonts, or $HOME/.cache/varimark/fonts
// when XDG_CACHE_HOME is not an absolute path; empty when neither is known.
std::string FontLookupFile();

// A face's glyphs at one pixel size as FreeType drew them, kept in the file of look-ups so
// that a later process draws the same text without FreeType: the face's ascent and descent,
// the advances by character, and the masks by the caller's key (below kMaxGlyphKey).
struct TKeptGlyphs {
    static constexpr int kMaxGlyphKey = 1024;
    long long ascent64 = 0, descent64 = 0;
    std::map<int, long long> advances64; // by character
    std::map<int, TGlyphCoverage> masks; // by key

    bool operator==(const TKeptGlyphs&) const = default;
};

// Fills glyphs with what the file keeps for the face at pixelSize, when it keeps them for
// the font file as it is now (its stamp and its tables, read without FreeType); false
// otherwise, and a damaged or stale entry is dropped. Safe from any thread.
bool KeptGlyphs(const TFontLocation& location, int pixelSize, TKeptGlyphs& glyphs);
// Keeps glyphs for the face at pixelSize in the file (in place of what it kept), when the
// font file's tables can be read without FreeType and the file of look-ups is in force.
// Masks are kept up to a bound on the entry's size and the file's; a folder that cannot
// be written only loses the saving. Raises std::bad_alloc when memory runs out.
void KeepGlyphs(const TFontLocation& location, int pixelSize, const TKeptGlyphs& glyphs);

// What this process did, for tests and measurements: look-ups answered by fontconfig, and
// look-ups answered by the file.
struct TFontLookupCounts {
    int fontconfig = 0, file = 0;
};
TFontLookupCounts FontLookupCounts();
// Forgets what this process looked up (not the file): the next look-up reads the file anew.
// Only while no other thread looks up fonts; answers given before are no longer valid.
void ForgetFontLookups();

} // namespace varimark
