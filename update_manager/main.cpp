// The `ordwin` program for now: only the headless check; the window comes later.
#include <cstring>
#include <iostream>

#include "update_manager/check_command.h"

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--check") == 0) {
    return RunUpdateCheckCommand(std::cout, std::cerr);
  }
  std::cerr << "usage: ordwin --check\n"
               "  Asks the update site for the latest version and download link of every\n"
               "  product and prints them, one product a line: code, version, link (tabs).\n";
  return 2;
}
