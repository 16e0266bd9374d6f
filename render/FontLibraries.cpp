#include "render/FontLibraries.h"

#include "export/SharedLibrary.h"

namespace varimark {

namespace {

TFreeTypeCalls LoadFreeType() {
    const TSharedLibrary freetype(VARIMARK_FREETYPE_SONAME);
    TFreeTypeCalls calls{};
    freetype.Resolve(calls.InitFreeType, "FT_Init_FreeType");
    freetype.Resolve(calls.OpenFace, "FT_Open_Face");
    freetype.Resolve(calls.DoneFace, "FT_Done_Face");
    freetype.Resolve(calls.SelectCharmap, "FT_Select_Charmap");
    freetype.Resolve(calls.GetSfntTable, "FT_Get_Sfnt_Table");
    freetype.Resolve(calls.GetCharIndex, "FT_Get_Char_Index");
    freetype.Resolve(calls.GetAdvance, "FT_Get_Advance");
    freetype.Resolve(calls.SetPixelSizes, "FT_Set_Pixel_Sizes");
    freetype.Resolve(calls.LoadGlyph, "FT_Load_Glyph");
    freetype.Resolve(calls.OutlineTranslate, "FT_Outline_Translate");
    freetype.Resolve(calls.RenderGlyph, "FT_Render_Glyph");
    freetype.Resolve(calls.OutlineDecompose, "FT_Outline_Decompose");
    return calls;
}

TFontconfigCalls LoadFontconfig() {
    const TSharedLibrary fontconfig(VARIMARK_FONTCONFIG_SONAME);
    TFontconfigCalls calls{};
    fontconfig.Resolve(calls.InitLoadConfigAndFonts, "FcInitLoadConfigAndFonts");
    fontconfig.Resolve(calls.ConfigDestroy, "FcConfigDestroy");
    fontconfig.Resolve(calls.ConfigGetConfigFiles, "FcConfigGetConfigFiles");
    fontconfig.Resolve(calls.ConfigGetFontDirs, "FcConfigGetFontDirs");
    fontconfig.Resolve(calls.ConfigGetCacheDirs, "FcConfigGetCacheDirs");
    fontconfig.Resolve(calls.StrListNext, "FcStrListNext");
    fontconfig.Resolve(calls.StrListDone, "FcStrListDone");
    fontconfig.Resolve(calls.PatternCreate, "FcPatternCreate");
    fontconfig.Resolve(calls.PatternAddString, "FcPatternAddString");
    fontconfig.Resolve(calls.PatternAddBool, "FcPatternAddBool");
    fontconfig.Resolve(calls.ConfigSubstitute, "FcConfigSubstitute");
    fontconfig.Resolve(calls.DefaultSubstitute, "FcDefaultSubstitute");
    fontconfig.Resolve(calls.FontMatch, "FcFontMatch");
    fontconfig.Resolve(calls.PatternGetString, "FcPatternGetString");
    fontconfig.Resolve(calls.PatternGetInteger, "FcPatternGetInteger");
    fontconfig.Resolve(calls.PatternDestroy, "FcPatternDestroy");
    return calls;
}

} // namespace

const TFreeTypeCalls& FreeTypeCalls() {
    return LoadedOnce<TFreeTypeCalls, LoadFreeType>("Text cannot be drawn");
}

const TFontconfigCalls& FontconfigCalls() {
    return LoadedOnce<TFontconfigCalls, LoadFontconfig>("Fonts cannot be found");
}

} // namespace varimark
