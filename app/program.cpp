#include "app/program.h"

#include "app/power.h"
#include "app/saverwindow.h"
#include "display/frameloop.h"
#include "firstscene/firstscene.h"
#include "secondscene/secondscene.h"

void connectProgram() {
  registerScene(0, {buildFirstScene, stepFirstScene, resetFirstScene});
  registerScene(1, {buildSecondScene, stepSecondScene, resetSecondScene});
  setFrameLoopHooks({setTaskPriority, bringRenderWindowToFront});
}
