#include "tools/satip-sim/Messages.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace {

std::string XmlEscaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::string Usn(const DeviceIdentity& device, const std::string& target) {
    const std::string uuid = "uuid:" + device.uuid;
    return target == uuid ? uuid : uuid + "::" + target;
}

std::string IdentityLines(const DeviceIdentity& device) {
    return "BOOTID.UPNP.ORG: " + std::to_string(device.bootId) + "\r\nCONFIGID.UPNP.ORG: " +
           std::to_string(device.configId) + "\r\nDEVICEID.SES.COM: " + std::to_string(device.deviceId) + "\r\n";
}

std::string Frequency(const std::string& text) {
    if (text.empty()) return text;
    char out[32];
    std::snprintf(out, sizeof out, "%.2f", std::strtod(text.c_str(), nullptr));
    return out;
}

void Put16(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}
void Put32(std::vector<uint8_t>& out, uint32_t value) {
    Put16(out, value >> 16);
    Put16(out, value & 0xFFFF);
}
void PadTo32Bits(std::vector<uint8_t>& out) {
    while (out.size() % 4) out.push_back(0);
}
// The length field of the RTCP packet that started at `start`: 32-bit words minus one.
void CloseRtcpPacket(std::vector<uint8_t>& out, size_t start) {
    const size_t words = (out.size() - start) / 4 - 1;
    out[start + 2] = static_cast<uint8_t>(words >> 8);
    out[start + 3] = static_cast<uint8_t>(words);
}

}  // namespace

std::string DescriptionXml(const DeviceIdentity& d) {
    return "<?xml version=\"1.0\"?>\r\n"
           "<root xmlns=\"urn:schemas-upnp-org:device-1-0\" configId=\"" +
           std::to_string(d.configId) +
           "\">\r\n"
           "<specVersion><major>1</major><minor>1</minor></specVersion>\r\n"
           "<device>\r\n"
           "<deviceType>" +
           kSatipDeviceType +
           "</deviceType>\r\n"
           "<friendlyName>" +
           XmlEscaped(d.friendlyName) + "</friendlyName>\r\n<manufacturer>" + XmlEscaped(d.manufacturer) +
           "</manufacturer>\r\n<manufacturerURL>http://localhost/</manufacturerURL>\r\n"
           "<modelDescription>SAT&gt;IP server simulator</modelDescription>\r\n<modelName>" +
           XmlEscaped(d.modelName) +
           "</modelName>\r\n<modelNumber>1.0</modelNumber>\r\n<modelURL>http://localhost/</modelURL>\r\n"
           "<serialNumber>1</serialNumber>\r\n<UDN>uuid:" +
           XmlEscaped(d.uuid) + "</UDN>\r\n<presentationURL>" + XmlEscaped(d.presentation) +
           "</presentationURL>\r\n"
           "<satip:X_SATIPCAP xmlns:satip=\"urn:ses-com:satip\">" +
           XmlEscaped(d.capabilities) + "</satip:X_SATIPCAP>\r\n</device>\r\n</root>\r\n";
}

std::vector<std::string> NotifyTargets(const DeviceIdentity& device) {
    return {"upnp:rootdevice", "uuid:" + device.uuid, kSatipDeviceType};
}

std::string NotifyMessage(const DeviceIdentity& device, const std::string& target, bool alive) {
    std::string text = "NOTIFY * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\n";
    if (alive)
        text += "CACHE-CONTROL: max-age=" + std::to_string(device.maxAge) + "\r\nLOCATION: " + device.location +
                "\r\n";
    text += "NT: " + target + "\r\nNTS: " + (alive ? "ssdp:alive" : "ssdp:byebye") + "\r\n";
    if (alive) text += std::string("SERVER: ") + kServerText + "\r\n";
    text += "USN: " + Usn(device, target) + "\r\n" + IdentityLines(device) + "\r\n";
    return text;
}

std::vector<std::string> SearchAnswers(const DeviceIdentity& device, const std::string& request) {
    if (request.rfind("M-SEARCH * HTTP/1.1\r\n", 0) != 0) return {};
    std::string st, man;
    size_t at = request.find("\r\n") + 2;
    while (at < request.size()) {
        const size_t end = request.find("\r\n", at);
        const std::string line = request.substr(at, end == std::string::npos ? std::string::npos : end - at);
        if (line.empty()) break;
        const size_t colon = line.find(':');
        if (colon != std::string::npos) {
            const std::string name = Lower(Trimmed(line.substr(0, colon)));
            if (name == "st") st = Trimmed(line.substr(colon + 1));
            if (name == "man") man = Trimmed(line.substr(colon + 1));
        }
        if (end == std::string::npos) break;
        at = end + 2;
    }
    if (man != "\"ssdp:discover\"") return {};
    std::vector<std::string> targets;
    if (st == "ssdp:all")
        targets = NotifyTargets(device);
    else
        for (const std::string& target : NotifyTargets(device))
            if (st == target) targets.push_back(target);
    std::vector<std::string> answers;
    for (const std::string& target : targets)
        answers.push_back("HTTP/1.1 200 OK\r\nCACHE-CONTROL: max-age=" + std::to_string(device.maxAge) +
                          "\r\nEXT:\r\nLOCATION: " + device.location + "\r\nSERVER: " + kServerText +
                          "\r\nST: " + target + "\r\nUSN: " + Usn(device, target) + "\r\n" + IdentityLines(device) +
                          "\r\n");
    return answers;
}

std::string StatusText(const Tuning& t, const TunerStatus& s) {
    const std::string common = std::to_string(s.frontend) + "," + std::to_string(s.level) + "," +
                               (s.lock ? "1" : "0") + "," + std::to_string(s.quality) + "," +
                               Frequency(t.Get("freq")) + ",";
    std::string text;
    switch (t.FrontendKind()) {
        case 't':
            text = "ver=1.1;tuner=" + common + t.Get("bw") + "," + t.System() + "," + t.Get("tmode") + "," +
                   t.Get("mtype") + "," + t.Get("gi") + "," + t.Get("fec") + "," + t.Get("plp") + "," +
                   t.Get("t2id") + "," + t.Get("sm");
            break;
        case 'c':
            text = "ver=1.2;tuner=" + common + t.Get("bw") + "," + t.System() + "," + t.Get("mtype") + "," +
                   t.Get("sr") + "," + t.Get("c2tft") + "," + t.Get("ds") + "," + t.Get("plp") + "," +
                   t.Get("specinv");
            break;
        default: {
            const std::string src = t.Get("src");
            text = "ver=1.0;src=" + (src.empty() ? std::string("1") : src) + ";tuner=" + common + t.Get("pol") +
                   "," + t.System() + "," + t.Get("mtype") + "," + t.Get("plts") + "," + t.Get("ro") + "," +
                   t.Get("sr") + "," + t.Get("fec");
        }
    }
    return text + ";pids=" + t.pids.Text();
}

std::vector<uint8_t> RtcpReport(uint32_t ssrc, uint64_t ntpTime, uint32_t rtpTime, uint32_t packets,
                                uint32_t octets, const std::string& cname, const std::string& status) {
    std::vector<uint8_t> out;
    // Sender report without report blocks.
    out.insert(out.end(), {0x80, 200, 0, 6});
    Put32(out, ssrc);
    Put32(out, static_cast<uint32_t>(ntpTime >> 32));
    Put32(out, static_cast<uint32_t>(ntpTime));
    Put32(out, rtpTime);
    Put32(out, packets);
    Put32(out, octets);
    // Source description: one chunk with the CNAME item, ended by a zero item.
    size_t start = out.size();
    out.insert(out.end(), {0x81, 202, 0, 0});
    Put32(out, ssrc);
    const std::string name = cname.substr(0, 255);
    out.push_back(1);
    out.push_back(static_cast<uint8_t>(name.size()));
    out.insert(out.end(), name.begin(), name.end());
    out.push_back(0);
    PadTo32Bits(out);
    CloseRtcpPacket(out, start);
    // The application packet: name, a zero identifier, the text's length and the text.
    start = out.size();
    out.insert(out.end(), {0x80, 204, 0, 0});
    Put32(out, ssrc);
    out.insert(out.end(), {'S', 'E', 'S', '1'});
    Put16(out, 0);
    Put16(out, static_cast<uint32_t>(status.size()));
    out.insert(out.end(), status.begin(), status.end());
    PadTo32Bits(out);
    CloseRtcpPacket(out, start);
    return out;
}

void WriteRtpHeader(uint8_t* out, uint16_t sequence, uint32_t timestamp, uint32_t ssrc) {
    out[0] = 0x80;
    out[1] = 33;
    out[2] = static_cast<uint8_t>(sequence >> 8);
    out[3] = static_cast<uint8_t>(sequence);
    for (int i = 0; i < 4; ++i) {
        out[4 + i] = static_cast<uint8_t>(timestamp >> (24 - 8 * i));
        out[8 + i] = static_cast<uint8_t>(ssrc >> (24 - 8 * i));
    }
}

std::string SessionDescription(const std::string& serverAddress, uint64_t sessionId, unsigned satellite,
                               unsigned terrestrial, unsigned cable, const std::vector<SdpStream>& streams) {
    std::string text = "v=0\r\no=- " + std::to_string(sessionId) + " 1 IN IP4 " + serverAddress +
                       "\r\ns=SatIPServer:1 " + std::to_string(satellite) + "," + std::to_string(terrestrial) + "," +
                       std::to_string(cable) + "\r\nt=0 0\r\n";
    for (const SdpStream& s : streams) {
        text += "m=video " + std::to_string(s.port) + " RTP/AVP 33\r\nc=IN IP4 " + s.destination;
        if (s.port) text += "/" + std::to_string(s.ttl);
        text += "\r\na=control:stream=" + std::to_string(s.streamId) + "\r\na=fmtp:33 " + s.status + "\r\na=" +
                (s.playing ? "sendonly" : "inactive") + "\r\n";
    }
    return text;
}
