#include "app/AboutBox.h"

#include "app/Artwork.h"

#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

namespace varimark {

TAboutBox::TAboutBox(QWidget* owner) : QDialog(owner) {
    setWindowTitle("About Varimark");
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(384, 208);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::white);
    setPalette(palette);

    // The picture, unscaled, in a frame that starts 8 pixels left of the edge.
    auto* picture = new QLabel(this);
    picture->setGeometry(-8, 0, 241, 222);
    picture->setPixmap(SplashPicture());
    picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    picture->installEventFilter(this);

    QFont font("Arial");
    font.setPixelSize(11);
    // Short lines: each is shown whole in the 136 pixels right of the picture.
    const char* const lines[] = {
        "\u00a9 The Varimark project",
        "Varimark 1.0",
        "Barcodes for the desktop:",
        "EAN, UPC, Code 39,",
        "2 of 5, Codabar,",
        "Code 128, Postnet, MSI.",
        "Help: F1, or",
        "varimark-cli --help",
    };
    int y = 12;
    for (const char* line : lines) {
        auto* label = new QLabel(QString::fromUtf8(line), this);
        label->setFont(font);
        label->setGeometry(248, y, width() - 248, 16);
        label->setAttribute(Qt::WA_TranslucentBackground);
        label->installEventFilter(this);
        y += 22;
    }

    okButton_ = new QPushButton("O&k", this);
    okButton_->setGeometry(160, 216, 75, 25); // below the visible client area
    okButton_->setDefault(true);
    connect(okButton_, &QPushButton::clicked, this, [this] { CancelButtonClick(); });

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
}

void TAboutBox::CancelButtonClick() {
    done(QDialog::Rejected);
}

void TAboutBox::mousePressEvent(QMouseEvent*) {
    CancelButtonClick();
}

bool TAboutBox::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress) {
        CancelButtonClick();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace varimark
