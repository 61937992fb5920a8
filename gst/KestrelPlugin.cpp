#include <gst/gst.h>

#include "gst/GstKestrelSrc.h"

#ifndef PACKAGE
#define PACKAGE "kestrel"
#endif

static gboolean plugin_init(GstPlugin* plugin) {
    return gst_element_register(plugin, "kestrelsrc", GST_RANK_NONE, GST_TYPE_KESTREL_SRC);
}

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, kestrel, "Kestrel transport-stream sources", plugin_init,
                  KESTREL_VERSION, "unknown", "Kestrel", "Kestrel")
