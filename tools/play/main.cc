#include "player.h"

int main(int argc, char** argv) { return orvo::play::runCommandLine(argc, argv); }
