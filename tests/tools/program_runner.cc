#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "tests/tools/ferlo_fixture.h"

namespace ferlo::testing {

StartedProcess startProcess(const std::string& program, std::vector<std::string> args,
                            const std::map<std::string, std::string>& env, const std::string& cwd,
                            const ProcessIo& io) {
  int out[2], in[2] = {-1, -1};
  std::FILE* err = std::tmpfile();  // a file, which the child cannot fill up while stdout is unread
  if (err == nullptr || ::pipe2(out, O_CLOEXEC) != 0 || (io.input && ::pipe2(in, O_CLOEXEC) != 0)) {
    throw std::runtime_error("pipe");
  }
  if (io.input) {  // the bytes fit in the pipe's buffer, so this cannot block
    if (::write(in[1], io.input->data(), io.input->size()) != static_cast<ssize_t>(io.input->size())) {
      throw std::runtime_error("stdin bytes do not fit in a pipe");
    }
    ::close(in[1]);
  }
  // Everything the child needs is prepared before fork: after it, only
  // async-signal-safe calls.
  args.insert(args.begin(), program);
  std::vector<std::string> envStorage;
  for (const auto& [key, value] : env) envStorage.push_back(key + "=" + value);
  std::vector<char*> argv, envp;
  for (std::string& a : args) argv.push_back(a.data());
  for (std::string& e : envStorage) envp.push_back(e.data());
  argv.push_back(nullptr);
  envp.push_back(nullptr);
  const std::string stdinPath = io.input ? "" : io.stdinPath.empty() ? "/dev/null" : io.stdinPath;
  // The file `path` when not empty, else the descriptor `fd`, as the child's `target`.
  const auto redirect = [](const std::string& path, int flags, int fd, int target) {
    if (!path.empty()) fd = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
    return fd >= 0 && ::dup2(fd, target) >= 0;
  };
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork");
  if (pid == 0) {
    constexpr int kWrite = O_WRONLY | O_CREAT | O_TRUNC;
    if (!redirect(stdinPath, O_RDONLY, in[0], STDIN_FILENO) || !redirect(io.stdoutPath, kWrite, out[1], STDOUT_FILENO) ||
        !redirect(io.stderrPath, kWrite, ::fileno(err), STDERR_FILENO)) {
      _exit(124);
    }
    if (io.fileSizeLimit > 0) {
      const rlimit limit{static_cast<rlim_t>(io.fileSizeLimit), static_cast<rlim_t>(io.fileSizeLimit)};
      ::signal(SIGXFSZ, SIG_IGN);
      if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(124);
    }
    if (!cwd.empty() && ::chdir(cwd.c_str()) != 0) _exit(125);
    ::execve(program.c_str(), argv.data(), envp.data());
    _exit(126);
  }
  if (in[0] >= 0) ::close(in[0]);
  ::close(out[1]);
  return {pid, out[0], err};
}

ProcessResult finishProcess(const StartedProcess& started) {
  ProcessResult result;
  char buffer[8192];
  for (ssize_t n; (n = ::read(started.out, buffer, sizeof buffer)) != 0;) {
    if (n > 0) result.out.append(buffer, static_cast<std::size_t>(n));
    if (n < 0 && errno != EINTR) break;
  }
  ::close(started.out);
  int status = 0;
  while (::waitpid(started.pid, &status, 0) < 0 && errno == EINTR) {
  }
  std::rewind(started.err);
  for (int c; (c = std::fgetc(started.err)) != EOF;) result.err.push_back(static_cast<char>(c));
  std::fclose(started.err);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

TempDir::TempDir() {
  const char* tmp = std::getenv("TMPDIR");
  path_ = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/ferlo-tools-test-XXXXXX";
  if (::mkdtemp(path_.data()) == nullptr) throw std::runtime_error("mkdtemp");
}

void writeFile(const std::string& path, std::string_view bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream contents;
  contents << in.rdbuf();
  return in ? contents.str() : "<missing>";
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
  for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

std::string pngHeader(std::uint32_t width, std::uint32_t height) {
  const auto bigEndian = [](std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((value >> shift) & 0xFF));
  };
  std::string png("\x89PNG\r\n\x1a\n", 8), chunk = "IHDR";
  bigEndian(png, 13);
  bigEndian(chunk, width);
  bigEndian(chunk, height);
  chunk += std::string("\x08\x06\x00\x00\x00", 5);  // 8-bit RGBA, no interlace
  std::uint32_t crc = 0xFFFFFFFFu;  // the PNG's CRC-32 of the chunk's type and data
  for (const char c : chunk) {
    crc ^= static_cast<unsigned char>(c);
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  bigEndian(png += chunk, crc ^ 0xFFFFFFFFu);
  return png;
}

}  // namespace ferlo::testing
