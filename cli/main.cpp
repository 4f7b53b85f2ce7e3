// velmar-cli: the window's logic on a terminal.
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "Commands.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  const velmar::cli::CliStreams streams{std::cout, std::cerr, std::cin, isatty(STDOUT_FILENO) == 1,
                                        isatty(STDIN_FILENO) == 1};
  return velmar::cli::RunCli(args, streams);
}
