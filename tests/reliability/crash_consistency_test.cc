// Writers of "tool-request.json" killed with SIGKILL at random moments, while
// a host-like reader reads the file in a loop: every read is one whole
// request that some writer wrote (or the first one), never a part; and the
// temporary files the killed writers leave behind stay bounded and go once
// they are old enough, as the clean-up policy says.
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <thread>

#include "tests/reliability/reliability_support.h"

namespace ferlo::reliability {
namespace {

// Writer `writer`'s request number `sequence`: its length varies from a few
// bytes to several pages, and its folders say how many there are, so that a
// reader can tell a whole request from anything else that decodes.
ToolRequest makeRequest(int writer, std::uint64_t sequence) {
  ToolRequest request;
  request.action = ToolRequest::Action::mergeFolders;
  request.ruleID = std::to_string(writer) + ":" + std::to_string(sequence);
  const std::size_t count = 1 + (sequence * 7919 + static_cast<std::uint64_t>(writer) * 104729) % 300;
  for (std::size_t i = 0; i < count; ++i)
    request.folders.push_back("/w" + request.ruleID.value() + "/" + std::to_string(i) + "/of/" + std::to_string(count));
  return request;
}

// Whether the bytes decode to exactly what makeRequest made for the writer
// and sequence the request names.
bool isWholeRequest(const Decoded<std::string>& bytes) {
  const Decoded<ToolRequest> decoded = decodeToolRequest(bytes.value.value_or(""));
  if (!decoded || !decoded.value->ruleID) return false;
  const std::string& id = *decoded.value->ruleID;
  const std::size_t colon = id.find(':');
  return colon != std::string::npos &&
         *decoded.value == makeRequest(std::stoi(id.substr(0, colon)), std::stoull(id.substr(colon + 1)));
}

// How many names in `directory` are leftovers of the request's writers.
std::size_t leftovers(const std::string& directory) {
  std::size_t count = 0;
  for (const std::string& name : namesIn(directory)) count += name.starts_with(std::string(".") + kRequestName + ".");
  return count;
}

TEST(CrashConsistency, KilledWritersNeverExposeAPartialRequest) {
  Container container;
  const std::string directory = container.path();
  const std::string path = container / kRequestName;
  ASSERT_TRUE(writeFileAtomically(directory, kRequestName, *encodeToolRequest(makeRequest(0, 0))));

  // Every process is forked before any thread could exist, so the children
  // start from a clean single-threaded copy. The reader reads until the
  // parent raises `stop`, counting its reads and the broken ones (missing,
  // undecodable or not a whole request) in memory it shares with the parent.
  struct Shared { std::atomic<bool> stop{false}; std::atomic<std::uint64_t> reads{0}, broken{0}; };
  void* memory = ::mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(memory, MAP_FAILED);
  Shared& shared = *new (memory) Shared;
  const pid_t reader = ::fork();
  if (reader == 0) {
    for (; !shared.stop.load(); ++shared.reads) shared.broken += !isWholeRequest(readRegularFile(path));
    ::_exit(0);
  }
  ASSERT_GT(reader, 0);

  // Rounds of three concurrent writers, each killed after a random pause;
  // bounded both in rounds and in time, so the test ends by itself.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kSanitized ? 6 : 4);
  std::mt19937 random(20240611);
  std::uniform_int_distribution<int> pauseMicros(0, 6000);
  int kills = 0;
  for (int round = 0; round < (kSanitized ? 60 : 150) && std::chrono::steady_clock::now() < deadline; ++round) {
    pid_t writers[3];
    for (int w = 0; w < 3; ++w) {
      if ((writers[w] = ::fork()) == 0) {
        for (std::uint64_t sequence = 0;; ++sequence) {
          (void)writeFileAtomically(directory, kRequestName, *encodeToolRequest(makeRequest(1 + 3 * round + w, sequence)));
        }
      }
      ASSERT_GT(writers[w], 0);
    }
    for (const pid_t pid : writers) {
      std::this_thread::sleep_for(std::chrono::microseconds(pauseMicros(random)));
      int status = 0;
      ASSERT_TRUE(::kill(pid, SIGKILL) == 0 && ::waitpid(pid, &status, 0) == pid);
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "a writer ended by itself";
      ++kills;
    }
  }

  shared.stop = true;
  int status = 0;
  ASSERT_TRUE(::waitpid(reader, &status, 0) == reader && WIFEXITED(status) && WEXITSTATUS(status) == 0);
  const std::uint64_t reads = shared.reads;
  EXPECT_GT(reads, 0u);
  EXPECT_EQ(shared.broken.load(), 0u) << "broken reads of " << reads;
  EXPECT_TRUE(isWholeRequest(readRegularFile(path)));

  // A killed writer leaves at most its temporary file and the second name of
  // the previous file; its completed writes left nothing.
  EXPECT_LE(leftovers(directory), 2u * static_cast<std::size_t>(kills));
  // One young leftover whatever the timing (the writers clear most of each
  // other's): one of the reader, now gone.
  writeFile(directory + "/." + kRequestName + "." + std::to_string(reader) + ".0123456789abcdef.tmp", "");
  const std::size_t left = leftovers(directory);
  // Young leftovers stay (their writer may only just have died)...
  const int dirFd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY);
  EXPECT_EQ(removeStaleTemporaryFiles(dirFd, kRequestName, realFileCalls()), 0);
  EXPECT_EQ(leftovers(directory), left);
  // ...and once they are older than the threshold, repeated calls (each
  // bounded) remove every one of them, since all their writers are gone.
  const auto later = std::chrono::system_clock::now() + kStaleTemporaryAge + std::chrono::minutes(1);
  std::size_t removed = 0;
  for (int n; (n = removeStaleTemporaryFiles(dirFd, kRequestName, realFileCalls(), later)) > 0;) removed += n;
  ::close(dirFd);
  EXPECT_TRUE(removed == left && leftovers(directory) == 0) << removed << " of " << left << " removed";
  EXPECT_TRUE(isWholeRequest(readRegularFile(path))) << "the clean-up touched the request";
  std::printf("crash loop: %d writers killed, %llu reads, %zu leftovers removed by the clean-up\n", kills,
              static_cast<unsigned long long>(reads), left);
}

}  // namespace
}  // namespace ferlo::reliability
