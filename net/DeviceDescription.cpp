#include "net/DeviceDescription.h"

#include <curl/curl.h>
#include <tinyxml2.h>

#include <algorithm>
#include <cctype>

#include "net/CurlGlobal.h"

namespace {

constexpr const char* kRootElement = "root";
constexpr const char* kDeviceElement = "device";
constexpr long kConnectTimeoutMs = 3000;
constexpr long kMaximumRedirects = 5;

// Only web addresses: a LOCATION comes from anyone on the network.
bool IsWebUrl(const std::string& url) {
    std::string scheme = url.substr(0, url.find("://"));
    std::transform(scheme.begin(), scheme.end(), scheme.begin(), [](unsigned char c) { return std::tolower(c); });
    return url.find("://") != std::string::npos && (scheme == "http" || scheme == "https");
}

struct Receipt {
    std::string* text;
    bool full = false;
};

// Keeps what fits; a full buffer ends the transfer, and what was kept counts.
size_t Collect(char* data, size_t size, size_t count, void* context) {
    auto* receipt = static_cast<Receipt*>(context);
    const size_t bytes = size * count;
    const size_t room = DeviceDescription::kTextLimit - receipt->text->size();
    receipt->text->append(data, std::min(bytes, room));
    if (bytes <= room) return bytes;
    receipt->full = true;
    return 0;
}

}  // namespace

DeviceDescription::DeviceDescription() = default;
DeviceDescription::~DeviceDescription() = default;

void DeviceDescription::Clear() {
    text_.clear();
    document_.reset();
    parsed_ = false;
}

bool DeviceDescription::Empty() const { return !parsed_; }

bool DeviceDescription::Fetch(const std::string& url, const std::string& userAgent) {
    Clear();
    if (!IsWebUrl(url)) return false;
    EnsureCurlGlobalInit();
    CURL* curl = curl_easy_init();
    if (!curl) return false;

    std::string text;
    Receipt receipt{&text};
    curl_slist* headers = nullptr;
    headers = curl_slist_append(headers, "Cache-Control: no-cache");
    headers = curl_slist_append(headers, "Pragma: no-cache");
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, userAgent.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, kMaximumRedirects);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, kFetchTimeoutMs);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &receipt);
    const CURLcode result = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);

    const bool received = result == CURLE_OK || (result == CURLE_WRITE_ERROR && receipt.full);
    if (!received || status < 200 || status > 299 || text.empty()) return false;
    return Parse(text);
}

bool DeviceDescription::Parse(std::string_view text) {
    Clear();
    text_.assign(text.substr(0, kTextLimit));
    auto document = std::make_unique<tinyxml2::XMLDocument>();
    if (document->Parse(text_.data(), text_.size()) != tinyxml2::XML_SUCCESS) {
        Clear();
        return false;
    }
    document_ = std::move(document);
    parsed_ = true;
    return true;
}

std::optional<std::string> DeviceDescription::Text(const char* name) const {
    if (!document_ || !name) return std::nullopt;
    const tinyxml2::XMLElement* root = document_->FirstChildElement(kRootElement);
    const tinyxml2::XMLElement* device = root ? root->FirstChildElement(kDeviceElement) : nullptr;
    const tinyxml2::XMLElement* element = device ? device->FirstChildElement(name) : nullptr;
    const char* text = element ? element->GetText() : nullptr;
    if (!text) return std::nullopt;
    return std::string(text);
}
