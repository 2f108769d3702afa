#!/usr/bin/env bash
# lumorasrc at the camera's full rate for SECONDS (default 30) on an emulated camera: the buffer
# count, the offsets, and that every gap in them is a skip the SDK counted.
#   bench/gst_full_rate.sh [SECONDS]      (after ./dev gst or ./dev test built build/native)
set -euo pipefail
cd "$(dirname "$0")/.."
exe=build/native/tests/gst/gst_lumorasrc_test
[ -x "$exe" ] || { echo "no $exe: run ./dev gst first" >&2; exit 1; }
export GST_REGISTRY=$PWD/build/native/tests/gst/registry.bin GST_REGISTRY_FORK=no
LUMORA_GST_FULL_RATE_SECONDS=${1:-30} "$exe" --gtest_filter='*FullRateLosesNoDeliveredFrame'
