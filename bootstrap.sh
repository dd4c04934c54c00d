#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, when any is missing.
# Quiet and quick when everything is already there.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config binutils
  # tests and benchmarks
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  # GPU programs: PTX from clang's NVPTX back end; OpenCL tests run on PoCL
  clang-14 pocl-opencl-icd ocl-icd-opencl-dev opencl-headers clinfo
  # the fuzz preset: libFuzzer and clang's sanitizer runtimes
  libclang-rt-14-dev
  # header artwork, rasterised at build time
  libfreetype-dev fonts-dejavu-core
  # the command-line renderer: images, arguments, look files (Debian's OpenImageIO CMake package
  # refers to the command-line tools of openimageio-tools, and find_package stops without them)
  libopenimageio-dev openimageio-tools libcli11-dev nlohmann-json3-dev
  # the command-line renderer's movies (and ffmpeg/ffprobe for their tests); its render-farm test's cluster
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev ffmpeg slurm-wlm munge iproute2
  # the Windows plug-in: cross compiler (POSIX threads), and Wine to run its tests
  g++-mingw-w64-x86-64-posix wine wine64
  # the frei0r plug-in: its header, and the hosts its tests run (GStreamer's frei0r element is in
  # plugins-bad; the PNG, freeze and file elements the tests use are in plugins-good)
  frei0r-plugins-dev ffmpeg melt gstreamer1.0-tools gstreamer1.0-plugins-bad gstreamer1.0-plugins-good
  # benchmarks only: the yardstick remap (never linked into the plug-in)
  libopencv-dev
  # tools/fresh-machine-check: a minimal Debian root to run the README's commands in
  debootstrap
  # tools/make-docs-pictures (and its test)
  python3
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "bootstrap: installing ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "bootstrap: need root or sudo to install packages" >&2; exit 1; }
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq "${missing[@]}" >/dev/null
