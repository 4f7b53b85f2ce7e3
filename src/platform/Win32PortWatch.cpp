// Windows: no watch of its own here; the scanner's polling finds a plugged-in tool.
#include "platform/PortWatch.h"

namespace velmar {

PortWatch& SystemPortWatch() {
  static NoPortWatch none;
  return none;
}

}  // namespace velmar
