// velmar-cli: the window's logic on a terminal.
#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

#include "Commands.h"
#include "Session.h"
#include "platform/Termination.h"
#include "app/Strings.h"
#include "platform/LocalFiles.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args = velmar::CommandLineArguments(argc, argv);
  velmar::WatchTerminationRequests([] {
    velmar::cli::Session::Interrupt();
    // An HTTP request in flight is not cut short; the run ends by this bound all the same.
    velmar::ExitAfter(1800, velmar::cli::kExitInterrupted);
  });
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
