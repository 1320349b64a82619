#!/usr/bin/env bash
# Runs cmake/sign_bundle.cmake with a stand-in for codesign that records its
# invocations, on a bundle and a host laid out as the build lays them out, and
# compares the invocations byte for byte: the extension first, with exactly
# its entitlements; the host after it, with its own or none; the verification
# last; the hardened runtime and a timestamp only with a real identity; never
# --deep. Also that the bundle replaced the host's old copy, and that a
# failing step fails the script.
#
#   tests/bundle/sign_bundle_test.sh CMAKE SOURCE_DIR
set -euo pipefail
cmake=$1 source=$2
script=$source/cmake/sign_bundle.cmake recorder=$source/tests/bundle/codesign_recorder.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL $*" >&2; failures=$((failures + 1)); }

# Paths with spaces, as identities and Application Support folders have them.
appex="$work/build dir/FerloFinderSync.appex" ent="$work/build dir/FerloFinderSync.entitlements"
host="$work/My Host.app" host_ent="$work/My Host.entitlements"
placed=$host/Contents/PlugIns/FerloFinderSync.appex
id="Developer ID Application: Example Ltd (ABCDE12345)"
log=$work/codesign.log

fresh() {
  rm -rf "$work/build dir" "$host" "$log"
  mkdir -p "$appex/Contents/MacOS" "$appex/Contents/Resources/en.lproj" "$placed/Contents"
  echo plist >"$appex/Contents/Info.plist"
  printf '\xcf\xfa\xed\xfe' >"$appex/Contents/MacOS/FerloFinderSync"
  chmod 755 "$appex/Contents/MacOS/FerloFinderSync"
  echo strings >"$appex/Contents/Resources/en.lproj/Localizable.strings"
  ln -s en.lproj "$appex/Contents/Resources/Base.lproj"
  echo entitlements >"$ent"
  echo host >"$host/Contents/Info.plist"
  echo host >"$host_ent"
  echo old >"$placed/Contents/stale"   # a copy from an earlier build
  : >"$log"
}

# One invocation as the recorder logs it.
q() { printf '[%s]' "$@"; printf '\n'; }
ext_adhoc=$(q --force --sign - --entitlements "$ent" --timestamp=none "$appex")
ext_real=$(q --force --sign "$id" --entitlements "$ent" --options runtime --timestamp "$appex")
host_adhoc=$(q --force --sign - --timestamp=none "$host")
host_real=$(q --force --sign "$id" --entitlements "$host_ent" --options runtime --timestamp "$host")
verify_ext=$(q --verify --strict --verbose=2 "$appex")
verify_placed=$(q --verify --strict --verbose=2 "$placed")
verify_host=$(q --verify --strict --verbose=2 "$host")

# case NAME STATUS(ok|fail) PLACED(new|stale|-) FAIL_AT EXPECTED_LOG [MESSAGE] -- SCRIPT_OPTIONS…
case_() {
  local name=$1 want=$2 placement=$3 fail_at=$4 expected=$5 message=$6; shift 7
  fresh
  local status=ok
  CODESIGN_LOG=$log CODESIGN_FAIL_AT=$fail_at "$cmake" -DCODESIGN="$recorder" -DAPPEX="$appex" \
    -DENTITLEMENTS="$ent" "$@" -P "$script" >"$work/out" 2>&1 || status=fail
  [ "$status" = "$want" ] || fail "$name: the script ended $status, expected $want"$'\n'"$(cat "$work/out")"
  [ -z "$message" ] || tr -s ' \n' '  ' <"$work/out" | grep -F -- "$message" >/dev/null || fail "$name: no '$message' in"$'\n'"$(cat "$work/out")"
  if [ -n "$expected" ]; then expected+=$'\n'; fi
  [ "$(cat "$log"; echo x)" = "${expected}x" ] ||
    fail "$name: invocations"$'\n'"$(diff <(printf '%s' "$expected") "$log")"
  case $placement in
    new)
      [ ! -e "$placed/Contents/stale" ] || fail "$name: the old copy in PlugIns was not replaced"
      diff -r --no-dereference "$appex" "$placed" >/dev/null || fail "$name: the copy in PlugIns differs"
      [ -x "$placed/Contents/MacOS/FerloFinderSync" ] && [ -L "$placed/Contents/Resources/Base.lproj" ] ||
        fail "$name: the copy lost the executable's mode or the symbolic link" ;;
    stale)
      [ -e "$placed/Contents/stale" ] && [ ! -e "$placed/Contents/Info.plist" ] ||
        fail "$name: PlugIns changed although the extension was not signed" ;;
  esac
}

n=$'\n'
case_ ad-hoc ok - 0 "$ext_adhoc$n$verify_ext" "" -- -DIDENTITY=- -DVERIFY=ON
case_ ad-hoc-placed ok new 0 "$ext_adhoc$n$verify_placed" "" -- -DIDENTITY=- -DHOST_APP="$host" -DVERIFY=ON
case_ ad-hoc-host ok new 0 "$ext_adhoc$n$host_adhoc$n$verify_placed$n$verify_host" "" -- \
  -DIDENTITY=- -DHOST_APP="$host" -DHOST_SIGN=ON -DVERIFY=ON
case_ identity-host ok new 0 "$ext_real$n$host_real$n$verify_placed$n$verify_host" "" -- \
  -DIDENTITY="$id" -DHOST_APP="$host" -DHOST_SIGN=ON -DHOST_ENTITLEMENTS="$host_ent" -DVERIFY=ON
case_ identity-no-verify ok - 0 "$ext_real" "" -- -DIDENTITY="$id" -DVERIFY=OFF
case_ extension-fails fail stale 1 "$ext_real" "signing $appex failed (3)" -- \
  -DIDENTITY="$id" -DHOST_APP="$host" -DHOST_SIGN=ON -DVERIFY=ON
case_ host-fails fail new 2 "$ext_adhoc$n$host_adhoc" "signing $host failed (3)" -- \
  -DIDENTITY=- -DHOST_APP="$host" -DHOST_SIGN=ON -DVERIFY=ON
case_ verify-fails fail new 3 "$ext_adhoc$n$host_adhoc$n$verify_placed" "verifying $placed failed" -- \
  -DIDENTITY=- -DHOST_APP="$host" -DHOST_SIGN=ON -DVERIFY=ON
case_ host-sign-no-host fail - 0 "" "HOST_SIGN needs HOST_APP" -- -DIDENTITY=- -DHOST_SIGN=ON
case_ host-not-an-app fail - 0 "" "not an application bundle" -- -DIDENTITY=- -DHOST_APP="$work/none.app"
case_ no-entitlements fail stale 0 "" "no entitlements file" -- -DIDENTITY=- -DHOST_APP="$host" \
  -DENTITLEMENTS="$work/missing.entitlements"

if [ "$failures" -ne 0 ]; then exit 1; fi
echo "ok   signing: 11 cases, the invocations byte for byte"
