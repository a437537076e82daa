// brevant-host: a command-line VST3 host (see HostCommands.cpp for the commands).
#include "HostCommands.h"

#include <iostream>

int main(int argc, char** argv)
{
  std::vector<std::string> args(argv + 1, argv + argc);
  return brevant::host::RunHost(args, std::cout, std::cerr);
}
