// libFuzzer target of the reader of a font file's own tables (render/FontTables.h).
//
// Input layout: byte 0 the face's index (as a signed byte), then the font file's bytes.
// Whatever the bytes, the reader ends without reading past them; a face it reads has units
// per em of 16..16384 and a cell (Windows ascent + descent) of at least one unit, and the
// same bytes read twice give the same digest.
#include "FuzzCheck.h"
#include "render/FontTables.h"

#include <cstddef>
#include <cstdint>
#include <span>

using namespace varimark;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const int index = static_cast<std::int8_t>(data[0]);
    const std::span<const std::uint8_t> font(data + 1, size - 1);
    TSfntFace face, again;
    const TSfntRead read = ParseSfnt(font, index, face);
    Check(read != TSfntRead::NotAFile, "bytes in memory are always a file");
    if (read != TSfntRead::Read) return 0;
    Check(face.metrics.unitsPerEm >= 16 && face.metrics.unitsPerEm <= 16384, "units per em");
    Check(face.metrics.ascent >= 0 && face.metrics.descent >= 0 &&
              face.metrics.ascent + face.metrics.descent > 0,
          "a cell of at least one unit");
    Check(ParseSfnt(font, index, again) == TSfntRead::Read && again.digest == face.digest,
          "the same digest");
    return 0;
}
