// The 9 x 15 bitmap font.
#pragma once

bool loadFont();
