// libFuzzer target of the picture reader: any bytes either read as a picture whose levels
// fill width * height within the size limit, with a resolution of 1 to 100000 dpi or none (a
// note saying why only when none), or are refused with a varimark::Error that says why.
// Nothing else may come out: no other exception, no crash, no hang, no unbounded memory.
// fuzz/regressions/picture_reader_fuzzer-* hold files that once cost far more than their
// picture: compressed PNG texts, progressive JPEG scans (alone and in a TIFF strip).
#include "FuzzCheck.h"
#include "varimark/error.h"
#include "verify/PictureReader.h"

#include <cstddef>
#include <cstdint>
#include <span>

using namespace varimark;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        const TGreyPicture picture = ReadGreyPicture(std::span(data, size));
        Check(picture.width > 0 && picture.height > 0, "a picture has pixels");
        Check(static_cast<long long>(picture.width) * picture.height <= kMaxGreyPixels,
              "a picture is within the size limit");
        Check(picture.level.size() == std::size_t(picture.width) * std::size_t(picture.height),
              "the levels fill the picture");
        for (double dpi : {picture.dpiX, picture.dpiY})
            Check(dpi == 0 || (dpi >= 1 && dpi <= 100000),
                  "a resolution is 1 to 100000 dpi or none");
        Check(picture.resolutionNote.empty() || (picture.dpiX == 0 && picture.dpiY == 0),
              "a resolution is noted only when it is taken as none");
    } catch (const Error& e) {
        Check(e.what()[0] != 0, "a refusal says why");
    }
    return 0;
}
