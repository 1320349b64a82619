// The fast selectedFileURLs against its deliberately naive reference: the
// same roots and the same Finder selection must give the same URLs in the
// same order. Paths and roots are assembled from pieces that exercise the
// rules (".", "..", empty components, a precomposed and a decomposed "é", a
// combining mark right after "/", case) mixed with raw bytes, invalid UTF-8
// included.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <vector>

#include "extension/selection.h"
#include "tests/support/selection_reference.h"
#include "fuzz/fuzz_support.h"
#include "platform/fake/fake_platform.h"

namespace {

constexpr std::array<std::string_view, 16> kPieces = {
    "/", "a", "b", "in", "inbox", ".", "..", "",
    "Caf\xC3\xA9", "Cafe\xCC\x81", "\xCC\x81", "A", "r", "~", "\xFF", "x.txt",
};

std::string makeText(FuzzedDataProvider& input) {
  if (input.ConsumeBool()) return input.ConsumeRandomLengthString(64);
  std::string text;
  for (int pieces = input.ConsumeIntegralInRange(0, 8); pieces > 0; --pieces) {
    text += kPieces[input.ConsumeIntegralInRange<std::size_t>(0, kPieces.size() - 1)];
    if (input.ConsumeBool()) text.push_back('/');
  }
  return text;
}

}  // namespace

FERLO_FUZZ_TARGET(bytes) {
  FuzzedDataProvider input(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());

  std::vector<std::string> roots(input.ConsumeIntegralInRange(0, 6));
  for (std::string& root : roots) root = makeText(input);

  FakePlatform platform;
  if (input.ConsumeIntegralInRange(0, 15) != 0) {
    std::vector<FileURL> selection;
    for (int count = input.ConsumeIntegralInRange(0, 12); count > 0; --count) {
      std::string text = makeText(input);
      if (input.ConsumeIntegralInRange(0, 3) == 0) {
        // URL text, percent escapes and all; text that is no file URL is no item.
        if (auto url = FileURL::fromString("file://" + text)) selection.push_back(*url);
      } else {
        selection.push_back(FileURL::fileURLWithPath(text, input.ConsumeBool()));
      }
    }
    platform.selection = std::move(selection);
  }

  const Selection selection = readSelection(platform);
  const std::vector<FileURL> fast = selectedFileURLs(selection, roots);
  const std::vector<FileURL> reference = selectedFileURLsReference(selection, roots);
  FERLO_FUZZ_CHECK(fast == reference, "selectedFileURLs and its reference disagree");
}
