#include "bench/bench_inputs.h"

#include <array>
#include <string_view>

namespace ferlo::bench {
namespace {

// A word in its precomposed (NFC) and decomposed (NFD) forms; equal for
// ASCII and for scripts without decompositions.
struct Word {
  std::string_view nfc;
  std::string_view nfd;
};

constexpr std::array<Word, 12> kAsciiWords = {{
    {"Tidy", "Tidy"}, {"downloads", "downloads"}, {"Archive", "Archive"}, {"screenshots", "screenshots"},
    {"Invoices", "Invoices"}, {"Photos", "Photos"}, {"by", "by"}, {"date", "date"},
    {"Move", "Move"}, {"old", "old"}, {"Projects", "Projects"}, {"Music", "Music"},
}};

constexpr std::array<Word, 10> kOtherWords = {{
    {"Caf\u00e9", "Cafe\u0301"},
    {"R\u00e9sum\u00e9", "Re\u0301sume\u0301"},
    {"\u00dcber", "U\u0308ber"},
    {"\u00c5ngstr\u00f6m", "A\u030angstro\u0308m"},
    {"na\u00efve", "nai\u0308ve"},
    {"S\u00e3o", "Sa\u0303o"},
    {"Cr\u00e8me", "Cre\u0300me"},
    {"\u0394\u03b5\u03b4\u03bf\u03bc\u03ad\u03bd\u03b1", "\u0394\u03b5\u03b4\u03bf\u03bc\u03b5\u0301\u03bd\u03b1"},
    {"\u0424\u043e\u0442\u043e", "\u0424\u043e\u0442\u043e"},
    {"\u5199\u771f\u306e\u6574\u7406", "\u5199\u771f\u306e\u6574\u7406"},
}};

// Name fragments as they stand in the JSON text: some with escapes that the
// decoder must undo.
constexpr std::array<std::string_view, 6> kEscapedFragments = {
    "Q1\\/Q2", "\\\"Inbox\\\"", "\\u00e9t\\u00e9", "tab\\tstop", "\xf0\x9f\x8e\xb5", "\\ud83d\\udcf7",
};

constexpr std::string_view kHexUpper = "0123456789ABCDEF";
constexpr std::string_view kHexLower = "0123456789abcdef";

void appendId(std::string& out, Sequence& random, std::size_t index) {
  const std::uint64_t high = random.next();
  const std::uint64_t low = random.next();
  std::size_t digit = 0;
  for (int i = 0; i < 32; ++i) {
    if (i == 8 || i == 12 || i == 16 || i == 20) out.push_back('-');
    const std::uint64_t word = i < 16 ? high : low;
    const unsigned nibble = static_cast<unsigned>((word >> (4 * (15 - (i % 16)))) & 0xF);
    // Upper, lower, and mixed case within one id.
    const bool upper = index % 3 == 0 || (index % 3 == 2 && digit % 2 == 0);
    out.push_back((upper ? kHexUpper : kHexLower)[nibble]);
    ++digit;
  }
}

// A name of about `length` bytes (as written in JSON): words, some
// non-ASCII in either normal form, now and then an escaped fragment.
void appendName(std::string& out, Sequence& random, std::size_t length) {
  const std::size_t start = out.size();
  const bool ascii = random.below(10) < 6;
  while (out.size() - start < length) {
    if (out.size() != start) out.push_back(' ');
    const std::size_t pick = random.below(16);
    if (!ascii && pick < 5) {
      const Word& word = kOtherWords[random.below(kOtherWords.size())];
      out.append(random.below(2) == 0 ? word.nfc : word.nfd);
    } else if (!ascii && pick == 5) {
      out.append(kEscapedFragments[random.below(kEscapedFragments.size())]);
    } else {
      out.append(kAsciiWords[random.below(kAsciiWords.size())].nfc);
    }
  }
  if (random.below(4) == 0) out.append(" ").append(std::to_string(random.below(1000)));
}

}  // namespace

std::vector<std::string> manifestWatchedRoots() {
  return {"/Users/user/Downloads", "/Users/user/Desktop/", "/Users/user/Documents/Caf\u00e9",
          "/Users/user/Pictures/\u5199\u771f", "/Volumes/Archive"};
}

std::string makeManifestText(const ManifestShape& shape) {
  Sequence random(0x5EEDF00DULL + shape.rules);
  std::string text;
  text.reserve(shape.targetBytes + 4096);
  text += "{\"version\":2,\"rules\":[\n";
  std::string roots = "\"watchedRoots\":[";
  bool first = true;
  for (const std::string& root : manifestWatchedRoots()) {
    if (!first) roots += ",";
    first = false;
    roots += "\"" + root + "\"";
  }
  roots += "]}\n";

  // {"id":"<36>","name":"<name>"},\n  is 55 bytes beside the name.
  constexpr std::size_t kLineOverhead = 55;
  const std::size_t fixed = text.size() + roots.size() + 4;
  const std::size_t perRule = shape.targetBytes > fixed ? (shape.targetBytes - fixed) / shape.rules : 0;
  const std::size_t nameBytes = perRule > kLineOverhead + 2 ? perRule - kLineOverhead : 2;

  for (std::size_t i = 0; i < shape.rules; ++i) {
    const std::size_t length = nameBytes / 2 + random.below(nameBytes + 1);
    const bool nameFirst = i % 5 == 4;
    text += "{";
    if (nameFirst) {
      text += "\"name\":\"";
      appendName(text, random, length);
      text += "\",";
    }
    text += "\"id\":\"";
    appendId(text, random, i);
    text += "\"";
    if (!nameFirst) {
      text += ",\"name\":\"";
      appendName(text, random, length);
      text += "\"";
    }
    text += i + 1 == shape.rules ? "}\n" : "},\n";
  }
  text += "],";
  text += roots;
  return text;
}

namespace {

// One root in both normal forms, and how the host wrote it.
struct Root {
  std::string nfc;
  std::string nfd;
  bool writtenNfd = false;
  bool trailingSlash = false;

  std::string written() const {
    std::string text = writtenNfd ? nfd : nfc;
    if (trailingSlash) text.push_back('/');
    return text;
  }
  // How the Finder spells it: the other form.
  const std::string& spelledByFinder() const { return writtenNfd ? nfc : nfd; }
};

const Word& pickWord(Sequence& random, NameScript script) {
  if (script == NameScript::mixed && random.below(2) == 0) return kOtherWords[random.below(kOtherWords.size())];
  return kAsciiWords[random.below(kAsciiWords.size())];
}

void appendBoth(Root& root, std::string_view nfc, std::string_view nfd) {
  root.nfc.append(nfc);
  root.nfd.append(nfd);
}

constexpr std::array<std::string_view, 6> kAreas = {"Projects", "Documents", "Clients", "Shared", "Media", "Work"};
constexpr std::array<std::string_view, 5> kExtensions = {".txt", ".pdf", ".png", ".jpeg", ".md"};

std::vector<Root> makeRoots(std::size_t count, NameScript script, Sequence& random) {
  std::vector<Root> roots(count);
  for (std::size_t r = 0; r < count; ++r) {
    Root& root = roots[r];
    appendBoth(root, "/Users/user/", "/Users/user/");
    const std::string_view area = kAreas[r % kAreas.size()];
    appendBoth(root, area, area);
    const std::size_t depth = 1 + random.below(3);
    for (std::size_t d = 0; d < depth; ++d) {
      const Word& word = pickWord(random, script);
      appendBoth(root, "/", "/");
      appendBoth(root, word.nfc, word.nfd);
    }
    // Unique, and a prefix of its neighbours' names ("-1" of "-12"), so that
    // the appended "/" has work to do.
    const std::string number = "-" + std::to_string(r);
    appendBoth(root, number, number);
    root.writtenNfd = r % 2 == 1;
    root.trailingSlash = r % 10 == 3;
  }
  return roots;
}

std::string fileName(std::size_t i, Sequence& random, NameScript script) {
  std::string name;
  const Word& word = pickWord(random, script);
  name.append(random.below(2) == 0 ? word.nfc : word.nfd);
  name += "-" + std::to_string(i);
  name.append(kExtensions[random.below(kExtensions.size())]);
  return name;
}

}  // namespace

SelectionInput makeSelection(std::size_t items, std::size_t rootCount, NameScript script) {
  Sequence random(0xC0FFEEULL * (items + 1) + rootCount + (script == NameScript::mixed ? 7 : 0));
  const std::vector<Root> roots = makeRoots(rootCount, script, random);
  SelectionInput input;
  input.roots.reserve(roots.size());
  for (const Root& root : roots) input.roots.push_back(root.written());
  input.items.reserve(items);
  for (std::size_t i = 0; i < items; ++i) {
    const std::size_t kind = i % 20;
    if (kind == 1 || kind == 7 || kind == 13) {
      // Outside every root: the naive version tries them all.
      std::string path = "/Users/user/Elsewhere/";
      path.append(pickWord(random, script).nfd);
      path += "/" + fileName(i, random, script);
      input.items.push_back(FileURL::fileURLWithPath(path, false));
      continue;
    }
    const Root& root = roots[(i * 2654435761u) % roots.size()];
    std::string path = root.spelledByFinder();
    const std::size_t depth = random.below(3);
    for (std::size_t d = 0; d < depth; ++d) {
      path.push_back('/');
      path.append(pickWord(random, script).nfc);
    }
    if (i % 10 == 4) path += "/sub/..";
    if (i % 10 == 6) path += "/.";
    if (kind == 0) {
      input.items.push_back(FileURL::fileURLWithPath(path, true));  // a folder
      continue;
    }
    path += "/" + fileName(i, random, script);
    input.items.push_back(FileURL::fileURLWithPath(path, false));
  }
  return input;
}

std::vector<FileURL> makeMenuSelection(std::size_t items, const std::vector<std::string>& manifestRoots) {
  Sequence random(0xABCDEFULL + items);
  std::vector<FileURL> urls;
  urls.reserve(items);
  for (std::size_t i = 0; i < items; ++i) {
    const std::size_t kind = i % 10;
    std::string root = manifestRoots[i % manifestRoots.size()];
    if (root.back() == '/') root.pop_back();
    if (kind == 0) {
      urls.push_back(FileURL::fileURLWithPath(root + "/Folder " + std::to_string(i), true));
    } else if (kind == 5) {
      urls.push_back(FileURL::fileURLWithPath("/Users/user/Elsewhere/" + fileName(i, random, NameScript::mixed), false));
    } else {
      urls.push_back(FileURL::fileURLWithPath(root + "/" + fileName(i, random, NameScript::mixed), false));
    }
  }
  return urls;
}

}  // namespace ferlo::bench
