#!/usr/bin/env bash
# Runs the simulator on a built extension bundle, as it ships: the bundle is
# placed into a host application's Contents/PlugIns, the host runs and has
# written a manifest, and `ferlo doctor --bundle` must pass every step without
# a warning; then the menu is built from the bundle and its rule is clicked,
# and the request and the hand-off must be the rule's and the host's.
#
#   tests/bundle/simulate_bundle.sh FERLO BUNDLE.appex
set -euo pipefail
ferlo=$1 bundle=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL simulator on $bundle: $*" >&2; exit 1; }

host=$work/Ferlo.app
mkdir -p "$host/Contents/PlugIns"
cp -a "$bundle" "$host/Contents/PlugIns/"
appex=$host/Contents/PlugIns/$(basename "$bundle")
info=$appex/Contents/Info.plist
id=$(python3 -c 'import plistlib,sys; print(plistlib.load(open(sys.argv[1],"rb"))["CFBundleIdentifier"])' "$info")
group=$(python3 -c 'import plistlib,sys; print(plistlib.load(open(sys.argv[1],"rb"))["TarvelinAppGroup"])' "$info")
printf '<plist><dict><key>CFBundleIdentifier</key><string>%s</string></dict></plist>\n' "${id%.*}" \
  >"$host/Contents/Info.plist"
mkdir -p "$work/gc/$group" "$work/home/Downloads"
rule=0F8E2C4A-6B1D-4A3E-9C57-2D8B4E6F1A30
printf '{"rules":[{"id":"%s","name":"Tidy downloads"}],"watchedRoots":["%s"]}' \
  "$rule" "$work/home/Downloads" >"$work/gc/$group/rules.json"

scenario=(--bundle "$appex" --group-containers "$work/gc" --host-running --locale en_US
          --user-home "$work/home" --platform-home "$work/home" --select "$work/home/Downloads/")

doctor=$("$ferlo" doctor "${scenario[@]}") || fail "doctor exits $?:"$'\n'"$doctor"
if grep -qE '^(warn|FAIL) ' <<<"$doctor"; then fail "doctor reports:"$'\n'"$doctor"; fi
"$ferlo" menu --tree "${scenario[@]}" | grep -q "Tidy downloads  \[runRule:" || fail "no rule item in the menu"
handoff=$("$ferlo" click 0/1 "${scenario[@]}")
[ "$handoff" = "{\"handoff\":{\"url\":\"file://$host/\",\"activates\":true}}" ] || fail "hand-off $handoff"
grep -q "\"ruleID\":\"$rule\"" "$work/gc/$group/tool-request.json" || fail "request $(cat "$work/gc/$group/tool-request.json")"
echo "ok   simulator: doctor --bundle passes every step; menu and click through the bundle reach $rule"
