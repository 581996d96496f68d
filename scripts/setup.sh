#!/bin/sh
# Installs the Debian packages that building and testing Recite need.
# Does nothing when they are all present already.
set -e
packages="cmake ninja-build make g++ clang libclang-rt-14-dev libgtest-dev sox pocketsphinx-en-us pocketsphinx pocketsphinx-testdata alsa-utils ffmpeg"
missing=""
for p in $packages; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done
if [ -n "$missing" ]; then
  echo "Installing:$missing"
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup.sh: root is needed to install packages" >&2
    exit 1
  fi
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing
fi
