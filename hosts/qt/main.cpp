// The program with its Qt host.
#include "hosts/headless/cli.h"
#include "hosts/qt/qthost.h"

int main(int argc, char **argv) { return lumenveilMain(argc, argv, runQtHost); }
