// The --on-open hook: a command run on each hand-off, as a stand-in for the
// host application being launched.
#pragma once

#include <string>

namespace ferlo::cli {

// Runs `/bin/sh -c 'COMMAND "$@"' sh HOSTPATH` and waits for it: the host
// path reaches the command as exactly one argument, never as shell text, so
// spaces, quotes and "$" in it are safe. Its standard output and error go to
// our standard error and its input is /dev/null, so that our own output stays
// one clean document. Gives the exit status (128+signal when killed, 127 when
// the shell could not be started).
int runOnOpenCommand(const std::string& command, const std::string& hostPath);

}  // namespace ferlo::cli
