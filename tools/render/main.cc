#include "cli.h"

int main(int argc, char** argv) { return orvo::render::runCommandLine(argc, argv); }
