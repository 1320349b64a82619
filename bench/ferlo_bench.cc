// ferlo_bench: the hot paths of a right-click, measured side by side with
// what the peers do with the same inputs, in one run, and printed as one
// table of medians with every figure's ratio to ours.
//
//   ferlo_bench                      # everything, 5 repetitions, then the table
//   ferlo_bench --benchmark_filter=decode/1MB   # a part of it
//
// Ratios are "their median time / our median time": above 1 we are faster.
// Inputs are generated here (bench_inputs.h); the manifests are also written
// to a temporary directory on disk for the reads and the menu builds.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <simdjson.h>
#include <unistd.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_inputs.h"
#include "bench/peer_decoders.h"
#include "exchange/rule_manifest.h"
#include "exchange/tool_request.h"
#include "extension/extension_context.h"
#include "extension/finder_sync.h"
#include "extension/selection.h"
#include "tests/support/selection_reference.h"
#include "platform/fake/fake_platform.h"
#include "platform/files/file_io.h"
#include "platform/stand_in/posix_platform.h"

namespace ferlo::bench {
namespace {

constexpr const char* kGroup = "group.bench.ferlo";
constexpr const char* kHost = "com.example.Host";  // FakePlatform's default bundle id, less its last part

// ---------------------------------------------------------------------------
// Inputs, made once.

// As readWholeFile gives it: spare capacity for the parser's read-ahead.
std::string padded(const std::string& text) {
  std::string bytes;
  bytes.reserve(text.size() + kReadPadding);
  bytes.assign(text);
  return bytes;
}

class TempDirectory {
 public:
  TempDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "ferlo-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      std::perror("mkdtemp");
      std::exit(1);
    }
    path_ = pattern;
  }
  ~TempDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

struct Manifest {
  const ManifestShape* shape;
  std::string bytes;     // padded
  std::string filePath;  // the same bytes on disk
};

struct World {
  TempDirectory temp;
  std::vector<Manifest> manifests;
  std::string containerPath;  // temp/<group>, holding rules.json for the menu builds
};

World& world() {
  static World instance;
  return instance;
}

void writeFile(const std::string& path, const std::string& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() || std::fclose(file) != 0) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::exit(1);
  }
}

const Manifest& manifest(std::string_view label) {
  for (const Manifest& m : world().manifests) {
    if (label == m.shape->label) return m;
  }
  std::abort();
}

// ---------------------------------------------------------------------------
// Manifest decoding.

void registerDecode(const Manifest& m) {
  const std::string group = std::string("decode/") + m.shape->label + "/";
  const auto bytes = static_cast<std::int64_t>(m.bytes.size());
  auto reg = [&](const std::string& impl, auto body) {
    benchmark::RegisterBenchmark((group + impl).c_str(),
                                 [&m, body, bytes](benchmark::State& state) {
                                   for (auto _ : state) body(m);
                                   state.SetBytesProcessed(state.iterations() * bytes);
                                 })
        ->Unit(benchmark::kMicrosecond);
  };
  reg("ferlo", [](const Manifest& in) {
    Decoded<RuleManifest> decoded = decodeRuleManifest(in.bytes);
    benchmark::DoNotOptimize(decoded);
  });
#if defined(FERLO_BENCH_HAVE_NLOHMANN)
  reg("nlohmann", [](const Manifest& in) {
    std::optional<RuleManifest> decoded = decodeWithNlohmann(in.bytes);
    benchmark::DoNotOptimize(decoded);
  });
#endif
#if defined(FERLO_BENCH_HAVE_RAPIDJSON)
  reg("rapidjson", [](const Manifest& in) {
    std::optional<RuleManifest> decoded = decodeWithRapidJson(in.bytes);
    benchmark::DoNotOptimize(decoded);
  });
#endif
  // The library's own limit: validation and the tape, nothing taken out.
  reg("simdjson-dom", [](const Manifest& in) {
    simdjson::dom::parser parser;
    simdjson::dom::element root;
    auto error = parser.parse(in.bytes).get(root);
    benchmark::DoNotOptimize(error);
    benchmark::DoNotOptimize(root);
  });
  // The parse and a walk to every rule's id and name, taking nothing out:
  // what the DOM's own API costs before our checks and copies.
  reg("simdjson-dom+walk", [](const Manifest& in) {
    simdjson::dom::parser parser;
    simdjson::dom::element root;
    std::size_t seen = 0;
    if (parser.parse(in.bytes).get(root) == simdjson::SUCCESS) {
      for (simdjson::dom::element rule : root["rules"].get_array()) {
        for (simdjson::dom::key_value_pair field : rule.get_object()) {
          std::string_view text;
          if (field.value.get(text) == simdjson::SUCCESS) seen += text.size();
        }
      }
    }
    benchmark::DoNotOptimize(seen);
  });
  // The same with a parser kept from call to call (which the extension may
  // not do: a fresh decoder per call).
  benchmark::RegisterBenchmark((group + "simdjson-dom-reused").c_str(),
                               [&m, bytes](benchmark::State& state) {
                                 simdjson::dom::parser parser;
                                 for (auto _ : state) {
                                   simdjson::dom::element root;
                                   auto error = parser.parse(m.bytes).get(root);
                                   benchmark::DoNotOptimize(error);
                                   benchmark::DoNotOptimize(root);
                                 }
                                 state.SetBytesProcessed(state.iterations() * bytes);
                               })
      ->Unit(benchmark::kMicrosecond);
  // The machine's limit: the bytes from the page cache into memory.
  reg("read-file", [](const Manifest& in) {
    Decoded<std::string> read = readRegularFile(in.filePath);
    benchmark::DoNotOptimize(read);
  });
  // Ours from disk: what a menu pays for the manifest.
  reg("read+ferlo", [](const Manifest& in) {
    Decoded<std::string> read = readRegularFile(in.filePath);
    Decoded<RuleManifest> decoded = decodeRuleManifest(*read);
    benchmark::DoNotOptimize(decoded);
  });
}

// ---------------------------------------------------------------------------
// Selection.

const char* scriptName(NameScript script) { return script == NameScript::ascii ? "ascii" : "mixed"; }

void registerSelection(std::size_t items, std::size_t roots, NameScript script, bool withNaive) {
  auto input = std::make_shared<SelectionInput>(makeSelection(items, roots, script));
  const std::string group =
      "select/" + std::to_string(items) + "x" + std::to_string(roots) + "/" + scriptName(script) + "/";
  benchmark::RegisterBenchmark((group + "ferlo").c_str(),
                               [input](benchmark::State& state) {
                                 FakePlatform platform;
                                 platform.selection = input->items;
                                 for (auto _ : state) {
                                   std::vector<FileURL> files = selectedFileURLs(readSelection(platform), input->roots);
                                   benchmark::DoNotOptimize(files.data());
                                 }
                                 state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(input->items.size()));
                               })
      ->Unit(benchmark::kMicrosecond);
  if (!withNaive) return;
  auto* naive = benchmark::RegisterBenchmark((group + "naive").c_str(), [input](benchmark::State& state) {
    FakePlatform platform;
    platform.selection = input->items;
    for (auto _ : state) {
      std::vector<FileURL> files = selectedFileURLsReference(readSelection(platform), input->roots);
      benchmark::DoNotOptimize(files.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(input->items.size()));
  });
  naive->Unit(benchmark::kMicrosecond);
  // Tens of seconds per call: one call is measurement enough for a ratio in
  // the hundreds, and more would make the run unbearably long.
  if (items * roots >= 1'000'000) naive->Repetitions(1)->Iterations(1);
}

// ---------------------------------------------------------------------------
// Whole menu builds: the extension's menuForMenuKind with the manifest read
// from disk at every build.

// The in-memory platform, but with rules.json read from the real file.
class DiskBackedPlatform : public FakePlatform {
 public:
  std::optional<std::string> readWholeFile(const FileURL& url) override { return readRegularFile(url.path()).value; }
};

void configureFake(FakePlatform& platform, std::size_t items) {
  platform.infoDictionary["TarvelinAppGroup"] = InfoValue::makeText(kGroup);
  platform.containers.emplace(kGroup, FileURL::fileURLWithPath(world().containerPath, true));
  platform.runningBundleIdentifiers.insert(kHost);
  platform.images["BrandGlyph"] = ImageSize{32, 32};
  platform.selection = makeMenuSelection(items, manifestWatchedRoots());
}

std::string containerFor(const std::string& label) { return world().temp.path() + "/menu-" + label; }

void registerMenu(const std::string& label, std::size_t items) {
  const Manifest& m = manifest(label);
  const std::string group = "menu/" + label + "+" + std::to_string(items) + "/";
  // Every menu build reads its own container's rules.json.
  const std::string root = containerFor(label);
  std::filesystem::create_directories(root + "/" + kGroup);
  writeFile(root + "/" + kGroup + "/rules.json", m.bytes);

  benchmark::RegisterBenchmark((group + "ferlo").c_str(),
                               [root, items](benchmark::State& state) {
                                 DiskBackedPlatform platform;
                                 configureFake(platform, items);
                                 platform.containers.insert_or_assign(kGroup, FileURL::fileURLWithPath(root + "/" + kGroup, true));
                                 ExtensionContext context(platform);
                                 FinderSync finder(context);
                                 for (auto _ : state) {
                                   Menu menu = finder.menuForMenuKind(0);
                                   benchmark::DoNotOptimize(menu);
                                 }
                               })
      ->Unit(benchmark::kMicrosecond);

  // The same on the POSIX stand-in, whose localised texts and upper-casing
  // go through ICU: what the `ferlo` program pays.
  benchmark::RegisterBenchmark((group + "posix-stand-in").c_str(),
                               [root, items](benchmark::State& state) {
                                 PosixPlatformConfig config;
                                 config.groupContainersRoot = root;
                                 config.bundleIdentifier = std::string(kHost) + ".FinderSync";
                                 config.infoDictionary["TarvelinAppGroup"] = InfoValue::makeText(kGroup);
                                 config.runningBundleIdentifiers.insert(kHost);
                                 config.resourcesDirectory = FERLO_RESOURCES_DIR;
                                 config.selectedItemURLs = makeMenuSelection(items, manifestWatchedRoots());
                                 PosixPlatform platform(std::move(config));
                                 ExtensionContext context(platform);
                                 FinderSync finder(context);
                                 for (auto _ : state) {
                                   Menu menu = finder.menuForMenuKind(0);
                                   benchmark::DoNotOptimize(menu);
                                 }
                               })
      ->Unit(benchmark::kMicrosecond);
}

// ---------------------------------------------------------------------------
// The request write, with its full durability, on the real file system.

ToolRequest sampleRequest() {
  ToolRequest request;
  request.action = ToolRequest::Action::runRule;
  request.folders = {"/Users/user/Downloads/Caf\u00e9 receipts"};
  request.ruleID = "0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30";
  return request;
}

void registerWrite() {
  const std::string root = world().temp.path() + "/write";
  std::filesystem::create_directories(root + "/" + kGroup);
  benchmark::RegisterBenchmark("write/tool-request/ferlo",
                               [root](benchmark::State& state) {
                                 PosixPlatformConfig config;
                                 config.groupContainersRoot = root;
                                 config.bundleIdentifier = std::string(kHost) + ".FinderSync";
                                 config.infoDictionary["TarvelinAppGroup"] = InfoValue::makeText(kGroup);
                                 PosixPlatform platform(std::move(config));
                                 Identity identity(platform);
                                 const ToolRequest request = sampleRequest();
                                 for (auto _ : state) {
                                   if (tryWriteToolRequest(platform, identity, request) != WriteOutcome::written) {
                                     state.SkipWithError("the write failed");
                                     break;
                                   }
                                 }
                               })
      ->Unit(benchmark::kMicrosecond)
      ->UseRealTime();
  // What the replace costs without flushing anything: the file system's
  // floor, and so what the durability costs.
  benchmark::RegisterBenchmark("write/tool-request/no-flush",
                               [root](benchmark::State& state) {
                                 const std::string dir = root + "/" + kGroup;
                                 const std::string temp = dir + "/.tool-request.json.tmp";
                                 const std::string target = dir + "/tool-request.json";
                                 const std::string bytes = *encodeToolRequest(sampleRequest());
                                 for (auto _ : state) {
                                   const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
                                   const bool ok = fd >= 0 &&
                                                   ::write(fd, bytes.data(), bytes.size()) ==
                                                       static_cast<ssize_t>(bytes.size()) &&
                                                   ::close(fd) == 0 && ::rename(temp.c_str(), target.c_str()) == 0;
                                   if (!ok) {
                                     state.SkipWithError("the write failed");
                                     break;
                                   }
                                 }
                               })
      ->Unit(benchmark::kMicrosecond)
      ->UseRealTime();
}

// ---------------------------------------------------------------------------
// Sanity: every peer decodes the same manifest to the same records, and the
// naive selection agrees with ours, before anything is timed.

void checkAgreement() {
  for (const Manifest& m : world().manifests) {
    Decoded<RuleManifest> ours = decodeRuleManifest(m.bytes);
    if (!ours || ours.value->rules.size() != m.shape->rules) {
      std::fprintf(stderr, "ferlo does not decode the %s manifest: %s %s\n", m.shape->label, ours.error.where.c_str(),
                   ours.error.why.c_str());
      std::exit(1);
    }
#if defined(FERLO_BENCH_HAVE_NLOHMANN)
    if (decodeWithNlohmann(m.bytes) != ours.value) {
      std::fprintf(stderr, "nlohmann disagrees on the %s manifest\n", m.shape->label);
      std::exit(1);
    }
#endif
#if defined(FERLO_BENCH_HAVE_RAPIDJSON)
    if (decodeWithRapidJson(m.bytes) != ours.value) {
      std::fprintf(stderr, "RapidJSON disagrees on the %s manifest\n", m.shape->label);
      std::exit(1);
    }
#endif
  }
  for (NameScript script : {NameScript::ascii, NameScript::mixed}) {
    const SelectionInput input = makeSelection(1000, 100, script);
    FakePlatform platform;
    platform.selection = input.items;
    const Selection selection = readSelection(platform);
    const auto ours = selectedFileURLs(selection, input.roots);
    if (ours != selectedFileURLsReference(selection, input.roots) || ours.empty()) {
      std::fprintf(stderr, "the naive selection disagrees (%s)\n", scriptName(script));
      std::exit(1);
    }
  }
}

// ---------------------------------------------------------------------------
// The table.

struct Figure {
  double seconds = 0;  // median real time per call
  std::int64_t repetitions = 0;
};

class TableCollector : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
      if (!median && !single) continue;
      Figure& figure = figures[run.run_name.function_name];
      figure.seconds = run.GetAdjustedRealTime() / unitsPerSecond(run.time_unit);
      figure.repetitions = run.repetitions;
    }
  }
  std::map<std::string, Figure> figures;

 private:
  static double unitsPerSecond(benchmark::TimeUnit unit) {
    switch (unit) {
      case benchmark::kNanosecond: return 1e9;
      case benchmark::kMicrosecond: return 1e6;
      case benchmark::kMillisecond: return 1e3;
      case benchmark::kSecond: return 1;
    }
    return 1;
  }
};

std::string formatTime(double seconds) {
  char text[32];
  if (seconds < 1e-6) {
    std::snprintf(text, sizeof text, "%.0f ns", seconds * 1e9);
  } else if (seconds < 1e-3) {
    std::snprintf(text, sizeof text, "%.2f us", seconds * 1e6);
  } else if (seconds < 1) {
    std::snprintf(text, sizeof text, "%.2f ms", seconds * 1e3);
  } else {
    std::snprintf(text, sizeof text, "%.2f s", seconds);
  }
  return text;
}

std::string groupOf(const std::string& name) { return name.substr(0, name.rfind('/')); }
std::string implOf(const std::string& name) { return name.substr(name.rfind('/') + 1); }

std::int64_t bytesOfGroup(const std::string& group) {
  for (const Manifest& m : world().manifests) {
    if (group == std::string("decode/") + m.shape->label) return static_cast<std::int64_t>(m.bytes.size());
  }
  return 0;
}

// Groups in the order they were registered, implementations likewise.
void printTable(const TableCollector& collector, const std::vector<std::string>& order) {
  std::printf("\n== Results: medians of real time, all from this run; ratio = their time / our time\n");
  std::printf("%-30s %-22s %12s %12s %10s\n", "case", "implementation", "median", "MB/s", "ratio");
  std::string lastGroup;
  for (const std::string& name : order) {
    auto found = collector.figures.find(name);
    if (found == collector.figures.end()) continue;
    const std::string group = groupOf(name);
    const auto ours = collector.figures.find(group + "/ferlo");
    const double seconds = found->second.seconds;
    char throughput[32] = "";
    if (const std::int64_t bytes = bytesOfGroup(group); bytes > 0) {
      std::snprintf(throughput, sizeof throughput, "%.0f", static_cast<double>(bytes) / seconds / 1e6);
    }
    char ratio[32] = "";
    if (ours != collector.figures.end() && implOf(name) != "ferlo") {
      std::snprintf(ratio, sizeof ratio, "%.2fx", seconds / ours->second.seconds);
    } else if (implOf(name) == "ferlo") {
      std::snprintf(ratio, sizeof ratio, "1.00x");
    }
    std::printf("%-30s %-22s %12s %12s %10s\n", group == lastGroup ? "" : group.c_str(), implOf(name).c_str(),
                formatTime(seconds).c_str(), throughput, ratio);
    lastGroup = group;
  }
}

void printGoals(const TableCollector& collector) {
  auto seconds = [&](const std::string& name) -> double {
    auto found = collector.figures.find(name);
    return found == collector.figures.end() ? -1 : found->second.seconds;
  };
  std::printf("\n== Goals\n");
  auto ratioGoal = [&](const std::string& what, const std::string& theirs, const std::string& ours, double atLeast) {
    const double t = seconds(theirs);
    const double o = seconds(ours);
    if (t < 0 || o < 0) {
      std::printf("  %-62s not measured in this run\n", what.c_str());
      return;
    }
    const double ratio = t / o;
    std::printf("  %-62s %8.2fx  (goal >= %.2fx)  %s\n", what.c_str(), ratio, atLeast, ratio >= atLeast ? "met" : "MISSED");
  };
  auto timeGoal = [&](const std::string& what, const std::string& ours, double below) {
    const double o = seconds(ours);
    if (o < 0) {
      std::printf("  %-62s not measured in this run\n", what.c_str());
      return;
    }
    std::printf("  %-62s %9s  (goal < %s)  %s\n", what.c_str(), formatTime(o).c_str(), formatTime(below).c_str(),
                o < below ? "met" : "MISSED");
  };
  for (const char* size : {"1MB", "64MB"}) {
    const std::string g = std::string("decode/") + size;
    ratioGoal("decode " + std::string(size) + ": nlohmann time / ours", g + "/nlohmann", g + "/ferlo", 15);
    ratioGoal("decode " + std::string(size) + ": RapidJSON time / ours", g + "/rapidjson", g + "/ferlo", 5);
    ratioGoal("decode " + std::string(size) + ": our throughput / simdjson DOM (fresh parser)", g + "/simdjson-dom",
              g + "/ferlo", 0.70);
    ratioGoal("decode " + std::string(size) + ": our throughput / simdjson DOM (reused parser)",
              g + "/simdjson-dom-reused", g + "/ferlo", 0.70);
  }
  for (const char* script : {"ascii", "mixed"}) {
    const std::string s = script;
    ratioGoal("select 10000 paths x 1000 roots (" + s + "): naive time / ours", "select/10000x1000/" + s + "/naive",
              "select/10000x1000/" + s + "/ferlo", 100);
    const double many = seconds("select/10000x10000/" + s + "/ferlo");
    const double few = seconds("select/10000x10/" + s + "/ferlo");
    if (many > 0 && few > 0) {
      std::printf("  %-62s %8.2fx  (goal <= 1.50x)  %s\n",
                  ("select 10000 paths (" + s + "): time with 10000 roots / with 10").c_str(), many / few,
                  many / few <= 1.5 ? "met" : "MISSED");
    }
  }
  timeGoal("menu build, 1 KB manifest + 10 items", "menu/1KB+10/ferlo", 50e-6);
  timeGoal("menu build, 1 MB manifest + 1000 items", "menu/1MB+1000/ferlo", 5e-3);
  timeGoal("writeToolRequest, file and directory flushed", "write/tool-request/ferlo", 1e-3);
}

bool hasFlag(int argc, char** argv, std::string_view prefix) {
  for (int i = 1; i < argc; ++i) {
    if (std::string_view(argv[i]).starts_with(prefix)) return true;
  }
  return false;
}

}  // namespace
}  // namespace ferlo::bench

int main(int argc, char** argv) {
  using namespace ferlo::bench;

  // Medians of several repetitions by default: the machine is shared.
  std::vector<char*> args(argv, argv + argc);
  std::string repetitions = "--benchmark_repetitions=5";
  std::string aggregates = "--benchmark_report_aggregates_only=true";
  std::string minTime = "--benchmark_min_time=0.2";
  if (!hasFlag(argc, argv, "--benchmark_repetitions")) args.push_back(repetitions.data());
  if (!hasFlag(argc, argv, "--benchmark_report_aggregates_only") && !hasFlag(argc, argv, "--benchmark_display_aggregates_only")) {
    args.push_back(aggregates.data());
  }
  if (!hasFlag(argc, argv, "--benchmark_min_time")) args.push_back(minTime.data());
  // Repetitions of different benchmarks in random order, so that a burst of
  // load from elsewhere on the machine spreads over all of them instead of
  // spoiling the ratio of two neighbours.
  std::string interleave = "--benchmark_enable_random_interleaving=true";
  if (!hasFlag(argc, argv, "--benchmark_enable_random_interleaving")) args.push_back(interleave.data());
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;

  World& w = world();
  std::fprintf(stderr, "ferlo_bench: generating inputs in %s ...\n", w.temp.path().c_str());
  for (const ManifestShape& shape : kManifestShapes) {
    Manifest m{&shape, padded(makeManifestText(shape)), w.temp.path() + "/rules-" + shape.label + ".json"};
    writeFile(m.filePath, m.bytes);
    w.manifests.push_back(std::move(m));
  }
  checkAgreement();

  for (const Manifest& m : w.manifests) registerDecode(m);
  for (NameScript script : {NameScript::ascii, NameScript::mixed}) {
    for (std::size_t items : {10u, 1000u, 10000u}) {
      for (std::size_t roots : {10u, 1000u, 10000u}) {
        // The naive version where it finishes within a second, and at the
        // size the goal names.
        registerSelection(items, roots, script, items * roots <= 100'000 || (items == 10000 && roots == 1000));
      }
    }
  }
  registerMenu("1KB", 10);
  registerMenu("1MB", 1000);
  registerWrite();

  TableCollector collector;
  benchmark::RunSpecifiedBenchmarks(&collector);

  // The registration order, for the table.
  std::vector<std::string> order;
  for (const Manifest& m : w.manifests) {
    for (const char* impl : {"ferlo", "nlohmann", "rapidjson", "simdjson-dom", "simdjson-dom+walk",
                             "simdjson-dom-reused", "read-file", "read+ferlo"}) {
      order.push_back(std::string("decode/") + m.shape->label + "/" + impl);
    }
  }
  for (const char* script : {"ascii", "mixed"}) {
    for (const char* items : {"10", "1000", "10000"}) {
      for (const char* roots : {"10", "1000", "10000"}) {
        for (const char* impl : {"ferlo", "naive"}) {
          order.push_back(std::string("select/") + items + "x" + roots + "/" + script + "/" + impl);
        }
      }
    }
  }
  for (const char* menu : {"menu/1KB+10", "menu/1MB+1000"}) {
    order.push_back(std::string(menu) + "/ferlo");
    order.push_back(std::string(menu) + "/posix-stand-in");
  }
  order.push_back("write/tool-request/ferlo");
  order.push_back("write/tool-request/no-flush");

  std::printf("\nManifests: ");
  for (const Manifest& m : w.manifests) {
    std::printf("%s = %zu bytes, %zu rules; ", m.shape->label, m.bytes.size(), m.shape->rules);
  }
  std::printf("\n");
#if !defined(FERLO_BENCH_HAVE_NLOHMANN)
  std::printf("note: nlohmann/json was not found at configuration; its figures are left out\n");
#endif
#if !defined(FERLO_BENCH_HAVE_RAPIDJSON)
  std::printf("note: RapidJSON was not found at configuration; its figures are left out\n");
#endif
  printTable(collector, order);
  printGoals(collector);
  benchmark::Shutdown();
  return 0;
}
