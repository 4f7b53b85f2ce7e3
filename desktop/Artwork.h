#pragma once
#include <QIcon>
#include <QPixmap>
#include <QSize>

namespace velmar {

// The program's pictures, drawn here in vector form so they stay sharp at any size.

// The window, tray and About box icon: a handheld tool.
QIcon ApplicationIcon();
// The product picture of the main window: the handheld tool reading a tyre's sensor.
QPixmap ProductPicture(const QSize& size);
// The keys of the boot-mode caution box: 0 the power key, 1 the key to hold, 2 the key to
// press while holding it. Transparent around the key.
QPixmap KeyPicture(int which, const QSize& size);

}  // namespace velmar
