# Shared by scripts/test and scripts/demo: what the project needs from Debian,
# installed only when something is missing so a second run costs nothing.
# shellcheck shell=bash

VELMORA_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export VELMORA_ROOT

VELMORA_PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libgl-dev libxcb1-dev qt6-translations-l10n
  libcurl4-openssl-dev libcpp-httplib-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  xvfb xauth imagemagick xdotool
  fonts-dejavu-core
  librsvg2-bin help2man dpkg-dev fakeroot lintian desktop-file-utils appstream man-db
  clang-format
)

velmora_install_deps() {
  local missing=()
  local p
  for p in "${VELMORA_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}" >&2
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
}

# velmora_build DIR [cmake options...]: configure once, then build incrementally:
# everything, or only the targets named in VELMORA_BUILD_TARGETS.
velmora_build() {
  local dir=$1; shift
  cmake -S "$VELMORA_ROOT" -B "$dir" -G Ninja "$@" >/dev/null
  local targets=()
  # shellcheck disable=SC2206
  [ -n "${VELMORA_BUILD_TARGETS:-}" ] && targets=(--target $VELMORA_BUILD_TARGETS)
  cmake --build "$dir" --parallel "$(nproc)" "${targets[@]}"
}
