// The control-panel dialog's logic.
#pragma once

// Shows the live 3D preview panel (called once the display opened).
void showPreviewPanel();
