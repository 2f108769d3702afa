"""The package against the emulator: cameras, settings, frames, streams, recordings, errors."""

import ctypes
import gc
import json
import os
import subprocess
import threading

import numpy as np
import pytest

import lumora
from lumora import library

# The chart's patches (row, column) at the middle of the sensor and the channel (blue, green,
# red) that leads in each: a blue, a green and a red patch of the third row, and the first row's
# dark skin tone, whose red leads, above the third row's blue.
PATCHES = [((2, 0), 0), ((2, 1), 1), ((2, 2), 2), ((0, 0), 2)]


def patch(frame, row, column):
    """Mean of the samples around the centre of a chart patch."""
    h, w = frame.shape[:2]
    x = int((174 + 523 * (column + 0.5)) * w / 3488)
    y = int((261 + 490 * (row + 0.5)) * h / 2616)
    area = frame[y - 4:y + 4, x - 4:x + 4].astype(float)
    return area.reshape(-1, area.shape[2] if area.ndim == 3 else 1).mean(axis=0)


def neutral(cam, subsample=2, mode=24):
    """Unity exposure and gains, neutral white balance and gamma, true colours."""
    cam.window = (3488, 0, 3488, 2616, 0, 2616)
    cam.subsample, cam.mode = subsample, mode
    cam.exposure, cam.global_gain, cam.gamma = 2600, 32, 100
    cam.mirror_v = cam.mirror_h = False
    cam.bayer_mode = 3
    cam.white_balance_red = cam.white_balance_green = cam.white_balance_blue = 100


@pytest.fixture(scope="module")
def cam():
    with lumora.Camera(0) as camera:
        yield camera


def native_threads():
    return len(os.listdir("/proc/self/task"))


def test_listing_two_cameras_and_version():
    assert lumora.list_cameras() == ["LumoraK37VQ_01", "LumoraK37VQ_02"]
    assert lumora.version() == "1.45.5.25"
    with lumora.Camera(0) as first, lumora.Camera(1) as second:
        assert (first.info().name, second.info().name) == ("LumoraK37VQ_01", "LumoraK37VQ_02")
        first.exposure, second.exposure = 100, 200
        assert (first.exposure, second.exposure) == (100, 200)
        assert first.info().exposure_range[1] >= 8191 and first.info().width == 3488


FILTERS = [("brightness", -255, 255), ("contrast", -127, 127), ("hue", -360, 360),
           ("saturation", -255, 255), ("sharpness", 0, 30), ("white_balance_red", 0, 400),
           ("white_balance_green", 0, 400), ("white_balance_blue", 0, 400), ("gamma", 0, 200),
           ("bayer_mode", 0, 3), ("global_gain", None, "global_gain_range"),
           ("color_gain_red", None, "color_gain_range"), ("color_gain_green1", None, "color_gain_range"),
           ("color_gain_green2", None, "color_gain_range"), ("color_gain_blue", None, "color_gain_range"),
           ("exposure", None, "exposure_range"), ("gray_mode", 0, 2),
           ("gray_gain_r", 0, 255), ("gray_gain_g1", 0, 255), ("gray_gain_g2", 0, 255),
           ("gray_gain_b", 0, 255), ("gray_offset_r", -255, 255), ("gray_offset_g1", -255, 255),
           ("gray_offset_g2", -255, 255), ("gray_offset_b", -255, 255)]
# name, accepted values, refused values (the sensor's ranges: those the camera reports)
CHOICES = [(n, [lo, hi, (lo + hi) // 2] if lo is not None else hi, [lo - 1, hi + 1] if lo is not None else None)
           for n, lo, hi in FILTERS] + [
    ("mode", [8, 16, 24, 32, 48, 64], [12, 44, 0]), ("subsample", [0, 1, 2, 17, 18], [3, 16, -1]),
    ("clock", [0, 5, 9], [-1, 10]), ("auto_iris", [0, 1, 2], [3, -1]),
    ("mirror_v", [True, False], [2]), ("mirror_h", [True, False], [-1]),
    ("auto_white_balance", [True, False], [2]),
    ("window", [(3488, 10, 640, 2616, 20, 480), (3488, 0, 3488, 2616, 0, 2616)],
     [(3488, 3000, 640, 2616, 0, 480), (3488, 0, 0, 2616, 0, 480), (3488, -1, 64, 2616, 0, 64)])]


@pytest.mark.parametrize("name, accepted, refused", CHOICES)
def test_settings_round_trip_and_refuse_out_of_range(cam, name, accepted, refused):
    if isinstance(accepted, str):
        low, high = getattr(cam.info(), accepted)
        accepted, refused = [low, high, (low + high) // 2], [low - 1, high + 1]
    for value in accepted:
        setattr(cam, name, value)
        assert getattr(cam, name) == value
    for value in refused:
        with pytest.raises(ValueError):
            setattr(cam, name, value)
        assert getattr(cam, name) == accepted[-1]
    with pytest.raises(TypeError):
        setattr(cam, name, "1" if name != "window" else [1, 2, 3, 4, 5, 6])
    with pytest.raises(TypeError):
        setattr(cam, name, 1.5)


def test_registers_and_argument_checks(cam):
    cam.write_register(0x3056, 45)
    assert cam.read_register(0x3056) == 45 and cam.color_gain_green1 == 45
    for call in (lambda: cam.read_register(0x10000), lambda: cam.write_register(0x3056, -1),
                 lambda: cam.stream(seconds=0), lambda: cam.record("x.avi", -1),
                 lambda: cam.record("x.avi", lumora.library.RECORD_MAX_MS / 1000 + 0.5),
                 lambda: cam.save("x.gif"), lambda: lumora.Camera(10)):
        with pytest.raises(ValueError):
            call()
    with pytest.raises(TypeError):
        lumora.Camera("0")


@pytest.mark.parametrize("mode, shape, dtype", [
    (8, (654, 872), np.uint8), (16, (654, 872), np.uint16), (24, (654, 872, 3), np.uint8),
    (32, (654, 872, 4), np.uint8), (48, (654, 872, 3), np.uint16),
    (64, (654, 872, 4), np.uint16)])
def test_snapshot_in_every_mode_shows_the_chart_top_down(cam, mode, shape, dtype):
    neutral(cam, mode=mode)
    frame = cam.snapshot()
    assert frame.shape == shape and frame.dtype == dtype
    if dtype == np.uint16:
        assert frame.max() <= 4095 and frame.max() > 1000  # 12-bit samples
    if frame.ndim == 2:
        # Gray: the white patch (last row) is brighter than the dark skin tone (first row).
        assert patch(frame, 3, 0)[0] > 2 * patch(frame, 0, 0)[0]
        return
    for (row, column), leading in PATCHES:
        colour = patch(frame, row, column)[:3]
        assert np.argmax(colour) == leading, (row, column, colour)
        assert np.argmax(patch(lumora.to_rgb(frame), row, column)) == 2 - leading


def test_window_frames_are_the_matching_part_of_the_full_frame(cam):
    os.environ["LUMORA_CAMEMU_STILL"] = "1"  # read when a camera opens
    try:
        with lumora.Camera(1) as still:
            neutral(still, subsample=0)
            full = still.snapshot()
            still.window = (3488, 1000, 638, 2616, 600, 480)  # 1914-byte rows padded to 1916
            part = still.snapshot()
    finally:
        del os.environ["LUMORA_CAMEMU_STILL"]
    assert part.shape == (480, 638, 3) and part.strides[0] == 1916
    assert np.array_equal(part[4:-4, 4:-4], full[604:1076, 1004:1634])


def test_stream_delivers_at_the_camera_rate_and_drops_instead_of_corrupting(cam):
    neutral(cam, subsample=2)
    held, frames = [], 0
    with cam.stream(seconds=3, depth=2) as stream:
        for frame in stream:
            frames += 1
            assert frame.shape == (654, 872, 3)
            held = held[-3:] + [(frame, frame.copy())]
            if frames % 15 == 0:
                threading.Event().wait(0.4)  # a slow consumer now and then
    for view, copy in held:
        assert np.array_equal(view, copy)
    assert np.argmax(patch(held[-1][0], 2, 2)) == 2
    assert frames == stream.delivered and stream.dropped > 0
    assert stream.posted == stream.delivered + stream.dropped
    assert 0.7 * stream.fps * 3 <= stream.posted <= 1.2 * stream.fps * 3 + 2


def test_frames_carry_their_device_details_and_the_statistics_add_up(cam):
    neutral(cam, subsample=2)
    cam.global_gain = 40
    snap = cam.snapshot()
    assert (snap.number, snap.skipped_before) == (1, 0)
    assert (snap.exposure_lines, snap.global_gain) == (2600, 40) and snap.exposure_us > 0
    assert snap[10:20].number == 1  # arrays made from a frame keep its details
    seen = []
    with cam.stream(seconds=2, depth=2) as stream:
        for frame in stream:
            seen.append((frame.number, frame.skipped_before, frame.timestamp))
            if len(seen) % 10 == 0:
                threading.Event().wait(0.3)  # the queue overflows: this layer drops frames
    assert len(seen) > 10
    gaps = 0
    for (n0, _, t0), (n1, skipped, t1) in zip(seen, seen[1:]):
        assert n1 > n0 and t1 > t0
        assert n1 - n0 - 1 >= skipped  # the library's skips, and this layer's drops besides
        gaps += n1 - n0 - 1
    stats = stream.statistics()
    assert set(stats) == {"completed", "delivered", "skipped", "failed", "stalls", "skipped_by_cause",
                          "reconnects"}
    assert set(stats["skipped_by_cause"]) == {"consumer_busy", "wrong_size", "stream_end"}
    assert stats["delivered"] == stream.posted
    assert stats["completed"] == stats["delivered"] + stats["skipped"]
    assert stats["skipped"] == sum(stats["skipped_by_cause"].values())
    assert gaps <= stats["skipped"] + stream.dropped
    assert cam.statistics() == stats


def test_a_stream_goes_on_when_the_camera_comes_back():
    # The second emulated camera, unplugged and plugged back as `lumora emu` does it.
    commands = os.path.join(os.environ["XDG_RUNTIME_DIR"], "lumora-camemu-commands")

    def emu(word):
        with open(commands, "a") as f:
            f.write(f"{word} 2\n")

    with pytest.raises(ValueError):
        lumora.Camera(1, reconnect=2)
    with lumora.Camera(1, reconnect=True) as camera:
        camera.window = (3488, 0, 320, 2616, 0, 240)
        camera.global_gain = 50
        seen = []
        with camera.stream(seconds=3, depth=8) as stream:
            for frame in stream:
                seen.append(frame.number)
                if len(seen) == 5:
                    emu("unplug")
                    threading.Event().wait(0.3)
                    emu("replug")
                if len(seen) >= 15 and stream.statistics()["reconnects"] == 1:
                    break
        assert stream.statistics()["reconnects"] == 1
        assert max(b - a for a, b in zip(seen, seen[1:])) > 1  # the numbers show the gap
        assert camera.global_gain == 50  # read from the sensor that came back


def test_recording_is_a_complete_avi(cam, tmp_path):
    neutral(cam, subsample=2)
    shares = []
    cam.record(tmp_path / "clip.avi", 2, progress=shares.append)
    assert shares == sorted(shares) and shares[-1] == 1.0
    probe = subprocess.run(["ffprobe", "-v", "error", "-count_frames", "-show_streams", "-of",
                            "json", str(tmp_path / "clip.avi")], capture_output=True, text=True,
                           check=True)
    video = json.loads(probe.stdout)["streams"][0]
    assert (video["codec_name"], video["width"], video["height"]) == ("rawvideo", 872, 654)
    assert 1.8 <= float(video["duration"]) <= 2.3 and int(video["nb_read_frames"]) >= 10
    cam.save(tmp_path / "still.png")
    assert (tmp_path / "still.png").read_bytes()[:4] == b"\x89PNG"


def test_errors_carry_the_code_its_name_and_the_function(cam, tmp_path):
    cases = [(lambda: lumora.Camera(2), 2, "Lumora_SetDeviceNumber"),
             (lambda: cam.record(tmp_path / "missing" / "x.avi", 1), 12, "Lumora_Record"),
             (lambda: cam._handle.call("Lumora_SetFilterValue", 1, 999), 9, "Lumora_SetFilterValue"),
             (lambda: cam._handle.call("Lumora_SnapShot", ctypes.create_string_buffer(16), 16, 1),
              5, "Lumora_SnapShot")]
    for call, code, function in cases:
        with pytest.raises(lumora.CameraError) as caught:
            call()
        error = caught.value
        assert (error.code, error.name, error.function) == (code, lumora.ERROR_NAMES[code], function)
        assert error.name in str(error) and function in str(error)


def test_nothing_is_left_behind_when_the_loop_raises_or_the_camera_is_dropped():
    threads, native = threading.active_count(), native_threads()
    with pytest.raises(KeyError):
        with lumora.Camera(0) as cam:
            neutral(cam)
            handles = [cam._handle.handle]
            for _ in cam.stream():
                raise KeyError
    dropped = lumora.Camera(1)
    handles.append(dropped._handle.handle)
    next(iter(dropped.stream()))
    del dropped
    gc.collect()
    assert cam.closed and (threading.active_count(), native_threads()) == (threads, native)
    lib = library.load()
    assert [lib.Lumora_GetColorMode(h) for h in handles] == [-1, -1]  # released handles
    with pytest.raises(ValueError):
        cam.snapshot()


def test_names_and_limits_are_the_headers():
    """mode and subsample take the C API's numbers; the recording limit is the header's."""
    header = open(os.path.join(os.path.dirname(__file__), "..", "..", "include", "lumora",
                               "LumoraSdk.h"), encoding="utf-8").read()
    assert f"#define LUMORA_RECORD_MAX_MS {lumora.library.RECORD_MAX_MS}\n" in header
    with lumora.Camera(0) as cam:
        for mode, reported in ((16, 12), (48, 44), (64, 60), (24, 24)):
            cam.mode = mode
            assert cam.mode == mode and cam._handle.value("Lumora_GetColorMode") == reported
        cam.window = (3488, 464, 2560, 2616, 348, 1920)
        for subsample, size in ((1, (1280, 960)), (2, (640, 480)), (17, (1280, 960)), (0, (2560, 1920))):
            cam.subsample = subsample
            assert cam._handle.value("Lumora_GetSubSample") == subsample
            assert (cam.frame_format().width, cam.frame_format().height) == size
