// Textures of the program's resources in the board's texture memory.
#pragma once

// Parses every texture resource and downloads it to texture memory.
bool loadTextures();
