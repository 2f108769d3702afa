#pragma once
/* GstLumoraFrameMeta: what the camera said about the frame a buffer of lumorasrc holds.
 *
 * Every buffer lumorasrc pushes carries one. Applications find it by its API type, registered
 * under the name "GstLumoraFrameMetaAPI" (the meta itself is "GstLumoraFrameMeta"):
 *
 *     GType api = g_type_from_name ("GstLumoraFrameMetaAPI");
 *     GstLumoraFrameMeta *m = api ? (GstLumoraFrameMeta *) gst_buffer_get_meta (buffer, api) : NULL;
 *
 * and read the fields below, whose layout this header fixes (copy the header into the
 * application; the functions below live in the plugin and need not be linked). Elements that
 * copy metas (videoconvert, queue, tee, ...) carry it along: it has no tags. */
#include <gst/gst.h>

G_BEGIN_DECLS

typedef struct {
    GstMeta meta;
    guint32 number;                 /* the device's frame number, from 1 at each stream start */
    guint32 skipped_before;         /* frames the device completed since the previous one
                                       delivered that the application never received */
    guint32 exposure_lines;         /* sensor exposure for this frame, lines */
    guint32 exposure_microseconds;  /* the same in microseconds at the line timing and clock */
    guint32 global_gain;            /* sensor gains for this frame, 0..127 */
    guint32 gain_red;
    guint32 gain_green1;
    guint32 gain_green2;
    guint32 gain_blue;
    guint64 timestamp;              /* when the device finished reading the frame, microseconds
                                       of CLOCK_MONOTONIC */
} GstLumoraFrameMeta;

GType gst_lumora_frame_meta_api_get_type (void);
const GstMetaInfo *gst_lumora_frame_meta_get_info (void);

/* A new meta on buffer, all fields 0; any thread. */
GstLumoraFrameMeta *gst_buffer_add_lumora_frame_meta (GstBuffer *buffer);
/* The meta of buffer, or NULL; any thread. */
GstLumoraFrameMeta *gst_buffer_get_lumora_frame_meta (GstBuffer *buffer);

G_END_DECLS
