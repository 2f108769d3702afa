"""The layout of one frame in memory and the NumPy view over it."""

from dataclasses import dataclass

import numpy as np

# Bits per pixel of each colour mode (as Lumora_SetColorMode takes it): (channels, sample type).
_LAYOUTS = {
    8: (1, np.uint8),
    16: (1, np.uint16),
    24: (3, np.uint8),
    32: (4, np.uint8),
    48: (3, np.uint16),
    64: (4, np.uint16),
}


#: The copy flag of Lumora_SnapShot, Lumora_GetImage and Lumora_CallBackPreview that delivers
#: rows top-down: 1 keeps the library's memory order, whose first row is the camera's first
#: readout row, the top of the picture as the library's own BMP, PNG and JPEG files show it
#: (checked against the emulator's chart); 0 turns the picture upside down.
TOP_DOWN = 1


@dataclass(frozen=True)
class FrameFormat:
    """Width and height in pixels and bits per pixel (8, 16, 24, 32, 48 or 64) of a frame.

    The library's frames are rows of ``stride`` bytes (padded to 4) holding the samples in
    blue-green-red(-fourth) order, 16-bit samples carrying 12-bit values (0..4095).
    """

    width: int
    height: int
    bits: int

    @property
    def channels(self):
        """Samples per pixel: 1 (gray), 3 (blue, green, red) or 4 (blue, green, red, fourth)."""
        return _LAYOUTS[self.bits][0]

    @property
    def dtype(self):
        """The NumPy sample type: ``uint8`` or ``uint16``."""
        return np.dtype(_LAYOUTS[self.bits][1])

    @property
    def stride(self):
        """Bytes per row, padded to a multiple of 4."""
        return (self.width * self.bits + 31) // 32 * 4

    @property
    def size(self):
        """Bytes of one frame: stride x height."""
        return self.stride * self.height

    def allocate(self):
        """A zeroed byte array that holds one frame."""
        return np.zeros(self.size, dtype=np.uint8)

    def view(self, memory):
        """The frame held in memory (from ``allocate``, rows top-down) as an array without a copy:
        shape (height, width) or (height, width, channels)."""
        itemsize = self.dtype.itemsize
        if self.channels == 1:
            shape, strides = (self.height, self.width), (self.stride, itemsize)
        else:
            shape = (self.height, self.width, self.channels)
            strides = (self.stride, self.channels * itemsize, itemsize)
        return np.ndarray(shape, self.dtype, buffer=memory, strides=strides)


def to_rgb(frame):
    """The frame's colour samples in red-green-blue order (a view; a fourth sample is left out).

    The SDK delivers blue-green-red; gray frames raise ``ValueError``.
    """
    if not isinstance(frame, np.ndarray):
        raise TypeError("to_rgb takes a numpy.ndarray")
    if frame.ndim != 3 or frame.shape[2] not in (3, 4):
        raise ValueError("to_rgb takes a colour frame of shape (height, width, 3 or 4)")
    return frame[..., 2::-1]
