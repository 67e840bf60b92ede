#pragma once

#include <QPixmap>

// The window's pictures, drawn rather than shipped as files.
namespace Pictures {
// 230 x 130: a weighing scale and the maker's name.
QPixmap scaleLogo();
// 32 x 32 flags: index 0 English, index 1 Polish.
QPixmap flag(int index);
}  // namespace Pictures
