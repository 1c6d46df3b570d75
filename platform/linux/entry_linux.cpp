// The process entry on Linux: main's arguments are already narrow (UTF-8).

#include "platform/program_main.h"

int main(int argc, char** argv) { return platform::EnterProgram(nullptr, argc, argv); }
