#!/bin/sh
# A stand-in for codesign: appends its invocation to $CODESIGN_LOG as one
# line, each argument in brackets, and changes nothing. The invocation whose
# number (counted from 1 in the log) is $CODESIGN_FAIL_AT exits 3.
printf '[%s]' "$@" >>"$CODESIGN_LOG"
printf '\n' >>"$CODESIGN_LOG"
[ "$(wc -l <"$CODESIGN_LOG")" -ne "${CODESIGN_FAIL_AT:-0}" ] || exit 3
