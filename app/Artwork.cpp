#include "app/Artwork.h"

#include <QPainter>
#include <QSvgRenderer>

// The pictures are compiled into the program's library; a static library registers them
// only when asked. Outside any namespace, as the resource's registration function is.
static void LoadArtwork() {
    static const bool kLoaded = [] {
        Q_INIT_RESOURCE(resources);
        return true;
    }();
    (void)kLoaded;
}

namespace varimark {

namespace {

QPixmap Render(const QString& resource, QSize size) {
    LoadArtwork();
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QSvgRenderer renderer(resource);
    QPainter painter(&pixmap);
    renderer.render(&painter);
    return pixmap;
}

} // namespace

QIcon ProgramIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128})
        icon.addPixmap(Render(":/varimark.svg", QSize(size, size)));
    return icon;
}

QIcon ToolImage(TToolImage image) {
    static const char* const kNames[] = {":/save.svg", ":/copy.svg", ":/printer.svg",
                                         ":/rotate.svg", ":/help.svg"};
    return QIcon(Render(kNames[static_cast<int>(image)], QSize(16, 16)));
}

QPixmap SplashPicture(QSize size) {
    return Render(":/splash.svg", size);
}

} // namespace varimark
