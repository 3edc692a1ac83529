// The small animated preview drawn into the display settings' window.
#pragma once

#include "platform/window.h"

void runPreview(WindowHandle parent, void *instance);
