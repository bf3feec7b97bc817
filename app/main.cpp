// The host's entry of the Calvaro program.
#include "CalvaroApp.h"
#include "winmain.h"

int main(int argc, char** argv) { return OrviRunWinMain(argc, argv, WinMain); }
