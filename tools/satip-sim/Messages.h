#pragma once
// The texts and packets the server sends, as plain functions of their inputs so that
// their exact layout can be checked without sockets.
#include <cstdint>
#include <string>
#include <vector>

#include "tools/satip-sim/Query.h"

struct DeviceIdentity {
    std::string uuid;  // without "uuid:"
    std::string friendlyName = "Kestrel SAT>IP simulator";
    std::string manufacturer = "Kestrel";
    std::string modelName = "satip-sim";
    std::string capabilities = "DVBS2-2,DVBT-1,DVBC-1";
    std::string location;      // the description URL
    std::string presentation;  // the presentation page URL
    unsigned maxAge = 1800;
    unsigned bootId = 1;
    unsigned configId = 0;
    unsigned deviceId = 1;
};

inline constexpr char kSatipDeviceType[] = "urn:ses-com:device:SatIPServer:1";
inline constexpr char kServerText[] = "Linux/1.0 UPnP/1.1 satip-sim/1.0";

std::string DescriptionXml(const DeviceIdentity& device);

// The three targets a device announces: root device, its uuid, the SAT>IP device type.
std::vector<std::string> NotifyTargets(const DeviceIdentity& device);
// alive = false: ssdp:byebye.
std::string NotifyMessage(const DeviceIdentity& device, const std::string& target, bool alive);
// The answers to an M-SEARCH request text (none when it is not one, or asks for
// something else than this device).
std::vector<std::string> SearchAnswers(const DeviceIdentity& device, const std::string& request);

// What one stream reports about its tuner.
struct TunerStatus {
    unsigned frontend = 1;
    unsigned level = 224;   // 0..255
    bool lock = true;
    unsigned quality = 15;  // 0..15
};

// "ver=1.0;src=1;tuner=1,224,1,15,11494.00,h,dvbs2,8psk,on,0.35,22000,34;pids=0,17"
// (the tuner fields follow the delivery system: satellite, terrestrial or cable).
std::string StatusText(const Tuning& tuning, const TunerStatus& status);

// Sender report, source description (CNAME) and the "SES1" application packet.
std::vector<uint8_t> RtcpReport(uint32_t ssrc, uint64_t ntpTime, uint32_t rtpTime, uint32_t packets,
                                uint32_t octets, const std::string& cname, const std::string& status);

// The 12-byte RTP header: version 2, MPEG-2 transport stream payload.
void WriteRtpHeader(uint8_t* out, uint16_t sequence, uint32_t timestamp, uint32_t ssrc);

struct SdpStream {
    unsigned streamId;
    std::string status;  // StatusText of the stream
    bool playing;
    std::string destination;  // multicast group, or "0.0.0.0"
    unsigned port;            // multicast port, or 0
    unsigned ttl;
};
std::string SessionDescription(const std::string& serverAddress, uint64_t sessionId, unsigned satellite,
                               unsigned terrestrial, unsigned cable, const std::vector<SdpStream>& streams);
