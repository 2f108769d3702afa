#pragma once
// lumorasrc: a live GStreamer source of the camera's frames, on the SDK's public interface (the
// callback preview without a window and the Linux notifier).
//
// Threads: the application's thread runs the state changes, properties and queries; GStreamer's
// streaming thread runs negotiation (set_caps), allocation and fill; the SDK's preview thread
// runs the notifier, which hands each frame over through a FrameSlot. One mutex (camera_lock)
// keeps the handle to one thread at a time; the notifier never takes it.
#include <gst/base/gstpushsrc.h>
#include <gst/gst.h>

#include "lumora/LumoraSdk.h"

G_BEGIN_DECLS

#define GST_TYPE_LUMORA_SRC (gst_lumora_src_get_type())
G_DECLARE_FINAL_TYPE(GstLumoraSrc, gst_lumora_src, GST, LUMORA_SRC, GstPushSrc)

/* Registers lumorasrc with plugin (the plugin's init; also the tests' static registration). */
gboolean gst_lumora_src_register(GstPlugin *plugin);

G_END_DECLS
