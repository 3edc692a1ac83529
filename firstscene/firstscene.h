// The first scene's director.
#pragma once

void buildFirstScene(bool saver, bool motionBlur);
void stepFirstScene(bool motionBlur);
void resetFirstScene();
