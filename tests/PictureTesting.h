#pragma once
// Looking at rendered pictures in tests.
#include <QImage>
#include <QRect>

// The bounding box of the dark pixels of a picture.
inline QRect DarkBox(const QImage& image) {
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 128) box |= QRect(x, y, 1, 1);
    return box;
}
