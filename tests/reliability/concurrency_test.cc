// Several Finder threads on one principal object over the real POSIX
// stand-in: real manifest reads, real atomic writes, the ICU-backed
// localisation and the PNG lookup, with the four once-values first used by
// all threads at once, and a host reading the request file meanwhile (what
// the ThreadSanitizer run of the suite checks).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <latch>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "extension/menu_builder.h"
#include "extension/rule_item_tags.h"
#include "tests/reliability/reliability_support.h"

// ICU's LocalizedNumberFormatter is documented as immutable and thread-safe;
// after a few calls it compiles itself once and publishes the result with an
// atomic store that ThreadSanitizer cannot see (ICU is not built with it), so
// the first reads on other threads look like a race. Only stacks inside ICU
// are suppressed; a race in our own code still fails the run.
#if FERLO_TSAN
extern "C" const char* __tsan_default_suppressions() { return "race:icu_*::number::impl::\n"; }
#endif

namespace ferlo::reliability {
namespace {

// Counts the platform reads behind the once-values: the brand glyph, the
// bundle identifier and the app group of the Info.plist.
struct CountingPlatform : PosixPlatform {
  using PosixPlatform::PosixPlatform;
  std::optional<ImageSize> imageNamed(std::string_view name) override { return ++reads, PosixPlatform::imageNamed(name); }
  std::optional<std::string> bundleIdentifier() override { return ++reads, PosixPlatform::bundleIdentifier(); }
  std::optional<InfoValue> objectForInfoDictionaryKey(std::string_view key) override {
    return ++reads, PosixPlatform::objectForInfoDictionaryKey(key);
  }
  std::atomic<int> reads{0};
};

// Whether `bytes` is the whole request of one of the commands.
bool isValid(const std::string& bytes) {
  return std::ranges::any_of(kCommands, [&](const CommandCase& command) { return bytes == command.expectedRequest; });
}

TEST(RealPlatformConcurrency, ManyFinderThreadsOnOneObject) {
  Container container;
  writeFile(container / kRulesName, manifestText(3, {"/home/user/w"}));
  // What a single thread sees, on a platform and context of its own.
  const std::string expectedMenu = describe(Extension<>(container.config(selection())).finderSync.menuForMenuKind(0));
  ASSERT_TRUE(expectedMenu.find("BrandGlyph") != std::string::npos && expectedMenu.find("setExpiry:") != std::string::npos)
      << expectedMenu;

  Extension<CountingPlatform> extension(container.config(selection()));
  constexpr int kThreads = 8;
  std::latch start(kThreads + 1);
  std::atomic<int> wrongMenus{0}, commandsRun{0}, badReads{0}, goodReads{0};
  std::atomic<bool> finished{false};
  std::vector<std::pair<const void*, const void*>> onceValues(kThreads);  // brand glyph, day choices

  std::thread host([&] {
    start.arrive_and_wait();
    while (!finished.load()) {
      // Nothing yet, or one whole request.
      if (const Decoded<std::string> bytes = readRegularFile(container / kRequestName)) ++(isValid(*bytes) ? goodReads : badReads);
    }
  });
  std::vector<std::thread> finderThreads;
  for (int t = 0; t < kThreads; ++t) {
    finderThreads.emplace_back([&, t] {
      const auto useOnceValues = [&] {
        onceValues[t] = {&extension.context.brandGlyphImage(), &extension.context.expiryDayChoices()};
      };
      start.arrive_and_wait();  // first uses of every once-value coincide
      // Half the threads reach the once-values directly, half through a menu.
      if (t % 2 == 0) useOnceValues();
      for (int round = 0; round < (kSanitized ? 8 : 30); ++round) {
        const auto kind = static_cast<std::uint64_t>((t + round) % 4);
        wrongMenus += describe(extension.finderSync.menuForMenuKind(kind)) != (kind <= 1 ? expectedMenu : describe(Menu{}));
        const CommandCase& command = kCommands[(t + round) % 4];
        extension.finderSync.perform(command.selector, command.sender);
        ++commandsRun;
      }
      if (t % 2 == 1) useOnceValues();
    });
  }
  for (auto& thread : finderThreads) thread.join();
  finished = true;
  host.join();

  EXPECT_EQ(wrongMenus.load(), 0);
  EXPECT_EQ(badReads.load(), 0) << "of " << badReads.load() + goodReads.load() << " reads";
  EXPECT_EQ(static_cast<int>(extension.platform.opens().size()), commandsRun.load()) << "one hand-off per command";
  EXPECT_EQ(std::ranges::count(onceValues, onceValues[0]), kThreads) << "a once-value was stored twice";
  EXPECT_EQ(extension.platform.reads.load(), 3) << "a once-value was computed twice";
  EXPECT_TRUE(isValid(readRegularFile(container / kRequestName).value.value_or("")));
  EXPECT_EQ(namesIn(container.path()), (std::set<std::string>{kRequestName, kRulesName}))
      << "concurrent writers left temporary files";
}

// Menus outrun the window of tags on two threads while two others click
// Finder copies (tag and title only) of their rule items: a copy finds the
// rule its item showed or nothing, never another. The items of a menu share
// its title, so within a menu only the tag tells them apart.
TEST(RuleItemTagsConcurrency, CopiesFindTheirRuleOrNothingWhileMenusComeAndGo) {
  using Shown = std::pair<std::string, std::vector<std::pair<std::int64_t, Uuid>>>;  // title; items' tag and id
  constexpr std::size_t kClicks = kSanitized ? 20000 : 200000;
  RuleItemTags tags(7);
  std::mutex mutex;
  std::vector<std::shared_ptr<const Shown>> shown(4);  // the latest menus, a ring
  std::atomic<int> clickers{2}, menus{0}, wrong{0}, found{0};
  std::atomic<std::uint64_t> ids{0};
  std::vector<std::jthread> threads;
  for (std::size_t t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (std::size_t step = t; t < 2 ? clickers.load() > 0 : step < kClicks; ++step) {
        if (t < 2) {
          auto menu = std::make_shared<Shown>(std::to_string(t) + "." + std::to_string(step), 2000);  // a title of its own
          RuleItemTags::Batch batch = tags.begin(2000);
          for (auto& [tag, id] : menu->second) {
            const std::uint64_t n = ++ids;
            std::memcpy(id.bytes.data(), &n, sizeof n);
            tag = batch.add(id, menu->first);
          }
          tags.record(std::move(batch));
          // While the other builder's batch is in flight its share of the window is not
          // given out again: a menu may get no tags at all, and no one clicks it then.
          const std::lock_guard lock(mutex);
          if (menu->second[0].first != 0) shown[static_cast<std::size_t>(menus++) % shown.size()] = std::move(menu);
          continue;
        }
        const auto menu = [&] { const std::lock_guard lock(mutex); return shown[step % shown.size()]; }();
        if (!menu) {
          --step;  // the first menu is still being built
          continue;
        }
        const auto& [tag, id] = menu->second[step * 131 % menu->second.size()];
        if (const std::optional<Uuid> got = tags.resolve(tag, menu->first)) ++(*got == id ? found : wrong);
      }
      if (t >= 2) --clickers;
    });
  }
  threads.clear();  // joins
  EXPECT_EQ(wrong.load(), 0) << found.load() << " found in " << menus.load() << " menus";
  EXPECT_GT(found.load(), 0);
}

}  // namespace
}  // namespace ferlo::reliability
