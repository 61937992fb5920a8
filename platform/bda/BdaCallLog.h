#pragma once
// Every property that anyone sets on the tuning model (tuning spaces, locators, tune
// requests, tuner control), in the order set, process-wide, so that tests can check
// what a builder set and in which order.
//
// One line per call: "<object>.<method>=<value>", where <object> is the kind of object
// ("DVBSLocator", "DVBTLocator", "DVBCLocator", "ATSCLocator", "DVBTuneRequest",
// "ATSCChannelTuneRequest", "TuningSpace", or the network provider's kind
// "DVBSNetworkProvider", "DVBCNetworkProvider", "DVBTNetworkProvider",
// "ATSCNetworkProvider"), and <value> is a signed decimal number for numbers, enumerations
// and booleans (VARIANT_TRUE is -1), the object kind for a locator or tune request, the
// friendly name for a tuning space, and "null" for none. Examples:
//   DVBSLocator.put_CarrierFrequency=11836000
//   DVBTuneRequest.put_Locator=DVBSLocator
//   DVBSNetworkProvider.put_TuningSpace=Astra VmDVB-S
//   TuningSpace.put_DefaultLocator=DVBTLocator
#include <string>
#include <vector>

class BdaCallLog {
public:
    static void Add(std::string line);
    static std::vector<std::string> Lines();
    static void Clear();
};
