// velmar-cli: the window's logic on a terminal.
#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

#include "Commands.h"
#include "app/Strings.h"
#include "platform/LocalFiles.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args = velmar::CommandLineArguments(argc, argv);
  // The JSON document is read by programs, which match its texts: it stays English, as does
  // the log that goes with it.
  if (std::find(args.begin(), args.end(), "--json") == args.end())
    velmar::SetLanguage(velmar::SystemLanguage());
  velmar::PrepareConsoleForUtf8();
  const velmar::cli::CliStreams streams{std::cout, std::cerr, std::cin,
                                        velmar::StandardOutputIsTerminal(),
                                        velmar::StandardInputIsTerminal()};
  return velmar::cli::RunCli(args, streams);
}
