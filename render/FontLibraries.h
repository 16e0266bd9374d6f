#pragma once
// FreeType and fontconfig (with the expat, brotli, libpng and zlib they bring), loaded when
// the first text is drawn or the first face looked up: a process that makes barcodes without
// text never loads them. (Where Qt is linked it has loaded them already.)
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H
#include FT_ADVANCES_H

namespace varimark {

// The FreeType functions the faces call.
struct TFreeTypeCalls {
    decltype(&::FT_Init_FreeType) InitFreeType;
    decltype(&::FT_Open_Face) OpenFace;
    decltype(&::FT_Done_Face) DoneFace;
    decltype(&::FT_Select_Charmap) SelectCharmap;
    decltype(&::FT_Get_Sfnt_Table) GetSfntTable;
    decltype(&::FT_Get_Char_Index) GetCharIndex;
    decltype(&::FT_Get_Advance) GetAdvance;
    decltype(&::FT_Set_Pixel_Sizes) SetPixelSizes;
    decltype(&::FT_Load_Glyph) LoadGlyph;
    decltype(&::FT_Outline_Translate) OutlineTranslate;
    decltype(&::FT_Render_Glyph) RenderGlyph;
    decltype(&::FT_Outline_Decompose) OutlineDecompose;
};

// The fontconfig functions the look-ups call.
struct TFontconfigCalls {
    decltype(&::FcInitLoadConfigAndFonts) InitLoadConfigAndFonts;
    decltype(&::FcConfigDestroy) ConfigDestroy;
    decltype(&::FcConfigGetConfigFiles) ConfigGetConfigFiles;
    decltype(&::FcConfigGetFontDirs) ConfigGetFontDirs;
    decltype(&::FcConfigGetCacheDirs) ConfigGetCacheDirs;
    decltype(&::FcStrListNext) StrListNext;
    decltype(&::FcStrListDone) StrListDone;
    decltype(&::FcPatternCreate) PatternCreate;
    decltype(&::FcPatternAddString) PatternAddString;
    decltype(&::FcPatternAddBool) PatternAddBool;
    decltype(&::FcConfigSubstitute) ConfigSubstitute;
    decltype(&::FcDefaultSubstitute) DefaultSubstitute;
    decltype(&::FcFontMatch) FontMatch;
    decltype(&::FcPatternGetString) PatternGetString;
    decltype(&::FcPatternGetInteger) PatternGetInteger;
    decltype(&::FcPatternDestroy) PatternDestroy;
};

// The library's functions, loaded at the first call (see LoadedOnce in
// export/SharedLibrary.h): ELibraryUnavailable ("Text cannot be drawn: ...", "Fonts cannot be
// found: ...") when it is not installed or lacks a function, std::bad_alloc when memory ran
// out loading it; a later call tries again.
const TFreeTypeCalls& FreeTypeCalls();
const TFontconfigCalls& FontconfigCalls();

} // namespace varimark
