#!/usr/bin/env bash
# Installs the Debian packages Korvane needs to build, test and run.
# Idempotent: packages already present are skipped, apt runs only when something is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build ccache pkg-config
  qtbase5-dev qtbase5-private-dev qtdeclarative5-dev libqt5opengl5-dev
  qml-module-qtquick2 qml-module-qtquick-window2 qml-module-qtquick-controls2 qml-module-qtquick-layouts qml-module-qttest
  libopencv-dev libopenimageio-dev openimageio-tools liblcms2-dev libxcb1-dev zlib1g-dev
  xvfb xauth libgl1-mesa-dri libegl1 libegl-dev mesa-utils
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all ${#packages[@]} packages present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
