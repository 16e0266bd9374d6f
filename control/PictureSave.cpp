#include "PictureSave.h"

#include "BarcodeOutput.h"
#include "FileWriter.h"
#include "GIFImage.h"
#include "JPEGImage.h"
#include "Metafile.h"
#include "PngWriter.h"
#include "SvgSurface.h"
#include "Tiff.h"

#include <cctype>

namespace {

std::size_t ExtensionStart(const std::string& fileName) {
    const std::size_t slash = fileName.find_last_of('/');
    const std::size_t dot = fileName.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return std::string::npos;
    return dot;
}

// The vector picture: the same layout at the same magnified size.
std::string SvgDocument(const TDrawFunction& draw, int margin, int factor, int dpi) {
    const TDrawnSize size = MeasureBarcode(draw, margin, dpi);
    MagnifiedSize(size, margin, factor); // refuses the factor or a picture too large
    TSvgSurface surface(dpi, dpi);
    draw(surface, margin, margin);
    return surface.Document(size.width + 2 * margin, size.height + 2 * margin, factor);
}

} // namespace

std::string LowerExtension(const std::string& fileName) {
    const std::size_t dot = ExtensionStart(fileName);
    if (dot == std::string::npos) return {};
    std::string extension = fileName.substr(dot);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension;
}

std::string ReplaceExtension(const std::string& fileName, const std::string& extension) {
    const std::size_t dot = ExtensionStart(fileName);
    return (dot == std::string::npos ? fileName : fileName.substr(0, dot)) + extension;
}

std::optional<TPictureType> PictureTypeOf(const std::string& fileName) {
    static const std::pair<const char*, TPictureType> kTypes[] = {
        {".bmp", TPictureType::Bmp}, {".gif", TPictureType::Gif}, {".tif", TPictureType::Tif},
        {".jpg", TPictureType::Jpg}, {".emf", TPictureType::Emf}, {".png", TPictureType::Png},
        {".svg", TPictureType::Svg}};
    const std::string extension = LowerExtension(fileName);
    for (const auto& [name, type] : kTypes)
        if (extension == name) return type;
    return std::nullopt;
}

std::string SaveBarcodePicture(const TDrawFunction& draw, int margin, int factor, int dpi,
                               const std::string& fileName, bool monochrome) {
    const std::optional<TPictureType> type = PictureTypeOf(fileName);
    if (!type)
        throw EUnsupportedFileType("Unsupported file type \"" + LowerExtension(fileName) +
                                   "\": use .bmp, .gif, .tif, .jpg, .emf, .png or .svg");
    if (*type == TPictureType::Svg) {
        WriteFileReplacing(fileName, SvgDocument(draw, margin, factor, dpi));
        return fileName;
    }
    // Every raster format starts from the magnified picture, in memory.
    TBitmap bitmap = MagnifiedBitmap(draw, margin, monochrome, factor, dpi);
    switch (*type) {
    case TPictureType::Bmp: {
        const std::string name = ReplaceExtension(fileName, ".bmp");
        bitmap.SaveToFile(name);
        return name;
    }
    case TPictureType::Gif: {
        TGIFImage gif;
        gif.Assign(bitmap);
        gif.SaveToFile(fileName);
        return fileName;
    }
    case TPictureType::Tif: {
        const std::string name = ReplaceExtension(fileName, ".tif");
        bitmap.SetPixelFormat(pf8bit); // a palette picture on the halftone palette
        WriteTiffFile(name, bitmap);
        return name;
    }
    case TPictureType::Jpg: {
        TJPEGImage jpeg;
        jpeg.Assign(bitmap);
        jpeg.SaveToFile(fileName);
        return fileName;
    }
    case TPictureType::Emf: SaveBitmapAsMetafile(bitmap, fileName); return fileName;
    case TPictureType::Png: WriteFileReplacing(fileName, PngFileBytes(bitmap)); return fileName;
    case TPictureType::Svg: break;
    }
    return fileName;
}
