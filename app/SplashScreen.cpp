#include "SplashScreen.h"

#include "Artwork.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

TSplashScreen::TSplashScreen() : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint) {
    setFixedSize(288, 223);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
}

void TSplashScreen::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    painter.drawPixmap(0, 0, SplashPicture());
    QFont font("Arial");
    font.setPixelSize(11);
    painter.setFont(font);
    painter.setPen(QColor(40, 40, 40));
    painter.drawText(QRect(0, 196, 280, 20), Qt::AlignRight | Qt::AlignVCenter,
                     QString::fromUtf8("\u00a9 The Varimark project"));
}
