"""Live frames from the callback preview as NumPy arrays.

The library copies every frame into the caller buffer it was given and then calls the notifier
on its preview thread. Here that buffer is always one of a small pool of frame slots, and a
hand-over thread (ours) gives the library the next free slot after each frame, queueing the
slot that holds the frame. The library copies each frame once, straight into the array the
consumer receives; this layer copies nothing. The library swaps the buffer under the same lock
that covers its copy and the notification, so a queued slot is never written again until the
consumer has let go of it.

The queue is bounded: while it is full, or every slot is still held by the consumer, the
library keeps writing into the current slot; the frames it overwrites there are dropped and
counted.

Thread context: the notify function runs on the library's preview thread, the hand-over loop
on its own thread, everything else on the consumer's thread.
"""

import collections
import sys
import threading
import time

import numpy as np

from . import library
from .camera_error import CameraError
from .frame import Frame
from .frame_format import TOP_DOWN


def _references(slot):
    return sys.getrefcount(slot)


def _baseline():
    # The count _references gives for an array that only a list holds, while a for loop over
    # that list looks at it: the count of a slot that nothing else (no frame handed out, no
    # queue entry, no current-slot field) refers to.
    for probe in [np.empty(0)]:
        return _references(probe)


_UNREFERENCED = _baseline()


class FrameStream:
    """An iterator of frames (``numpy.ndarray``, rows top-down, blue-green-red) from a camera.

    Made by ``Camera.stream``; ends after ``seconds`` or ``max_frames`` (when given), at
    ``close()``, or when the camera stops streaming. Each frame stays valid as long as it is
    referenced. Counters: ``posted`` frames the library delivered, ``delivered`` frames handed
    to the consumer, ``dropped`` frames overwritten because the consumer was slow; ``fps`` is
    the library's measured frame rate. Each frame is a ``Frame`` with its device number,
    timestamp and sensor settings; ``statistics()`` gives the library's counts (frames the
    camera completed, delivered to this stream, skipped by cause), which ``dropped`` adds to.
    """

    def __init__(self, camera, frame_format, seconds=None, max_frames=None, depth=4):
        self._camera = camera
        self._format = frame_format
        self._depth = depth
        self._deadline = None if seconds is None else time.monotonic() + seconds
        self._max_frames = max_frames
        self._cond = threading.Condition()
        self._slots = [frame_format.allocate() for _ in range(depth + 2)]
        self._queue = collections.deque()
        self._queued_details = collections.deque()  # beside _queue: the details of each frame
        self._details_of = {}  # buffer address -> details of the frame posted into it last
        self._current = self._slots[0]
        self._posted_into = {}  # buffer address -> frames posted into it since it was current
        self._failure = None  # CameraError that ended the stream
        self._closing = False
        self.posted = 0
        self.delivered = 0
        self.dropped = 0
        self.fps = 0.0
        self._notifier = library.Notifier(library.NOTIFIER_TAG,
                                          library.NOTIFY_FUNCTION(self._on_message), None)
        camera.keep_alive(self._notifier)
        self._give(self._current)
        self._thread = threading.Thread(target=self._hand_over, name="lumora-frames", daemon=True)
        self._thread.start()

    @property
    def frame_format(self):
        """The ``FrameFormat`` of the stream's frames."""
        return self._format

    # ---- the library's preview thread ----
    def _on_message(self, _context, message, wparam, lparam):
        if message != library.CAMMSG_FRAME:
            return
        library.notify_threads.add(threading.get_ident())
        self._count(wparam, lparam)

    def _count(self, wparam, lparam):
        with self._cond:
            if wparam:
                info = library.FrameInfoRecord.from_address(wparam)
                self._posted_into[info.buffer] = self._posted_into.get(info.buffer, 0) + 1
                self._details_of[info.buffer] = self._camera.frame_details()
                self.posted += 1
                self.fps = info.fpsTimes10 / 10.0
            elif lparam == 13 and not self._camera.reconnect:
                # CAMERR_STREAM_STOPPED: the library's thread has ended (with reconnection it
                # waits for the camera to come back, and the stream goes on)
                self._failure = CameraError("Lumora_CallBackPreview", lparam)
            self._cond.notify_all()

    # ---- the hand-over thread ----
    def _give(self, slot):
        self._camera.call("Lumora_CallBackPreview", self._notifier_address(), slot.ctypes.data,
                           self._format.size, TOP_DOWN)

    def _notifier_address(self):
        return library.ctypes.addressof(self._notifier)

    def _free_slot(self):
        for slot in self._slots:
            if _references(slot) <= _UNREFERENCED:
                return slot
        if len(self._slots) >= 2 * (self._depth + 2):
            # The consumer keeps many frames: those stay its own, the pool forgets them.
            self._slots = [self._current] + list(self._queue)
        slot = self._format.allocate()
        self._slots.append(slot)
        return slot

    def _ready(self):
        return self._closing or (self._posted_into.get(self._current.ctypes.data, 0) > 0
                                 and len(self._queue) < self._depth)

    def _hand_over(self):
        while True:
            with self._cond:
                self._cond.wait_for(self._ready)
                if self._closing:
                    return
                full = self._current
                slot = self._free_slot()
            try:
                self._give(slot)
            except (CameraError, ValueError) as error:  # ValueError: the camera was released
                with self._cond:
                    self._failure = error
                    self._cond.notify_all()
                return
            with self._cond:
                frames = self._posted_into.pop(full.ctypes.data, 0)
                self._current = slot
                self._queue.append(full)
                self._queued_details.append(self._details_of.pop(full.ctypes.data, None))
                self.dropped += frames - 1
                self._cond.notify_all()
            del full, slot

    # ---- the consumer's thread ----
    def __iter__(self):
        return self

    def __next__(self):
        if ((self._max_frames is not None and self.delivered >= self._max_frames)
                or (self._deadline is not None and time.monotonic() >= self._deadline)):
            self.close()
            raise StopIteration
        with self._cond:
            while not self._queue:
                left = None if self._deadline is None else self._deadline - time.monotonic()
                if self._closing or self._failure is not None or (left is not None and left <= 0):
                    break
                self._cond.wait(left)
            slot = self._queue.popleft() if self._queue else None
            details = self._queued_details.popleft() if slot is not None else None
            if slot is not None:
                self.delivered += 1
                self._cond.notify_all()
        if slot is None:
            failure = self._failure
            self.close()
            if failure is not None:
                raise failure
            raise StopIteration
        return Frame.wrap(self._format.view(slot), details)

    def statistics(self):
        """The library's counts of this stream, while it runs and after it ended: a dict with
        ``completed``, ``delivered``, ``skipped``, ``failed``, ``stalls`` and
        ``skipped_by_cause`` (``consumer_busy``, ``wrong_size``, ``stream_end``) and
        ``reconnects`` (the camera's returns, see ``Camera(reconnect=True)``). Frames this
        layer dropped after the library delivered them are ``dropped``, not counted here."""
        return self._camera.statistics()

    def close(self):
        """Stops the stream: ends the hand-over thread and the library's preview. Frames already
        taken stay valid; frames still queued are counted as dropped. Safe to call twice."""
        with self._cond:
            if self._closing:
                return
            self._closing = True
            self._cond.notify_all()
        if threading.current_thread() is not self._thread:
            self._thread.join()
        self._camera.stream_ended(self)
        with self._cond:
            self.dropped += len(self._queue) + sum(self._posted_into.values())
            self._queue.clear()
            self._queued_details.clear()
            self._posted_into.clear()
            self._details_of.clear()

    def __enter__(self):
        return self

    def __exit__(self, *_exc):
        self.close()
        return False
