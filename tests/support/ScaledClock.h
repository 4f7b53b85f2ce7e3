#pragma once
#include "platform/Clock.h"

namespace velmar::testing {

using velmar::ScaledClock;

}  // namespace velmar::testing
