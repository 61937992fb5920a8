#pragma once
// kestrelsrc: the module's "TS Out" as a GStreamer source.
#include <gst/base/gstpushsrc.h>

G_BEGIN_DECLS

#define GST_TYPE_KESTREL_SRC (gst_kestrel_src_get_type())
G_DECLARE_FINAL_TYPE(GstKestrelSrc, gst_kestrel_src, GST, KESTREL_SRC, GstPushSrc)

G_END_DECLS
