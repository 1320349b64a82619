#!/usr/bin/env python3
"""Finds code of the stand-in in what ships.

    ships_only.py SOURCE_ROOT BINARY...

The extension bundle links the extension's core and the platform seam, and
nothing that only plays the Finder or the system: the POSIX stand-in and its
readers (platform/stand_in), the tests' fake platform (platform/fake), the
`ferlo` program (tools/ferlo), the tests' and benchmarks' helpers
(tests/support). The names those declare at namespace scope (classes,
structs, functions) are read from their headers under SOURCE_ROOT; a name
that a shipped header declares as well (an overload) is left out. Each
BINARY (an executable or a static library, ELF or Mach-O) must define no
symbol of those names: nm lists its defined symbols, demangled.

Prints one line per binary and exits 1 when one holds such a symbol.
inspect_bundle.py runs the same check on the built bundle.
"""

import os
import re
import shutil
import subprocess
import sys

STAND_IN_DIRS = ("platform/stand_in", "platform/fake", "tools/ferlo", "tests/support")
SHIPPED_DIRS = ("base", "platform", "platform/files", "platform/macos", "exchange", "extension", "appex")

_NAMESPACE = re.compile(r"^\s*namespace\s+([\w:]+)\s*\{")
_NAMESPACE_END = re.compile(r"^\s*\}\s*//\s*namespace")
_TYPE = re.compile(r"^(?:class|struct|enum class|enum)\s+(\w+)\b(?!\s*;)")
# A declaration at namespace scope (no indentation) that names a function:
# the last word before the first "(".
_FUNCTION = re.compile(r"^(?!return\b|using\b|#|//|typedef\b)[\w:<>,\s\*&\[\]]*?\b(\w+)\s*\(")


def declared_names(directory):
    """Fully qualified names declared at namespace scope in DIRECTORY/*.h."""
    names = set()
    if not os.path.isdir(directory):
        return names
    for entry in sorted(os.listdir(directory)):
        if not entry.endswith(".h"):
            continue
        namespace = []
        with open(os.path.join(directory, entry), encoding="utf-8") as header:
            for line in header:
                opened = _NAMESPACE.match(line)
                if opened:
                    namespace = opened.group(1).split("::")
                    continue
                if _NAMESPACE_END.match(line) or not namespace or line[:1].isspace():
                    continue
                declaration = line.replace("[[nodiscard]]", "").strip()
                match = _TYPE.match(declaration) or _FUNCTION.match(declaration)
                if match and match.group(1) not in ("operator", "if", "for", "while", "switch", "sizeof",
                                                    "static_assert", "decltype", "alignof"):
                    names.add("::".join(namespace + [match.group(1)]))
    return names


def stand_in_names(source_root):
    stand_in = set()
    for directory in STAND_IN_DIRS:
        stand_in |= declared_names(os.path.join(source_root, directory))
    shipped = set()
    for directory in SHIPPED_DIRS:
        shipped |= declared_names(os.path.join(source_root, directory))
    return stand_in - shipped


def nm_tool():
    for candidate in (os.environ.get("FERLO_LLVM_NM"), "llvm-nm-19", "llvm-nm", "nm"):
        if candidate and shutil.which(candidate):
            return candidate
    raise RuntimeError("no nm (llvm-nm-19, llvm-nm or nm) on PATH")


def defined_symbols(binary, arch=None):
    args = [nm_tool(), "-C", "--defined-only"]
    if arch:
        args.append("--arch=" + arch)
    result = subprocess.run(args + [binary], capture_output=True, text=True)
    if result.returncode != 0:
        raise RuntimeError(f"nm {binary}: {result.stderr.strip() or 'exit ' + str(result.returncode)}")
    symbols = []
    for line in result.stdout.splitlines():
        fields = line.split(None, 2)
        if len(fields) == 3 and len(fields[1]) == 1:
            symbols.append(fields[2])
    return symbols


def qualified_prefixes(symbol):
    """Each leading qualified name of a demangled symbol: for
    "vtable for ferlo::A::f(int)" they are ferlo, ferlo::A, ferlo::A::f."""
    symbol = re.sub(r"^(?:vtable|typeinfo(?: name)?|VTT|construction vtable|guard variable) for ", "", symbol)
    head = re.split(r"[\s(<]", symbol, maxsplit=1)[0]
    parts = head.split("::")
    return ["::".join(parts[: i + 1]) for i in range(len(parts))]


def stand_in_symbols(symbols, names):
    """The symbols that belong to a stand-in name."""
    return sorted({symbol for symbol in symbols if any(prefix in names for prefix in qualified_prefixes(symbol))})


def main(argv):
    if len(argv) < 3:
        print(__doc__.strip().splitlines()[2].strip(), file=sys.stderr)
        return 2
    names = stand_in_names(argv[1])
    if not names:
        print(f"ships_only: no stand-in names found under {argv[1]}", file=sys.stderr)
        return 2
    failed = False
    for binary in filter(None, argv[2:]):  # an empty argument: a library this build does not make
        found = stand_in_symbols(defined_symbols(binary), names)
        if found:
            failed = True
            shown = ", ".join(found[:5]) + (f" and {len(found) - 5} more" if len(found) > 5 else "")
            print(f"FAIL {binary}: defines stand-in code: {shown}")
        else:
            print(f"ok   {binary}: nothing of the stand-in ({len(names)} names)")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
