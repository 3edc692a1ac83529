// The star-field scene's title: its name fading in and out in front of the stars.
#pragma once

#include "scene/kindlist.h"
#include "scene/star.h"

struct cTitle : Star {
  // A title shown for life seconds; saver chooses the placement of every title
  // alive (the last one made decides). Null when memory is exhausted.
  static cTitle *create(int life, bool saver);
  static ObjectKindList<cTitle> &list();
  static bool anyAlive();
  static bool saverFlag();
  static void setRenderState();
  static void step();
  static void clearKind();
};

void drawTitle(cTitle &o);
void fadeInTitle(cTitle &o);
void fadeOutTitle(cTitle &o);
