// Seconds of processor time the whole process has used, all its threads.
#pragma once

double processCpuSeconds();
