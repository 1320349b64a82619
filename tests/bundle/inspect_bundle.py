#!/usr/bin/env python3
"""Inspects a built FerloFinderSync.appex the way the system will meet it.

    inspect_bundle.py BUNDLE --min-os 11.0 --resources resources/ [--archs arm64,x86_64]

Reads the bundle with LLVM's Mach-O tools (llvm-objdump, llvm-lipo, llvm-nm; on a
Mac Xcode's objdump, lipo and nm do as well) and Python's plistlib, and checks,
for every architecture of the executable:

  mach-o        an executable (MH_EXECUTE) of exactly the expected architectures
  min-os        LC_BUILD_VERSION for macOS with the configured minimum
  entry         LC_MAIN enters at the stub of _NSExtensionMain, bound to Foundation
  libraries     only /System/Library/… and /usr/lib/… libraries are loaded
  static-deps   simdjson and utf8proc are inside the executable (its symbols say so:
                the check needs an unstripped executable), not loaded
  ships-only    nothing of the stand-in, the fake, the program or the tests' helpers
                is linked in (ships_only.py, on the executable's symbols)
  principal     the Info.plist's principal class is in the class list, a subclass
                of FIFinderSync (bound to FinderSync.framework), with its methods
  info-plist    the Info.plist parses and has the keys the system reads
  resources     every .lproj and BrandGlyph image of resources/ in Contents/Resources

Prints one line per check ("ok" or "FAIL") and exits 1 if any check failed.
Code signing is not checked: it needs a Mac (codesign --verify).
"""

import argparse
import filecmp
import os
import plistlib
import re
import shutil
import subprocess
import sys

import ships_only

COMMAND_TABLE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "extension", "command_table.h")


def command_names(header=COMMAND_TABLE):
    """The action methods' names as the extension's table of commands lists them."""
    with open(header, encoding="utf-8") as source:
        text = source.read()
    table = re.search(r"kMenuCommands\s*=\s*\{\{(.*?)\n\}\};", text, re.S)
    names = re.findall(r'\{Selector::\w+,\s*"([^"]+)"', table.group(1)) if table else []
    if not names:
        raise SystemExit(f"{header}: no kMenuCommands table with names")
    return names


PRINCIPAL_METHODS = ["init", "toolbarItemName", "toolbarItemToolTip", "menuForMenuKind:"] + command_names()
ALLOWED_LIBRARY_PREFIXES = ("/System/Library/", "/usr/lib/")
SOURCE_ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


class Failure(Exception):
    pass


def tool(name):
    """llvm-NAME-19, llvm-NAME, or the plain NAME of Xcode's tools."""
    for candidate in (os.environ.get("FERLO_LLVM_" + name.upper()), f"llvm-{name}-19", f"llvm-{name}", name):
        if candidate and shutil.which(candidate):
            return candidate
    raise Failure(f"no {name} tool (llvm-{name}-19, llvm-{name} or {name}) on PATH")


def run(*args):
    result = subprocess.run(args, capture_output=True, text=True)
    if result.returncode != 0:
        raise Failure(f"{' '.join(args)}: {result.stderr.strip() or 'exit ' + str(result.returncode)}")
    return result.stdout


def load_commands(executable, arch):
    """The load commands of one architecture as dictionaries of their fields."""
    commands, current = [], None
    for line in run(tool("objdump"), "--macho", f"--arch={arch}", "--private-headers", executable).splitlines():
        if line.startswith("Load command"):
            current = {}
            commands.append(current)
        elif current is not None:
            fields = line.split(None, 1)
            if len(fields) == 2:
                current.setdefault(fields[0], fields[1].strip())
    return commands


def dylibs(executable, arch):
    """The lines of the libraries one architecture loads."""
    lines = run(tool("objdump"), "--macho", f"--arch={arch}", "--dylibs-used", executable).splitlines()
    return [line for line in lines[1:] if line.strip()]


def bindings(executable, arch):
    """symbol -> library of every bound (or lazily bound) symbol."""
    bound = {}
    for option in ("--bind", "--lazy-bind", "--weak-bind"):
        for line in run(tool("objdump"), "--macho", f"--arch={arch}", option, executable).splitlines():
            fields = line.split()
            if len(fields) >= 4 and fields[0].startswith("__") and fields[-1].startswith("_"):
                bound.setdefault(fields[-1], fields[-2])
    if not bound:
        # Chained fixups (the linkers' default from macOS 12 on) instead of bind opcodes.
        for line in run(tool("objdump"), "--macho", f"--arch={arch}", "--dyld-info", executable).splitlines():
            fields = line.split()
            if len(fields) >= 7 and fields[4] == "bind":
                bound.setdefault(fields[-1], fields[-2])
    return bound


class Inspection:
    def __init__(self, bundle, min_os, resources, archs):
        self.bundle = bundle.rstrip("/")
        self.min_os = min_os
        self.resources = resources
        self.expected_archs = archs
        self.failed = 0
        self.info = None
        self.executable = None
        self.archs = []

    def check(self, name, function):
        try:
            detail = function()
            print(f"ok   {name}: {detail}")
        except Failure as failure:
            self.failed += 1
            print(f"FAIL {name}: {failure}")

    # --- the Info.plist first: it names the executable and the principal class

    def info_plist(self):
        path = os.path.join(self.bundle, "Contents", "Info.plist")
        try:
            with open(path, "rb") as file:
                info = plistlib.load(file)
        except Exception as error:  # plistlib raises what its XML or binary reader raises
            raise Failure(f"{path}: {type(error).__name__}: {error}")
        if not isinstance(info, dict):
            raise Failure(f"{path}: the top level is not a dictionary")
        self.info = info
        problems = []

        def expect(key, condition, what):
            value = info.get(key)
            if not isinstance(value, str) or not condition(value):
                problems.append(f"{key} {what}, got {value!r}")

        expect("CFBundleExecutable", lambda v: re.fullmatch(r"[A-Za-z0-9_.-]+", v), "is a file name")
        expect("CFBundleIdentifier", lambda v: re.fullmatch(r"[A-Za-z0-9-]+(\.[A-Za-z0-9-]+)+", v),
               "is a reverse-DNS identifier")
        expect("CFBundlePackageType", lambda v: v == "XPC!", "is XPC!")
        expect("CFBundleInfoDictionaryVersion", lambda v: v == "6.0", "is 6.0")
        expect("CFBundleShortVersionString", lambda v: re.fullmatch(r"\d+(\.\d+){0,2}", v), "is a version")
        expect("CFBundleVersion", lambda v: re.fullmatch(r"\d+(\.\d+){0,2}", v), "is a version")
        expect("LSMinimumSystemVersion", lambda v: v == self.min_os, f"is {self.min_os}")
        extension = info.get("NSExtension")
        if not isinstance(extension, dict):
            problems.append("NSExtension is not a dictionary")
        else:
            if extension.get("NSExtensionPointIdentifier") != "com.apple.FinderSync":
                problems.append("NSExtension.NSExtensionPointIdentifier is not com.apple.FinderSync")
            if not isinstance(extension.get("NSExtensionPrincipalClass"), str):
                problems.append("NSExtension.NSExtensionPrincipalClass is missing")
        unfilled = [key for key, value in info.items() if isinstance(value, str) and re.search(r"@\w+@", value)]
        if unfilled:
            problems.append(f"template placeholders left in {', '.join(unfilled)}")
        if problems:
            raise Failure("; ".join(problems))
        return (f"{info['CFBundleIdentifier']}, executable {info['CFBundleExecutable']}, principal class "
                f"{extension['NSExtensionPrincipalClass']}, minimum macOS {info['LSMinimumSystemVersion']}")

    # --- the executable

    def need_executable(self):
        if not self.archs:
            raise Failure("not checked: no Mach-O executable")

    def mach_o(self):
        # The executable the Info.plist names, else the one file in Contents/MacOS.
        directory = os.path.join(self.bundle, "Contents", "MacOS")
        name = (self.info or {}).get("CFBundleExecutable")
        if not isinstance(name, str) and os.path.isdir(directory) and len(os.listdir(directory)) == 1:
            name = os.listdir(directory)[0]
        if not isinstance(name, str) or not os.path.isfile(os.path.join(directory, name)):
            raise Failure(f"no executable in {directory} (CFBundleExecutable: {name!r})")
        self.executable = os.path.join(directory, name)
        self.archs = run(tool("lipo"), "-archs", self.executable).split()
        if self.expected_archs and sorted(self.archs) != sorted(self.expected_archs):
            # The architectures there are still get the other checks.
            raise Failure(f"architectures {' '.join(self.archs) or 'none'}, "
                          f"expected {' '.join(self.expected_archs)}")
        for arch in self.archs:
            header = run(tool("objdump"), "--macho", f"--arch={arch}", "--private-header",
                         self.executable).splitlines()
            fields = header[-1].split()
            # magic cputype cpusubtype caps filetype ncmds sizeofcmds flags…
            if len(fields) < 5 or fields[4] != "EXECUTE":
                raise Failure(f"{arch}: not an executable (file type {fields[4] if len(fields) > 4 else '?'})")
        kind = "universal" if len(self.archs) > 1 else "thin"
        return f"{kind} executable, {' '.join(self.archs)}, {os.path.getsize(self.executable)} bytes"

    def minimum_os(self):
        self.need_executable()
        for arch in self.archs:
            versions = [c for c in load_commands(self.executable, arch) if c.get("cmd") == "LC_BUILD_VERSION"]
            if len(versions) != 1:
                raise Failure(f"{arch}: {len(versions)} LC_BUILD_VERSION commands")
            if versions[0].get("platform") not in ("macos", "1"):  # PLATFORM_MACOS, by name or number
                raise Failure(f"{arch}: platform {versions[0].get('platform')}, not macOS")
            if versions[0].get("minos") != self.min_os:
                raise Failure(f"{arch}: minimum macOS {versions[0].get('minos')}, configured {self.min_os}")
        return f"macOS {self.min_os} for {' '.join(self.archs)} (SDK {versions[0].get('sdk')})"

    def entry(self):
        self.need_executable()
        for arch in self.archs:
            commands = load_commands(self.executable, arch)
            mains = [c for c in commands if c.get("cmd") == "LC_MAIN"]
            text = [c for c in commands if c.get("cmd") == "LC_SEGMENT_64" and c.get("segname") == "__TEXT"]
            if len(mains) != 1 or len(text) != 1:
                raise Failure(f"{arch}: {len(mains)} LC_MAIN, {len(text)} __TEXT segments")
            address = int(text[0]["vmaddr"], 16) + int(mains[0]["entryoff"])
            stubs = {}
            for line in run(tool("objdump"), "--macho", f"--arch={arch}", "--indirect-symbols",
                            self.executable).splitlines():
                fields = line.split()
                if len(fields) == 3 and fields[0].startswith("0x"):
                    stubs.setdefault(int(fields[0], 16), fields[2])
            symbol = stubs.get(address)
            if symbol != "_NSExtensionMain":
                raise Failure(f"{arch}: entry at {address:#x} is {symbol or 'no symbol stub'}, "
                              "not the stub of _NSExtensionMain")
            library = bindings(self.executable, arch).get(symbol)
            if library != "Foundation":
                raise Failure(f"{arch}: {symbol} bound to {library}, not Foundation")
        return "LC_MAIN enters at the stub of _NSExtensionMain, bound to Foundation"

    def libraries(self):
        self.need_executable()
        loaded = set()
        for arch in self.archs:
            lines = dylibs(self.executable, arch)
            names = [line.strip().split(" (compatibility")[0] for line in lines if line.strip()]
            foreign = [name for name in names if not name.startswith(ALLOWED_LIBRARY_PREFIXES)]
            if foreign:
                raise Failure(f"{arch}: loads {', '.join(foreign)}")
            loaded.update(names)
        return ", ".join(sorted(os.path.basename(name) for name in loaded))

    def static_dependencies(self):
        self.need_executable()
        for arch in self.archs:
            defined = run(tool("nm"), "--arch=" + arch, "--defined-only", "-j", self.executable).split()
            missing = [prefix for prefix in ("_utf8proc_", "__ZN8simdjson")
                       if not any(name.startswith(prefix) for name in defined)]
            if missing:
                raise Failure(f"{arch}: no symbol {' or '.join(p + '…' for p in missing)} defined in the executable")
            if re.search(r"simdjson|utf8proc", " ".join(dylibs(self.executable, arch)), re.IGNORECASE):
                raise Failure(f"{arch}: simdjson or utf8proc loaded as a library")
        return "simdjson and utf8proc defined in the executable"

    def ships_only(self):
        self.need_executable()
        names = ships_only.stand_in_names(SOURCE_ROOT)
        for arch in self.archs:
            found = ships_only.stand_in_symbols(ships_only.defined_symbols(self.executable, arch), names)
            if found:
                raise Failure(f"{arch}: stand-in code linked in: {', '.join(found[:5])}"
                              + (f" and {len(found) - 5} more" if len(found) > 5 else ""))
        return f"none of {len(names)} names of the stand-in, the program and the tests' helpers defined"

    def principal(self):
        self.need_executable()
        name = ((self.info or {}).get("NSExtension") or {}).get("NSExtensionPrincipalClass")
        if not isinstance(name, str):
            raise Failure("the Info.plist names no principal class")
        for arch in self.archs:
            classes = objc_classes(run(tool("objdump"), "--macho", f"--arch={arch}", "--objc-meta-data",
                                       self.executable))
            if name not in classes:
                raise Failure(f"{arch}: no class {name} in the class list ({', '.join(classes) or 'none'})")
            superclass, methods = classes[name]
            if superclass != "FIFinderSync":
                raise Failure(f"{arch}: {name} is a subclass of {superclass}, not of FIFinderSync")
            library = bindings(self.executable, arch).get("_OBJC_CLASS_$_FIFinderSync")
            if library != "FinderSync":
                raise Failure(f"{arch}: FIFinderSync bound to {library}, not the FinderSync framework")
            missing = [m for m in PRINCIPAL_METHODS if m not in methods]
            if missing:
                raise Failure(f"{arch}: {name} lacks {', '.join(missing)}")
        return f"{name} : FIFinderSync with {', '.join(PRINCIPAL_METHODS)}"

    def bundle_resources(self):
        target = os.path.join(self.bundle, "Contents", "Resources")
        expected = []
        for entry in sorted(os.listdir(self.resources)):
            source = os.path.join(self.resources, entry)
            if entry.endswith(".lproj") and os.path.isdir(source):
                expected += [os.path.join(entry, f) for f in sorted(os.listdir(source))]
            elif re.fullmatch(r"BrandGlyph.*\.png", entry):
                expected.append(entry)
        if not any(e.startswith("BrandGlyph") for e in expected):
            raise Failure(f"{self.resources} holds no BrandGlyph image")
        missing = [e for e in expected if not os.path.isfile(os.path.join(target, e))]
        if missing:
            raise Failure(f"missing in Contents/Resources: {', '.join(missing)}")
        differing = [e for e in expected
                     if not filecmp.cmp(os.path.join(self.resources, e), os.path.join(target, e), shallow=False)]
        if differing:
            raise Failure(f"differ from {self.resources}: {', '.join(differing)}")
        lprojs = sorted({e.split("/")[0] for e in expected if ".lproj/" in e})
        glyphs = [e for e in expected if e.startswith("BrandGlyph")]
        return f"{' '.join(lprojs)}; {' '.join(glyphs)}"


def objc_classes(metadata):
    """class name -> (superclass name, method names) from objdump's --objc-meta-data."""
    classes = {}
    lines = metadata.splitlines()
    i, section = 0, ""
    while i < len(lines):
        if lines[i].startswith("Contents of ("):
            section = lines[i]
        # An entry of the class list: its address and the class's (symbols may be stripped).
        if "__objc_classlist" not in section or not re.match(r"^[0-9a-f]+ 0x[0-9a-f]+", lines[i]):
            i += 1
            continue
        superclass, name, methods, in_methods = None, None, [], False
        i += 1
        while i < len(lines) and lines[i].strip() != "Meta Class" and not re.match(r"^[0-9a-f]+ 0x", lines[i]):
            line = lines[i].strip()
            match = re.match(r"superclass 0x[0-9a-f]+ (\S+)", line)
            if match and superclass is None:
                superclass = re.sub(r"^_OBJC_CLASS_\$_", "", match.group(1))
            if line.startswith("baseMethods"):
                in_methods = True
            elif re.match(r"(baseProtocols|ivars|baseProperties) ", line):
                in_methods = False
            match = re.match(r"name 0x[0-9a-f]+ (\S+)", line)
            if match:
                if name is None:
                    name = match.group(1)
                elif in_methods:
                    methods.append(match.group(1))
            i += 1
        if name:
            classes[name] = (superclass, methods)
    return classes


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("bundle")
    parser.add_argument("--min-os", required=True, help="the configured minimum macOS version")
    parser.add_argument("--resources", required=True, help="the source resources/ directory")
    parser.add_argument("--archs", default="", help="comma- or semicolon-separated; empty: any")
    args = parser.parse_args()
    archs = [a for a in re.split(r"[,;\s]+", args.archs) if a]
    inspection = Inspection(args.bundle, args.min_os, args.resources, archs)
    print(f"inspecting {args.bundle}")
    inspection.check("info-plist", inspection.info_plist)
    inspection.check("mach-o", inspection.mach_o)
    inspection.check("min-os", inspection.minimum_os)
    inspection.check("entry", inspection.entry)
    inspection.check("libraries", inspection.libraries)
    inspection.check("static-deps", inspection.static_dependencies)
    inspection.check("ships-only", inspection.ships_only)
    inspection.check("principal", inspection.principal)
    inspection.check("resources", inspection.bundle_resources)
    print("code signing: not checked here (it needs a Mac: codesign --verify --strict)")
    if inspection.failed:
        print(f"{inspection.failed} check(s) failed")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
