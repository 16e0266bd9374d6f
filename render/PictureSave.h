#pragma once
// Saving the barcode as a picture file whose format the file name's extension chooses:
// the one save function of the desktop program and the command-line tool.
#include "render/MagnifiedPicture.h"
#include "varimark/error.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace varimark {

enum class TPictureType { Bmp, Gif, Tif, Jpg, Emf, Png, Svg };

// A name whose extension chooses no format; nothing was written.
class EUnsupportedFileType : public varimark::Error {
public:
    using varimark::Error::Error;
};

// The extension of a file name from the last dot of its name part on, dot included, in
// lower case; empty when there is none.
std::string LowerExtension(const std::string& fileName);
// The format of a name: ".bmp", ".gif", ".tif", ".jpg", ".emf", ".png" or ".svg".
std::optional<TPictureType> PictureTypeOf(const std::string& fileName);

// The whole file of the barcode magnified factor times with a white margin (in pixels
// before magnifying) in the format type, from the magnified picture of the control's
// output service (the vector format draws the same layout at the same size): exactly
// the bytes SaveBarcodePicture writes for a name of that format.
std::vector<std::uint8_t> BarcodePictureBytes(const TDrawFunction& draw, int margin, int factor,
                                              int dpi, TPictureType type, bool monochrome = false);

// A picture file for a name: the name exactly as given (whatever the case of its
// extension) and the bytes in the format of its extension (empty for a picture the format
// refuses silently, a 4-bit TIFF narrower than 4 pixels). Raises EUnsupportedFileType for
// another extension, before anything is drawn.
struct TNamedPicture {
    std::string name;
    std::vector<std::uint8_t> bytes;
};
TNamedPicture BarcodePictureFile(const TDrawFunction& draw, int margin, int factor, int dpi,
                                 const std::string& fileName, bool monochrome = false);

// Writes the barcode's picture file (as BarcodePictureFile) under its name and returns the
// name. The file is written completely before it takes the name, so on any
// failure an old file is intact and nothing partial stays; a FIFO or character device
// is written into. Raises EUnsupportedFileType for another extension, before anything
// is drawn.
std::string SaveBarcodePicture(const TDrawFunction& draw, int margin, int factor, int dpi,
                               const std::string& fileName, bool monochrome = false);

} // namespace varimark
