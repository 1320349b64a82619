#!/usr/bin/env python3
"""The property-list reader (platform/stand_in/property_list.cc, through
property_list_print) against a strict second reader, on a seeded corpus of
generated property lists: valid ones, hostile ones and random mutations of
valid ones, in the XML and the binary form. Every document must be refused by
both readers or read by both to the same values.

The second reader is Python's plistlib (expat for the XML form) plus the
rules below, each where plistlib is laxer than the reader we mean to have (and
than Apple's own, as far as we know it). Each rule only ever turns plistlib's
value into an expected refusal; none accepts what plistlib refuses.

  XML (checked with a second expat pass over the same bytes; plistlib ignores
  what it does not know):
  X1 only the elements of a property list; <plist> only as the document
     element, holding exactly one value (plistlib keeps the last of several);
  X2 no text other than blanks directly in <plist>, <dict> or <array>, and in
     <true>/<false> (plistlib drops such text);
  X3 no element inside a text element (plistlib reads the text after it);
  X4 a dictionary alternates <key> and a value and ends after a value
     (plistlib lets an empty key stand without a value);
  X5 no '>' or '"' written in an attribute value: XML allows them, but
     libplist ends a tag at the first '>' outside a "…" run, whatever the
     quotes, and so a quoted '>' would leak into the values;
  X6 no unpaired '"' in a processing instruction and no '"' in a DOCTYPE's
     internal subset, for the same reason (libplist skips "…" runs looking
     for their end), and none inside single quotes in a DOCTYPE;
  X7 no processing instruction inside a text element (libplist 2.2 does not
     read one there; XML allows it);
  X8 an encoding declared in the XML declaration is UTF-8 or UTF-16 (the
     reader goes by the byte order mark alone; expat knows more encodings);
  X9 no reference to an undefined entity (expat skips one quietly when the
     document names an external DTD, which it does not read);
  X10 <integer>, <real>, <date> and <data> hold their text and nothing else:
     no comment, CDATA or reference (libplist does not read references
     there), a date in full (YYYY-MM-DDTHH:MM:SSZ; plistlib matches only a
     prefix, and takes a partial date), data in strict base64 (plistlib
     skips what is not base64).
  Both forms:
  B1 no U+0000 in any text or key (plistlib keeps it from the binary form;
     expat already refuses it in XML, written or referred to);
  B2 a root that is data or a date is refused, and data, dates and UIDs are
     left out of their containers (the reader's documented conversion, not a
     difference in reading);
  B3 an integer beyond 64 signed bits is refused (libplist's would wrap;
     plistlib's are unbounded).
  Duplicate keys are generated on purpose: both readers keep the last value.

Usage: property_list_differential.py PROPERTY_LIST_PRINT [SEED] [COUNT]
"""
import datetime
import plistlib
import random
import re
import struct
import subprocess
import sys
import xml.parsers.expat

REFUSED = "!"
KEYS = ["CFBundleIdentifier", "CFBundleName", "a", "", "k\u00e9y", "\u65e5\u672c", "x\U0001F600", "NSExtension"]
TEXT_ELEMENTS = {"key", "string", "integer", "real", "true", "false", "data", "date"}
VALUE_ELEMENTS = TEXT_ELEMENTS - {"key"} | {"dict", "array"}


# ---- Values and the canonical form property_list_print prints ----

def random_text(rng):
    alphabet = "abcXYZ 09._-<>&'\"\t\n" + "\u00e9\u00df\u20ac\u65e5\uFFFD\U0001F600\U00010000\U0010FFFD"
    return "".join(rng.choice(alphabet) for _ in range(rng.randrange(0, 8)))


def random_value(rng, depth=0):
    kind = rng.randrange(10 if depth < 4 else 7)
    if kind < 3:
        return random_text(rng)
    if kind == 3:
        return rng.choice([0, 1, -1, 7, 10, -(2 ** 63), 2 ** 63 - 1, 2 ** 53 + 1, rng.randrange(-10 ** 6, 10 ** 6)])
    if kind == 4:
        return rng.choice([0.0, -0.0, 1.5, -2.25e-7, 1e300, 0.1, 3.0])
    if kind == 5:
        return rng.random() < 0.5
    if kind == 6:
        return rng.choice([b"", b"\0\1\2", datetime.datetime(2024, 1, 2, 3, 4, 5)])
    if kind == 7:
        return [random_value(rng, depth + 1) for _ in range(rng.randrange(0, 4))]
    return {rng.choice(KEYS + [random_text(rng)]): random_value(rng, depth + 1) for _ in range(rng.randrange(0, 5))}


def canonical(value):
    if isinstance(value, bool):
        return "T" if value else "F"
    if isinstance(value, int) and not -2 ** 63 <= value < 2 ** 63:
        raise ValueError("B3")
    if isinstance(value, (int, float)):
        return "%.17g" % float(value)
    if isinstance(value, str):
        if "\0" in value:
            raise ValueError("B1")
        return "s" + value.encode("utf-8").hex()
    if isinstance(value, list):
        return "[" + ",".join(canonical(v) for v in value if not skipped(v)) + "]"
    if isinstance(value, dict):
        for key in value:
            canonical(key)
        items = sorted((k.encode("utf-8"), v) for k, v in value.items() if not skipped(v))
        return "{" + ",".join(k.hex() + ":" + canonical(v) for k, v in items) + "}"
    raise ValueError("B2")


def skipped(value):
    return isinstance(value, (bytes, datetime.datetime, plistlib.UID))


# ---- The second reader ----

class StrictXml:
    """Rules X1-X6 over the same bytes, with expat."""

    def __init__(self, data):
        self.data = data
        self.stack = []  # [name, children, text]
        self.values_in_plist = 0

    def check(self):
        text = self.data.decode("utf-16") if self.data[:2] in (b"\xff\xfe", b"\xfe\xff") else None
        raw = text if text is not None else self.data.decode("utf-8", "replace")
        for body in re.findall(r"<\?(.*?)\?>", raw, re.S):
            if body.count('"') % 2:
                raise ValueError("X6")
        at = raw.find("<!DOCTYPE")
        while 0 <= at < len(raw) and raw[at] not in "[>":  # the DOCTYPE, its literals skipped
            if raw[at] in "'\"":
                end = raw.find(raw[at], at + 1)
                if raw[at] == "'" and '"' in raw[at:end]:
                    raise ValueError("X6")
                at = end
            at = at + 1 if at >= 0 else -1
        if 0 <= at < len(raw) and raw[at] == "[" and '"' in raw[at:raw.find("]", at)]:
            raise ValueError("X6")
        parser = xml.parsers.expat.ParserCreate()
        parser.StartElementHandler = self.start
        parser.EndElementHandler = self.end
        parser.CharacterDataHandler = self.characters
        parser.ProcessingInstructionHandler = self.instruction
        parser.XmlDeclHandler = self.declaration
        parser.SkippedEntityHandler = self.skipped_entity
        parser.CommentHandler = self.markup
        parser.StartCdataSectionHandler = lambda: self.markup("")
        self.raw = self.data if text is None else None
        self.parser = parser
        parser.Parse(self.data, True)

    def start(self, name, attributes):
        if self.raw is not None:
            at = self.parser.CurrentByteIndex
            # the tag as expat read it: each value between its own quotes
            for quote, value in re.findall(rb"""=\s*(["'])(.*?)\1""", self.raw[at:at + 4096], re.S)[:len(attributes)]:
                if b">" in value or b'"' in value:
                    raise ValueError("X5")
        parent = self.stack[-1] if self.stack else None
        if name not in VALUE_ELEMENTS | {"key", "plist"}:
            raise ValueError("X1")
        if name == "plist" and parent is not None:
            raise ValueError("X1")
        if parent is not None:
            if parent[0] in TEXT_ELEMENTS:
                raise ValueError("X3")
            if parent[0] == "plist":
                self.values_in_plist += 1
                if self.values_in_plist > 1:
                    raise ValueError("X1")
            if parent[0] == "dict" and (name == "key") != (parent[1] % 2 == 0):
                raise ValueError("X4")
            parent[1] += 1
        self.stack.append([name, 0, ""])

    def end(self, name):
        node = self.stack.pop()
        text = re.sub(r"[ \t\r\n]", "", node[2] or "")
        if name == "date" and not re.fullmatch(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ", node[2] or ""):
            raise ValueError("X10")
        if name == "data" and (len(text) % 4 or not re.fullmatch(r"[A-Za-z0-9+/]*={0,2}", text)):
            raise ValueError("X10")
        if name == "dict" and node[1] % 2:
            raise ValueError("X4")
        if name == "plist" and self.values_in_plist != 1:
            raise ValueError("X1")

    def instruction(self, target, data):
        if self.stack and self.stack[-1][0] in TEXT_ELEMENTS:
            raise ValueError("X7")

    def declaration(self, version, encoding, standalone):
        if encoding is not None and encoding.lower() not in ("utf-8", "utf-16"):
            raise ValueError("X8")

    def skipped_entity(self, name, is_parameter):
        raise ValueError("X9")

    def markup(self, data):
        if self.stack and self.stack[-1][0] in ("integer", "real", "date", "data"):
            raise ValueError("X10")

    def characters(self, data):
        if self.stack and self.stack[-1][0] in ("integer", "real", "date", "data"):
            if self.parser.CurrentByteIndex >= 0 and self.raw is not None and \
                    self.raw[self.parser.CurrentByteIndex:self.parser.CurrentByteIndex + 1] == b"&":
                raise ValueError("X10")
            self.stack[-1][2] = (self.stack[-1][2] or "") + data
        elif self.stack and self.stack[-1][0] in ("plist", "dict", "array", "true", "false") and data.strip(" \t\r\n"):
            raise ValueError("X2")


def second_reader(data):
    """The canonical value, or REFUSED and the rule or error that refused it."""
    try:
        if not data.startswith(b"bplist"):
            StrictXml(data).check()
        value = plistlib.loads(data, fmt=None if data.startswith(b"bplist") else plistlib.FMT_XML)
        if value is None:
            raise ValueError("no value")
        return canonical(value)
    except Exception as error:  # plistlib raises many kinds for broken input
        return REFUSED + type(error).__name__ + ": " + str(error)[:60]


# ---- XML documents ----

def xml_escape(rng, text):
    out = []
    for c in text:
        r = rng.random()
        if c == "&" or c == "<":
            out.append({"&": "&amp;", "<": "&lt;"}[c] if r < 0.7 else "&#%d;" % ord(c))
        elif r < 0.08:
            out.append("&#x%X;" % ord(c))
        elif r < 0.12:
            out.append("&#%d;" % ord(c))
        elif c == ">" and r < 0.3:
            out.append("&gt;")
        else:
            out.append(c)
    body = "".join(out)
    if rng.random() < 0.1 and "]]>" not in text:
        return "<![CDATA[" + text.replace("\r", "") + "]]>" if "\r" not in text else body
    if rng.random() < 0.05:
        return body + "<!-- c -->"
    return body


def xml_value(rng, value, indent):
    ws = "\n" + "\t" * indent if rng.random() < 0.5 else ""
    if isinstance(value, bool):
        return ws + ("<true/>" if value else rng.choice(["<false/>", "<false></false>"]))
    if isinstance(value, int):
        return ws + "<integer>%d</integer>" % value
    if isinstance(value, float):
        return ws + "<real>%r</real>" % value
    if isinstance(value, str):
        return ws + "<string>" + xml_escape(rng, value) + "</string>"
    if isinstance(value, bytes):
        return ws + "<data>" + plistlib._encode_base64(value).decode().strip() + "</data>"
    if isinstance(value, datetime.datetime):
        return ws + "<date>" + value.strftime("%Y-%m-%dT%H:%M:%SZ") + "</date>"
    if isinstance(value, list):
        if not value and rng.random() < 0.5:
            return ws + "<array/>"
        return ws + "<array>" + "".join(xml_value(rng, v, indent + 1) for v in value) + ws + "</array>"
    items = list(value.items())
    if rng.random() < 0.1 and items:
        items.append((items[0][0], items[-1][1]))  # a repeated key
    body = "".join(ws + "\t<key>" + xml_escape(rng, k) + "</key>" + xml_value(rng, v, indent + 1) for k, v in items)
    return ws + ("<dict/>" if not items and rng.random() < 0.5 else "<dict>" + body + ws + "</dict>")


def xml_document(rng, value):
    head = ""
    if rng.random() < 0.7:
        head += '<?xml version="1.0" encoding="UTF-8"?>\n'
    if rng.random() < 0.5:
        head += ('<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" '
                 '"http://www.apple.com/DTDs/PropertyList-1.0.dtd">\n')
    if rng.random() < 0.1:
        head += "<!-- a comment -->\n"
    quote = rng.choice("\"'")
    open_tag = rng.choice(["<plist version=%s1.0%s>" % (quote, quote), "<plist>"])
    return head + open_tag + xml_value(rng, value, 1) + "\n</plist>" + rng.choice(["\n", "", "\n<!-- end -->\n"])


# Hostile edits of a valid dictionary document: (name, replace what, with what).
IDENTIFIER = "<key>CFBundleIdentifier</key><string>com.example.app</string>"
HOSTILE_XML = [
    ("nul raw", "com.example.app", "com.example\0app"),
    ("nul reference", "com.example.app", "com.example&#0;app"),
    ("nul hex reference", "com.example.app", "com.&#x0;example.app"),
    ("nul key", IDENTIFIER, "<key>CFBundleIdentifier&#0;</key><string>evil</string>" + IDENTIFIER),
    ("nul raw key", IDENTIFIER, IDENTIFIER + "<key>CFBundleIdentifier\0</key><string>evil</string>"),
    ("surrogate reference", "com.example.app", "com.example&#xD800;app"),
    ("low surrogate reference", "com.example.app", "com.&#56320;example"),
    ("surrogate pair references", "com.example.app", "com.&#xD83D;&#xDE00;"),
    ("surrogate key", IDENTIFIER, IDENTIFIER + "<key>CFBundleIdentifier&#xDBFF;</key><string>evil</string>"),
    ("control reference", "com.example.app", "com.&#1;app"),
    ("control raw", "com.example.app", "com.\x1bapp"),
    ("quoted > in plist", "<plist>", "<plist version='>'>"),
    ("quoted > in string", "<string>com", "<string a='>'>com"),
    ("double-quoted > in dict", "<dict>", '<dict x=">">'),
    ("quote in single quotes", "<plist>", "<plist version='\"'>"),
    ("dangling key", "</dict>\n</plist>", "<key>orphan</key></dict>\n</plist>"),
    ("key after key", IDENTIFIER, "<key>CFBundleIdentifier</key>" + IDENTIFIER),
    ("empty dangling key", "</dict>\n</plist>", "<key></key></dict>\n</plist>"),
    ("missing </plist>", "</plist>", ""),
    ("missing </dict>", "</dict>\n</plist>", "</plist>"),
    ("second document", "</plist>", "</plist><plist><dict/></plist>"),
    ("value after root", "</plist>", "</plist><dict/>"),
    ("text after root", "</plist>", "</plist>x"),
    ("doctype after root", "</plist>", "</plist><!DOCTYPE plist>"),
    ("two values", "</dict>\n</plist>", "</dict><dict/></plist>"),
    ("text in dict", IDENTIFIER, IDENTIFIER + "junk"),
    ("unknown element", IDENTIFIER, IDENTIFIER + "<blob/>"),
    ("nested plist", IDENTIFIER, "<key>p</key><plist><true/></plist>" + IDENTIFIER),
    ("text in true", IDENTIFIER, IDENTIFIER + "<key>t</key><true>yes</true>"),
    ("element in string", "com.example.app", "com.<b/>example"),
    ("value without key", IDENTIFIER, IDENTIFIER + "<string>x</string>"),
    ("key in array", IDENTIFIER, "<key>a</key><array><key>k</key></array>" + IDENTIFIER),
    ("undefined entity", "com.example.app", "com.&example;"),
    ("bare ampersand", "com.example.app", "com.&app"),
    ("double hyphen in comment", IDENTIFIER, IDENTIFIER + "<!-- a -- b -->"),
    ("unpaired quote in PI", "<plist>", '<?pi "?><plist>'),
    ("declaration not at start", "<plist>", '<?xml version="1.0"?><plist>'),
    ("repeated attribute", "<plist>", '<plist a="1" a="2">'),
    ("U+FFFE", "com.example.app", "com.\ufffe"),
    ("U+FFFF reference", "com.example.app", "com.&#xFFFF;"),
    ("reference too big", "com.example.app", "&#x110000;"),
    ("reference wraps", "com.example.app", "&#x100000041;"),
    # allowed: what follows the root may be blanks, comments and instructions
    ("comment after root", "</plist>", "</plist>\n<!-- c --><?pi x?>\n"),
    ("single quotes", "<plist>", "<plist version='1.0'>"),
    ("quote in PI", "<plist>", '<?pi a="?>"?><plist>'),
]
XML_SNIPPETS = ["\0", "&#0;", "&#xD800;", "<key>k</key>", "</dict>", "<dict>", "</plist>", "<plist>", "x", "<!-- -->",
                "<true/>", "<string>s</string>", "a='>'", "<?pi?>", "]]>", "&", "<", ">", "<array>", "</array>"]


def xml_mutation(rng, document):
    tags = [m.start() for m in re.finditer("<", document)] or [0]
    at = rng.choice(tags)
    kind = rng.randrange(5)
    if kind == 0:  # drop a tag
        end = document.find(">", at) + 1
        return document[:at] + document[end:] if end > 0 else document[:at]
    if kind == 1:  # repeat a tag
        end = document.find(">", at) + 1
        return document[:end] + document[at:end] + document[end:] if end > 0 else document
    if kind == 2:  # cut short
        return document[:rng.randrange(len(document) + 1)]
    if kind == 3:  # insert a snippet at a tag, or anywhere
        where = at if rng.random() < 0.7 else rng.randrange(len(document) + 1)
        return document[:where] + rng.choice(XML_SNIPPETS) + document[where:]
    where = rng.randrange(len(document) + 1)  # a byte changed
    return document[:where] + chr(rng.randrange(32, 127)) + document[where + 1:]


# ---- Binary documents, written here so that texts can be anything ----

class Raw:
    """A string object written as given: marker 5 (ASCII bytes) or 6 (UTF-16 code units)."""

    def __init__(self, utf16, payload):
        self.utf16, self.payload = utf16, payload


def binary_document(rng, value):
    objects, index = [], {}

    def sized(marker, count):
        return bytes([marker | count]) if count < 15 else bytes([marker | 15, 0x11]) + struct.pack(">H", count)

    def add(v):
        shareable = isinstance(v, (str, int, float)) and not isinstance(v, bool)
        if shareable and (type(v), v) in index:
            return index[(type(v), v)]
        at = len(objects)
        objects.append(None)
        if shareable:
            index[(type(v), v)] = at
        if isinstance(v, bool):
            objects[at] = b"\x09" if v else b"\x08"
        elif isinstance(v, int):
            objects[at] = b"\x13" + struct.pack(">q", v) if v < 0 or rng.random() < 0.3 else \
                b"\x12" + struct.pack(">I", v) if v < 2 ** 32 else b"\x13" + struct.pack(">q", v)
        elif isinstance(v, float):
            objects[at] = b"\x23" + struct.pack(">d", v)
        elif isinstance(v, str):
            ascii_ok = all(ord(c) < 128 for c in v) and (rng.random() < 0.8 or not v)
            if ascii_ok:
                objects[at] = sized(0x50, len(v)) + v.encode("ascii")
            else:
                units = v.encode("utf-16-be")
                objects[at] = sized(0x60, len(units) // 2) + units
        elif isinstance(v, Raw):
            objects[at] = sized(0x60 if v.utf16 else 0x50, len(v.payload) // (2 if v.utf16 else 1)) + v.payload
        elif isinstance(v, bytes):
            objects[at] = sized(0x40, len(v)) + v
        elif isinstance(v, datetime.datetime):
            objects[at] = b"\x33" + struct.pack(">d", 0.0)
        elif isinstance(v, list):
            refs = [add(x) for x in v]
            objects[at] = (sized(0xA0, len(refs)), refs)
        else:
            items = list(v.items()) if isinstance(v, dict) else v.items
            keys = [add(k) for k, _ in items]
            values = [add(x) for _, x in items]
            objects[at] = (sized(0xD0, len(items)), keys + values)
        return at

    add(value)
    out, offsets = bytearray(b"bplist00"), []
    for obj in objects:
        offsets.append(len(out))
        if isinstance(obj, tuple):
            out += obj[0] + b"".join(struct.pack(">H", r) for r in obj[1])
        else:
            out += obj
    table = len(out)
    for offset in offsets:
        out += struct.pack(">I", offset)
    out += b"\0" * 6 + bytes([4, 2]) + struct.pack(">QQQ", len(objects), 0, table)
    return bytes(out)


class Pairs:
    """A dictionary that may repeat a key, for the binary writer."""

    def __init__(self, items):
        self.items = items


HOSTILE_TEXT = [
    ("ascii nul", Raw(False, b"com.example\0evil")),
    ("ascii trailing nul", Raw(False, b"com.example.app\0")),
    ("ascii high byte", Raw(False, "com.\u00e9".encode("utf-8"))),
    ("utf16 nul", Raw(True, "com.example\0evil".encode("utf-16-be"))),
    ("utf16 lone high surrogate", Raw(True, b"\x00a\xd8\x00\x00b")),
    ("utf16 lone low surrogate", Raw(True, b"\xdc\x00\x00a")),
    ("utf16 surrogate at end", Raw(True, b"\x00a\xd8\x3d")),
    ("utf16 reversed pair", Raw(True, b"\xde\x00\xd8\x3d")),
    ("utf16 pair", Raw(True, "x\U0001F600".encode("utf-16-be"))),  # allowed
]


def hostile_binary(rng):
    name, text = rng.choice(HOSTILE_TEXT)
    where = rng.randrange(3)
    if where == 0:  # the identifier's value
        items = [("CFBundleIdentifier", text)]
    elif where == 1:  # a key standing for another, before or after the real one
        items = [("CFBundleIdentifier", "com.example.app"),
                 (Raw(text.utf16, ("CFBundleIdentifier".encode("utf-16-be" if text.utf16 else "ascii")) + text.payload),
                  "evil")]
        rng.shuffle(items)
    else:  # deeper down
        items = [("NSExtension", Pairs([("list", [1, text])]))]
    return "binary " + name, binary_document(rng, Pairs(items))


def binary_mutation(rng, document):
    kind = rng.randrange(3)
    if kind == 0:
        return document[:rng.randrange(len(document) + 1)]
    where = rng.randrange(8, max(9, len(document) - 32))  # an object's byte, not the header or trailer
    if kind == 1:
        return document[:where] + bytes([rng.randrange(256)]) + document[where + 1:]
    return document[:where] + bytes([document[where] ^ (1 << rng.randrange(8))]) + document[where + 1:]


def structural_refusal(document):
    """Where the reader's checks of the binary format are stricter than
    plistlib's (an object outside its data, an integer of 16 bytes, a set,
    an empty UTF-16 string, a null or fill object, an object size written
    as anything but an integer object): None when none applies, else what
    applies. Only ever used to excuse a refusal by the reader."""
    if len(document) < 40 or not document.startswith(b"bplist00"):
        return None
    offset_size, ref_size = document[-26], document[-25]
    count, _, table = struct.unpack(">QQQ", document[-24:])
    if offset_size not in (1, 2, 4, 8) or table + count * offset_size > len(document) - 32 or table < 8:
        return None
    for i in range(count):
        at = int.from_bytes(document[table + i * offset_size:table + (i + 1) * offset_size], "big")
        if not 8 <= at < table:
            return "object outside its data"
        marker = document[at]
        if marker >> 4 == 0xC:
            return "set"
        if marker >> 4 in (0x4, 0x5, 0x6, 0xA, 0xD) and marker & 15 == 15 and document[at + 1] >> 4 != 1:
            return "a size that is not an integer object"  # plistlib reads any marker there
        low, wide = marker & 15, marker >> 4 in (0x4, 0x5, 0x6, 0xA, 0xD) and marker & 15 == 15
        if wide and at + 2 < table:
            width = 1 << (document[at + 1] & 15)
            low, start = int.from_bytes(document[at + 2:at + 2 + width], "big"), at + 2 + width
        else:
            start = at + 1
        size = {0x1: 1 << (marker & 15), 0x2: 1 << (marker & 15), 0x3: 1 << (marker & 15), 0x8: (marker & 15) + 1, 0x4: low, 0x5: low, 0x6: 2 * low, 0xA: low * ref_size, 0xD: 2 * low * ref_size}.get(marker >> 4, 0)
        if marker >> 4 == 0x6 and low == 0:
            return "null, fill, wide integer or empty UTF-16"
        if start + size > table:
            return "object outside its data"  # plistlib reads on into the offset table
        if marker in (0x00, 0x0F) or (marker >> 4 == 0x1 and marker & 15 > 3) or marker == 0x60:
            return "null, fill, wide integer or empty UTF-16"
    return None


# ---- The run ----

def corpus(seed, count):
    rng = random.Random(seed)
    for n in range(count):
        value = {"CFBundleIdentifier": "com.example.app"}
        value.update({rng.choice(KEYS): random_value(rng, 1) for _ in range(rng.randrange(4))})
        if rng.random() < 0.2:
            value = random_value(rng)
        binary = n % 3 == 2
        if binary:
            document = binary_document(rng, value)
            roll = rng.random()
            if roll < 0.3:
                yield hostile_binary(rng)
            elif roll < 0.6:
                yield "binary mutation", binary_mutation(rng, document)
            else:
                yield "binary", document
            continue
        document = xml_document(rng, value)
        roll = rng.random()
        if roll < 0.35 and IDENTIFIER in document.replace("\n\t", "").replace("\t", ""):
            name, old, new = rng.choice(HOSTILE_XML)
            compact = re.sub(r">\s+<", "><", document).replace("</dict></plist>", "</dict>\n</plist>")
            if old in compact:
                document, roll = compact.replace(old, new, 1), 0
                yield "xml " + name, document.encode("utf-8", "surrogatepass")
                continue
        if roll < 0.65:
            yield "xml mutation", xml_mutation(rng, document).encode("utf-8", "surrogatepass")
        elif roll < 0.7:
            yield "xml utf-16", document.replace(' encoding="UTF-8"', "").encode("utf-16")
        else:
            yield "xml", document.encode("utf-8")


def main():
    program = sys.argv[1]
    seed = int(sys.argv[2]) if len(sys.argv) > 2 else 20240601
    count = int(sys.argv[3]) if len(sys.argv) > 3 else 4000
    documents = list(corpus(seed, count))
    # every hostile edit at least once, on a small fixed dictionary
    rng = random.Random(seed)
    base = '<?xml version="1.0" encoding="UTF-8"?>\n<plist><dict>' + IDENTIFIER + "<key>n</key><integer>1</integer></dict>\n</plist>\n"
    for name, old, new in HOSTILE_XML:
        assert old in base, name
        documents.append(("xml " + name, base.replace(old, new, 1).encode("utf-8", "surrogatepass")))
    for name, _ in HOSTILE_TEXT:
        documents.append(hostile_binary(rng))
    stream = b"".join(struct.pack(">I", len(d)) + d for _, d in documents)
    output = subprocess.run([program], input=stream, capture_output=True, check=True).stdout.decode()
    lines = output.split("\n")[:-1]
    assert len(lines) == len(documents), (len(lines), len(documents))
    failures, refused, kinds = [], 0, {}
    for (kind, document), ours in zip(documents, lines):
        theirs = second_reader(document)
        if theirs.startswith(REFUSED) and kind.startswith("binary") and structural_refusal(document):
            theirs = REFUSED + "structure"
        both_refuse = theirs.startswith(REFUSED) and ours.startswith(REFUSED)
        if not both_refuse and theirs != ours:
            if ours.startswith(REFUSED) and structural_refusal(document) and kind.startswith("binary"):
                continue  # the reader's stricter checks of the format, see structural_refusal
            failures.append((kind, document, ours, theirs))
        refused += ours.startswith(REFUSED)
        kinds[kind.split()[0]] = kinds.get(kind.split()[0], 0) + 1
        # the hostile cases name their place: a line, or a byte offset
        hostile = kind not in ("xml", "binary", "xml utf-16", "xml mutation", "binary mutation")
        if hostile and ours.startswith(REFUSED) and not re.match(r"!line \d+: |!.* at byte \d+", ours):
            failures.append((kind, document, ours, "a refusal that names its place"))
    for kind, document, ours, theirs in failures[:15]:
        print("%s: %r\n  ours:   %s\n  theirs: %s" % (kind, document[:300], ours[:200], theirs[:200]))
    print("%d documents (%s), %d refused by the reader, %d disagreements" %
          (len(documents), ", ".join("%s %d" % kv for kv in sorted(kinds.items())), refused, len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
