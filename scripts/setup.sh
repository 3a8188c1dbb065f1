#!/usr/bin/env bash
# Installs the Debian 12 packages Talvex needs to build, run and test, when
# they are missing. Runs apt-get through sudo unless already root.
set -euo pipefail

packages=(
  cmake make g++ pkg-config
  qt6-base-dev libgl-dev libturbojpeg0-dev libv4l-dev libgtest-dev
  fonts-dejavu-core
)
if [ "${1:-}" = "--test" ]; then
  # Tests and benchmarks: the end-to-end run in a real X server, the load
  # generator, the reference server (also the proxy in front of Talvex), the
  # fuzzers' compiler, openssl for the proxy test's certificate, and the virtual
  # machine that runs the capture code against the kernel's vivid driver, the
  # browser for the live page's test, ffmpeg as a stream player, ustreamer and motion as the
  # stream benchmark's yardsticks inside that machine, lintian for the
  # package and imagemagick for the README's screenshots.
  packages+=(xvfb xauth xdotool x11-utils wrk nginx-light clang libclang-rt-14-dev valgrind curl
             qemu-system-x86 busybox-static v4l-utils kmod xz-utils ustreamer motion openssl chromium ffmpeg lintian imagemagick)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
# nginx is only a yardstick for the benchmark; keep it from holding port 80.
if printf '%s\n' "${missing[@]}" | grep -qx nginx-light; then
  $sudo service nginx stop >/dev/null 2>&1 || true
fi
# Nor may motion's service hold the camera and its ports.
if printf '%s\n' "${missing[@]}" | grep -qx motion; then
  $sudo systemctl disable --now motion >/dev/null 2>&1 || $sudo service motion stop >/dev/null 2>&1 || true
fi
