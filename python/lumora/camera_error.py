"""The exception every failing library call raises."""

#: The library's error codes by number (Lumora_GetLastError).
ERROR_NAMES = {
    0: "CAMERR_NONE",
    1: "CAMERR_NO_DEVICE",
    2: "CAMERR_DEVICE_NUMBER",
    3: "CAMERR_THREAD",
    4: "CAMERR_WINDOW",
    5: "CAMERR_MEMORY",
    6: "CAMERR_REGISTER",
    7: "CAMERR_CAPTURE_WINDOW",
    8: "CAMERR_TRANSFER",
    9: "CAMERR_ARGUMENT",
    11: "CAMERR_UNSUPPORTED",
    12: "CAMERR_STORAGE",
    13: "CAMERR_STREAM_STOPPED",
}


def error_name(code):
    """The ``CAMERR_`` name of an error code (``CAMERR_<code>`` for a code the table lacks)."""
    return ERROR_NAMES.get(code, f"CAMERR_{code}")


class CameraError(RuntimeError):
    """A library call failed.

    ``code`` is the library's error code (0 when the call recorded none), ``name`` its
    ``CAMERR_`` name and ``function`` the ``Lumora_`` function that failed.
    """

    def __init__(self, function, code):
        self.function = function
        self.code = code
        self.name = error_name(code)
        super().__init__(f"{function} failed: {self.name} ({code})")
