#!/usr/bin/env bash
# Times warping a 10-second 1920 x 1080 H.264 clip with AAC sound in the default look against FFmpeg alone
# re-encoding the same clip with the same encoder settings (libx264, CRF 18, preset medium, sound copied):
# the difference is the decoding into the host's worlds, the warp and the conversion back.
#   bench/movie-timing.sh [BUILD_FOLDER]     (default: build; needs its quaverflux target built)
set -euo pipefail
build=${1:-build}
program=$(realpath "$build/cli/quaverflux")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

ffmpeg -nostdin -hide_banner -loglevel error -f lavfi -i testsrc2=size=1920x1080:rate=24 \
  -f lavfi -i sine=frequency=440:sample_rate=48000 -t 10 -pix_fmt yuv420p -c:v libx264 -crf 18 -c:a aac clip.mp4

seconds() {
  local start end
  start=$(date +%s.%N)
  "$@"
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }' 
}

echo "machine: $(nproc) logical processors, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
reencode=$(seconds ffmpeg -nostdin -hide_banner -loglevel error -i clip.mp4 -map 0 -c:v libx264 -crf 18 \
  -preset medium -c:a copy reencoded.mp4)
warp=$(seconds "$program" render clip.mp4 -o warped.mp4 --quiet)
frames=$(ffprobe -v error -count_packets -select_streams v:0 -show_entries stream=nb_read_packets -of csv=p=0 warped.mp4)
printf 'ffmpeg re-encode:        %6.2f s\n' "$reencode"
printf 'quaverflux default look: %6.2f s (%s frames, %.1f frames/s)\n' "$warp" "$frames" "$(awk -v f="$frames" -v s="$warp" 'BEGIN { print f / s }')"
