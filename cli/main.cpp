// velmar-cli: the window's logic on a terminal.
#include <unistd.h>

#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

#include "Commands.h"
#include "app/Strings.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  // The JSON document is read by programs, which match its texts: it stays English, as does
  // the log that goes with it.
  if (std::find(args.begin(), args.end(), "--json") == args.end())
    velmar::SetLanguage(velmar::SystemLanguage());
  const velmar::cli::CliStreams streams{std::cout, std::cerr, std::cin, isatty(STDOUT_FILENO) == 1,
                                        isatty(STDIN_FILENO) == 1};
  return velmar::cli::RunCli(args, streams);
}
