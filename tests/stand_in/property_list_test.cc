#include "platform/stand_in/property_list.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

namespace ferlo {
namespace {

// A compact rendering of a value: "text" in quotes, numbers, true/false,
// [a,b] and {k:v,…} in the dictionary's order.
std::string render(const InfoValue& value) {
  std::string out;
  for (const InfoValue& item : value.list) out += (out.empty() ? "" : ",") + render(item);
  for (const auto& [key, item] : value.dictionary) out += (out.empty() ? "" : ",") + key + ":" + render(item);
  switch (value.kind) {
    case InfoValue::Kind::text: return "\"" + value.text + "\"";
    case InfoValue::Kind::number: return (std::ostringstream() << value.number).str();
    case InfoValue::Kind::boolean: return value.boolean ? "true" : "false";
    case InfoValue::Kind::list: return "[" + out + "]";
    case InfoValue::Kind::dictionary: return "{" + out + "}";
  }
  return "?";
}

// A binary property list put together by hand: objects (marker and
// payload, references two bytes wide) with object 0 the root.
std::string be(std::uint64_t n, int width) { return width == 0 ? "" : be(n >> 8, width - 1) + static_cast<char>(n & 0xFF); }
std::string ref(unsigned index) { return be(index, 2); }
std::string arrayOf(const std::vector<unsigned>& refs) {
  std::string out = refs.size() < 15 ? std::string(1, static_cast<char>(0xA0 | refs.size())) : "\xAF\x12" + be(refs.size(), 4);
  for (const unsigned r : refs) out += ref(r);
  return out;
}
std::string binary(const std::vector<std::string>& objects) {
  std::string out = "bplist00", table;
  for (const std::string& object : objects) table += be(out.size(), 4), out += object;
  return out + table + std::string(6, '\0') + "\x04\x02" + be(objects.size(), 8) + be(0, 8) + be(out.size(), 8);
}
// `depth` arrays each holding the next `width` times, the innermost a string.
std::string binaryChain(unsigned depth, unsigned width = 1) {
  std::vector<std::string> objects;
  for (unsigned i = 0; i < depth; ++i) objects.push_back(arrayOf(std::vector<unsigned>(width, i + 1)));
  objects.push_back("\x51x");
  return binary(objects);
}

std::string times(const std::string& text, std::size_t count) {
  std::string out;
  for (out.reserve(text.size() * count); count > 0; --count) out += text;
  return out;
}
std::string utf16BigEndian(const std::string& text) {
  std::string out("\xFE\xFF");
  for (const char c : text) out += {'\0', c};
  return out;
}
// A dictionary holding depth - 1 nested arrays, the innermost empty.
std::string xmlNested(std::size_t depth) {
  return "<plist><dict><key>k</key>" + times("<array>", depth - 2) + "<array/>" + times("</array>", depth - 2) +
         "</dict></plist>";
}
std::string xmlRepeated(std::size_t n, const std::string& item) { return "<plist><array>" + times(item, n) + "</array></plist>"; }
std::string xmlKeys(std::size_t n) { return "<plist><dict>" + times("<key>k</key><true/>", n) + "</dict></plist>"; }

// The value, or the start of the reason after "!".
TEST(PropertyList, GivesTheValueOrTheReason) {
  const std::pair<std::string, std::string> cases[] = {
      // Every kind in both forms, data and dates left out, repeated keys: the
      // differential test against plistlib (tests/differential).
      // Markup the guard must follow as libplist does.
      {"<plist><dict><key>k</key><string>&lt;&amp;&#x20AC;<!-- </string> --><![CDATA[</string>&amp;]]></string></dict>"
       "</plist>", "{k:\"<&€</string>&amp;\"}"},
      {"<?x a=\"b\"?><!DOCTYPE plist [ <!ELEMENT plist ANY> ]><plist><dict><key>k</key><true/></dict></plist>", "{k:true}"},
      {utf16BigEndian("<plist><array><string>x</string></array></plist>"), "[\"x\"]"},
      // What libplist refuses, and what the guard refuses before it.
      {"", "!line 1: the XML holds no property list"}, {"\"k\" = \"v\";", "!line 1: the XML has text outside"},
      {"<plist><array><blob/></array></plist>", "!line 1: the XML has an element that is not"},
      {"<plist><dict><key>a</string></dict></plist>", "!line 1: the XML has a text element closed"},
      {"<plist><array/></plist><!-- ", "!line 1: the XML has an unterminated comment"},
      {"<plist><array><string>\xC3\x28</string></array></plist>", "!line 1: invalid UTF-8"},
      // What a strict reader refuses and libplist reads as something else.
      {"<plist><dict><key>CFBundleIdentifier</key><string>a" + std::string(1, '\0') + "b</string></dict></plist>",
       "!line 1: the XML has text holding U+0000, under \"CFBundleIdentifier\""},
      {"<plist><dict><key>k</key><array><string>a\n&#0;</string></array></dict></plist>",
       "!line 2: the XML refers to U+0000, under \"k\" > 0"},
      {"<plist><array><string>&#xD800;</string></array></plist>", "!line 1: the XML refers to a surrogate"},
      {"<plist><dict><key>CFBundleIdentifier&#xDBFF;</key><true/></dict></plist>", "!line 1: the XML refers to a surr"},
      {"<plist><string>&#x100000041;</string></plist>", "!line 1: the XML refers to a code point"},
      {"<plist version='>'><string>a</string></plist>", "!line 1: the XML has an attribute value holding"},
      {"<plist><dict><key>a</key><true/><key>b</key></dict></plist>", "!line 1: the XML has a key without a value"},
      {"<plist><array/>", "!line 1: the XML ends before </plist>"},
      {"<plist><array/></plist>\n<plist><true/></plist>", "!line 2: the XML has more after the property list"},
      {"<plist><integer>010</integer></plist>", "!line 1: the XML has a malformed integer"},
      {binary({"\xD1" + ref(1) + ref(2), std::string("\x53k\0x", 4), "\x09"}),
       "!the binary property list has a key holding U+0000 at byte 15"},
      {binary({"\xD1" + ref(1) + ref(2), "\x51k", std::string("\x62\xD8\0\0a", 5)}),
       "!the binary property list has a string holding an unpaired surrogate at byte 16, under \"k\""},
      {"<plist><data>AAE=</data></plist>", "!the property list holds only data"},
      {binary({arrayOf({1}), "\x51\xFF"}), "!the binary property list has a string holding a byte above 0x7F at byte 12, under 0"},
      {binary({"\xD1" + ref(1) + ref(2), std::string("\x62\0k\0\0", 5), "\x09"}), "!the binary property list has a key holding U+0000"},
      {std::string("bplist00\xD1\x01\x02", 11), "!the binary property list is not of"},
      {binary({arrayOf({1}), arrayOf({0})}), "!the binary property list refers to itself"},
      {binary({arrayOf({7})}), "!the binary property list refers to an object"},
      {binary({arrayOf({1}), std::string(1, '\0')}), "!the binary property list has a null"},
      // Forty objects that libplist would expand into 2^40 values.
      {binaryChain(40, 2), "!the property list has too many values"},
      {binary({arrayOf(std::vector<unsigned>(20, 1)), "\x5F\x12" + std::string("\0\x10\0\0", 4) + std::string(1 << 20, 'a')}),
       "!the property list has too much text"},
      {"<plist>" + times("<array>", 200000), "!line 1: the property list nests too deeply"},
      // libplist would go on adding to an empty root
      {"<plist><dict/>" + xmlNested(kMaxPropertyListDepth + 1).substr(13), "!line 1: the XML has a second value"}};
  for (const auto& [bytes, expected] : cases) {
    const Decoded<InfoValue> result = parsePropertyList(bytes);
    const std::string got = result ? render(*result) : "!" + describe(result.error);
    EXPECT_EQ(expected.starts_with("!") ? got.substr(0, expected.size()) : got, expected);
  }
}

// Each limit of the guard: the largest input it lets through, and one step
// beyond.
TEST(PropertyList, LetsEachLimitThroughAndRefusesOneMore) {
  const std::size_t kValues = kMaxPropertyListValues;
  const struct { std::string atLimit, beyond; const char* reason; } cases[] = {
      {xmlNested(kMaxPropertyListDepth), xmlNested(kMaxPropertyListDepth + 1), "the property list nests too deeply"},
      {binaryChain(kMaxPropertyListDepth), binaryChain(kMaxPropertyListDepth + 1), "the property list nests too deeply"},
      {xmlRepeated(kValues - 1, "<true/>"), xmlRepeated(kValues, "<true/>"), "the property list has too many values"},
      {binaryChain(1, kValues - 1), binaryChain(1, kValues), "the property list has too many values"},
      {xmlKeys(kMaxPropertyListXmlDictionaryKeys), xmlKeys(kMaxPropertyListXmlDictionaryKeys + 1),
       "an XML dictionary of the property list has too many keys"},
      {xmlRepeated(1, "<string>" + std::string(kMaxPropertyListBytes - 47, 'a') + "</string>"),
       xmlRepeated(1, "<string>" + std::string(kMaxPropertyListBytes - 46, 'a') + "</string>"),
       "the property list is larger than 4 MiB"}};
  for (const auto& c : cases) {
    EXPECT_TRUE(parsePropertyList(c.atLimit)) << c.reason;
    const Decoded<InfoValue> beyond = parsePropertyList(c.beyond);
    EXPECT_TRUE(!beyond && beyond.error.why == c.reason) << describe(beyond.error);
  }
}

}  // namespace
}  // namespace ferlo
