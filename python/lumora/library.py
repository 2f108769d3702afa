"""Loading the SDK's shared library and declaring the C functions the package calls.

The library is looked for, in this order: the file named by the environment variable
``LUMORA_LIBRARY``; ``libLumoraSdk_USB3_K37VQ.so`` next to this package's files (where
``cmake --install`` puts a link to the installed library); the dynamic loader's search path (also as
``libLumoraSdk_USB3_K37VQ.so.1``).
"""

import ctypes
import os
import threading

LIBRARY_NAME = "libLumoraSdk_USB3_K37VQ.so"

#: Tag word of a notifier record ("LNOT").
NOTIFIER_TAG = 0x4C4E4F54
#: Message posted for every frame of the callback preview.
CAMMSG_FRAME = 0x8002
#: Message posted for every recorded error code.
CAMMSG_ERROR = 0x8003
#: The longest recording Lumora_Record takes, in milliseconds (LUMORA_RECORD_MAX_MS).
RECORD_MAX_MS = 86400000

#: The notify function of a notifier record: (context, message, wParam, lParam).
NOTIFY_FUNCTION = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.c_uint, ctypes.c_size_t,
                                   ctypes.c_ssize_t)


class Notifier(ctypes.Structure):
    """``LumoraNotifier``: where the library posts its messages outside Windows."""

    _fields_ = [("tag", ctypes.c_uint), ("notify", NOTIFY_FUNCTION), ("context", ctypes.c_void_p)]


class FrameInfoRecord(ctypes.Structure):
    """``FrameInfo``: the record a ``CAMMSG_FRAME`` message points to."""

    _fields_ = [("size", ctypes.c_int), ("width", ctypes.c_int), ("height", ctypes.c_int),
                ("bitCount", ctypes.c_int), ("fpsTimes10", ctypes.c_int),
                ("buffer", ctypes.c_void_p)]


class FrameDetailsRecord(ctypes.Structure):
    """``LumoraExFrameDetails``: filled by ``LumoraEx_GetFrameDetails``."""

    _fields_ = [("size", ctypes.c_int)] + [(name, ctypes.c_uint) for name in (
        "number", "skippedBefore", "exposureLines", "exposureMicroseconds", "globalGain",
        "gainRed", "gainGreen1", "gainGreen2", "gainBlue")] + [("timestamp", ctypes.c_ulonglong)]


class StreamStatisticsRecord(ctypes.Structure):
    """``LumoraExStreamStatistics``: filled by ``LumoraEx_GetStreamStatistics``."""

    _fields_ = [("size", ctypes.c_int)] + [(name, ctypes.c_uint) for name in (
        "completed", "delivered", "skipped", "failed", "stalls", "skippedConsumerBusy",
        "skippedWrongSize", "skippedStreamEnd", "reconnects")]

    def as_dict(self):
        """The counts under the names ``lumora stream --json`` gives them, with the stalls."""
        return {"completed": self.completed, "delivered": self.delivered,
                "skipped": self.skipped, "failed": self.failed, "stalls": self.stalls,
                "skipped_by_cause": {"consumer_busy": self.skippedConsumerBusy,
                                     "wrong_size": self.skippedWrongSize,
                                     "stream_end": self.skippedStreamEnd},
                "reconnects": self.reconnects}


class CameraInfoRecord(ctypes.Structure):
    """``CameraInfo``: filled by ``Lumora_GetCameraInfo``."""

    _fields_ = [(name, ctypes.c_int) for name in (
        "size", "width", "height", "globalGainMin", "globalGainMax", "colorGainMin",
        "colorGainMax", "exposureMin", "exposureMax")]


_int = ctypes.c_int
_intp = ctypes.POINTER(ctypes.c_int)
_ptr = ctypes.c_void_p
_text = ctypes.c_char_p

# Argument types after the handle; every function returns int.
_PROTOTYPES = {
    "Initialize": None,  # (LumoraWindow) without a handle, below
    "GetDllVersion": None,
    "Release": (), "GetLastError": (), "Width": (), "Height": (),
    "GetCameraInfo": (ctypes.POINTER(CameraInfoRecord),),
    "EnumDevice": (_ptr,), "GetDeviceName": (_int, _text, _int), "SetDeviceNumber": (_int,),
    "CallBackPreview": (_ptr, _ptr, _int, _int), "StopPreview": (), "Close": (),
    "Record": (_text, _int, _int), "GetImage": (_ptr, _int, _int), "SnapShot": (_ptr, _int, _int),
    "SaveImage": (_text, _int),
    "SetColorMode": (_int,), "GetColorMode": (),
    "SetCaptureWindowEx": (_int,) * 6, "GetCaptureWindowEx": (_intp,) * 6,
    "SetSubSample": (_int,), "GetSubSample": (), "SetHalfClock": (_int,), "GetHalfClock": (),
    "SetAutoIris": (_int,), "GetAutoIris": (_intp,),
    "SetMirrorV": (_int,), "SetMirrorH": (_int,), "GetMirrorV": (), "GetMirrorH": (),
    "GetRealExposureTime": (_intp,),
    "WriteRegisterEx": (_int, _int), "ReadRegisterEx": (_int, _intp),
    "SetFilterValue": (_int, _int), "GetFilterValue": (_int, _intp),
}

# The LumoraEx_ extensions, the same way.
_EXTENSION_PROTOTYPES = {
    "GetFrameDetails": (ctypes.POINTER(FrameDetailsRecord),),
    "GetStreamStatistics": (ctypes.POINTER(StreamStatisticsRecord),),
    "SetReconnect": (ctypes.c_int,),
    "GetReconnect": (),
}

_loaded = None
_load_lock = threading.Lock()

#: Held around every call into the library: its functions must not run concurrently from
#: several threads, even on different cameras.
CALL_LOCK = threading.RLock()
#: Identities of the library's threads that have called a notify function of ours: code
#: running on them must not call into the library.
notify_threads = set()


def candidates():
    """The places the library is looked for, in order (see the module's description)."""
    named = os.environ.get("LUMORA_LIBRARY")
    if named:
        return [named]
    beside = os.path.join(os.path.dirname(os.path.abspath(__file__)), LIBRARY_NAME)
    # On the loader path also by its run-time name, where no development link exists.
    return ([beside] if os.path.exists(beside) else []) + [LIBRARY_NAME, LIBRARY_NAME + ".1"]


def load():
    """The loaded library with its functions declared; loads it at the first call.

    Raises ``OSError`` naming every place tried when the library cannot be loaded.
    """
    global _loaded
    with _load_lock:
        if _loaded is None:
            tried = []
            for path in candidates():
                try:
                    lib = ctypes.CDLL(path)
                    break
                except OSError as error:
                    tried.append(f"{path}: {error}")
            else:
                raise OSError("the Lumora SDK library was not found (set LUMORA_LIBRARY): "
                              + "; ".join(tried))
            for name, arguments in _PROTOTYPES.items():
                function = getattr(lib, "Lumora_" + name)
                function.restype = ctypes.c_int
                if arguments is not None:
                    function.argtypes = (ctypes.c_int,) + tuple(arguments)
            for name, arguments in _EXTENSION_PROTOTYPES.items():
                function = getattr(lib, "LumoraEx_" + name)
                function.restype = ctypes.c_int
                function.argtypes = (ctypes.c_int,) + tuple(arguments)
            lib.Lumora_Initialize.argtypes = (ctypes.c_void_p,)
            lib.Lumora_GetDllVersion.argtypes = ()
            _loaded = lib
        return _loaded
