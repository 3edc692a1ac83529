// The program built without a windowed host.
#include "hosts/headless/lumenveilmain.h"

int main(int argc, char **argv) { return lumenveilMain(argc, argv, nullptr); }
