#include "platform/posix/stringsdict_file.h"

#include <cstdint>
#include <utility>
#include <vector>

#include "platform/posix/utf8_append.h"

namespace ferlo {
namespace {

// Nesting beyond this is refused: a real table is four levels deep, and the
// bound keeps a hostile file from turning a few bytes per level into a large
// stack of frames.
constexpr std::size_t kMaxDepth = 256;

constexpr std::string_view kFormatKey = "NSStringLocalizedFormatKey";
constexpr std::string_view kSpecTypeKey = "NSStringFormatSpecTypeKey";
constexpr std::string_view kValueTypeKey = "NSStringFormatValueTypeKey";

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool isNameStart(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' ||
         static_cast<unsigned char>(c) >= 0x80;
}
bool isNameChar(char c) { return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; }

// What a property-list element is. `scalar` covers the value types whose text
// we check for markup but never use (integer, real, date, data); `boolean` is
// <true/> and <false/>.
enum class Kind { plist, dict, array, key, string, scalar, boolean };

// Which part of the table a <dict> holds, by its place in the tree.
enum class Role { table, entry, variable, ignored };

struct Frame {
  Frame(Kind k, std::string_view n, Role r = Role::ignored) : kind(k), name(n), role(r) {}
  Kind kind;
  std::string_view name;
  Role role;                  // dictionaries only
  bool hasKey = false;        // dictionaries: a <key> awaits its value
  std::string key;            // dictionaries: that key
  bool hasValue = false;      // <plist>: its one value has started
  bool isDict = false;        // <plist>: that value is a dictionary
};

std::optional<Kind> kindOfElement(std::string_view name) {
  if (name == "dict") return Kind::dict;
  if (name == "array") return Kind::array;
  if (name == "key") return Kind::key;
  if (name == "string") return Kind::string;
  if (name == "integer" || name == "real" || name == "date" || name == "data") return Kind::scalar;
  if (name == "true" || name == "false") return Kind::boolean;
  if (name == "plist") return Kind::plist;
  return std::nullopt;
}

class StringsdictReader {
 public:
  explicit StringsdictReader(std::string_view text) : text_(text) {}

  StringsdictParseResult run() {
    StringsdictParseResult result;
    if (!readDocument()) {
      result.diagnostic = error_.value_or(ResourceDiagnostic{resourceLineAt(text_, pos_), "malformed"});
      return result;
    }
    result.table = std::move(table_);
    return result;
  }

 private:
  bool fail(std::size_t at, std::string reason) {
    if (!error_) error_ = ResourceDiagnostic{resourceLineAt(text_, at), std::move(reason)};
    return false;
  }
  bool startsWith(std::string_view prefix) const { return text_.substr(pos_).starts_with(prefix); }

  // ---- Lexing: markup and character data, one construct per step ----

  bool readDocument() {
    while (pos_ < text_.size()) {
      if (text_[pos_] != '<') {
        if (!readCharacterData()) return false;
        continue;
      }
      const std::size_t at = pos_;
      if (startsWith("<?")) {
        if (!skipPast("?>", at, "unterminated processing instruction")) return false;
      } else if (startsWith("<!--")) {
        pos_ += 4;
        if (!skipPast("-->", at, "unterminated comment")) return false;
      } else if (startsWith("<![CDATA[")) {
        pos_ += 9;
        const std::size_t end = text_.find("]]>", pos_);
        if (end == std::string_view::npos) return fail(at, "unterminated CDATA section");
        if (!characters(text_.substr(pos_, end - pos_), at, true)) return false;
        pos_ = end + 3;
      } else if (startsWith("<!DOCTYPE")) {
        if (rootStarted_) return fail(at, "DOCTYPE inside the document");
        if (!skipDoctype(at)) return false;
      } else if (startsWith("<!")) {
        return fail(at, "unsupported markup declaration");
      } else if (startsWith("</")) {
        if (!readEndTag(at)) return false;
      } else {
        if (!readStartTag(at)) return false;
      }
    }
    if (!rootStarted_) return fail(pos_, "no <plist> element");
    if (!stack_.empty()) return fail(pos_, "missing </" + std::string(stack_.back().name) + "> at the end");
    return true;
  }

  bool skipPast(std::string_view terminator, std::size_t at, const char* reason) {
    const std::size_t end = text_.find(terminator, pos_);
    if (end == std::string_view::npos) return fail(at, reason);
    pos_ = end + terminator.size();
    return true;
  }

  // <!DOCTYPE plist PUBLIC "..." "..."> with an optional [internal subset];
  // quoted literals and comments in the subset may hold '>' and ']'.
  bool skipDoctype(std::size_t at) {
    bool inSubset = false;
    for (pos_ += 9; pos_ < text_.size(); ++pos_) {
      const char c = text_[pos_];
      if (inSubset && startsWith("<!--")) {
        const std::size_t close = text_.find("-->", pos_ + 4);
        if (close == std::string_view::npos) break;
        pos_ = close + 2;
      } else if (c == '"' || c == '\'') {
        const std::size_t close = text_.find(c, pos_ + 1);
        if (close == std::string_view::npos) break;
        pos_ = close;
      } else if (c == '[') {
        inSubset = true;
      } else if (c == ']') {
        inSubset = false;
      } else if (c == '>' && !inSubset) {
        ++pos_;
        return true;
      }
    }
    return fail(at, "unterminated DOCTYPE");
  }

  std::string_view readName() {
    const std::size_t start = pos_;
    if (pos_ < text_.size() && isNameStart(text_[pos_])) {
      while (pos_ < text_.size() && isNameChar(text_[pos_])) ++pos_;
    }
    return text_.substr(start, pos_ - start);
  }
  void skipSpaces() {
    while (pos_ < text_.size() && isSpace(text_[pos_])) ++pos_;
  }

  bool readStartTag(std::size_t at) {
    ++pos_;
    const std::string_view name = readName();
    if (name.empty()) return fail(at, "'<' that starts no element");
    for (;;) {
      const std::size_t before = pos_;
      skipSpaces();
      if (pos_ >= text_.size()) return fail(at, "unterminated <" + std::string(name) + "> tag");
      if (text_[pos_] == '>') {
        ++pos_;
        return startElement(name, at);
      }
      if (startsWith("/>")) {
        pos_ += 2;
        return startElement(name, at) && endElement(name, at);
      }
      // An attribute: name = "value". We read none of them, but a '>' inside
      // a quoted value must not end the tag.
      if (pos_ == before) return fail(pos_, "malformed <" + std::string(name) + "> tag");
      if (readName().empty()) return fail(pos_, "malformed attribute in <" + std::string(name) + ">");
      skipSpaces();
      if (pos_ >= text_.size() || text_[pos_] != '=') return fail(pos_, "attribute without '='");
      ++pos_;
      skipSpaces();
      if (pos_ >= text_.size() || (text_[pos_] != '"' && text_[pos_] != '\'')) {
        return fail(pos_, "attribute value without quotes");
      }
      const std::size_t close = text_.find(text_[pos_], pos_ + 1);
      if (close == std::string_view::npos) return fail(at, "unterminated attribute value");
      pos_ = close + 1;
    }
  }

  bool readEndTag(std::size_t at) {
    pos_ += 2;
    const std::string_view name = readName();
    if (name.empty()) return fail(at, "malformed end tag");
    skipSpaces();
    if (pos_ >= text_.size() || text_[pos_] != '>') return fail(at, "unterminated </" + std::string(name) + "> tag");
    ++pos_;
    return endElement(name, at);
  }

  // Text up to the next '<', with entity and character references decoded.
  bool readCharacterData() {
    const std::size_t start = pos_;
    std::size_t end = text_.find('<', pos_);
    if (end == std::string_view::npos) end = text_.size();
    const std::string_view raw = text_.substr(start, end - start);
    pos_ = end;
    if (raw.find('&') == std::string_view::npos) return characters(raw, start, false);
    std::string decoded;
    decoded.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size();) {
      const std::size_t amp = raw.find('&', i);
      if (amp == std::string_view::npos) {
        decoded.append(raw.substr(i));
        break;
      }
      decoded.append(raw.substr(i, amp - i));
      const std::size_t semi = raw.find(';', amp);
      // References are short: a ';' far away means this '&' starts none.
      if (semi == std::string_view::npos || semi - amp > 32) return fail(start + amp, "'&' that starts no reference");
      if (!decodeReference(raw.substr(amp + 1, semi - amp - 1), decoded)) {
        return fail(start + amp, "unknown or invalid reference &" + std::string(raw.substr(amp + 1, semi - amp - 1)) + ";");
      }
      i = semi + 1;
    }
    return characters(decoded, start, false);
  }

  static bool decodeReference(std::string_view name, std::string& out) {
    static constexpr std::pair<std::string_view, char> kNamed[] = {
        {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
    for (const auto& [entity, c] : kNamed) {
      if (name == entity) {
        out.push_back(c);
        return true;
      }
    }
    if (name.size() < 2 || name[0] != '#') return false;
    std::string_view digits = name.substr(1);
    unsigned base = 10;
    if (digits[0] == 'x') {
      base = 16;
      digits.remove_prefix(1);
    }
    if (digits.empty()) return false;
    std::uint32_t value = 0;
    for (const char c : digits) {
      unsigned d;
      if (c >= '0' && c <= '9') {
        d = static_cast<unsigned>(c - '0');
      } else if (base == 16 && c >= 'a' && c <= 'f') {
        d = static_cast<unsigned>(c - 'a' + 10);
      } else if (base == 16 && c >= 'A' && c <= 'F') {
        d = static_cast<unsigned>(c - 'A' + 10);
      } else {
        return false;
      }
      value = value * base + d;
      if (value > 0x10FFFF) return false;  // also stops any overflow
    }
    if (value == 0 || (value >= 0xD800 && value <= 0xDFFF)) return false;
    appendUtf8(out, value);
    return true;
  }

  // ---- The property list built from the elements ----

  bool startElement(std::string_view name, std::size_t at) {
    const std::optional<Kind> kind = kindOfElement(name);
    if (!kind) return fail(at, "unknown element <" + std::string(name) + ">");
    if (stack_.empty()) {
      if (rootStarted_) return fail(at, "a second root element <" + std::string(name) + ">");
      if (*kind != Kind::plist) return fail(at, "the root element is <" + std::string(name) + ">, not <plist>");
      rootStarted_ = true;
      stack_.emplace_back(Kind::plist, name);
      return true;
    }
    if (stack_.size() >= kMaxDepth) return fail(at, "elements nested too deeply");
    Frame& parent = stack_.back();
    if (*kind == Kind::plist) return fail(at, "<plist> inside another element");
    Role role = Role::ignored;
    switch (parent.kind) {
      case Kind::key:
      case Kind::string:
      case Kind::scalar:
      case Kind::boolean:
        return fail(at, "<" + std::string(name) + "> inside <" + std::string(parent.name) + ">");
      case Kind::plist:
        if (parent.hasValue) return fail(at, "<plist> with more than one value");
        if (*kind == Kind::key) return fail(at, "<key> outside a <dict>");
        parent.hasValue = true;
        parent.isDict = *kind == Kind::dict;
        role = Role::table;
        break;
      case Kind::array:
        if (*kind == Kind::key) return fail(at, "<key> inside an <array>");
        break;
      case Kind::dict:
        if (*kind == Kind::key) {
          if (parent.hasKey) return fail(at, "<key> without a value");
        } else {
          if (!parent.hasKey) return fail(at, "<" + std::string(name) + "> without a <key>");
          if (*kind == Kind::dict && parent.role == Role::table) {
            role = Role::entry;
            entry_ = StringsdictEntry{};
          } else if (*kind == Kind::dict && parent.role == Role::entry) {
            role = Role::variable;
            variable_ = StringsdictVariable{};
          }
        }
        break;
    }
    text_buffer_.clear();
    stack_.emplace_back(*kind, name, role);
    return true;
  }

  bool characters(std::string_view content, std::size_t at, bool cdata) {
    if (!stack_.empty()) {
      const Kind kind = stack_.back().kind;
      if (kind == Kind::key || kind == Kind::string) {
        text_buffer_.append(content);
        return true;
      }
      if (kind == Kind::scalar) return true;
    }
    // Elsewhere only layout whitespace may stand between elements.
    for (std::size_t i = 0; i < content.size(); ++i) {
      if (!isSpace(content[i])) return fail(cdata ? at : at + i, "text outside a <string> or <key>");
    }
    return true;
  }

  bool endElement(std::string_view name, std::size_t at) {
    if (stack_.empty()) return fail(at, "</" + std::string(name) + "> without a start tag");
    if (stack_.back().name != name) {
      return fail(at, "</" + std::string(name) + "> where </" + std::string(stack_.back().name) + "> belongs");
    }
    Frame frame = std::move(stack_.back());
    stack_.pop_back();
    switch (frame.kind) {
      case Kind::plist:
        if (!frame.hasValue) return fail(at, "empty <plist>");
        if (!frame.isDict) return fail(at, "the property list is not a dictionary");
        return true;
      case Kind::dict:
        if (frame.hasKey) return fail(at, "<key> without a value");
        break;
      default:
        break;
    }
    Frame& parent = stack_.back();  // a <plist> is always below every other element
    if (parent.kind != Kind::dict) return true;
    if (frame.kind == Kind::key) {
      parent.hasKey = true;
      parent.key = std::move(text_buffer_);
      text_buffer_.clear();
      return true;
    }
    parent.hasKey = false;
    deliver(parent, frame);
    return true;
  }

  // A complete value of dictionary `parent` under `parent.key`.
  void deliver(Frame& parent, const Frame& value) {
    switch (parent.role) {
      case Role::table:
        if (value.role == Role::entry) table_.insert_or_assign(std::move(parent.key), std::move(entry_));
        break;
      case Role::entry:
        if (value.kind == Kind::string && parent.key == kFormatKey) {
          entry_.format = std::move(text_buffer_);
        } else if (value.role == Role::variable) {
          entry_.variables.insert_or_assign(std::move(parent.key), std::move(variable_));
        }
        break;
      case Role::variable:
        if (value.kind != Kind::string) break;
        if (parent.key == kSpecTypeKey) {
          variable_.specType = std::move(text_buffer_);
        } else if (parent.key == kValueTypeKey) {
          variable_.valueType = std::move(text_buffer_);
        } else {
          variable_.forms.insert_or_assign(std::move(parent.key), std::move(text_buffer_));
        }
        break;
      case Role::ignored:
        break;
    }
    text_buffer_.clear();
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  std::optional<ResourceDiagnostic> error_;
  bool rootStarted_ = false;
  std::vector<Frame> stack_;
  std::string text_buffer_;  // the text of the open <key> or <string>
  StringsdictEntry entry_;         // the entry dictionary being read
  StringsdictVariable variable_;   // the variable dictionary being read
  StringsdictTable table_;
};

}  // namespace

StringsdictParseResult parseStringsdictFile(std::string_view bytes) {
  ResourceDiagnostic whyNot;
  const std::optional<std::string> text = decodeResourceText(bytes, &whyNot);
  if (!text) {
    StringsdictParseResult result;
    result.diagnostic = std::move(whyNot);
    return result;
  }
  return StringsdictReader(*text).run();
}

}  // namespace ferlo
