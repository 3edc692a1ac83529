// The program's pictures: star glows for the particles, the title cards, the
// credit banner and the preview's title images.
#pragma once

#include <string>

#include "raster.h"

// The typefaces the text is set in (paths to TrueType files).
struct Typefaces {
  TextFace serif;     // the first scene's name
  TextFace bold;      // the second scene's name
  TextFace plain;     // version and credit lines
  TextFace condensed; // small lines
  bool open(const std::string &dir, std::string &error);
};

Picture starGlowWithRays();                 // 101
Picture ringedRedGlow();                    // 102
Picture starburst();                        // 103
Picture firstTitleCard(const Typefaces &t); // 104: 256 x 256, text in the top 180 rows
Plane creditBanner(const Typefaces &t);     // 105: 256 x 128 intensity
Picture softStarGlow();                     // 109
Picture secondTitle(const Typefaces &t);    // 110
Picture firstPreview(const Typefaces &t);   // 111: 152 x 112
Picture secondPreview(const Typefaces &t);  // 112: 152 x 112

// The control panel's pictures, with the alpha channel where they have one.
Picture aboutPicture(const Typefaces &t); // 120: 292 x 212, the About page
Picture monitorPicture(Plane &alpha);     // 121: 96 x 96, the power page's monitor
Picture panelIcon(Plane &alpha);          // 122: 64 x 64, the window's icon
