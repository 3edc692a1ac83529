// The program with its Qt host and its idle watcher.
#include "hosts/headless/lumenveilmain.h"
#include "hosts/idle/idlewatcher.h"
#include "hosts/qt/qthost.h"

int main(int argc, char **argv) { return lumenveilMain(argc, argv, runQtHost, runIdleWatcher); }
