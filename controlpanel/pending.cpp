// The dialog comes later; until then it does nothing.
#include "controlpanel/mainform.h"

void showPreviewPanel() {}
