// Reading Apple property lists, in the XML form and in the binary form
// ("bplist00"), through libplist: the bundle's Info.plist and the
// localisation tables of the stand-in.
//
// libplist 2.2 trusts its input further than we can. It recurses once per
// level of nesting (when it reads the binary form, and when it frees any
// list, the partial list of a failed read included), it expands a binary
// list whose objects share their children without any bound (a few dozen
// objects can stand for billions of values), it leaves offsets into the
// binary header unchecked, it passes on text that is not UTF-8 (a
// character reference to a surrogate, a binary "ASCII" string with bytes
// above 0x7F), it cuts text at U+0000 and drops unpaired surrogates (so a
// key "CFBundleIdentifier\0" stands for "CFBundleIdentifier"), it reads
// XML that is not well-formed (a quoted '>' ending a tag, a key without a
// value, a second document) as something, and it aborts on an assertion when asked for a dictionary
// key that holds U+0000 (which its binary reader lets in). So the bytes are
// measured before libplist sees them, and every text is checked after:
//
//   auto parsed = parsePropertyList(fileBytes);
//   if (parsed) … parsed->dictionary …   // else describe(parsed.error)
#pragma once

#include <cstddef>
#include <string_view>

#include "platform/platform.h"
#include "platform/stand_in/resource_text.h"

namespace ferlo {

// Property lists larger than this are refused unread: ours are a few
// kilobytes.
inline constexpr std::size_t kMaxPropertyListBytes = std::size_t{4} << 20;
// Containers nested deeper than this are refused; ours nest three deep.
inline constexpr std::size_t kMaxPropertyListDepth = 64;
// At most this many values (dictionary keys included) after the binary
// form's shared objects are expanded as libplist expands them.
inline constexpr std::size_t kMaxPropertyListValues = std::size_t{1} << 16;
// At most this many bytes of text and data after that expansion.
inline constexpr std::size_t kMaxPropertyListTextBytes = std::size_t{16} << 20;
// An XML dictionary with more keys than this is refused: libplist 2.2 finds
// a repeated key by a search whose cost grows with the square of the keys
// in one bucket of a 4096-bucket table, and anyone can make keys collide.
inline constexpr std::size_t kMaxPropertyListXmlDictionaryKeys = 4096;

enum class PropertyListFormat { xml, binary };

// True when `bytes` begin with the binary form's magic "bplist".
[[nodiscard]] bool isBinaryPropertyList(std::string_view bytes);

// The form parsePropertyList reads `bytes` in: binary when they begin
// "bplist", else XML.
[[nodiscard]] PropertyListFormat propertyListFormat(std::string_view bytes);

// Reads a property list, its root value: the binary form, or XML in UTF-8 or (with a byte
// order mark) UTF-16. Values come out as the bundle gives them to the
// extension: strings as text, integers and reals as numbers, booleans,
// arrays as lists, dictionaries sorted by key (a repeated key keeps its last
// value); data, dates and UIDs have no such form and are left out of their
// container, and a root of one of those kinds is refused. Refused, with a
// reason: bytes beyond the limits above, XML that libplist does not read or
// that a strict XML reader refuses or that libplist would read differently
// (see the guard in property_list.cc: one root, nothing after it but
// comments and processing instructions, keys and values alternating,
// U+0000 and unpaired surrogates neither written nor referred to, no '>'
// or '"' in attribute values, integers within 64 bits …), a binary list
// that breaks the format or holds a string with U+0000, an unpaired
// surrogate or (as ASCII) a byte above 0x7F, and any text or key that is
// not UTF-8. The guard's XML refusals give their line, its binary ones the
// byte offset in the reason; both name the keys and indexes that lead to a
// bad text where it knows them (where is "line N" for the XML, empty for
// the binary form). libplist's own failures are about the whole file (an
// empty where). Thread-safe.
[[nodiscard]] Decoded<InfoValue> parsePropertyList(std::string_view bytes);

// parsePropertyList for a table: a root that is not a dictionary is refused
// too, with "the property list is not a dictionary".
[[nodiscard]] Decoded<InfoValue> parseDictionaryPropertyList(std::string_view bytes);

// What the guard learns before libplist reads the bytes: upper bounds of
// what libplist will build from them.
struct PropertyListShape {
  std::size_t depth = 0;   // containers inside containers, the outermost counting 1
  std::size_t values = 0;  // values, dictionary keys and containers included
};

// The guard on its own, for the tests and the fuzz target: the shape of
// `bytes` as libplist would be given them (the binary form, or XML as UTF-8
// text), or the refusal when they are beyond the limits or are refused as
// parsePropertyList describes.
[[nodiscard]] Decoded<PropertyListShape> checkPropertyListShape(std::string_view bytes);

}  // namespace ferlo
