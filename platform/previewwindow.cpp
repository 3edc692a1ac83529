#include "platform/previewwindow.h"

namespace {
PreviewWindow *Installed = nullptr;
}

PreviewWindow *previewWindow() { return Installed; }
void setPreviewWindow(PreviewWindow *window) { Installed = window; }
