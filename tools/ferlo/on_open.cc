#include "tools/ferlo/on_open.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace ferlo::cli {

int runOnOpenCommand(const std::string& command, const std::string& hostPath) {
  // The child writes to the same stderr: flush ours first so the order holds.
  std::fflush(stdout);
  std::fflush(stderr);
  const std::string script = command + " \"$@\"";
  const pid_t pid = ::fork();
  if (pid < 0) {
    std::fprintf(stderr, "ferlo: --on-open: cannot start a process\n");
    return 127;
  }
  if (pid == 0) {
    const int devNull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (devNull >= 0) ::dup2(devNull, STDIN_FILENO);
    ::dup2(STDERR_FILENO, STDOUT_FILENO);
    ::signal(SIGXFSZ, SIG_DFL);  // ignored by the program, not by what it runs
    ::execl("/bin/sh", "sh", "-c", script.c_str(), "sh", hostPath.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return 127;
  }
  int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  if (code != 0) std::fprintf(stderr, "ferlo: --on-open command ended with status %d\n", code);
  return code;
}

}  // namespace ferlo::cli
