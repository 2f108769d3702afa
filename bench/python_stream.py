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
from statistics import median

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "python"))
os.environ.setdefault("LUMORA_CAMEMU", "1")
os.environ.setdefault("XDG_CONFIG_HOME", tempfile.mkdtemp(prefix="lumora-bench-"))

import numpy as np  # noqa: E402

import lumora  # noqa: E402
from lumora import library  # noqa: E402
from lumora.frame_stream import FrameStream  # noqa: E402

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
    # The notify function is timed from inside (wall and thread CPU time; the ctypes call into it
    # is not counted); the hand-over thread's and the consuming loop's CPU time are read from
    # their thread clocks between the first frame and the last (start and stop left out).
    notify_wall, notify_cpu = [], []
    plain = FrameStream._on_message

    def timed(self, *args):
        wall, cpu = time.perf_counter_ns(), time.thread_time_ns()
        plain(self, *args)
        notify_cpu.append(time.thread_time_ns() - cpu)
        notify_wall.append(time.perf_counter_ns() - wall)

    FrameStream._on_message = timed
    try:
        frames = 0
        cpu, wall = time.process_time(), time.monotonic()
        stream = cam.stream(seconds=seconds)
        clock = time.pthread_getcpuclockid(stream._thread.ident)
        marks = []
        for _frame in stream:
            frames += 1
            if not stream._closing:
                marks.append((time.clock_gettime(clock), time.thread_time()))
        cpu, wall = time.process_time() - cpu, time.monotonic() - wall
    finally:
        FrameStream._on_message = plain
    spans = max(len(marks) - 1, 1)
    return {"frames": frames, "wall": wall, "cpu": cpu, "dropped": stream.dropped,
            "notify_wall_us": median(notify_wall) / 1000, "notify_cpu_us": median(notify_cpu) / 1000,
            "hand_over_us": (marks[-1][0] - marks[0][0]) / spans * 1e6,
            "consumer_us": (marks[-1][1] - marks[0][1]) / spans * 1e6}


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
            py = run_python(cam, seconds)
            c_per, p_per = c_cpu / max(c_frames, 1) * 1000, py["cpu"] / max(py["frames"], 1) * 1000
            results.append({
                "size": label,
                "c_fps": round(c_frames / c_wall, 2),
                "python_fps": round(py["frames"] / py["wall"], 2),
                "python_dropped": py["dropped"],
                "c_process_cpu_ms_per_frame": round(c_per, 3),
                "python_process_cpu_ms_per_frame": round(p_per, 3),
                "layer_notify_wall_us_median": round(py["notify_wall_us"], 1),
                "layer_notify_cpu_us_median": round(py["notify_cpu_us"], 1),
                "layer_hand_over_thread_cpu_us_per_frame": round(py["hand_over_us"], 1),
                "layer_consumer_cpu_us_per_frame": round(py["consumer_us"], 1),
                "numpy_frame_copy_ms": round(copy_ms(cam.frame_format()), 3),
            })
    print(json.dumps(results, indent=2))


if __name__ == "__main__":
    main()
