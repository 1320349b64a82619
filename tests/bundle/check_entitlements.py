#!/usr/bin/env python3
"""Checks that a signed bundle carries exactly the entitlements it was built with.

    check_entitlements.py BUNDLE EXPECTED.entitlements [--signed FILE]

Reads the entitlements in BUNDLE's signature (`codesign -d --entitlements - --xml
BUNDLE`, on a Mac; or FILE, that command's saved output) and the property list
EXPECTED (the configured <tree>/appex/FerloFinderSync.entitlements), and compares
them as property lists: the same keys with the same values, types included.
Prints "ok" with the keys, or one line per difference; exits 1 on a difference,
2 when either side cannot be read (an unsigned bundle has no entitlements).
"""

import argparse
import plistlib
import subprocess
import sys


def signed_entitlements(bundle, saved):
    if saved:
        with open(saved, "rb") as f:
            output = f.read()
    else:
        result = subprocess.run(["codesign", "-d", "--entitlements", "-", "--xml", bundle], capture_output=True)
        if result.returncode != 0:
            raise ValueError(f"codesign -d {bundle}: {result.stderr.decode(errors='replace').strip()}")
        output = result.stdout
    # Older codesign puts a blob header before the XML; the property list starts at "<?xml" or "<plist".
    starts = [i for i in (output.find(b"<?xml"), output.find(b"<plist")) if i >= 0]
    if not starts:
        raise ValueError(f"{bundle}: the signature has no entitlements")
    try:
        return plistlib.loads(output[min(starts):])
    except Exception as error:  # plistlib raises expat's, ValueError or InvalidFileException
        raise ValueError(f"{bundle}: the signature's entitlements do not parse: {error}")


def differences(signed, expected):
    lines = []
    for key in sorted(set(signed) | set(expected)):
        if key not in signed:
            lines.append(f"missing from the signature: {key} = {expected[key]!r}")
        elif key not in expected:
            lines.append(f"signed but not configured: {key} = {signed[key]!r}")
        elif type(signed[key]) is not type(expected[key]) or signed[key] != expected[key]:
            lines.append(f"{key}: signed {signed[key]!r}, configured {expected[key]!r}")
    return lines


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("bundle")
    parser.add_argument("expected")
    parser.add_argument("--signed", help="codesign's output, saved, in place of running codesign")
    args = parser.parse_args()
    try:
        signed = signed_entitlements(args.bundle, args.signed)
        with open(args.expected, "rb") as f:
            expected = plistlib.load(f)
    except Exception as error:  # unreadable, or not a property list
        print(f"FAIL entitlements: {error}")
        return 2
    if not isinstance(signed, dict) or not isinstance(expected, dict):
        print("FAIL entitlements: not a dictionary")
        return 2
    found = differences(signed, expected)
    for line in found:
        print(f"FAIL entitlements: {line}")
    if found:
        return 1
    print(f"ok   entitlements: {args.bundle} is signed with {', '.join(sorted(signed))}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
