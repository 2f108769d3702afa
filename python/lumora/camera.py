"""A K37VQ camera opened through the SDK library."""

import ctypes
import numbers
import os
import time
import weakref
from collections import namedtuple
from dataclasses import dataclass

from . import library
from .camera_error import CameraError
from .camera_handle import CameraHandle
from .frame import Frame
from .frame_format import TOP_DOWN, FrameFormat
from .frame_stream import FrameStream

SENSOR_WIDTH = 3488
SENSOR_HEIGHT = 2616
_MAX_CAMERAS = 10

# The colour modes by the bits Lumora_SetColorMode takes (this package's ``mode``), with the
# value Lumora_GetColorMode reports for each.
_MODES = {8: 8, 16: 12, 24: 24, 32: 32, 48: 44, 64: 60}
_SUBSAMPLING_DIVISOR = {0: 1, 1: 2, 17: 2, 2: 4, 18: 4}
# Still-image formats by file extension.
_IMAGE_FORMATS = {".bmp": 0, ".raw": 1, ".png": 5, ".tif": 6, ".tiff": 6}
_JPEG_QUALITY = {"fine": 2, "normal": 3, "economy": 4}


def _checked(name, value, allowed):
    """value as an int after checking its type (TypeError) and that it is in allowed (ValueError)."""
    if isinstance(value, bool) or not isinstance(value, numbers.Integral):
        raise TypeError(f"{name} takes an integer, not {type(value).__name__}")
    value = int(value)
    if value not in allowed:
        if isinstance(allowed, range):
            raise ValueError(f"{name} must be {allowed.start}..{allowed.stop - 1}, not {value}")
        raise ValueError(f"{name} must be one of {sorted(allowed)}, not {value}")
    return value


def _flag(name, value):
    """A boolean setting given as bool or 0/1."""
    if isinstance(value, bool):
        return int(value)
    return _checked(name, value, range(2))


class Window(namedtuple("Window", "h_total h_start width v_total v_start height")):
    """The sensor area read out, in full-resolution pixels: horizontal total, start and width,
    vertical total, start and height (the totals are stored, the library does not use them)."""


@dataclass(frozen=True)
class CameraInfo:
    """What ``Camera.info()`` reports: the device name and index, the sensor size and the
    ranges of the global gain, the colour gains and the exposure (in sensor lines)."""

    name: str
    index: int
    width: int
    height: int
    global_gain_range: tuple
    color_gain_range: tuple
    exposure_range: tuple


class _Filter:
    """A filter value of the library (Lumora_SetFilterValue / Lumora_GetFilterValue by index).
    ``allowed`` is a range, or for the sensor's settings the name of the ``CameraInfo`` range
    that the camera reports."""

    def __init__(self, index, allowed, doc, boolean=False):
        self.index, self.allowed, self.boolean = index, allowed, boolean
        self.__doc__ = doc

    def __set_name__(self, owner, name):
        self.name = name

    def __get__(self, camera, owner=None):
        if camera is None:
            return self
        value = camera._handle.get("Lumora_GetFilterValue", self.index)
        return bool(value) if self.boolean else value

    def __set__(self, camera, value):
        allowed = self.allowed
        if isinstance(allowed, str):
            low, high = getattr(camera.info(), allowed)
            allowed = range(low, high + 1)
        value = _flag(self.name, value) if self.boolean else _checked(self.name, value, allowed)
        camera._handle.call("Lumora_SetFilterValue", self.index, value)


def version():
    """The library's version as text, e.g. ``"1.45.5.25"``."""
    number = library.load().Lumora_GetDllVersion()
    return ".".join(str(number >> shift & 0xFF) for shift in (24, 16, 8, 0))


def list_cameras():
    """The names of the attached cameras, in the order ``Camera(index)`` opens them."""
    handle = CameraHandle()
    try:
        names = (ctypes.c_char * 256 * _MAX_CAMERAS)()
        count = handle.value("Lumora_EnumDevice", names)
        return [names[i].value.decode("utf-8", "replace") for i in range(max(count, 0))]
    finally:
        handle.release()


class Camera:
    """One camera, opened by its index in ``list_cameras()``.

    Use it as a context manager (``with lumora.Camera(0) as cam:``); the handle is released on
    leaving the block, by ``close()``, or when the object is collected. Every failing library
    call raises ``CameraError``; arguments of the wrong type or out of range raise ``TypeError``
    or ``ValueError`` before reaching the library. One thread at a time should use a camera.

    With ``reconnect=True`` a camera that leaves the bus (unplugged, a hub reset) and comes
    back is opened again with this object's settings, and a stream goes on: its frame numbers
    show the gap, and ``statistics()["reconnects"]`` counts the returns. Without it the stream
    ends with ``CameraError`` (``CAMERR_STREAM_STOPPED``).
    """

    def __init__(self, index=0, reconnect=False):
        self.index = _checked("index", index, range(_MAX_CAMERAS))
        reconnect = _flag("reconnect", reconnect)
        self._handle = CameraHandle()
        self._finalizer = weakref.finalize(self, self._handle.release)
        try:
            self._handle.call("Lumora_SetDeviceNumber", self.index)
            self._handle.call("LumoraEx_SetReconnect", reconnect)
            self._handle.reconnect = bool(reconnect)
        except CameraError:
            self.close()
            raise

    def close(self):
        """Stops any stream and releases the camera; later calls raise ``ValueError``."""
        self._finalizer()

    @property
    def closed(self):
        """True once the camera is released."""
        return not self._finalizer.alive

    def __enter__(self):
        return self

    def __exit__(self, *_exc):
        self.close()
        return False

    # ---- information ----
    def info(self):
        """A ``CameraInfo`` with the camera's name, sensor size and setting ranges."""
        record = library.CameraInfoRecord(size=ctypes.sizeof(library.CameraInfoRecord))
        self._handle.call("Lumora_GetCameraInfo", ctypes.byref(record))
        name = ctypes.create_string_buffer(256)
        self._handle.call("Lumora_GetDeviceName", self.index, name, len(name))
        return CameraInfo(name.value.decode("utf-8", "replace"), self.index, record.width,
                          record.height, (record.globalGainMin, record.globalGainMax),
                          (record.colorGainMin, record.colorGainMax),
                          (record.exposureMin, record.exposureMax))

    # ---- geometry and sensor settings ----
    @property
    def mode(self):
        """Colour mode as the bits per pixel that ``Lumora_SetColorMode`` takes: 8 (gray), 16
        (gray, 12-bit samples in uint16), 24 (BGR), 32 (BGR and a fourth byte), 48 (BGR) or 64
        (BGR and a fourth sample), the last two with 12-bit samples in uint16. (The library's
        ``Lumora_GetColorMode`` reports 12, 44 and 60 for 16, 48 and 64.) Takes effect when the
        next acquisition starts."""
        reported = self._handle.value("Lumora_GetColorMode")
        return next(bits for bits, shown in _MODES.items() if shown == reported)

    @mode.setter
    def mode(self, value):
        self._handle.call("Lumora_SetColorMode", _checked("mode", value, _MODES))

    @property
    def window(self):
        """The capture window as a ``Window``; set a ``Window`` or a 6-tuple of the same order.
        Start and size must keep the window on the 3488 x 2616 sensor, sizes at least 1."""
        values = [ctypes.c_int() for _ in range(6)]
        self._handle.call("Lumora_GetCaptureWindowEx", *(ctypes.byref(v) for v in values))
        return Window(*(v.value for v in values))

    @window.setter
    def window(self, value):
        if not isinstance(value, tuple) or len(value) != 6:
            raise TypeError("window takes a Window or a 6-tuple "
                            "(h_total, h_start, width, v_total, v_start, height)")
        h_total, h_start, width, v_total, v_start, height = (
            _checked(name, v, range(1 << 16)) for name, v in zip(Window._fields, value))
        if not 1 <= width <= SENSOR_WIDTH - h_start or not 1 <= height <= SENSOR_HEIGHT - v_start:
            raise ValueError(f"window {tuple(value)} does not lie on the {SENSOR_WIDTH} x "
                             f"{SENSOR_HEIGHT} sensor")
        self._handle.call("Lumora_SetCaptureWindowEx", h_total, h_start, width, v_total, v_start,
                          height)

    @property
    def subsample(self):
        """Subsampling mode of ``Lumora_SetSubSample``: 0 full size, 1 half and 2 quarter size
        (skipping), 17 half and 18 quarter size (binning); the frames are the window divided by
        1, 2 or 4 each way."""
        return self._handle.value("Lumora_GetSubSample")

    @subsample.setter
    def subsample(self, value):
        self._handle.call("Lumora_SetSubSample", _checked("subsample", value, _SUBSAMPLING_DIVISOR))

    @property
    def clock(self):
        """Pixel clock setting 0..9 (1..5 select a clock of their own, the others the default);
        applied when the next acquisition starts."""
        return self._handle.value("Lumora_GetHalfClock")

    @clock.setter
    def clock(self, value):
        self._handle.call("Lumora_SetHalfClock", _checked("clock", value, range(10)))

    @property
    def auto_iris(self):
        """Automatic control per frame: 0 off, 1 exposure, 2 gain."""
        return self._handle.get("Lumora_GetAutoIris")

    @auto_iris.setter
    def auto_iris(self, value):
        self._handle.call("Lumora_SetAutoIris", _checked("auto_iris", value, range(3)))

    @property
    def mirror_v(self):
        """Vertical readout mirroring as the camera reports it (moves the Bayer phase)."""
        return bool(self._handle.value("Lumora_GetMirrorV"))

    @mirror_v.setter
    def mirror_v(self, value):
        self._handle.call("Lumora_SetMirrorV", _flag("mirror_v", value))

    @property
    def mirror_h(self):
        """Horizontal readout mirroring as the camera reports it (moves the Bayer phase)."""
        return bool(self._handle.value("Lumora_GetMirrorH"))

    @mirror_h.setter
    def mirror_h(self, value):
        self._handle.call("Lumora_SetMirrorH", _flag("mirror_h", value))

    @property
    def exposure_us(self):
        """The exposure time in microseconds that the current settings give (read only)."""
        return self._handle.get("Lumora_GetRealExposureTime")

    # ---- filter values (processing of every frame, and the sensor's gains and exposure) ----
    brightness = _Filter(1, range(-255, 256), "Brightness, -255..255.")
    contrast = _Filter(2, range(-127, 128), "Contrast, -127..127.")
    hue = _Filter(3, range(-360, 361), "Hue rotation in degrees, -360..360.")
    saturation = _Filter(4, range(-255, 256), "Saturation, -255..255.")
    sharpness = _Filter(5, range(31), "Sharpness, 0..30.")
    white_balance_red = _Filter(7, range(401), "White-balance gain of red in percent, 0..400.")
    white_balance_green = _Filter(8, range(401), "White-balance gain of green in percent, 0..400.")
    white_balance_blue = _Filter(9, range(401), "White-balance gain of blue in percent, 0..400.")
    auto_white_balance = _Filter(10, None, "Automatic white balance requested (bool).", boolean=True)
    gamma = _Filter(11, range(201), "Gamma in percent, 0..200 (100 leaves the tones).")
    bayer_mode = _Filter(12, range(4), "Bayer phase of the mosaic, 0..3.")
    global_gain = _Filter(13, "global_gain_range", "Sensor global gain in the camera's "
                          "``info().global_gain_range``; sets the colour gains too.")
    color_gain_red = _Filter(14, "color_gain_range", "Sensor gain of red (``info().color_gain_range``).")
    color_gain_green1 = _Filter(15, "color_gain_range", "Sensor gain of green on red rows.")
    color_gain_green2 = _Filter(16, "color_gain_range", "Sensor gain of green on blue rows.")
    color_gain_blue = _Filter(17, "color_gain_range", "Sensor gain of blue.")
    exposure = _Filter(18, "exposure_range", "Exposure in sensor lines, in the camera's "
                       "``info().exposure_range``.")
    gray_mode = _Filter(19, range(3), "Gray filter mode, 0..2.")
    gray_gain_r = _Filter(20, range(256), "Gray filter gain of red samples, 0..255.")
    gray_gain_g1 = _Filter(21, range(256), "Gray filter gain of green samples on red rows, 0..255.")
    gray_gain_g2 = _Filter(22, range(256), "Gray filter gain of green samples on blue rows, 0..255.")
    gray_gain_b = _Filter(23, range(256), "Gray filter gain of blue samples, 0..255.")
    gray_offset_r = _Filter(24, range(-255, 256), "Gray filter offset of red samples, -255..255.")
    gray_offset_g1 = _Filter(25, range(-255, 256), "Gray filter offset of green on red rows, -255..255.")
    gray_offset_g2 = _Filter(26, range(-255, 256), "Gray filter offset of green on blue rows, -255..255.")
    gray_offset_b = _Filter(27, range(-255, 256), "Gray filter offset of blue samples, -255..255.")

    # ---- registers ----
    def read_register(self, address):
        """The 16-bit sensor register at a 16-bit address."""
        return self._handle.get("Lumora_ReadRegisterEx", _checked("address", address, range(1 << 16)))

    def write_register(self, address, value):
        """Writes a 16-bit value to the sensor register at a 16-bit address."""
        self._handle.call("Lumora_WriteRegisterEx", _checked("address", address, range(1 << 16)),
                          _checked("value", value, range(1 << 16)))

    # ---- frames ----
    def frame_format(self):
        """The ``FrameFormat`` that the current mode, window and subsampling give a frame."""
        window = self.window
        divisor = _SUBSAMPLING_DIVISOR.get(self.subsample, 1)
        return FrameFormat(window.width // divisor, window.height // divisor, self.mode)

    def snapshot(self):
        """One processed frame as a ``Frame`` (a ``numpy.ndarray`` with the frame's details; a new frame; the newest one of the stream
        while a stream runs): shape (height, width) for the gray modes, (height, width, channels)
        otherwise, dtype uint8 or uint16 (12-bit values), rows top-down, channels in the SDK's
        blue-green-red order (see ``to_rgb``)."""
        stream = self._handle.stream
        frame_format = stream.frame_format if stream is not None else self.frame_format()
        memory = frame_format.allocate()
        function = "Lumora_GetImage" if stream is not None else "Lumora_SnapShot"
        self._handle.call(function, memory.ctypes.data, frame_format.size, TOP_DOWN)
        return Frame.wrap(frame_format.view(memory), self._handle.frame_details())

    def statistics(self):
        """The counts of the current or last acquisition (stream, recording or snapshot), as
        ``FrameStream.statistics`` gives them."""
        return self._handle.statistics()

    def stream(self, seconds=None, max_frames=None, depth=4):
        """Starts the live preview and returns a ``FrameStream``: an iterator of frames (as from
        ``snapshot``) that ends after ``seconds`` or ``max_frames`` when given. At most
        ``depth`` frames wait for the consumer; frames arriving while the queue is full are
        dropped and counted (``stream.dropped``). One stream at a time; leaving the camera's
        ``with`` block or calling ``stream.close()`` ends it."""
        if seconds is not None and (isinstance(seconds, bool) or not isinstance(seconds, numbers.Real)):
            raise TypeError("seconds takes a number")
        if seconds is not None and not seconds > 0:
            raise ValueError(f"seconds must be above 0, not {seconds}")
        if max_frames is not None:
            _checked("max_frames", max_frames, range(1, 1 << 62))
        _checked("depth", depth, range(1, 65))
        if self._handle.stream is not None:
            raise RuntimeError("this camera already streams; close that stream first")
        stream = FrameStream(self._handle, self.frame_format(), seconds, max_frames, depth)
        self._handle.stream = stream
        return stream

    def record(self, path, seconds, progress=None):
        """Records an uncompressed 24-bit AVI file of ``seconds`` (counted from the first
        frame) and returns when it is written. ``progress(fraction)`` is called about ten times
        a second with the share of the time passed (0..1)."""
        if isinstance(seconds, bool) or not isinstance(seconds, numbers.Real):
            raise TypeError("seconds takes a number")
        longest = library.RECORD_MAX_MS // 1000
        if not 0 < seconds <= longest:
            raise ValueError(f"seconds must be above 0 and at most {longest}, not {seconds}")
        if progress is not None and not callable(progress):
            raise TypeError("progress takes a function")
        if self._handle.stream is not None:
            raise RuntimeError("this camera streams; close the stream before recording")
        name = os.fsencode(path)
        self._handle.call("Lumora_Record", name, int(seconds * 1000), 0)
        try:
            # The recording runs for its duration after the first frame: give that frame time.
            start = time.monotonic()
            end = start + seconds + 0.5
            while (now := time.monotonic()) < end:
                if progress is not None:
                    progress(min(1.0, (now - start) / seconds))
                time.sleep(min(0.1, end - now))
            if progress is not None:
                progress(1.0)
        finally:
            self._handle.value("Lumora_Close")

    def save(self, path, quality="fine"):
        """Saves the newest frame (taking a snapshot first unless a stream runs) as a still image
        whose format follows the extension: .bmp, .raw, .jpg/.jpeg (``quality`` "fine",
        "normal" or "economy"), .png, .tif/.tiff."""
        extension = os.path.splitext(os.fsdecode(path))[1].lower()
        if extension in (".jpg", ".jpeg"):
            if quality not in _JPEG_QUALITY:
                raise ValueError(f"quality must be one of {sorted(_JPEG_QUALITY)}")
            image_format = _JPEG_QUALITY[quality]
        elif extension in _IMAGE_FORMATS:
            image_format = _IMAGE_FORMATS[extension]
        else:
            raise ValueError(f"cannot tell the image format from {extension!r}: use .bmp, .raw, "
                             ".jpg, .jpeg, .png, .tif or .tiff")
        if self._handle.stream is None:
            self._handle.call("Lumora_SnapShot", None, 0, 0)
        self._handle.call("Lumora_SaveImage", os.fsencode(path), image_format)
