#!/usr/bin/env bash
# The built plugin as users load it (GST_PLUGIN_PATH, the emulated camera), in real pipelines:
#   pipelines_test.sh BUILD_DIR CASE
#   inspect    gst-inspect-1.0 lumorasrc: exit 0, nothing on standard error, no warning or
#              critical (fatal here), the properties and the Bayer caps listed
#   png        lumorasrc num-buffers=30 ! videoconvert ! pngenc ! multifilesink: 30 readable PNGs
#   matroska   JPEG frames in Matroska, read back by ffprobe: the frame count and size
#   opencv     cv2.VideoCapture(..., cv2.CAP_GSTREAMER) on an appsink from Python (exit 77,
#              skipped, without OpenCV or without its GStreamer support)
# GStreamer's registry and the SDK's settings live in a temporary folder, never the user's.
set -uo pipefail
BUILD=$(cd "${1:?usage: pipelines_test.sh BUILD_DIR CASE}" && pwd)
CASE=${2:?usage: pipelines_test.sh BUILD_DIR CASE}
T=$(mktemp -d)
trap 'rm -rf "$T"' EXIT
export GST_PLUGIN_PATH=$BUILD/gst-plugins GST_REGISTRY=$T/registry.bin XDG_CONFIG_HOME=$T/config \
  LUMORA_CAMEMU=1
unset DISPLAY
fail() { echo "FAIL: $*"; exit 1; }
# 872 x 654: a quarter of the sensor each way, about 20 frames a second at the default clock.
SRC="lumorasrc subsampling=quarter"

case "$CASE" in
  inspect)
    G_DEBUG=fatal-warnings gst-inspect-1.0 lumorasrc >"$T/out" 2>"$T/err"; rc=$?
    [ $rc -eq 0 ] || fail "gst-inspect-1.0 exit $rc: $(cat "$T/err")"
    [ ! -s "$T/err" ] || fail "gst-inspect-1.0 wrote to standard error: $(cat "$T/err")"
    ! grep -qiE "critical|warning" "$T/out" || fail "gst-inspect-1.0: $(grep -iE 'critical|warning' "$T/out")"
    for p in device device-name window-width subsampling clock exposure gain auto-exposure \
             white-balance-red auto-white-balance gamma reconnect stats; do
      grep -qE "^  $p +:" "$T/out" || fail "no property $p"
    done
    grep -q "video/x-bayer" "$T/out" || fail "no video/x-bayer in the pad template"
    ;;
  png)
    mkdir -p "$T/png"
    gst-launch-1.0 -q $SRC num-buffers=30 ! videoconvert ! pngenc ! \
      multifilesink location="$T/png/frame%03d.png" 2>"$T/err" || fail "pipeline: $(cat "$T/err")"
    n=$(ls "$T/png" | wc -l)
    [ "$n" -eq 30 ] || fail "$n PNG files, not 30"
    size=$(ffprobe -v error -show_entries stream=width,height -of csv=p=0 "$T/png/frame029.png")
    [ "$size" = "872,654" ] || fail "last PNG is $size"
    ;;
  matroska)
    gst-launch-1.0 -q $SRC num-buffers=45 ! videoconvert ! jpegenc ! matroskamux ! \
      filesink location="$T/clip.mkv" 2>"$T/err" || fail "pipeline: $(cat "$T/err")"
    IFS=, read -r w h frames < <(ffprobe -v error -count_frames -select_streams v:0 \
      -show_entries stream=width,height,nb_read_frames -of csv=p=0 "$T/clip.mkv")
    [ "$w x $h" = "872 x 654" ] || fail "size $w x $h"
    [ "$frames" = 45 ] || fail "$frames frames read back, not 45"
    ;;
  opencv)
    /usr/bin/python3 - <<'PY'
import sys
try:
    import cv2
except ImportError:
    print("SKIP: Python's OpenCV (python3-opencv) is not installed"); sys.exit(77)
if not any(l.strip().startswith("GStreamer:") and "YES" in l for l in cv2.getBuildInformation().splitlines()):
    print("SKIP: this OpenCV has no GStreamer support"); sys.exit(77)
cap = cv2.VideoCapture("lumorasrc subsampling=quarter num-buffers=20 ! videoconvert ! "
                       "video/x-raw,format=BGR ! appsink", cv2.CAP_GSTREAMER)
if not cap.isOpened():
    print("FAIL: VideoCapture did not open"); sys.exit(1)
frames = 0
while True:
    ok, image = cap.read()
    if not ok:
        break
    if image.shape != (654, 872, 3):
        print("FAIL: frame of shape", image.shape); sys.exit(1)
    frames += 1
cap.release()
if frames != 20:
    print("FAIL:", frames, "frames, not 20"); sys.exit(1)
print("20 frames of 872 x 654 through OpenCV")
PY
    exit $?
    ;;
  *) fail "unknown case $CASE" ;;
esac
echo "ok: $CASE"
