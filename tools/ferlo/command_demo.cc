// ferlo demo: a walk through the whole road — manifest, menu, choice,
// request file, hand-off — on a sample home made for the occasion, with no
// set-up beyond the build.
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/utf8.h"
#include "exchange/identity.h"
#include "exchange/shared_container.h"
#include "extension/command_table.h"
#include "platform/stand_in/localizer.h"
#include "tools/ferlo/command_line.h"
#include "tools/ferlo/command_support.h"
#include "tools/ferlo/commands.h"
#include "tools/ferlo/finder_copy.h"
#include "tools/ferlo/json_output.h"
#include "tools/ferlo/menu_path.h"
#include "tools/ferlo/menu_tree.h"
#include "tools/ferlo/program_location.h"
#include "tools/ferlo/scenario.h"
#include "tools/ferlo/scenario_options.h"

namespace ferlo::cli {
namespace {

namespace fs = std::filesystem;

constexpr std::array kDemoOptions = {OptionSyntax{"keep", false}, OptionSyntax{"locale", true},
                                   OptionSyntax{"resources", true}};

constexpr const char* kDemoHelp =
    "Usage: ferlo demo [--keep] [--locale LOCALE] [--resources DIR]\n"
    "\n"
    "Makes a temporary home with a sample rule manifest (two rules, two watched\n"
    "roots), sample folders and files and a host application bundle, shows the\n"
    "extension's menu for a sample selection, then chooses a rule, flatten,\n"
    "merge and the 7-day expiry in turn, printing each tool-request.json and\n"
    "each hand-off. Needs nothing but the built program.\n"
    "\n"
    "  --keep                 keep the temporary directory (and print commands\n"
    "                         to explore it further)\n"
    "  --locale LOCALE        the locale of the menu texts; default from the\n"
    "                         environment\n"
    "  --resources DIR        localisation tables and BrandGlyph.png; default the\n"
    "                         resources beside the program\n"
    "\n"
    "Without --keep the temporary directory is removed at the end, and also when\n"
    "the demo is stopped by SIGINT, SIGTERM or SIGHUP.\n"
    "\n"
    "Exit status: 0 when every step was shown, 1 when the sample could not be\n"
    "made, the menu lacked an item a step chooses, or a step handed off but its\n"
    "request was not written (the extension says nothing of it; ferlo says on\n"
    "stderr \"the request was not written: \" and why), 2 for a usage error.\n";

struct SampleRule {
  const char* id;
  const char* name;
};
constexpr std::array kSampleRules = {SampleRule{"0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30", "Tidy downloads"},
                                     SampleRule{"7A3C9E1B-4D2F-4B6A-8E05-C1D3F5A7B9E2", "Archive screenshots"}};

std::string shellQuoted(const std::string& text) {
  if (!text.empty() && text.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789/._-=:") ==
                           std::string::npos) {
    return text;
  }
  std::string out = "'";
  for (const char c : text) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out.push_back(c);
    }
  }
  return out + "'";
}

std::string indented(const std::string& text, const std::string& indent) {
  std::string out;
  bool lineStart = true;
  for (const char c : text) {
    if (lineStart) out += indent;
    out.push_back(c);
    lineStart = c == '\n';
  }
  if (!out.empty() && out.back() != '\n') out.push_back('\n');
  return out;
}

bool writeFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

class Demo {
 public:
  Demo(std::string root, std::optional<std::string> locale, std::optional<std::string> resources)
      : root_(std::move(root)), locale_(std::move(locale)), resources_(std::move(resources)) {}

  // Gives the exit status.
  int run() {
    if (!makeSampleFiles()) {
      std::fprintf(stderr, "ferlo demo: cannot create the sample files in %s\n", root_.c_str());
      return kExitFailure;
    }
    std::printf("Ferlo demo: the Finder extension on the stand-in platform, in a temporary home.\n\n");
    std::printf("Temporary directory %s\n", root_.c_str());
    std::printf("  home/                 the user's home, with sample folders and files\n");
    std::printf("  group-containers/%s/\n                        the shared app-group container\n",
                std::string(defaultAppGroupIdentifier()).c_str());
    std::printf("  Applications/Ferlo.app/Contents/PlugIns/FerloFinderSync.appex/\n"
                "                        the extension bundle inside the host application\n\n");

    std::printf("1. The host application runs (%s) and has written rules.json:\n\n",
                deriveHostBundleIdentifier(std::nullopt).c_str());
    std::fputs(indented(manifestText_, "     ").c_str(), stdout);

    Scenario scenario(config());
    std::printf("\n2. The Finder starts the extension; its menus apply in:\n");
    for (const FileURL& url : scenario.platform().directoryURLs()) std::printf("     %s\n", url.absoluteString().c_str());

    std::printf("\n3. The user selects these items and right-clicks (menu kind 0, items):\n");
    for (const FileURL& url : *scenario.platform().config().selectedItemURLs) {
      std::printf("     %s\n", url.path().append(url.hasDirectoryPath() ? "/" : "").c_str());
    }
    std::printf("\n   The extension's menu (ferlo menu --tree):\n\n");
    const Menu menu = scenario.finderSync().menuForMenuKind(0);
    std::fputs(indented(menuTree(menu), "     ").c_str(), stdout);
    if (menu.items.empty()) {
      std::fprintf(stderr, "ferlo demo: the menu came out empty; try `ferlo doctor` with the same scenario\n");
      return kExitFailure;
    }

    int step = 4;
    bool allDone = true;
    const auto choose = [&](const std::string& what, const std::function<bool(const MenuItem&)>& match) {
      allDone = chooseItem(scenario, step++, what, match) && allDone;
    };
    choose("a rule", [](const MenuItem& item) { return item.action == Selector::runRule; });
    choose("flatten", [](const MenuItem& item) { return item.action == Selector::runFlatten; });
    choose("merge", [](const MenuItem& item) { return item.action == Selector::runMergeSelected; });
    choose("the 7-day expiry",
           [](const MenuItem& item) { return item.action == Selector::setExpiry && item.tag == 7; });
    return allDone ? kExitOk : kExitFailure;
  }

  void printExploreCommands() const {
    const FileURL bundle = bundleURL();
    std::string common = " --group-containers " + shellQuoted(root_ + "/group-containers") + " --user-home " +
                         shellQuoted(home()) + " --platform-home " + shellQuoted(home()) + " --bundle-url " +
                         shellQuoted(bundle.absoluteString()) + " --host-running";
    for (const FileURL& url : selection()) common += " --select " + shellQuoted(url.absoluteString());
    std::printf("\nExplore it further, e.g.:\n  ferlo menu --tree%s\n  ferlo doctor%s\n", common.c_str(),
                common.c_str());
  }

 private:
  [[nodiscard]] std::string home() const { return root_ + "/home"; }
  [[nodiscard]] std::string container() const {
    return root_ + "/group-containers/" + std::string(defaultAppGroupIdentifier());
  }
  [[nodiscard]] FileURL bundleURL() const {
    return FileURL::fileURLWithPath(root_ + "/Applications/Ferlo.app/Contents/PlugIns/FerloFinderSync.appex", true);
  }
  [[nodiscard]] std::vector<FileURL> selection() const {
    return {FileURL::fileURLWithPath(home() + "/Old photos", true),
            FileURL::fileURLWithPath(home() + "/New photos", true),
            FileURL::fileURLWithPath(home() + "/Downloads/invoice.pdf", false),
            FileURL::fileURLWithPath(home() + "/Downloads/Café menu.png", false)};
  }

  bool makeSampleFiles() {
    std::error_code error;
    for (const char* dir : {"home/Downloads", "home/Desktop", "home/Old photos", "home/New photos"}) {
      fs::create_directories(fs::path(root_) / dir, error);
      if (error) return false;
    }
    fs::create_directories(bundleURL().path(), error);
    if (error) return false;
    fs::create_directories(container(), error);
    if (error) return false;
    for (const char* file : {"home/Downloads/invoice.pdf", "home/Downloads/Café menu.png", "home/Desktop/notes.txt",
                             "home/Old photos/beach.jpg", "home/New photos/forest.jpg"}) {
      if (!writeFile(fs::path(root_) / file, "sample\n")) return false;
    }
    JsonWriter w(programJson(/*pretty=*/true));
    w.beginObject();
    w.key("rules");
    w.beginArray();
    for (const SampleRule& rule : kSampleRules) {
      w.beginObject();
      w.key("id");
      w.string(rule.id);
      w.key("name");
      w.string(rule.name);
      w.endObject();
    }
    w.endArray();
    w.key("watchedRoots");
    w.beginArray();
    w.string(home() + "/Downloads");
    w.string(home() + "/Desktop");
    w.endArray();
    w.endObject();
    manifestText_ = *w.finish() + "\n";
    return writeFile(fs::path(container()) / "rules.json", manifestText_);
  }

  [[nodiscard]] PosixPlatformConfig config() const {
    PosixPlatformConfig config;
    config.groupContainersRoot = root_ + "/group-containers";
    config.bundleIdentifier = std::string(defaultExtensionIdentifier());
    config.bundleURL = bundleURL();
    config.userHomeOverride = home();
    config.platformHome = home();
    config.selectedItemURLs = selection();
    config.runningBundleIdentifiers.insert(deriveHostBundleIdentifier(std::nullopt));
    config.resourcesDirectory = resources_ ? *resources_ : defaultResourcesDirectory();
    config.locale = locale_ ? *locale_ : localeFromEnvironment();
    return config;
  }

  // False when the menu lacks the item, or when its request was not written.
  bool chooseItem(Scenario& scenario, int step, const std::string& what,
                  const std::function<bool(const MenuItem&)>& match) {
    // The Finder builds the menu afresh each time it is opened.
    const Menu menu = scenario.finderSync().menuForMenuKind(0);
    const auto path = findItemPath(menu, match);
    if (!path) {
      std::printf("\n%d. Choose %s: not in the menu.\n", step, what.c_str());
      return false;
    }
    const Decoded<const MenuItem*> found = findActionItem(menu, *path);
    if (!found) {
      std::printf("\n%d. Choose %s: %s.\n", step, what.c_str(), found.error.why.c_str());
      return false;
    }
    const MenuItem& item = **found;
    std::printf("\n%d. Choose %s: %s (ferlo click %s)\n", step, what.c_str(), displayText(item.title).c_str(),
                formatMenuPath(*path).c_str());
    // As in the Finder: the sender is a copy of the item that keeps its
    // title and tag but not its represented object.
    std::printf("   %s is delivered to the principal object with the Finder's copy of the item:\n"
                "   title %s, tag %lld, no represented object.\n",
                std::string(selectorName(item.action)).c_str(), jsonQuoted(item.title).c_str(),
                static_cast<long long>(item.tag));

    const FileURL requestURL = FileURL::fileURLWithPath(container(), true).appendingPathComponent(kRequestFileName);
    std::error_code ignored;
    fs::remove(requestURL.path(), ignored);  // so that what we show is this choice's request
    const Sender sender = senderOf(finderCopyOf(item));
    scenario.markCommandStart();
    scenario.finderSync().perform(item.action, sender);

    if (auto bytes = scenario.platform().readWholeFile(requestURL)) {
      std::printf("   tool-request.json (%zu bytes):\n     %s\n", bytes->size(), repairUtf8(*bytes).c_str());
    } else {
      std::printf("   No tool-request.json was written.\n");
    }
    if (auto handoff = scenario.lastHandoff()) {
      std::printf("   Hand-off: open %s%s\n", handoff->url.absoluteString().c_str(),
                  handoff->activates ? " and bring it to the front" : "");
    } else {
      std::printf("   No hand-off.\n");
    }
    return reportRequestNotWritten(scenario, "demo") == kExitOk;
  }

  std::string root_;
  std::optional<std::string> locale_;
  std::optional<std::string> resources_;
  std::string manifestText_;
};

// Removes the demo's directory when a signal stops the demo. A signal
// handler may make only async-signal-safe calls, and removing a directory
// tree is not among them; so the demo runs in a child process, and this
// process only waits for it, forwards the stopping signals to it, removes
// the directory once the child is gone however it ended, and then ends the
// way the child did.
class CleanupGuard {
 public:
  // Blocks the stopping signals until split() has a child to forward them to.
  CleanupGuard() {
    sigemptyset(&stopping_);
    for (const int signal : kStoppingSignals) sigaddset(&stopping_, signal);
    ::sigprocmask(SIG_BLOCK, &stopping_, &previousMask_);
  }
  ~CleanupGuard() { ::sigprocmask(SIG_SETMASK, &previousMask_, nullptr); }
  CleanupGuard(const CleanupGuard&) = delete;
  CleanupGuard& operator=(const CleanupGuard&) = delete;

  // In the child: none, and the demo goes on with the signals as they were.
  // In this process: the child's exit status, once it has ended and
  // `directory` is gone; a child ended by a signal is passed on by this
  // process ending by the same signal. Without a child (fork failed) the
  // demo goes on here, unguarded.
  std::optional<int> split(const std::string& directory) {
    std::fflush(stdout);  // or the child would print what is buffered again
    std::fflush(stderr);
    const pid_t pid = ::fork();
    if (pid <= 0) {  // the child, or no child
      ::sigprocmask(SIG_SETMASK, &previousMask_, nullptr);
      return std::nullopt;
    }
    child_ = pid;
    struct sigaction forward {};
    forward.sa_handler = &forwardToChild;
    sigemptyset(&forward.sa_mask);
    std::array<struct sigaction, kStoppingSignals.size()> previous{};
    for (std::size_t i = 0; i < kStoppingSignals.size(); ++i) {
      ::sigaction(kStoppingSignals[i], &forward, &previous[i]);
    }
    ::sigprocmask(SIG_SETMASK, &previousMask_, nullptr);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    ::sigprocmask(SIG_BLOCK, &stopping_, nullptr);
    child_ = 0;
    for (std::size_t i = 0; i < kStoppingSignals.size(); ++i) {
      ::sigaction(kStoppingSignals[i], &previous[i], nullptr);
    }
    std::error_code ignored;
    fs::remove_all(directory, ignored);  // the child removes it when it can end normally
    if (WIFSIGNALED(status)) {
      const int signal = WTERMSIG(status);
      ::signal(signal, SIG_DFL);
      ::sigprocmask(SIG_SETMASK, &previousMask_, nullptr);
      ::raise(signal);
      return 128 + signal;  // not reached unless the signal cannot end us
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : kExitFailure;
  }

 private:
  static constexpr std::array kStoppingSignals = {SIGINT, SIGTERM, SIGHUP};
  static volatile std::sig_atomic_t child_;

  static void forwardToChild(int signal) {
    const int savedErrno = errno;
    if (child_ > 0) ::kill(static_cast<pid_t>(child_), signal);
    errno = savedErrno;
  }

  sigset_t stopping_;
  sigset_t previousMask_;
};

volatile std::sig_atomic_t CleanupGuard::child_ = 0;

}  // namespace

int runDemoCommand(std::span<const std::string> args) {
  auto parsed = parseCommandLine(args, kDemoOptions);
  if (!parsed.value) return usageError("demo", parsed.error.why);
  if (parsed.value->help) return printHelp(kDemoHelp);
  if (!parsed.value->operands.empty()) {
    return usageError("demo", "unexpected argument " + jsonQuoted(parsed.value->operands[0]));
  }
  bool keep = false;
  std::optional<std::string> locale;
  std::optional<std::string> resources;
  for (const ParsedOption& option : parsed.value->options) {
    if (option.name == "keep") keep = true;
    if (option.name == "locale") locale = option.value;
    if (option.name == "resources") resources = absolutePath(option.value);
  }

  const char* tmp = std::getenv("TMPDIR");
  // Absolute, since every path the demo shows and writes derives from it.
  std::string pattern = absolutePath(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/ferlo-demo-XXXXXX";
  // From before the directory exists, a stopping signal must find someone
  // to clean up after it.
  std::optional<CleanupGuard> guard;
  if (!keep) guard.emplace();
  if (::mkdtemp(pattern.data()) == nullptr) {
    std::fprintf(stderr, "ferlo demo: cannot create a temporary directory from %s\n", pattern.c_str());
    return kExitFailure;
  }
  if (guard) {
    if (auto parentStatus = guard->split(pattern)) return *parentStatus;
  }
  Demo demo(pattern, locale, resources);
  const int status = demo.run();
  std::fflush(stdout);
  if (keep) {
    std::printf("\nKept %s.\n", pattern.c_str());
    demo.printExploreCommands();
  } else {
    std::error_code error;
    fs::remove_all(pattern, error);
    std::printf("\nRemoved %s (--keep keeps it).\n", pattern.c_str());
  }
  return status;
}

}  // namespace ferlo::cli
