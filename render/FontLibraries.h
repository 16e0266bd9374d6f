#pragma once
// FreeType and fontconfig (with the expat, brotli, libpng and zlib they bring), loaded when
// the first text is drawn or the first face looked up: a process that makes barcodes without
// text never loads them. (Where Qt is linked it has loaded them already.)
#include "export/SharedLibrary.h"

#include <string>

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H
#include FT_ADVANCES_H

namespace varimark {

// The FreeType functions the faces call.
#define VARIMARK_FREETYPE_CALLS(X)                                                                 \
    X(InitFreeType, FT_Init_FreeType)                                                              \
    X(OpenFace, FT_Open_Face)                                                                      \
    X(DoneFace, FT_Done_Face)                                                                      \
    X(SelectCharmap, FT_Select_Charmap)                                                            \
    X(GetSfntTable, FT_Get_Sfnt_Table)                                                             \
    X(GetCharIndex, FT_Get_Char_Index)                                                             \
    X(GetAdvance, FT_Get_Advance)                                                                  \
    X(SetPixelSizes, FT_Set_Pixel_Sizes)                                                           \
    X(LoadGlyph, FT_Load_Glyph)                                                                    \
    X(OutlineTranslate, FT_Outline_Translate)                                                      \
    X(RenderGlyph, FT_Render_Glyph)                                                                \
    X(OutlineDecompose, FT_Outline_Decompose)

struct TFreeTypeCalls {
    VARIMARK_FREETYPE_CALLS(VARIMARK_CALL_MEMBER)
};

// The fontconfig functions the look-ups call.
#define VARIMARK_FONTCONFIG_CALLS(X)                                                               \
    X(InitLoadConfigAndFonts, FcInitLoadConfigAndFonts)                                            \
    X(ConfigDestroy, FcConfigDestroy)                                                              \
    X(ConfigGetConfigFiles, FcConfigGetConfigFiles)                                                \
    X(ConfigGetFontDirs, FcConfigGetFontDirs)                                                      \
    X(ConfigGetCacheDirs, FcConfigGetCacheDirs)                                                    \
    X(StrListNext, FcStrListNext)                                                                  \
    X(StrListDone, FcStrListDone)                                                                  \
    X(PatternCreate, FcPatternCreate)                                                              \
    X(PatternAddString, FcPatternAddString)                                                        \
    X(PatternAddBool, FcPatternAddBool)                                                            \
    X(ConfigSubstitute, FcConfigSubstitute)                                                        \
    X(DefaultSubstitute, FcDefaultSubstitute)                                                      \
    X(FontMatch, FcFontMatch)                                                                      \
    X(PatternGetString, FcPatternGetString)                                                        \
    X(PatternGetInteger, FcPatternGetInteger)                                                      \
    X(PatternDestroy, FcPatternDestroy)

struct TFontconfigCalls {
    VARIMARK_FONTCONFIG_CALLS(VARIMARK_CALL_MEMBER)
};

// The library's functions, loaded at the first call (see LoadedOnce in
// export/SharedLibrary.h): ELibraryUnavailable ("Text cannot be drawn: ...", "Fonts cannot be
// found: ...") when it is not installed or lacks a function, std::bad_alloc when memory ran
// out loading it; a later call tries again.
const TFreeTypeCalls& FreeTypeCalls();
// The file FreeType was loaded from (loading it); empty when the loader does not say.
std::string FreeTypeFile();
const TFontconfigCalls& FontconfigCalls();

} // namespace varimark
