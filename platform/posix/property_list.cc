#include "platform/posix/property_list.h"

#include <plist/plist.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace ferlo {
namespace {

ResourceDiagnostic refusal(std::string reason) { return ResourceDiagnostic{0, std::move(reason)}; }

// ---- The XML guard ----
//
// Follows libplist 2.2's XML reader (src/xplist.c, node_from_xml) token by
// token, as far as the nesting goes: the same skipping of processing
// instructions, comments, DOCTYPEs and quoted attribute values, the same
// reading of text elements up to their end tag, the same places where the
// reader stops. Where libplist would stop with an error, so does the guard
// (refusing the bytes), so on every input the guard lets through it has seen
// every container libplist will open.
class XmlShapeScanner {
 public:
  explicit XmlShapeScanner(std::string_view text) : s_(text) {}

  std::optional<PropertyListShape> run(ResourceDiagnostic* whyNot) {
    if (!scan()) {
      if (whyNot) *whyNot = refusal(reason_);
      return std::nullopt;
    }
    return shape_;
  }

 private:
  static bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
  bool atEnd() const { return pos_ >= s_.size(); }
  bool startsWith(std::string_view prefix) const { return s_.substr(pos_).starts_with(prefix); }

  bool refuse(const char* reason) {
    reason_ = reason;
    return false;
  }

  // libplist's find_char, find_str and find_next: the quote skipping steps
  // over a '"' … '"' run, stopping nowhere inside it.
  void findChar(char c) {
    while (!atEnd() && s_[pos_] != c) ++pos_;
  }
  bool findString(std::string_view what, bool skipQuotes) {
    while (pos_ + what.size() < s_.size()) {
      if (startsWith(what)) return true;
      if (skipQuotes && s_[pos_] == '"') {
        ++pos_;
        findChar('"');
        if (atEnd()) return false;
      }
      ++pos_;
    }
    return startsWith(what);
  }
  void findNext(std::string_view chars, bool skipQuotes) {
    while (!atEnd()) {
      if (skipQuotes && s_[pos_] == '"') {
        ++pos_;
        findChar('"');
        if (atEnd()) return;
      }
      if (chars.find(s_[pos_]) != std::string_view::npos) return;
      ++pos_;
    }
  }

  bool scan() {
    while (!atEnd()) {
      while (!atEnd() && isSpace(s_[pos_])) ++pos_;
      if (atEnd()) break;
      if (s_[pos_] != '<') return refuse("the XML has text outside the elements");
      ++pos_;
      if (atEnd()) return refuse("the XML ends inside a tag");
      if (s_[pos_] == '?') {
        if (!findString("?>", true)) return refuse("the XML has an unterminated processing instruction");
        pos_ += 2;
      } else if (s_[pos_] == '!') {
        if (!skipDeclaration()) return false;
      } else {
        bool stop = false;
        if (!element(&stop)) return false;
        if (stop) return true;
      }
    }
    return true;
  }

  bool skipDeclaration() {
    if (startsWith("!--")) {
      pos_ += 3;
      if (!findString("-->", false)) return refuse("the XML has an unterminated comment");
      pos_ += 3;
      return true;
    }
    if (startsWith("!DOCTYPE") && s_.size() - pos_ > 8) {
      pos_ += 8;
      for (;;) {
        findNext(" \t\r\n[>", true);
        if (atEnd()) return refuse("the XML has an unterminated DOCTYPE");
        if (s_[pos_] == '[') {
          if (!findString("]>", true)) return refuse("the XML has an unterminated DOCTYPE");
          pos_ += 2;
          return true;
        }
        if (s_[pos_] == '>') {
          ++pos_;
          return true;
        }
        while (!atEnd() && isSpace(s_[pos_])) ++pos_;
      }
    }
    return refuse("the XML has a markup declaration other than a comment or DOCTYPE");
  }

  // One tag at pos_ (just past its '<'). Sets *stop where libplist stops
  // reading with what it has: after the root value.
  bool element(bool* stop) {
    const std::size_t nameStart = pos_;
    findNext(" \r\n\t<>", false);
    if (atEnd()) return refuse("the XML ends inside a tag");
    std::string_view name = s_.substr(nameStart, pos_ - nameStart);
    if (s_[pos_] != '>') findNext("<>", true);
    if (atEnd() || s_[pos_] != '>') return refuse("the XML has a tag without its '>'");
    const bool empty = s_[pos_ - 1] == '/';
    if (empty && pos_ - nameStart - 1 < name.size()) name = name.substr(0, pos_ - nameStart - 1);
    ++pos_;

    if (name == "plist") {
      if (path_.empty() && rootSeen_) {
        *stop = true;
        return true;
      }
      if (empty) return refuse("the XML has an empty <plist/>");
      return push('p');
    }
    if (name.starts_with("/")) return closing(name.substr(1), stop);

    const bool container = name == "dict" || name == "array";
    const bool text = name == "key" || name == "string" || name == "integer" || name == "real" ||
                      name == "true" || name == "false" || name == "data" || name == "date";
    if (!container && !text) return refuse("the XML has an element that is not part of a property list");
    if (text && !empty && !skipText(name)) return false;
    if (++shape_.values > kMaxPropertyListValues) return refuse("the property list has too many values");
    const char kind = name == "dict" ? 'd' : 'a';
    if (!rootSeen_) {
      rootSeen_ = true;
      if (!container) {
        *stop = true;  // a root that holds nothing further ends the list
        return true;
      }
      // libplist adds what follows to the root container even when it is
      // empty (<dict/>), though no end tag can close it then.
      chain_.push_back(Container{kind, 0});
      shape_.depth = 1;
      return empty || push(kind);
    }
    if (chain_.empty()) return refuse("the XML has a value outside the root container");
    Container& parent = chain_.back();
    if (parent.kind == 'd' && ++parent.children > 2 * kMaxPropertyListXmlDictionaryKeys) {
      return refuse("an XML dictionary of the property list has too many keys");
    }
    if (!container) return true;
    // An empty container (<dict/>) is a level of its own, with nothing below.
    shape_.depth = std::max(shape_.depth, chain_.size() + 1);
    if (chain_.size() + 1 > kMaxPropertyListDepth) return refuse("the property list nests too deeply");
    if (empty) return true;
    chain_.push_back(Container{kind, 0});
    return push(kind);
  }

  bool push(char kind) {
    // <plist> elements inside others make no value but still count here,
    // so that the path stays as bounded as the containers.
    if (path_.size() >= 2 * kMaxPropertyListDepth + 2) return refuse("the property list nests too deeply");
    path_.push_back(kind);
    return true;
  }

  bool closing(std::string_view name, bool* stop) {
    const char kind = name == "plist" ? 'p' : name == "dict" ? 'd' : name == "array" ? 'a' : '\0';
    if (path_.empty() || kind == '\0' || path_.back() != kind) {
      return refuse("the XML has an end tag that closes nothing");
    }
    path_.pop_back();
    if (kind == 'p') return true;
    chain_.pop_back();
    if (chain_.empty()) *stop = true;  // the root container is complete
    return true;
  }

  // The content of a text element and its end tag, as libplist's
  // get_text_parts reads them: comments and CDATA sections may sit in the
  // text, nothing else that starts with '<'.
  bool skipText(std::string_view name) {
    for (;;) {
      findChar('<');
      if (atEnd()) return refuse("the XML ends inside a text element");
      ++pos_;
      if (atEnd()) return refuse("the XML ends inside a text element");
      if (s_[pos_] == '/') break;
      if (s_[pos_] != '!') return refuse("the XML has an element inside a text element");
      ++pos_;
      if (startsWith("--")) {
        pos_ += 2;
        if (!findString("-->", false)) return refuse("the XML has an unterminated comment");
        pos_ += 3;
      } else if (startsWith("[CDATA[")) {
        pos_ += 7;
        if (!findString("]]>", false)) return refuse("the XML has an unterminated CDATA section");
        pos_ += 3;
      } else {
        return refuse("the XML has a markup declaration inside a text element");
      }
    }
    ++pos_;
    if (!startsWith(name)) return refuse("the XML has a text element closed by another end tag");
    pos_ += name.size();
    while (!atEnd() && isSpace(s_[pos_])) ++pos_;
    if (atEnd() || s_[pos_] != '>') return refuse("the XML has a text element closed by another end tag");
    ++pos_;
    return true;
  }

  struct Container {
    char kind;              // 'd' or 'a'
    std::size_t children;   // keys and values so far
  };

  std::string_view s_;
  std::size_t pos_ = 0;
  std::vector<char> path_;         // libplist's node path: 'p', 'd', 'a'
  std::vector<Container> chain_;   // libplist's parent and its ancestors, root first
  bool rootSeen_ = false;
  PropertyListShape shape_;
  const char* reason_ = "";
};

// ---- The binary guard ----
//
// Walks the object graph of the binary form the way libplist 2.2 expands it
// (every reference read as a copy of its object), without expanding it: each
// object's expanded size and nesting are computed once and reused wherever
// it is referenced. Checks the format more strictly than libplist does:
// object offsets must lie between the header and the offset table, integer
// sizes must be 1, 2, 4 or 8 bytes, and a reference cycle is refused.
class BinaryShapeScanner {
 public:
  explicit BinaryShapeScanner(std::string_view bytes) : b_(bytes) {}

  std::optional<PropertyListShape> run(ResourceDiagnostic* whyNot) {
    std::optional<PropertyListShape> shape = scan();
    if (!shape && whyNot) *whyNot = refusal(reason_);
    return shape;
  }

 private:
  static constexpr std::size_t kHeader = 8;    // "bplist00"
  static constexpr std::size_t kTrailer = 32;  // 6 unused, 2 sizes, 3 × 8-byte numbers

  struct Object {
    bool container = false;
    std::uint64_t refsAt = 0;    // where its references start
    std::uint64_t refs = 0;      // how many (a dictionary's keys and values)
    std::uint64_t payload = 0;   // bytes libplist allocates for its text or data
  };

  struct Total {
    std::uint64_t values = 0;
    std::uint64_t bytes = 0;
    std::size_t depth = 0;
  };

  std::nullopt_t refuse(const char* reason) {
    reason_ = reason;
    return std::nullopt;
  }

  std::uint64_t number(std::uint64_t at, unsigned width) const {
    std::uint64_t value = 0;
    for (unsigned i = 0; i < width; ++i) value = (value << 8) | static_cast<unsigned char>(b_[at + i]);
    return value;
  }
  static bool isWidth(unsigned width) { return width == 1 || width == 2 || width == 4 || width == 8; }

  std::optional<PropertyListShape> scan() {
    if (b_.size() < kHeader + kTrailer || !b_.starts_with("bplist00")) {
      return refuse("the binary property list is not of version 00 or is truncated");
    }
    const std::uint64_t trailer = b_.size() - kTrailer;
    offsetSize_ = static_cast<unsigned char>(b_[trailer + 6]);
    refSize_ = static_cast<unsigned char>(b_[trailer + 7]);
    objects_ = number(trailer + 8, 8);
    const std::uint64_t root = number(trailer + 16, 8);
    tableAt_ = number(trailer + 24, 8);
    if (!isWidth(offsetSize_) || !isWidth(refSize_)) return refuse("the binary property list has a bad trailer");
    if (objects_ == 0 || root >= objects_ || tableAt_ < kHeader || tableAt_ > trailer ||
        objects_ > (trailer - tableAt_) / offsetSize_) {
      return refuse("the binary property list has a bad trailer");
    }
    if (objects_ > kMaxPropertyListValues) return refuse("the property list has too many values");

    enum : unsigned char { kUnseen, kOpen, kDone };
    std::vector<unsigned char> state(objects_, kUnseen);
    std::vector<Total> totals(objects_);
    struct Frame {
      std::uint64_t index;
      Object object;
      std::uint64_t next = 0;  // the next reference to follow
      Total total;
    };
    std::vector<Frame> stack;
    const auto enter = [&](std::uint64_t index) {
      const std::optional<Object> object = objectAt(index);
      if (!object) return false;
      // Only containers stay on the stack, so its height is the nesting.
      if (stack.size() > kMaxPropertyListDepth) {
        reason_ = "the property list nests too deeply";
        return false;
      }
      state[index] = kOpen;
      stack.push_back(Frame{index, *object, 0, Total{1, object->payload, object->container ? std::size_t{1} : 0}});
      return true;
    };
    if (!enter(root)) return std::nullopt;
    while (!stack.empty()) {
      Frame& top = stack.back();
      if (top.next == top.object.refs) {
        totals[top.index] = top.total;
        state[top.index] = kDone;
        stack.pop_back();
        continue;
      }
      const std::uint64_t child = number(top.object.refsAt + top.next * refSize_, refSize_);
      if (child >= objects_) return refuse("the binary property list refers to an object it does not have");
      if (state[child] == kOpen) return refuse("the binary property list refers to itself");
      if (state[child] == kUnseen) {
        if (!enter(child)) return std::nullopt;
        continue;  // `top` is added to once the child is done
      }
      const Total& sub = totals[child];
      ++top.next;
      top.total.values += sub.values;
      top.total.bytes += sub.bytes;
      top.total.depth = std::max(top.total.depth, sub.depth + 1);
      if (top.total.values > kMaxPropertyListValues) return refuse("the property list has too many values");
      if (top.total.bytes > kMaxPropertyListTextBytes) return refuse("the property list has too much text");
      if (top.total.depth > kMaxPropertyListDepth) return refuse("the property list nests too deeply");
    }
    return PropertyListShape{totals[root].depth, static_cast<std::size_t>(totals[root].values)};
  }

  // The object at `index` of the offset table, its size checked against the
  // space before the offset table.
  std::optional<Object> objectAt(std::uint64_t index) {
    const std::uint64_t at = number(tableAt_ + index * offsetSize_, offsetSize_);
    if (at < kHeader || at >= tableAt_) return refuse("the binary property list has an object outside its data");
    const auto marker = static_cast<unsigned char>(b_[at]);
    const unsigned type = marker >> 4;
    const unsigned low = marker & 0x0F;
    std::uint64_t pos = at + 1;
    std::uint64_t count = low;
    const bool sized = type == 0x4 || type == 0x5 || type == 0x6 || type == 0xA || type == 0xC || type == 0xD;
    if (sized && low == 0x0F) {
      if (pos >= tableAt_) return refuse("the binary property list has an object outside its data");
      const auto sizeMarker = static_cast<unsigned char>(b_[pos]);
      const unsigned width = 1u << (sizeMarker & 0x0F);
      if ((sizeMarker >> 4) != 0x1 || !isWidth(width) || width > tableAt_ - pos - 1) {
        return refuse("the binary property list has a bad object size");
      }
      count = number(pos + 1, width);
      pos += 1 + width;
    }
    const std::uint64_t room = tableAt_ - pos;
    Object object;
    switch (type) {
      case 0x0:  // false (8) and true (9); null and fill make libplist fail
        if (low != 0x8 && low != 0x9) return refuse("the binary property list has a null object");
        return object;
      case 0x1:  // integer of 2^low bytes
        if (low > 4 || (std::uint64_t{1} << low) > room) return refuse("the binary property list has a bad integer");
        return object;
      case 0x2:  // real of 4 or 8 bytes
      case 0x3:  // date, 8 bytes
        if (low < 2 || low > 3 || (type == 0x3 && low != 3) || (std::uint64_t{1} << low) > room) {
          return refuse("the binary property list has a bad real or date");
        }
        return object;
      case 0x4:  // data
      case 0x5:  // ASCII string
        if (count > room) return refuse("the binary property list has an object outside its data");
        object.payload = count + 1;
        return object;
      case 0x6:  // UTF-16 string; libplist fails on an empty one
        if (count == 0 || count > room / 2) return refuse("the binary property list has a bad UTF-16 string");
        // libplist keeps a U+0000 inside the text, and then aborts on an
        // assertion when the text is a dictionary key and is asked for.
        for (std::uint64_t i = 0; i < count; ++i) {
          if (b_[pos + 2 * i] == '\0' && b_[pos + 2 * i + 1] == '\0') {
            return refuse("the binary property list has a UTF-16 string with U+0000");
          }
        }
        object.payload = 4 * (count + 1);
        return object;
      case 0x8:  // UID of low + 1 bytes
        if (low + 1u > room) return refuse("the binary property list has a bad UID");
        return object;
      case 0xA:  // array
      case 0xC:  // set
      case 0xD:  // dictionary: the keys' references, then the values'
        if (type == 0xD && count > room / refSize_ / 2) {
          return refuse("the binary property list has an object outside its data");
        }
        if (count > room / refSize_) return refuse("the binary property list has an object outside its data");
        object.container = true;
        object.refsAt = pos;
        object.refs = type == 0xD ? 2 * count : count;
        return object;
      default:
        return refuse("the binary property list has an object of an unknown kind");
    }
  }

  std::string_view b_;
  unsigned offsetSize_ = 0;
  unsigned refSize_ = 0;
  std::uint64_t objects_ = 0;
  std::uint64_t tableAt_ = 0;
  const char* reason_ = "";
};

// ---- From libplist's tree to our values ----

struct PlistDeleter {
  void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

struct IteratorDeleter {
  void operator()(void* iterator) const { std::free(iterator); }
};

class Converter {
 public:
  // The value of `node`; none for a kind that has no InfoValue form (with
  // *bad unset) or for text that is not UTF-8 (with *bad set).
  std::optional<InfoValue> convert(plist_t node, std::size_t depth) {
    switch (plist_get_node_type(node)) {
      case PLIST_STRING: {
        std::uint64_t length = 0;
        const char* text = plist_get_string_ptr(node, &length);
        const std::string_view view(text == nullptr ? "" : text, text == nullptr ? 0 : length);
        if (!isWellFormedUtf8(view)) return fail("the property list has text that is not UTF-8");
        return InfoValue::makeText(std::string(view));
      }
      case PLIST_BOOLEAN: {
        std::uint8_t value = 0;
        plist_get_bool_val(node, &value);
        return InfoValue::makeBoolean(value != 0);
      }
      case PLIST_UINT: {
        // libplist 2.2 keeps every integer in 64 bits without saying whether
        // it is signed; the property lists we read hold none above 2^63.
        std::uint64_t value = 0;
        plist_get_uint_val(node, &value);
        return InfoValue::makeNumber(static_cast<double>(static_cast<std::int64_t>(value)));
      }
      case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        return InfoValue::makeNumber(value);
      }
      case PLIST_ARRAY:
        return depth >= kMaxPropertyListDepth ? fail("the property list nests too deeply") : list(node, depth + 1);
      case PLIST_DICT:
        return depth >= kMaxPropertyListDepth ? fail("the property list nests too deeply")
                                              : dictionary(node, depth + 1);
      default:
        return std::nullopt;  // data, date, UID: nothing the bundle's readers use
    }
  }

  const char* failure() const { return failure_; }

 private:
  std::nullopt_t fail(const char* reason) {
    if (failure_ == nullptr) failure_ = reason;
    return std::nullopt;
  }

  std::optional<InfoValue> list(plist_t node, std::size_t depth) {
    InfoValue out;
    out.kind = InfoValue::Kind::list;
    plist_array_iter raw = nullptr;
    plist_array_new_iter(node, &raw);
    const std::unique_ptr<void, IteratorDeleter> iterator(raw);
    for (;;) {
      plist_t item = nullptr;
      plist_array_next_item(node, raw, &item);
      if (item == nullptr) break;
      std::optional<InfoValue> value = convert(item, depth);
      if (failure_ != nullptr) return std::nullopt;
      if (value) out.list.push_back(std::move(*value));
    }
    return out;
  }

  std::optional<InfoValue> dictionary(plist_t node, std::size_t depth) {
    InfoValue out;
    out.kind = InfoValue::Kind::dictionary;
    plist_dict_iter raw = nullptr;
    plist_dict_new_iter(node, &raw);
    const std::unique_ptr<void, IteratorDeleter> iterator(raw);
    for (;;) {
      char* rawKey = nullptr;
      plist_t item = nullptr;
      plist_dict_next_item(node, raw, &rawKey, &item);
      const std::unique_ptr<char, IteratorDeleter> key(rawKey);
      if (item == nullptr) break;
      const std::string_view keyText(rawKey == nullptr ? "" : rawKey);
      if (!isWellFormedUtf8(keyText)) return fail("the property list has a key that is not UTF-8");
      std::optional<InfoValue> value = convert(item, depth);
      if (failure_ != nullptr) return std::nullopt;
      if (value) out.dictionary.emplace_back(std::string(keyText), std::move(*value));
    }
    // Sorted by key; of a repeated key (possible in the binary form) the
    // last value stays, as the XML form's reader keeps it.
    std::stable_sort(out.dictionary.begin(), out.dictionary.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    auto& entries = out.dictionary;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
      if (i + 1 < entries.size() && entries[i + 1].first == entries[i].first) continue;
      if (kept != i) entries[kept] = std::move(entries[i]);
      ++kept;
    }
    entries.resize(kept);
    return out;
  }

  const char* failure_ = nullptr;
};

}  // namespace

bool isBinaryPropertyList(std::string_view bytes) { return bytes.starts_with("bplist"); }

std::optional<PropertyListShape> checkPropertyListShape(std::string_view bytes, ResourceDiagnostic* whyNot) {
  if (bytes.size() > kMaxPropertyListBytes) {
    if (whyNot) *whyNot = refusal("the property list is larger than 4 MiB");
    return std::nullopt;
  }
  if (isBinaryPropertyList(bytes)) return BinaryShapeScanner(bytes).run(whyNot);
  return XmlShapeScanner(bytes).run(whyNot);
}

PropertyListResult parseDictionaryPropertyList(std::string_view bytes) {
  PropertyListResult result = parsePropertyList(bytes);
  if (result.value && result.value->kind != InfoValue::Kind::dictionary) {
    result.value.reset();
    result.diagnostic = ResourceDiagnostic{0, "the property list is not a dictionary"};
  }
  return result;
}

PropertyListResult parsePropertyList(std::string_view bytes) {
  PropertyListResult result;
  result.format = isBinaryPropertyList(bytes) ? PropertyListFormat::binary : PropertyListFormat::xml;
  std::string text;
  if (result.format == PropertyListFormat::xml && bytes.size() <= kMaxPropertyListBytes) {
    std::optional<std::string> decoded = decodeResourceText(bytes, &result.diagnostic);
    if (!decoded) return result;
    text = std::move(*decoded);
    bytes = text;
  }
  if (!checkPropertyListShape(bytes, &result.diagnostic)) return result;

  plist_t raw = nullptr;
  if (result.format == PropertyListFormat::binary) {
    plist_from_bin(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &raw);
  } else {
    plist_from_xml(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &raw);
  }
  const PlistPtr root(raw);
  if (!root) {
    result.diagnostic = refusal(result.format == PropertyListFormat::binary
                                    ? "libplist cannot read it as a binary property list"
                                    : "libplist cannot read it as an XML property list");
    return result;
  }
  Converter converter;
  std::optional<InfoValue> value = converter.convert(root.get(), 0);
  if (!value) {
    result.diagnostic = refusal(converter.failure() != nullptr ? converter.failure()
                                                               : "the property list holds only data, a date or a UID");
    return result;
  }
  result.value = std::move(value);
  return result;
}

}  // namespace ferlo
