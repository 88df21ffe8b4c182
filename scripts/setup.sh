#!/usr/bin/env bash
# Installs every Debian package the project needs. Safe to run again.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config clang llvm
  libgtest-dev libgmock-dev libbenchmark-dev
  libjpeg62-turbo-dev libpng-dev libgif-dev libtiff-dev zlib1g-dev
  libpixman-1-dev liblcms2-dev
  libfreeimage3
  libseccomp-dev
  libwmf-dev fonts-urw-base35 libemf2svg-dev librsvg2-dev
  libmupdf-dev libmujs-dev libgumbo-dev libopenjp2-7-dev libjbig2dec0-dev libharfbuzz-dev libfreetype-dev
  poppler-utils mupdf-tools libjpeg-turbo-progs
  qt6-base-dev xvfb xauth libxtst-dev
  libcurl4-openssl-dev nginx-light python3-pyftpdlib openssl
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  # The tests start nginx themselves; its packaged service must not start
  # (nor take port 80) while it is installed.
  policy=/usr/sbin/policy-rc.d
  own_policy=0
  if [ ! -e "$policy" ]; then
    printf '#!/bin/sh\nexit 101\n' | $SUDO tee "$policy" >/dev/null
    $SUDO chmod 755 "$policy"
    own_policy=1
    # Removed however the installation ends.
    trap '$SUDO rm -f "$policy"' EXIT
  fi
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
  if [ "$own_policy" -eq 1 ]; then
    $SUDO rm -f "$policy"
    trap - EXIT
  fi
  if command -v systemctl >/dev/null && [ -d /run/systemd/system ]; then
    $SUDO systemctl disable --now nginx 2>/dev/null || true
  fi
fi
