// The program's PNG pictures (the control panel's) as bitmaps the system can
// draw, decoded by the system's imaging component.
#pragma once

#include <windows.h>

// A top-down 32-bit bitmap of the PNG picture resource id, its colours
// premultiplied by its alpha (for AlphaBlend); null when there is no such
// picture or it cannot be decoded. The caller deletes it.
HBITMAP loadPicture(int id, int &width, int &height);
