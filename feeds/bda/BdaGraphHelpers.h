#pragma once
// Stateless helpers on the tuner framework and the media graph for the BDA feed's
// private graph: tuning-space choice, tune-request builders, pin and device lookup.
// None reports a message; each gives an object (one reference, the caller's) or nothing.
#include <cstdint>
#include <optional>
#include <string>

#include "platform/bda/BdaInterfaces.h"
#include "platform/com/ComRuntime.h"
#include "platform/com/Unknown.h"

// An in-process object of the class asked for the interface; null when there is none
// (only a missing object counts, not the result code).
template <class T>
ComPtr<T> CreateInProcess(const CLSID& clsid, const IID& iid) {
    ComPtr<T> object;
    CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, reinterpret_cast<void**>(object.ReleaseAndGetAddressOf()));
    return object;
}

// The network-provider class for a feed type code; null for a code without one.
const CLSID* BdaNetworkProviderClass(int32_t feedType);

enum class TuningSpaceResult { Found, NoContainer, NoMatch };
// Searches the system's tuning spaces for the code's network type (satellite codes also
// need "VmDVB-S" in the friendly name) and hands the first match to the tuner control.
TuningSpaceResult SelectTuningSpace(ITuner* tuner, int32_t feedType, const CLSID& networkProvider,
                                    ComPtr<ITuningSpace>* chosen);

// Bandwidth in MHz; only its low 8 bits count.
ComPtr<IDVBTuneRequest> BuildDvbTRequest(ITuningSpace* space, LONG frequency, uint32_t bandwidth);
ComPtr<IDVBTuneRequest> BuildDvbSRequest(ITuningSpace* space, LONG frequency, LONG symbolRate, uint32_t horizontal);
ComPtr<IDVBTuneRequest> BuildDvbSModulatedRequest(ITuningSpace* space, uint32_t modulationCode, LONG frequency,
                                                  LONG symbolRate, uint32_t horizontal);
ComPtr<IDVBTuneRequest> BuildDvbCRequest(ITuningSpace* space, LONG frequency, LONG symbolRate, uint32_t qamOrder);
ComPtr<ITuneRequest> BuildAtscRequest(ITuningSpace* space, LONG channel);

// The n-th pin of that direction among the first ten pins the filter lists.
ComPtr<IPin> FindPin(IBaseFilter* filter, PIN_DIRECTION direction, unsigned n);
// Adds the filter under the class's registered name, or unnamed when there is none.
HRESULT AddFilterByClsid(IGraphBuilder* graph, IBaseFilter* filter, const CLSID& clsid);
// The first network tuner whose FriendlyName equals the name exactly.
ComPtr<IBaseFilter> FindTunerByName(const WCHAR* name);
// The n-th receiver component, not counting the de-framer and MPE filter; friendlyName
// receives the last name read.
ComPtr<IBaseFilter> FindReceiverComponent(unsigned n, std::u16string* friendlyName);
// The FriendlyName of the n-th network tuner that has one.
std::optional<std::u16string> NetworkTunerName(unsigned n);
