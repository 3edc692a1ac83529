// The nebula sky: a noise-painted cube bent onto a sphere of radius 500 around
// the origin, with its background stars. A scene builds it once and draws it
// first in every frame, before its own objects.
#pragma once

// Seeds the noise, builds the patches, scatters the stars and downloads the
// coarse face textures. r, g, b, a tint the sky (0..255).
void buildBackdrop(bool motionBlur, float r, float g, float b, float a);

// Draws the sky and its stars through the current camera and refines the face
// textures a little. Changes the dither mode; the caller restores it.
void drawBackdrop(bool motionBlur);
