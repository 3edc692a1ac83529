// The program with its Qt host.
#include "platform/headless/cli.h"
#include "platform/qt/qthost.h"

int main(int argc, char **argv) { return lumenveilMain(argc, argv, runQtHost); }
