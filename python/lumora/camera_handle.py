"""One open camera handle of the library: calls on it, its error codes, its release."""

import ctypes
import threading

from . import library
from .camera_error import CameraError

_HISTORY = 20  # entries of the library's error history


class CameraHandle:
    """The library handle behind a ``Camera`` and what must live as long as it.

    Kept apart from ``Camera`` so that the camera can be collected while a frame stream's
    thread still refers to the handle; releasing the handle ends that stream first.
    """

    def __init__(self):
        self.lib = library.load()
        with library.CALL_LOCK:
            self.handle = self.lib.Lumora_Initialize(None)
        if self.handle == 0:
            raise CameraError("Lumora_Initialize", 0)
        self.stream = None
        self.reconnect = False  # a camera that leaves comes back: its streams go on
        self._kept = []
        # Codes recorded while the camera opened (e.g. settings written for the first time)
        # are not the reason of any later failure.
        self.last_error()

    def _function(self, name):
        if self.handle is None:
            raise ValueError("the camera is closed")
        return getattr(self.lib, name)

    def call(self, name, *args):
        """Calls ``name(handle, *args)``; raises ``CameraError`` when it returns 0."""
        function = self._function(name)
        with library.CALL_LOCK:
            result = function(self.handle, *args)
            if result == 0:
                raise CameraError(name, self.last_error())
        return result

    def value(self, name, *args):
        """Calls ``name(handle, *args)`` and returns its result unchecked."""
        function = self._function(name)
        with library.CALL_LOCK:
            return function(self.handle, *args)

    def frame_details(self):
        """The details of the frame delivered last (a ``FrameDetailsRecord``), or None. Calls
        the library without the call lock: the notify function of a stream uses it on the
        library's preview thread, which the library allows for this function alone."""
        record = library.FrameDetailsRecord()
        record.size = ctypes.sizeof(record)
        handle = self.handle
        if handle is None or not self.lib.LumoraEx_GetFrameDetails(handle, ctypes.byref(record)):
            return None
        return record

    def statistics(self):
        """The stream statistics of the current or last acquisition, as a dict."""
        record = library.StreamStatisticsRecord()
        record.size = ctypes.sizeof(record)
        self.call("LumoraEx_GetStreamStatistics", ctypes.byref(record))
        return record.as_dict()

    def get(self, name, *args):
        """Calls a getter ``name(handle, *args, &ok)``; raises ``CameraError`` when ok is 0."""
        function = self._function(name)
        ok = ctypes.c_int(0)
        with library.CALL_LOCK:
            result = function(self.handle, *args, ctypes.byref(ok))
            if not ok.value:
                raise CameraError(name, self.last_error())
        return result

    def last_error(self):
        """The newest code of the history, which is emptied so that an older code is never
        taken for the reason of a later failure (0 when there is none)."""
        codes = [self.lib.Lumora_GetLastError(self.handle) for _ in range(_HISTORY)]
        return next((code for code in codes if code != 0), 0)

    def keep_alive(self, thing):
        """Keeps thing (a notifier record and its function) until the handle is released."""
        self._kept.append(thing)

    def stream_ended(self, stream):
        """Called by a closing stream: stops the library's preview and forgets the stream."""
        if self.stream is stream:
            self.stream = None
            if self.handle is not None:
                self.value("Lumora_Close")

    def release(self):
        """Ends a stream, releases the handle. Safe to call twice and from any thread: on the
        library's own thread (a collection during a notification) the release is handed to a
        thread of ours, since the library would wait for the thread that asks."""
        if threading.get_ident() in library.notify_threads:
            threading.Thread(target=self.release, name="lumora-release").start()
            return
        if self.stream is not None:
            self.stream.close()
        if self.handle is not None:
            with library.CALL_LOCK:
                self.lib.Lumora_Release(self.handle)
            self.handle = None
            self._kept.clear()
