#pragma once
// The program's pictures: the icon, the toolbar images and the splash/about picture,
// drawn from the scalable originals in the resources.
#include <QIcon>
#include <QPixmap>

namespace varimark {

enum class TToolImage { Save = 0, Copy = 1, Printer = 2, Rotate = 3, Help = 4 };

QIcon ProgramIcon();
QIcon ToolImage(TToolImage image); // 16 x 16
QPixmap SplashPicture(QSize size = QSize(288, 222));

} // namespace varimark
