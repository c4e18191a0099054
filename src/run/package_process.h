// Starting the communications package's command line and waiting for it to end: the
// platform layer's process calls under the names the run uses.
#pragma once

#include "platform/process.h"

namespace edi::run {

using platform::PlainCommand;
using platform::SplitPlainCommand;
using platform::StartCommand;
using platform::WaitForChild;
using platform::WaitOutcome;

}  // namespace edi::run
