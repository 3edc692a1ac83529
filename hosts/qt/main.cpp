// The program with its Qt host.
#include "hosts/headless/lumenveilmain.h"
#include "hosts/qt/qthost.h"

int main(int argc, char **argv) { return lumenveilMain(argc, argv, runQtHost); }
