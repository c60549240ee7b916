#!/usr/bin/env bash
# Cross-builds the core, the form, passerelle-batch and the core and form
# tests for 64-bit Windows with MinGW-w64 in build-mingw, then runs under
# wine the two test programs and a whole conversion of the example exports
# by passerelle-batch.exe, from a folder named with accents, compared byte
# for byte with examples/expected. Installs nothing: scripts/setup.sh brings
# MinGW-w64 and wine64.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$root/build-mingw
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver

scripts/build.sh build-mingw -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DPASSERELLE_WINDOW=OFF -DPASSERELLE_BENCH=OFF

export WINEPREFIX=$build/wineprefix
export WINEDEBUG=-all
# No Mono or Gecko: nothing here needs them, and their installers would ask.
export WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"
# wine's server and the services it starts outlive each program and keep
# open every pipe they inherit, which would hold up whoever reads this
# script's output. Started first, on /dev/null, they hold none; they are
# stopped however the script ends.
"$wineserver" -p </dev/null >/dev/null 2>&1
trap '"$wineserver" -k >/dev/null 2>&1 || true' EXIT
"$wine" cmd /c exit </dev/null >/dev/null 2>&1

status=0
for program in core_tests form_tests; do
  echo "== $program.exe under wine"
  # Brief: the failures in full, and gtest's summary.
  "$wine" "$build/tests/$program.exe" --gtest_brief=1 </dev/null 2>&1 | tr -d '\r' ||
    status=1
done

echo "== passerelle-batch.exe under wine, on the example exports"
work=$build/batch-run
inputs="$work/Élèves 2024"
rm -rf "$work"
mkdir -p "$inputs" "$work/elsewhere"
cp examples/usersxx.txt examples/profs-groupes.csv examples/profs-mails.csv "$inputs/"
# Absolute names, from another folder: the files must go beside the inputs.
# The names reach the program as UTF-16 and must survive as such.
if (cd "$work/elsewhere" && "$wine" "$build/app/batch/passerelle-batch.exe" \
  --users "$inputs/usersxx.txt" --save-classes --groups "$inputs/profs-groupes.csv" \
  --mails "$inputs/profs-mails.csv" --save-teachers </dev/null 2>&1 | tr -d '\r'); then
  for output in classes.csv eleves.csv profs.csv "2profs invalides.csv"; do
    if ! cmp "$inputs/fichiers/$output" "examples/expected/$output"; then
      status=1
    fi
  done
  if [ -n "$(ls -A "$work/elsewhere")" ]; then
    echo "passerelle-batch.exe wrote into the current folder" >&2
    status=1
  fi
else
  status=1
fi
[ "$status" -eq 0 ] && echo "passerelle-batch.exe: the four files are those of examples/expected"
exit "$status"
