#include "gst_lumora_frame_meta.h"

#include <cstring>

namespace {

// Any thread: a meta being added to a buffer.
gboolean FrameMetaInit(GstMeta* meta, gpointer, GstBuffer*) {
    auto* m = reinterpret_cast<GstLumoraFrameMeta*>(meta);
    std::memset(reinterpret_cast<char*>(m) + sizeof(GstMeta), 0, sizeof(*m) - sizeof(GstMeta));
    return TRUE;
}

// Any thread (an element copying or transforming a buffer). Copies (whole or part of a buffer, the frame stays the same frame) keep the details; other
// transforms (scaling, conversion) too: they change the pixels, not which frame it was.
gboolean FrameMetaTransform(GstBuffer* dest, GstMeta* meta, GstBuffer*, GQuark, gpointer) {
    auto* from = reinterpret_cast<GstLumoraFrameMeta*>(meta);
    GstLumoraFrameMeta* to = gst_buffer_add_lumora_frame_meta(dest);
    if (to == nullptr) return FALSE;
    std::memcpy(reinterpret_cast<char*>(to) + sizeof(GstMeta), reinterpret_cast<char*>(from) + sizeof(GstMeta),
                sizeof(*to) - sizeof(GstMeta));
    return TRUE;
}

}  // namespace

// Any thread; registered once.
GType gst_lumora_frame_meta_api_get_type(void) {
    static GType type = 0;
    static const gchar* tags[] = {nullptr};
    if (g_once_init_enter(&type)) {
        GType t = gst_meta_api_type_register("GstLumoraFrameMetaAPI", tags);
        g_once_init_leave(&type, t);
    }
    return type;
}

const GstMetaInfo* gst_lumora_frame_meta_get_info(void) {
    static const GstMetaInfo* info = nullptr;
    if (g_once_init_enter(&info)) {
        const GstMetaInfo* i = gst_meta_register(gst_lumora_frame_meta_api_get_type(), "GstLumoraFrameMeta",
                                                 sizeof(GstLumoraFrameMeta), FrameMetaInit, nullptr,
                                                 FrameMetaTransform);
        g_once_init_leave(&info, i);
    }
    return info;
}

GstLumoraFrameMeta* gst_buffer_add_lumora_frame_meta(GstBuffer* buffer) {
    return reinterpret_cast<GstLumoraFrameMeta*>(
        gst_buffer_add_meta(buffer, gst_lumora_frame_meta_get_info(), nullptr));
}

GstLumoraFrameMeta* gst_buffer_get_lumora_frame_meta(GstBuffer* buffer) {
    return reinterpret_cast<GstLumoraFrameMeta*>(gst_buffer_get_meta(buffer, gst_lumora_frame_meta_api_get_type()));
}
