// The frame-rate read-out.
#pragma once

void resetFrameStats();
void updateFrameStats();
