#pragma once
// Saving the barcode as a picture file whose format the file name's extension chooses:
// the one save function of the desktop program and the command-line tool.
#include "MagnifiedPicture.h"

#include <optional>
#include <stdexcept>
#include <string>

enum class TPictureType { Bmp, Gif, Tif, Jpg, Emf, Png, Svg };

// A name whose extension chooses no format; nothing was written.
class EUnsupportedFileType : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The extension of a file name from the last dot of its name part on, dot included, in
// lower case; empty when there is none.
std::string LowerExtension(const std::string& fileName);
// The name with its last extension replaced by (or, without one, followed by) extension.
std::string ReplaceExtension(const std::string& fileName, const std::string& extension);
// The format of a name: ".bmp", ".gif", ".tif", ".jpg", ".emf", ".png" or ".svg".
std::optional<TPictureType> PictureTypeOf(const std::string& fileName);

// Writes the barcode magnified factor times with a white margin (in pixels before
// magnifying) in the format of the name's extension, from the magnified picture of the
// control's output service (the vector format draws the same layout at the same size).
// ".bmp" and ".tif" names get their extension in lower case; returns the name written.
// The file is written completely beside its target and renamed over it, so on any
// failure an old file is intact and nothing partial stays. Raises EUnsupportedFileType
// for another extension, before anything is drawn.
std::string SaveBarcodePicture(const TDrawFunction& draw, int margin, int factor, int dpi,
                               const std::string& fileName, bool monochrome = false);
