#pragma once
// A UPnP device description: fetched with a plain HTTP GET (no cache anywhere on the
// way) and parsed as XML. Element texts are looked up under root/device.
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tinyxml2 {
class XMLDocument;
}

class DeviceDescription {
public:
    static constexpr size_t kBufferSize = 10240;
    static constexpr size_t kTextLimit = kBufferSize - 3;  // longer descriptions are cut
    static constexpr long kFetchTimeoutMs = 5000;

    DeviceDescription();
    ~DeviceDescription();
    DeviceDescription(const DeviceDescription&) = delete;
    DeviceDescription& operator=(const DeviceDescription&) = delete;

    // GET of an http:// or https:// URL with this user agent. True when a body with a
    // success status arrived and parsed; otherwise the description is empty.
    bool Fetch(const std::string& url, const std::string& userAgent);
    // Takes the text (cut at kTextLimit) as the description; false, and empty, when it
    // does not parse.
    bool Parse(std::string_view text);
    void Clear();

    // The text of root/device/<name>; nothing when there is no such element or text.
    std::optional<std::string> Text(const char* name) const;
    bool Empty() const;
    // The text as kept (cut), for diagnostics.
    const std::string& Raw() const { return text_; }

private:
    std::string text_;
    std::unique_ptr<tinyxml2::XMLDocument> document_;
    bool parsed_ = false;
};
