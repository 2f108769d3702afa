// The GStreamer plugin "lumora": the element lumorasrc and its frame meta.
#include <gst/gst.h>

#include "gst_lumora_frame_meta.h"
#include "gst_lumora_src.h"

#ifndef PACKAGE
#define PACKAGE "lumora-sdk"
#endif

// Any thread GStreamer loads plugins on.
static gboolean plugin_init(GstPlugin* plugin) {
    gst_lumora_frame_meta_get_info();
    return gst_lumora_src_register(plugin);
}

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, lumora, "Lumora K37VQ camera source", plugin_init,
                  LUMORA_PLUGIN_VERSION, "Proprietary", "Lumora K37VQ SDK", "Lumora K37VQ SDK source tree")
