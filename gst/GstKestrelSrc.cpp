#include "gst/GstKestrelSrc.h"

#include <dlfcn.h>
#include <unistd.h>

#include <string>

#include "gst/KestrelSource.h"

GST_DEBUG_CATEGORY_STATIC(kestrel_src_debug);
#define GST_CAT_DEFAULT kestrel_src_debug

namespace {

// The host program's application name, so that both find the same stored settings.
constexpr const char* kDefaultApplication = "kestrel";

enum { PROP_0, PROP_MODULE, PROP_MODE, PROP_SOURCE, PROP_APP, PROP_TUNE };

GstStaticPadTemplate srcTemplate = GST_STATIC_PAD_TEMPLATE(
    "src", GST_PAD_SRC, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("video/mpegts, systemstream=(boolean)true, packetsize=(int){188,192,204}"));

GType SourceModeType() {
    static GType type = 0;
    static const GEnumValue values[] = {
        {static_cast<gint>(SourceMode::Live), "A live source: a feed the filter lists, a tuner, or a network stream", "live"},
        {static_cast<gint>(SourceMode::File), "The filter's file feed plays the file at its measured bitrate", "file"},
        {static_cast<gint>(SourceMode::Host), "The element reads the file and hands it to the filter", "host"},
        {0, nullptr, nullptr}};
    if (g_once_init_enter(&type)) g_once_init_leave(&type, g_enum_register_static("GstKestrelSrcMode", values));
    return type;
}

// Installed, the module is in the library directory above the plug-in's; in the build
// tree it is in bin/ beside the plug-in's folder.
std::string InstalledModulePath() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&SourceModeType), &info) || !info.dli_fname) return KestrelModule::kFileName;
    std::string dir = info.dli_fname;
    dir.resize(dir.rfind('/') == std::string::npos ? 0 : dir.rfind('/'));
    for (const char* relative : {"/../", "/../bin/"}) {
        const std::string candidate = dir + relative + KestrelModule::kFileName;
        if (access(candidate.c_str(), F_OK) == 0) return candidate;
    }
    return dir + "/../" + KestrelModule::kFileName;
}

}  // namespace

struct _GstKestrelSrc {
    GstPushSrc parent;
    SourceSettings* settings;  // under the object lock
    KestrelSource* source;
};

G_DEFINE_TYPE(GstKestrelSrc, gst_kestrel_src, GST_TYPE_PUSH_SRC)

static void gst_kestrel_src_set_property(GObject* object, guint id, const GValue* value, GParamSpec* param) {
    GstKestrelSrc* self = GST_KESTREL_SRC(object);
    GST_OBJECT_LOCK(self);
    SourceSettings& s = *self->settings;
    switch (id) {
        case PROP_MODULE: s.module = g_value_get_string(value) ? g_value_get_string(value) : ""; break;
        case PROP_MODE: s.mode = static_cast<SourceMode>(g_value_get_enum(value)); break;
        case PROP_SOURCE: s.source = g_value_get_string(value) ? g_value_get_string(value) : ""; break;
        case PROP_APP: s.application = g_value_get_string(value) ? g_value_get_string(value) : kDefaultApplication; break;
        case PROP_TUNE: s.tune = g_value_get_string(value) ? g_value_get_string(value) : ""; break;
        default: G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, param); break;
    }
    const bool live = s.mode == SourceMode::Live;
    GST_OBJECT_UNLOCK(self);
    // Read before start, when the state change decides on prerolling.
    if (id == PROP_MODE) {
        gst_base_src_set_live(GST_BASE_SRC(self), live);
        gst_base_src_set_format(GST_BASE_SRC(self), live ? GST_FORMAT_TIME : GST_FORMAT_BYTES);
        gst_base_src_set_do_timestamp(GST_BASE_SRC(self), live);
    }
}

static void gst_kestrel_src_get_property(GObject* object, guint id, GValue* value, GParamSpec* param) {
    GstKestrelSrc* self = GST_KESTREL_SRC(object);
    GST_OBJECT_LOCK(self);
    const SourceSettings& s = *self->settings;
    switch (id) {
        case PROP_MODULE: g_value_set_string(value, s.module.empty() ? InstalledModulePath().c_str() : s.module.c_str()); break;
        case PROP_MODE: g_value_set_enum(value, static_cast<gint>(s.mode)); break;
        case PROP_SOURCE: g_value_set_string(value, s.source.c_str()); break;
        case PROP_APP: g_value_set_string(value, s.application.c_str()); break;
        case PROP_TUNE: g_value_set_string(value, s.tune.c_str()); break;
        default: G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, param); break;
    }
    GST_OBJECT_UNLOCK(self);
}

static gboolean gst_kestrel_src_start(GstBaseSrc* base) {
    GstKestrelSrc* self = GST_KESTREL_SRC(base);
    GST_OBJECT_LOCK(self);
    SourceSettings settings = *self->settings;
    GST_OBJECT_UNLOCK(self);
    if (settings.module.empty()) settings.module = InstalledModulePath();
    KestrelSource& source = *self->source;
    if (source.Start(settings)) return TRUE;
    const std::string& text = source.Error();
    switch (source.LastFailure()) {
        case KestrelSource::Failure::NotFound:
            GST_ELEMENT_ERROR(self, RESOURCE, NOT_FOUND, ("%s", text.c_str()), (nullptr));
            break;
        case KestrelSource::Failure::Module:
            GST_ELEMENT_ERROR(self, LIBRARY, INIT, ("%s", text.c_str()), (nullptr));
            break;
        case KestrelSource::Failure::Read:
            GST_ELEMENT_ERROR(self, RESOURCE, OPEN_READ, ("%s", text.c_str()), (nullptr));
            break;
        case KestrelSource::Failure::Settings:
            GST_ELEMENT_ERROR(self, RESOURCE, SETTINGS, ("%s", text.c_str()), (nullptr));
            break;
        default:
            GST_ELEMENT_ERROR(self, RESOURCE, FAILED, ("%s", text.c_str()), (nullptr));
            break;
    }
    return FALSE;
}

static gboolean gst_kestrel_src_stop(GstBaseSrc* base) {
    GST_KESTREL_SRC(base)->source->Stop();
    return TRUE;
}

static gboolean gst_kestrel_src_unlock(GstBaseSrc* base) {
    GST_KESTREL_SRC(base)->source->SetFlushing(true);
    return TRUE;
}

static gboolean gst_kestrel_src_unlock_stop(GstBaseSrc* base) {
    GST_KESTREL_SRC(base)->source->SetFlushing(false);
    return TRUE;
}

// Once the stream is open its packet size is known, and the caps say it.
static GstCaps* gst_kestrel_src_get_caps(GstBaseSrc* base, GstCaps* filter) {
    const uint32_t size = GST_KESTREL_SRC(base)->source->PacketSize();
    GstCaps* caps = gst_pad_get_pad_template_caps(GST_BASE_SRC_PAD(base));
    if (size) {
        gst_caps_unref(caps);
        caps = gst_caps_new_simple("video/mpegts", "systemstream", G_TYPE_BOOLEAN, TRUE, "packetsize", G_TYPE_INT,
                                   static_cast<gint>(size), nullptr);
    }
    if (filter) {
        GstCaps* both = gst_caps_intersect_full(filter, caps, GST_CAPS_INTERSECT_FIRST);
        gst_caps_unref(caps);
        caps = both;
    }
    return caps;
}

static void FreeChunk(gpointer chunk) { delete static_cast<std::vector<uint8_t>*>(chunk); }

static GstFlowReturn gst_kestrel_src_create(GstPushSrc* push, GstBuffer** out) {
    GstKestrelSrc* self = GST_KESTREL_SRC(push);
    std::vector<uint8_t> chunk;
    switch (self->source->Pop(&chunk)) {
        case ChunkQueue::Result::Data: {
            // The buffer takes the bytes over, without a copy.
            auto* held = new std::vector<uint8_t>(std::move(chunk));
            *out = gst_buffer_new_wrapped_full(GST_MEMORY_FLAG_READONLY, held->data(), held->size(), 0, held->size(),
                                               held, &FreeChunk);
            return GST_FLOW_OK;
        }
        case ChunkQueue::Result::End:
            return GST_FLOW_EOS;
        case ChunkQueue::Result::Flushing:
            return GST_FLOW_FLUSHING;
        case ChunkQueue::Result::Failed:
            break;
    }
    GST_ELEMENT_ERROR(self, RESOURCE, READ, ("%s", self->source->QueueError().c_str()), (nullptr));
    return GST_FLOW_ERROR;
}

static void gst_kestrel_src_finalize(GObject* object) {
    GstKestrelSrc* self = GST_KESTREL_SRC(object);
    delete self->source;
    delete self->settings;
    G_OBJECT_CLASS(gst_kestrel_src_parent_class)->finalize(object);
}

static void gst_kestrel_src_init(GstKestrelSrc* self) {
    self->settings = new SourceSettings;
    self->settings->application = kDefaultApplication;
    self->source = new KestrelSource;
    gst_base_src_set_live(GST_BASE_SRC(self), TRUE);
    gst_base_src_set_format(GST_BASE_SRC(self), GST_FORMAT_TIME);
    gst_base_src_set_do_timestamp(GST_BASE_SRC(self), TRUE);
}

static void gst_kestrel_src_class_init(GstKestrelSrcClass* klass) {
    GObjectClass* object = G_OBJECT_CLASS(klass);
    GstElementClass* element = GST_ELEMENT_CLASS(klass);
    GstBaseSrcClass* base = GST_BASE_SRC_CLASS(klass);
    object->set_property = gst_kestrel_src_set_property;
    object->get_property = gst_kestrel_src_get_property;
    object->finalize = gst_kestrel_src_finalize;
    constexpr auto flags = static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS |
                                                    GST_PARAM_MUTABLE_READY);
    g_object_class_install_property(
        object, PROP_MODULE,
        g_param_spec_string("module", "Module",
                            "Path of Kestrel.ax, the filter module to load; unset: the installed module "
                            "(the library directory above this plug-in's, or bin/ of a build tree)",
                            nullptr, flags));
    g_object_class_install_property(
        object, PROP_MODE,
        g_param_spec_enum("mode", "Mode",
                          "live: the feed named by source (a live source); file: the filter plays the file named "
                          "by source at its measured bitrate; host: the element reads that file and hands it to "
                          "the filter's host-supplied input as fast as the pipeline takes it",
                          SourceModeType(), static_cast<gint>(SourceMode::Live), flags));
    g_object_class_install_property(
        object, PROP_SOURCE,
        g_param_spec_string(
            "source", "Source",
            "live: a feed's display name as 'kestrel feeds' lists it, \"IPTV Feed\" or \"SAT>IP\" for the network "
            "feeds with their stored settings, or an IPTV address (udp://@239.1.2.3:5000, rtp://@239.1.2.3:5000, "
            "udp://10.0.0.1@232.1.1.1:5000); file and host: a transport-stream file, in file mode with :LOOP: "
            "appended to play it endlessly (otherwise one pass, then end of stream)",
            nullptr, flags));
    g_object_class_install_property(
        object, PROP_APP,
        g_param_spec_string("app", "Application", "Application name under which the feeds' settings are stored",
                            kDefaultApplication, flags));
    g_object_class_install_property(
        object, PROP_TUNE,
        g_param_spec_string("tune", "Tuning",
                            "live mode, a feed the filter lists: tune it first, as 'kestrel live --tune' does. "
                            "KEY=VALUE,... with keys delsys, freq (MHz), sr (kS/s), pol (h|v|l|r), modulation, "
                            "bw (MHz), diseqc (A-D), fec (auto)",
                            nullptr, flags));

    gst_element_class_add_static_pad_template(element, &srcTemplate);
    gst_element_class_set_static_metadata(element, "Kestrel transport-stream source", "Source/Video",
                                          "Streams what the Kestrel filter module's \"TS Out\" pin delivers: "
                                          "live feeds, network streams and files",
                                          "Kestrel developers");
    base->start = gst_kestrel_src_start;
    base->stop = gst_kestrel_src_stop;
    base->unlock = gst_kestrel_src_unlock;
    base->unlock_stop = gst_kestrel_src_unlock_stop;
    base->get_caps = gst_kestrel_src_get_caps;
    GST_PUSH_SRC_CLASS(klass)->create = gst_kestrel_src_create;
    GST_DEBUG_CATEGORY_INIT(kestrel_src_debug, "kestrelsrc", 0, "Kestrel transport-stream source");
}
