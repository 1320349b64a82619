#!/usr/bin/env python3
"""check_entitlements.py against saved codesign output: each row a signature's
entitlements (as codesign prints them) and the exit status expected against
the configured entitlements file given as the first argument."""

import os
import plistlib
import subprocess
import sys
import tempfile

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "check_entitlements.py")


def main():
    with open(sys.argv[1], "rb") as f:
        expected = plistlib.load(f)
    group = "com.apple.security.application-groups"
    xml = lambda d: plistlib.dumps(d)  # noqa: E731
    rows = [
        ("the same entitlements", xml(expected), 0),
        ("the same, behind codesign's blob header", b"\xfa\xde\x71\x71\x00\x00\x01\x00" + xml(expected), 0),
        ("a key missing", xml({k: v for k, v in expected.items() if k != group}), 1),
        ("a key more", xml({**expected, "com.apple.security.network.client": True}), 1),
        ("another app group", xml({**expected, group: ["OTHERTEAM1.com.ferlo.Ferlo"]}), 1),
        ("1 where true is configured", xml({**expected, "com.apple.security.app-sandbox": 1}), 1),
        ("no entitlements (an unsigned bundle)", b"Executable=/x/FerloFinderSync\n", 2),
        ("a broken property list", b"<?xml version='1.0'?><plist><dict><key>a</key></plist>", 2),
    ]
    failures = 0
    with tempfile.TemporaryDirectory() as directory:
        signed = os.path.join(directory, "signed")
        for name, output, status in rows:
            with open(signed, "wb") as f:
                f.write(output)
            result = subprocess.run([sys.executable, SCRIPT, "FerloFinderSync.appex", sys.argv[1], "--signed", signed],
                                    capture_output=True, text=True)
            ok = result.returncode == status
            failures += not ok
            print(f"{'ok  ' if ok else 'FAIL'} {name}: exit {result.returncode} (expected {status})"
                  f"{'' if ok else ': ' + (result.stdout + result.stderr).strip()}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
