#!/usr/bin/env bash
# Installs what building and testing Passerelle needs on Debian 12.
set -euo pipefail
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends \
  cmake ninja-build g++ pkg-config qt6-base-dev qt6-translations-l10n libgtest-dev \
  xvfb xauth fonts-dejavu-core desktop-file-utils python3 ca-certificates \
  clang libclang-rt-14-dev g++-mingw-w64-x86-64-posix wine64
