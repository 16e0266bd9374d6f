#pragma once
// The splash window: no border, the picture in a black frame, the rights line.
#include <QWidget>

namespace varimark {

class TSplashScreen : public QWidget {
public:
    TSplashScreen();

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace varimark
