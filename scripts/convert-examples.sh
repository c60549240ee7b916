#!/usr/bin/env bash
# Builds the batch program alone in build-examples, apart from the test
# build so that neither changes the other's options, and converts the
# example exports of examples/ in a copy under out/examples, so the bundled
# files stay as they are.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh build-examples -DPASSERELLE_WINDOW=OFF -DPASSERELLE_TESTS=OFF -DPASSERELLE_BENCH=OFF >/dev/null
rm -rf out/examples
mkdir -p out/examples
cp examples/usersxx.txt examples/profs-groupes.csv examples/profs-mails.csv out/examples/
build-examples/app/batch/passerelle-batch out/examples/usersxx.txt out/examples/profs-groupes.csv \
  out/examples/profs-mails.csv
echo "Fichiers produits dans out/examples/fichiers :"
ls -l out/examples/fichiers
