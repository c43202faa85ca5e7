#pragma once

#include <QIcon>
#include <QPixmap>

// Every picture the program shows, drawn in code (antialiased) the first time
// it is asked for and kept from then on.
namespace quorbel::pictures {

// The main toolbar's 32x32 icons by button position: 0 refresh, 1 add,
// 2 delete, 4 settings, 5 help, 6 minimise. Position 3 (the separator) and
// any other position give a null icon.
QIcon toolbarIcon(int position);

// The 12x12 state picture of a host row: 0 answered (green), 1 missed (grey),
// 2 not yet probed (amber). Any other state gives a null pixmap.
QPixmap statePicture(int state);

// The 24x24 shield shown in the notification area.
QIcon trayIcon();

// The 48x48 shield quartered red, green, blue and yellow with a grey rim.
QPixmap programPicture();

// The same shield at the sizes window decorations ask for (16 to 48).
QIcon programIcon();

}  // namespace quorbel::pictures
