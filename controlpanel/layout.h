// Where each control of the control-panel dialog sits, for every host that
// draws the dialog: its parent (a group box, or the page itself when null),
// the page, and its rectangle in the parent, in pixels. Later entries are
// drawn over earlier ones.
#pragma once

#include <cstddef>

struct ControlPlace {
  const char *name;
  const char *parent;
  int page;
  int x, y, w, h;
};

extern const ControlPlace ControlPlaces[];
extern const std::size_t ControlPlaceCount;
