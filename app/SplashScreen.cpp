#include "app/SplashScreen.h"

#include "app/Artwork.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

namespace varimark {

TSplashScreen::TSplashScreen() : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint) {
    setFixedSize(288, 223);
    // A window without a title: a screen reader says this instead.
    setAccessibleName("Varimark");
    setAccessibleDescription("Varimark is starting");
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
}

void TSplashScreen::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // The black panel, and the picture inside it leaving a 1-pixel black frame on every side.
    painter.fillRect(rect(), Qt::black);
    const QRect inside = rect().adjusted(1, 1, -1, -1);
    painter.drawPixmap(inside.topLeft(), SplashPicture(inside.size()));
    QFont font("Arial");
    font.setPixelSize(11);
    painter.setFont(font);
    painter.setPen(QColor(40, 40, 40));
    painter.drawText(QRect(1, 196, 279, 20), Qt::AlignRight | Qt::AlignVCenter,
                     QString::fromUtf8("\u00a9 The Varimark project"));
}

} // namespace varimark
