"""A delivered frame: the pixels as a ``numpy.ndarray`` with what the device knew of it."""

import numpy as np

#: The frame details as attributes of ``Frame``, in the order of ``LumoraExFrameDetails``.
DETAIL_NAMES = ("number", "skipped_before", "exposure_lines", "exposure_us", "global_gain",
                "gain_red", "gain_green1", "gain_green2", "gain_blue", "timestamp")


class Frame(np.ndarray):
    """A frame's pixels (an ``ndarray`` like any other) and its details: ``number`` (the
    device's count from 1 at each stream start; gaps are frames skipped), ``timestamp`` (when
    the device finished reading it, microseconds of the system's monotonic clock, the one
    ``time.monotonic`` reads on Linux), ``skipped_before`` (frames skipped since the previous one
    delivered), ``exposure_lines``, ``exposure_us`` and the sensor gains ``global_gain``,
    ``gain_red``, ``gain_green1``, ``gain_green2``, ``gain_blue``. Arrays made from a frame
    (slices, results) carry the same details; all are ``None`` when the library gave none."""

    def __array_finalize__(self, source):
        for name in DETAIL_NAMES:
            setattr(self, name, getattr(source, name, None))

    @classmethod
    def wrap(cls, array, details):
        """The array as a ``Frame`` (no copy) with details, a ``FrameDetailsRecord`` or None."""
        frame = array.view(cls)
        if details is not None:
            for name, field in zip(DETAIL_NAMES, (f[0] for f in details._fields_[1:])):
                setattr(frame, name, getattr(details, field))
        return frame
