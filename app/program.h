// Connects the program's parts: the scenes and the saver's window and priority
// hooks are registered with the frame loop, which knows nothing above itself.
#pragma once

// Idempotent; runSaver calls it first.
void connectProgram();
