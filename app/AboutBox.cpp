#include "app/AboutBox.h"

#include "app/Artwork.h"

#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

namespace varimark {

namespace {

constexpr int kMargin = 8;     // around the picture and the button
constexpr int kTextLeft = 248; // where the notice starts

} // namespace

TAboutBox::TAboutBox(QWidget* owner) : QDialog(owner) {
    setWindowTitle("About Varimark");
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(384, 208);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::white);
    setPalette(palette);

    // The picture, scaled whole into its place left of the notice: nothing of it is cut.
    const QRect place(kMargin, kMargin, kTextLeft - 2 * kMargin, height() - 2 * kMargin);
    auto* picture = new QLabel(this);
    picture->setGeometry(place);
    picture->setPixmap(
        SplashPicture(SplashPicture().size().scaled(place.size(), Qt::KeepAspectRatio)));
    picture->setAlignment(Qt::AlignCenter);
    picture->setAccessibleName("Varimark");
    picture->setAccessibleDescription("The program's picture: its name above a barcode");
    picture->installEventFilter(this);

    QFont font("Arial");
    font.setPixelSize(11);
    // Short lines: each is shown whole in the 136 pixels right of the picture, and all of
    // them above the button.
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
    int y = kMargin;
    for (const char* line : lines) {
        auto* label = new QLabel(QString::fromUtf8(line), this);
        label->setFont(font);
        label->setGeometry(kTextLeft, y, width() - kTextLeft, 16);
        label->setAttribute(Qt::WA_TranslucentBackground);
        label->installEventFilter(this);
        y += 20;
    }

    // In the lower right corner, below the notice.
    okButton_ = new QPushButton("O&k", this);
    okButton_->setGeometry(width() - kMargin - 75, height() - kMargin - 25, 75, 25);
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
