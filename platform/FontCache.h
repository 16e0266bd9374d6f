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
#include "platform/FontFace.h"

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
// the cell from the face's proportions. Raises std::runtime_error when no font can be
// found or opened at all. The answer stays valid for the life of the process.
const TMatchedFont& MatchFont(std::string_view face, int height);

// The file of look-ups: $XDG_CACHE_HOME/varimark/fonts (~/.cache/varimark/fonts by
// default); empty when neither is set.
std::string FontLookupFile();

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
