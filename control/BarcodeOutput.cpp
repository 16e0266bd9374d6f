#include "control/BarcodeOutput.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>

#include <cstring>

namespace varimark {

void CopyToClipboard(const TDrawFunction& draw, int margin, int dpi) {
    const TBitmap bitmap = MagnifiedBitmap(draw, margin, false, 1, dpi);
    QImage image(bitmap.Width(), bitmap.Height(), QImage::Format_BGR888);
    for (int y = 0; y < bitmap.Height(); ++y)
        std::memcpy(image.scanLine(y), bitmap.ScanLine(y),
                    3 * static_cast<std::size_t>(bitmap.Width()));
    QGuiApplication::clipboard()->setImage(image);
}

} // namespace varimark
