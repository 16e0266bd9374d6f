#include "render/PictureSave.h"

#include "export/FileWriter.h"
#include "export/GIFImage.h"
#include "export/JPEGImage.h"
#include "export/Metafile.h"
#include "export/PngWriter.h"
#include "export/Tiff.h"
#include "render/MagnifiedBitmap.h"
#include "render/SvgSurface.h"

#include <cctype>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace varimark {

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

// A picture's file: the bytes, or for a bitmap file the picture it is made from.
struct TPictureFile {
    TBitmap bitmap;
    bool isBitmap = false;
    std::vector<std::uint8_t> bytes;
};

std::vector<std::uint8_t> AsBytes(const std::string& text) {
    return {text.begin(), text.end()};
}

// libjpeg takes at most 65500 pixels a side: a larger picture is refused before it is drawn.
constexpr int kMaxJpegSide = 65500;

void CheckJpegSize(const TDrawFunction& draw, int margin, int factor, int dpi) {
    const TDrawnSize size = MagnifiedSize(MeasureBarcode(draw, margin, dpi), margin, factor);
    if (size.width > kMaxJpegSide || size.height > kMaxJpegSide)
        throw EPicture("Picture too large for JPEG: " + std::to_string(size.width) + " x " +
                       std::to_string(size.height) + " pixels (at most 65500 a side)");
}

TPictureFile PictureFile(const TDrawFunction& draw, int margin, int factor, int dpi,
                         TPictureType type, bool monochrome) {
    TPictureFile file;
    if (type == TPictureType::Svg) {
        file.bytes = AsBytes(SvgDocument(draw, margin, factor, dpi));
        return file;
    }
    if (type == TPictureType::Jpg) CheckJpegSize(draw, margin, factor, dpi);
    // Every raster format starts from the magnified picture, in memory.
    TBitmap bitmap = MagnifiedBitmap(draw, margin, monochrome, factor, dpi);
    switch (type) {
    case TPictureType::Bmp:
        file.bitmap = std::move(bitmap);
        file.isBitmap = true;
        break;
    case TPictureType::Gif: {
        TGIFImage gif;
        gif.Assign(bitmap);
        file.bytes = gif.SaveToBytes();
        break;
    }
    case TPictureType::Tif:
        bitmap.SetPixelFormat(pf8bit); // a palette picture on the halftone palette
        file.bytes = TiffFileBytes(bitmap);
        break;
    case TPictureType::Jpg: {
        TJPEGImage jpeg;
        jpeg.Assign(bitmap);
        file.bytes = jpeg.Data();
        break;
    }
    case TPictureType::Emf: file.bytes = BitmapMetafileBytes(bitmap); break;
    case TPictureType::Png: file.bytes = PngFileBytes(bitmap); break;
    case TPictureType::Svg: break;
    }
    return file;
}

} // namespace

std::string LowerExtension(const std::string& fileName) {
    const std::size_t dot = ExtensionStart(fileName);
    if (dot == std::string::npos) return {};
    std::string extension = fileName.substr(dot);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension;
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

std::vector<std::uint8_t> BarcodePictureBytes(const TDrawFunction& draw, int margin, int factor,
                                              int dpi, TPictureType type, bool monochrome) {
    TPictureFile file = PictureFile(draw, margin, factor, dpi, type, monochrome);
    // A bitmap file is made where the picture lies, without copying its rows.
    if (file.isBitmap) return std::move(file.bitmap).TakeBmpFile();
    return std::move(file.bytes);
}

TNamedPicture BarcodePictureFile(const TDrawFunction& draw, int margin, int factor, int dpi,
                                 const std::string& fileName, bool monochrome) {
    const std::optional<TPictureType> type = PictureTypeOf(fileName);
    if (!type)
        throw EUnsupportedFileType("Unsupported file type \"" + LowerExtension(fileName) +
                                   "\": use .bmp, .gif, .tif, .jpg, .emf, .png or .svg");
    return {fileName, BarcodePictureBytes(draw, margin, factor, dpi, *type, monochrome)};
}

std::string SaveBarcodePicture(const TDrawFunction& draw, int margin, int factor, int dpi,
                               const std::string& fileName, bool monochrome) {
    const TNamedPicture file = BarcodePictureFile(draw, margin, factor, dpi, fileName, monochrome);
    if (!file.bytes.empty()) WriteFileReplacing(file.name, file.bytes); // else refused silently
    return file.name;
}

} // namespace varimark
