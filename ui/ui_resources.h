// The program's images, compiled into the program.
#pragma once

#include <QIcon>
#include <QPixmap>

// The program icon in its two sizes, 32 x 32 and 16 x 16.
QIcon Program_Icon();

// The logo of the About page: the product name, 261 x 177 pixels.
QPixmap Logo_Pixmap();
