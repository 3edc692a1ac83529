// The second scene's director.
#pragma once

void buildSecondScene(bool saver, bool motionBlur);
void stepSecondScene(bool motionBlur);
void resetSecondScene();
