#!/usr/bin/env python3
"""Frames per second and per-frame cost of the Python package's stream against a C notifier.

Both runs use the callback preview of the same emulated camera at the same settings: the C run
gives the library a notify function written in C (compiled here with cc) that only counts
frames, and one caller buffer; the Python run iterates ``Camera.stream``. The process's CPU
time per frame (all threads: the library's and the package's) is compared; the difference is
what the Python layer costs per frame. For scale, one NumPy copy of a frame is timed too: the
layer copies nothing, so its cost should stay below that copy at the larger sizes.

    LUMORA_LIBRARY=build/native/libLumoraSdk_USB3_K37VQ.so /usr/bin/python3 bench/python_stream.py
"""

import ctypes
import json
import os
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "python"))
os.environ.setdefault("LUMORA_CAMEMU", "1")
os.environ.setdefault("XDG_CONFIG_HOME", tempfile.mkdtemp(prefix="lumora-bench-"))

import numpy as np  # noqa: E402

import lumora  # noqa: E402
from lumora import library  # noqa: E402

# Seconds of each run (full resolution runs twice as long: it has a tenth of the frames).
SECONDS = float(os.environ.get("BENCH_SECONDS", "5"))

COUNTER_SOURCE = r"""
#include <stdint.h>
static long frames;
void count_frame(void *context, unsigned message, uintptr_t wParam, intptr_t lParam) {
    (void)context; (void)lParam;
    if (message == 0x8002 && wParam != 0) __atomic_add_fetch(&frames, 1, __ATOMIC_RELAXED);
}
long counted_frames(void) { return __atomic_load_n(&frames, __ATOMIC_RELAXED); }
"""


def c_counter(folder):
    source = os.path.join(folder, "counter.c")
    shared = os.path.join(folder, "counter.so")
    with open(source, "w") as file:
        file.write(COUNTER_SOURCE)
    subprocess.run(["cc", "-O2", "-shared", "-fPIC", "-o", shared, source], check=True)
    counter = ctypes.CDLL(shared)
    counter.counted_frames.restype = ctypes.c_long
    return counter


def configure(cam, window):
    cam.mode = 24
    cam.subsample = 0
    cam.window = window
    cam.exposure = 2600
    cam.global_gain = 32
    cam.bayer_mode = 3
    cam.gamma = 100
    for gain in ("white_balance_red", "white_balance_green", "white_balance_blue"):
        setattr(cam, gain, 100)


def run_c(cam, counter, seconds):
    frame_format = cam.frame_format()
    buffer = frame_format.allocate()
    notify = ctypes.cast(counter.count_frame, ctypes.c_void_p).value
    notifier = library.Notifier(library.NOTIFIER_TAG, library.NOTIFY_FUNCTION(notify), None)
    before = counter.counted_frames()
    cpu, wall = time.process_time(), time.monotonic()
    cam._handle.call("Lumora_CallBackPreview", ctypes.addressof(notifier), buffer.ctypes.data,
                     frame_format.size, 1)
    time.sleep(seconds)
    cam._handle.value("Lumora_Close")
    cpu, wall = time.process_time() - cpu, time.monotonic() - wall
    return counter.counted_frames() - before, wall, cpu


def run_python(cam, seconds):
    frames = 0
    cpu, wall = time.process_time(), time.monotonic()
    with cam.stream(seconds=seconds) as stream:
        for _frame in stream:
            frames += 1
    cpu, wall = time.process_time() - cpu, time.monotonic() - wall
    return frames, wall, cpu, stream.dropped


def copy_ms(frame_format):
    source, target = frame_format.allocate(), frame_format.allocate()
    np.copyto(target, source)
    start = time.perf_counter()
    for _ in range(20):
        np.copyto(target, source)
    return (time.perf_counter() - start) / 20 * 1000


def main():
    results = []
    with tempfile.TemporaryDirectory() as folder, lumora.Camera(0) as cam:
        counter = c_counter(folder)
        for label, window, seconds in (
                ("640x480", (3488, 1424, 640, 2616, 1068, 480), SECONDS),
                ("3488x2616", (3488, 0, 3488, 2616, 0, 2616), 2 * SECONDS)):
            configure(cam, window)
            c_frames, c_wall, c_cpu = run_c(cam, counter, seconds)
            p_frames, p_wall, p_cpu, dropped = run_python(cam, seconds)
            c_per, p_per = c_cpu / max(c_frames, 1) * 1000, p_cpu / max(p_frames, 1) * 1000
            results.append({
                "size": label,
                "c_fps": round(c_frames / c_wall, 2),
                "python_fps": round(p_frames / p_wall, 2),
                "python_dropped": dropped,
                "c_cpu_ms_per_frame": round(c_per, 3),
                "python_cpu_ms_per_frame": round(p_per, 3),
                "python_overhead_ms_per_frame": round(p_per - c_per, 3),
                "numpy_frame_copy_ms": round(copy_ms(cam.frame_format()), 3),
            })
    print(json.dumps(results, indent=2))


if __name__ == "__main__":
    main()
