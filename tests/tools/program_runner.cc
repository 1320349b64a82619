#include "tests/tools/program_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace ferlo::testing {

namespace {

// Opens `path` as the child's descriptor `target`; false on failure. Only
// async-signal-safe calls: it runs between fork and exec.
bool redirect(const std::string& path, int flags, int target) {
  const int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
  return fd >= 0 && ::dup2(fd, target) >= 0;
}

}  // namespace

StartedProcess startProcess(const std::string& program, const std::vector<std::string>& args,
                            const std::map<std::string, std::string>& env, const std::string& workingDirectory,
                            const ProcessIo& io) {
  int outPipe[2];
  int errPipe[2];
  int inPipe[2] = {-1, -1};
  if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  if (io.stdinBytes) {
    if (::pipe2(inPipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    // The bytes fit in the pipe's buffer, so this cannot block.
    if (::write(inPipe[1], io.stdinBytes->data(), io.stdinBytes->size()) !=
        static_cast<ssize_t>(io.stdinBytes->size())) {
      throw std::runtime_error("stdin bytes do not fit in a pipe");
    }
    ::close(inPipe[1]);
  }

  // Everything the child needs is prepared before fork: after it, only
  // async-signal-safe calls.
  std::vector<std::string> argStorage{program};
  argStorage.insert(argStorage.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argStorage) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> envStorage;
  for (const auto& [key, value] : env) envStorage.push_back(key + "=" + value);
  std::vector<char*> envp;
  for (std::string& e : envStorage) envp.push_back(e.data());
  envp.push_back(nullptr);
  const std::string stdinPath = io.stdinPath.empty() ? "/dev/null" : io.stdinPath;
  constexpr int kWrite = O_WRONLY | O_CREAT | O_TRUNC;

  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork");
  if (pid == 0) {
    const bool ok = (io.stdinBytes ? ::dup2(inPipe[0], STDIN_FILENO) >= 0 : redirect(stdinPath, O_RDONLY, STDIN_FILENO)) &&
                    (io.stdoutPath.empty() ? ::dup2(outPipe[1], STDOUT_FILENO) >= 0
                                           : redirect(io.stdoutPath, kWrite, STDOUT_FILENO)) &&
                    (io.stderrPath.empty() ? ::dup2(errPipe[1], STDERR_FILENO) >= 0
                                           : redirect(io.stderrPath, kWrite, STDERR_FILENO));
    if (!ok) _exit(124);
    if (io.fileSizeLimit > 0) {
      const rlimit limit{static_cast<rlim_t>(io.fileSizeLimit), static_cast<rlim_t>(io.fileSizeLimit)};
      ::signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails with EFBIG instead
      if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(124);
    }
    if (!workingDirectory.empty() && ::chdir(workingDirectory.c_str()) != 0) _exit(125);
    ::execve(program.c_str(), argv.data(), envp.data());
    _exit(126);
  }
  if (inPipe[0] >= 0) ::close(inPipe[0]);
  ::close(outPipe[1]);
  ::close(errPipe[1]);
  return {pid, outPipe[0], errPipe[0]};
}

ProcessResult finishProcess(const StartedProcess& started) {
  ProcessResult result;
  pollfd fds[2] = {{started.out, POLLIN, 0}, {started.err, POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open = 2;
  while (open > 0) {
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[8192];
      const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  int status = 0;
  while (::waitpid(started.pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::map<std::string, std::string>& env, const std::string& workingDirectory,
                         const ProcessIo& io) {
  return finishProcess(startProcess(program, args, env, workingDirectory, io));
}

TempDir::TempDir() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/ferlo-tools-test-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::operator/(std::string_view relative) const { return path_ + "/" + std::string(relative); }

void makeDirectories(const std::string& path) { std::filesystem::create_directories(path); }

bool pathExists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

void writeFile(const std::string& path, std::string_view bytes) {
  makeDirectories(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "<missing>";
  std::ostringstream contents;
  contents << in.rdbuf();
  return contents.str();
}

namespace {

std::uint32_t crc32(std::string_view bytes) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (const char c : bytes) {
    crc ^= static_cast<unsigned char>(c);
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return crc ^ 0xFFFFFFFFu;
}

void appendBigEndian(std::string& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

}  // namespace

std::string pngHeader(std::uint32_t width, std::uint32_t height) {
  std::string png("\x89PNG\r\n\x1a\n", 8);
  appendBigEndian(png, 13);
  std::string chunk = "IHDR";
  appendBigEndian(chunk, width);
  appendBigEndian(chunk, height);
  chunk += std::string("\x08\x06\x00\x00\x00", 5);  // 8-bit RGBA, no interlace
  png += chunk;
  appendBigEndian(png, crc32(chunk));
  return png;
}

}  // namespace ferlo::testing
