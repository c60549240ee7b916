#!/bin/sh
# Checks the desktop entry as desktop environments read it. Skipped (77)
# where the validator is not installed.
command -v desktop-file-validate >/dev/null 2>&1 || exit 77
output=$(desktop-file-validate "$1" 2>&1)
status=$?
[ -n "$output" ] && echo "$output"
# Hints and warnings count as failures: the file must be clean.
[ $status -eq 0 ] && [ -z "$output" ]
