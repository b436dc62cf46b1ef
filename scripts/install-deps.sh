#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Vantrel need.
# Safe to run again: it says nothing and changes nothing when all are present.
set -euo pipefail

packages=(
  build-essential
  cmake
  ninja-build
  pkg-config
  libssl-dev
  qt6-base-dev
  qt6-multimedia-dev
  qt6-svg-dev
  xvfb
  xauth
  trayer
  imagemagick
  xdotool
  x11-utils
  desktop-file-utils
  appstream
  scdoc
  librsvg2-bin
  systemd
  systemd-container
  man-db
  lintian
  file
  adduser
  googletest
  libgtest-dev
  libgmock-dev
  libbenchmark-dev
  clang-format
  locales
  tinyproxy
  microsocks
  nginx-light
  curl
  iputils-ping
  iproute2
  nftables
  python3-aiosmtpd
  python3-pyftpdlib
  dovecot-pop3d
  php-cli
  php-sqlite3
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  sudo=()
elif command -v sudo >/dev/null 2>&1; then
  sudo=(sudo)
else
  echo "install-deps: need root (or sudo) to install: ${missing[*]}" >&2
  exit 1
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
