"""The Lumora K37VQ camera from Python: frames as NumPy arrays.

A thin layer over the SDK's shared library (``libLumoraSdk_USB3_K37VQ.so``, found through
``LUMORA_LIBRARY``, next to this package, or on the loader path)::

    import lumora
    with lumora.Camera(0) as cam:
        cam.mode = 24
        image = lumora.to_rgb(cam.snapshot())
"""

from .camera import Camera, CameraInfo, Window, list_cameras, version
from .camera_error import ERROR_NAMES, CameraError, error_name
from .frame import Frame
from .frame_format import FrameFormat, to_rgb
from .frame_stream import FrameStream

__all__ = ["Camera", "CameraInfo", "CameraError", "ERROR_NAMES", "Frame", "FrameFormat", "FrameStream",
           "Window", "error_name", "list_cameras", "to_rgb", "version"]
