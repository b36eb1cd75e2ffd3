#!/usr/bin/env bash
# The one list of Debian packages the project needs, and their installation.
# Sourced by setup.sh; idempotent: apt runs only when something is missing.

KZ_BUILD_PACKAGES=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-webengine-dev qt6-webengine-dev-tools qt6-webchannel-dev
  libgl-dev zlib1g-dev libpulse-dev libx11-dev libxext-dev libgd-dev
  liblzma-dev libssl-dev
  libgtest-dev libgmock-dev fonts-wqy-zenhei
  dpkg-dev file
  nodejs npm
)

KZ_RUN_PACKAGES=(
  xdg-utils shared-mime-info dbus-x11 libssl3 libqt6sql6-sqlite
)

KZ_TEST_PACKAGES=(
  xvfb xauth xdotool xclip python3-olefile libgsf-bin ffmpeg imagemagick pulseaudio pulseaudio-utils
  libglib2.0-bin openssl dbus-daemon dbus-bin playerctl
  clang libclang-rt-dev python3
)

kz_missing_packages() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
}

kz_install_packages() {
  local missing
  missing=$(kz_missing_packages "$@")
  # node and npm may come from another origin than Debian's; a working npm is enough.
  if command -v npm >/dev/null 2>&1; then
    missing=$(echo "$missing" | grep -v -x -E 'nodejs|npm' || true)
  fi
  [ -z "$missing" ] && return 0
  echo "Installing: $(echo $missing)"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  # shellcheck disable=SC2086
  apt-get install -y -qq --no-install-recommends $missing
}
