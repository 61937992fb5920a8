#pragma once
// The tuner framework's published interfaces: device enumeration by category, the
// tuning model (tuning spaces, locators, tune requests), tuner control, and the export
// filter that hands a private graph's samples back. Same names, slot order and
// identifiers as on the desktop; integers that are 32-bit "long" there are LONG here.
#include "platform/com/OleAuto.h"
#include "platform/graph/Interfaces.h"
#include "platform/graph/Moniker.h"

struct IErrorLog;
struct IEnumVARIANT;
struct IEnumGUID;
struct IComponentTypes;
struct IComponents;
struct ITuningSpaces;
struct IEnumTuningSpaces;
struct ITuneRequest;
struct ILocator;

// ---------------------------------------------------------------------------------------
// Enumerations of the tuning model

enum ModulationType : LONG {
    BDA_MOD_NOT_SET = -1,
    BDA_MOD_NOT_DEFINED = 0,
    BDA_MOD_16QAM = 1,
    BDA_MOD_32QAM = 2,
    BDA_MOD_64QAM = 3,
    BDA_MOD_80QAM = 4,
    BDA_MOD_96QAM = 5,
    BDA_MOD_112QAM = 6,
    BDA_MOD_128QAM = 7,
    BDA_MOD_160QAM = 8,
    BDA_MOD_192QAM = 9,
    BDA_MOD_224QAM = 10,
    BDA_MOD_256QAM = 11,
    BDA_MOD_QPSK = 20,
    BDA_MOD_BPSK = 21,
    BDA_MOD_OQPSK = 22,
    BDA_MOD_8VSB = 23,
    BDA_MOD_16VSB = 24,
    BDA_MOD_8PSK = 27,
};

enum FECMethod : LONG {
    BDA_FEC_METHOD_NOT_SET = -1,
    BDA_FEC_METHOD_NOT_DEFINED = 0,
    BDA_FEC_VITERBI = 1,
    BDA_FEC_RS_204_188 = 2,
};

enum BinaryConvolutionCodeRate : LONG {
    BDA_BCC_RATE_NOT_SET = -1,
    BDA_BCC_RATE_NOT_DEFINED = 0,
    BDA_BCC_RATE_1_2 = 1,
    BDA_BCC_RATE_2_3 = 2,
    BDA_BCC_RATE_3_4 = 3,
    BDA_BCC_RATE_5_6 = 6,
    BDA_BCC_RATE_7_8 = 8,
};

enum Polarisation : LONG {
    BDA_POLARISATION_NOT_SET = -1,
    BDA_POLARISATION_NOT_DEFINED = 0,
    BDA_POLARISATION_LINEAR_H = 1,
    BDA_POLARISATION_LINEAR_V = 2,
    BDA_POLARISATION_CIRCULAR_L = 3,
    BDA_POLARISATION_CIRCULAR_R = 4,
};

enum GuardInterval : LONG { BDA_GUARD_NOT_SET = -1, BDA_GUARD_NOT_DEFINED = 0 };
enum HierarchyAlpha : LONG { BDA_HALPHA_NOT_SET = -1, BDA_HALPHA_NOT_DEFINED = 0 };
enum TransmissionMode : LONG { BDA_XMIT_MODE_NOT_SET = -1, BDA_XMIT_MODE_NOT_DEFINED = 0 };
enum SpectralInversion : LONG { BDA_SPECTRAL_INVERSION_NOT_SET = -1, BDA_SPECTRAL_INVERSION_NOT_DEFINED = 0 };
enum DVBSystemType : LONG { DVB_Cable = 0, DVB_Terrestrial = 1, DVB_Satellite = 2 };
enum TunerInputType : LONG { TunerInputCable = 0, TunerInputAntenna = 1 };

// ---------------------------------------------------------------------------------------
// Identifiers

#define KESTREL_BDA_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
    constexpr GUID name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}

// Device enumeration
KESTREL_BDA_GUID(CLSID_SystemDeviceEnum, 0x62BE5D10, 0x60EB, 0x11D0, 0xBD, 0x3B, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86);
KESTREL_BDA_GUID(IID_ICreateDevEnum, 0x29840822, 0x5B84, 0x11D0, 0xBD, 0x3B, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86);
KESTREL_BDA_GUID(IID_IPropertyBag, 0x55272A00, 0x42CB, 0x11CE, 0x81, 0x35, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51);
KESTREL_BDA_GUID(KSCATEGORY_BDA_NETWORK_TUNER, 0x71985F48, 0x1CA1, 0x11D3, 0x9C, 0xC8, 0x00, 0xC0, 0x4F, 0x79, 0x71, 0xE0);
KESTREL_BDA_GUID(KSCATEGORY_BDA_RECEIVER_COMPONENT, 0xFD0A5AF4, 0xB41D, 0x11D2, 0x9C, 0x95, 0x00, 0xC0, 0x4F, 0x79, 0x71, 0xE0);

// Tuning model
KESTREL_BDA_GUID(CLSID_SystemTuningSpaces, 0xD02AAC50, 0x027E, 0x11D3, 0x9D, 0x8E, 0x00, 0xC0, 0x4F, 0x72, 0xD9, 0x80);
KESTREL_BDA_GUID(IID_ITuningSpaceContainer, 0x5B692E84, 0xE2F1, 0x11D2, 0x94, 0x93, 0x00, 0xC0, 0x4F, 0x72, 0xD9, 0x80);
KESTREL_BDA_GUID(IID_ITuningSpace, 0x061C6E30, 0xE622, 0x11D2, 0x94, 0x93, 0x00, 0xC0, 0x4F, 0x72, 0xD9, 0x80);
KESTREL_BDA_GUID(IID_IDVBTuningSpace, 0xADA0B268, 0x3B19, 0x4E5B, 0xAC, 0xC4, 0x49, 0xF8, 0x52, 0xBE, 0x13, 0xBA);
KESTREL_BDA_GUID(IID_IDVBTuningSpace2, 0x843188B4, 0xCE62, 0x43DB, 0x96, 0x6B, 0x81, 0x45, 0xA0, 0x94, 0xE0, 0x40);
KESTREL_BDA_GUID(IID_IDVBSTuningSpace, 0xCDF7BE60, 0xD954, 0x42FD, 0xA9, 0x72, 0x78, 0x97, 0x19, 0x58, 0xE4, 0x70);
KESTREL_BDA_GUID(IID_IAnalogTVTuningSpace, 0x2A6E293C, 0x2595, 0x11D3, 0xB6, 0x4C, 0x00, 0xC0, 0x4F, 0x79, 0x49, 0x8E);
KESTREL_BDA_GUID(IID_IATSCTuningSpace, 0x0369B4E2, 0x45B6, 0x11D3, 0xB6, 0x50, 0x00, 0xC0, 0x4F, 0x79, 0x49, 0x8E);
KESTREL_BDA_GUID(IID_ITuneRequest, 0x07DDC146, 0xFC3D, 0x11D2, 0x9D, 0x8C, 0x00, 0xC0, 0x4F, 0x72, 0xD9, 0x80);
KESTREL_BDA_GUID(IID_IChannelTuneRequest, 0x0369B4E0, 0x45B6, 0x11D3, 0xB6, 0x50, 0x00, 0xC0, 0x4F, 0x79, 0x49, 0x8E);
KESTREL_BDA_GUID(IID_IATSCChannelTuneRequest, 0x0369B4E1, 0x45B6, 0x11D3, 0xB6, 0x50, 0x00, 0xC0, 0x4F, 0x79, 0x49, 0x8E);
KESTREL_BDA_GUID(IID_IDVBTuneRequest, 0x0D6F567E, 0xA636, 0x42BB, 0x83, 0xBA, 0xCE, 0x4C, 0x17, 0x04, 0xAF, 0xA2);
KESTREL_BDA_GUID(IID_ILocator, 0x286D7F89, 0x760C, 0x4F89, 0x80, 0xC4, 0x66, 0x84, 0x1D, 0x25, 0x07, 0xAA);
KESTREL_BDA_GUID(IID_IDigitalLocator, 0x19B595D8, 0x839A, 0x47F0, 0x96, 0xDF, 0x4F, 0x19, 0x4F, 0x3C, 0x6C, 0x3F);
KESTREL_BDA_GUID(IID_IDVBTLocator, 0x8664DA16, 0xDDA2, 0x42AC, 0x92, 0x6A, 0xC1, 0x8F, 0x91, 0x27, 0xC3, 0x02);
KESTREL_BDA_GUID(IID_IDVBSLocator, 0x3D7C353C, 0x0D04, 0x45F1, 0xA7, 0x42, 0xF9, 0x7C, 0xC1, 0x18, 0x8D, 0xC8);
KESTREL_BDA_GUID(IID_IDVBCLocator, 0x6E42F36E, 0x1DD2, 0x43C4, 0x9F, 0x78, 0x69, 0xD2, 0x5A, 0xE3, 0x90, 0x34);
KESTREL_BDA_GUID(IID_IATSCLocator, 0xBF8D986F, 0x8C2B, 0x4131, 0x94, 0xD7, 0x4D, 0x3D, 0x9F, 0xCC, 0x21, 0xEF);
KESTREL_BDA_GUID(CLSID_DVBTLocator, 0x9CD64701, 0xBDF3, 0x4D14, 0x8E, 0x03, 0xF1, 0x29, 0x83, 0xD8, 0x66, 0x64);
KESTREL_BDA_GUID(CLSID_DVBSLocator, 0x1DF7D126, 0x4050, 0x47F0, 0xA7, 0xCF, 0x4C, 0x4C, 0xA9, 0x24, 0x13, 0x33);
KESTREL_BDA_GUID(CLSID_DVBCLocator, 0xC531D9FD, 0x9685, 0x4028, 0x8B, 0x68, 0x6E, 0x12, 0x32, 0x07, 0x9F, 0x1E);
KESTREL_BDA_GUID(CLSID_ATSCLocator, 0x8872FF1B, 0x98FA, 0x4D7A, 0x8D, 0x93, 0xC9, 0xF1, 0x05, 0x5F, 0x85, 0xBB);

// Tuner control
KESTREL_BDA_GUID(IID_ITuner, 0x28C52640, 0x018A, 0x11D3, 0x9D, 0x8E, 0x00, 0xC0, 0x4F, 0x72, 0xD9, 0x80);

// Network providers; a tuning space's network type is one of these.
KESTREL_BDA_GUID(CLSID_DVBSNetworkProvider, 0xFA4B375A, 0x45B4, 0x4D45, 0x84, 0x40, 0x26, 0x39, 0x57, 0xB1, 0x16, 0x23);
KESTREL_BDA_GUID(CLSID_DVBCNetworkProvider, 0xDC0C0FE7, 0x0485, 0x4266, 0xB9, 0x3F, 0x68, 0xFB, 0xF8, 0x0E, 0xD8, 0x34);
KESTREL_BDA_GUID(CLSID_DVBTNetworkProvider, 0x216C62DF, 0x6D7F, 0x4E9A, 0x85, 0x71, 0x05, 0xF1, 0x4E, 0xDB, 0x76, 0x6A);
KESTREL_BDA_GUID(CLSID_ATSCNetworkProvider, 0x0DAD2FDD, 0x5FD7, 0x11D3, 0x8F, 0x50, 0x00, 0xC0, 0x4F, 0x79, 0x71, 0xE2);

// Stream filters of the private tuner graph
KESTREL_BDA_GUID(CLSID_InfTee, 0xF8388A40, 0xD5BB, 0x11D0, 0xBE, 0x5A, 0x00, 0x80, 0xC7, 0x06, 0x56, 0x8E);
KESTREL_BDA_GUID(CLSID_MPEG2Demultiplexer, 0xAFB6C280, 0x2C41, 0x11D3, 0x8A, 0x60, 0x00, 0x00, 0xF8, 0x1E, 0x0E, 0x4A);
KESTREL_BDA_GUID(CLSID_TSExportFilter, 0xE15DD35F, 0x55DC, 0x4EF1, 0xA4, 0x84, 0xF1, 0x74, 0x8D, 0x2A, 0xB5, 0x40);
KESTREL_BDA_GUID(IID_IDSExport, 0x1376FC15, 0xA0AA, 0x4120, 0x9F, 0x27, 0x11, 0x2A, 0x05, 0x63, 0xB4, 0x6B);

#undef KESTREL_BDA_GUID

// ---------------------------------------------------------------------------------------
// Interfaces. Destructors are protected: objects go away through Release only.

// The tuning model's interfaces are scriptable on the desktop; the four dispatch slots
// come first so that the slot order matches. Nothing here is scriptable.
struct IDispatch : IUnknown {
    virtual HRESULT GetTypeInfoCount(UINT* pctinfo) {
        if (pctinfo) *pctinfo = 0;
        return E_NOTIMPL;
    }
    virtual HRESULT GetTypeInfo(UINT, LCID, void** ppTInfo) {
        if (ppTInfo) *ppTInfo = nullptr;
        return E_NOTIMPL;
    }
    virtual HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }
    virtual HRESULT Invoke(DISPID, REFIID, LCID, WORD, void*, void*, void*, UINT*) { return E_NOTIMPL; }

protected:
    ~IDispatch() = default;
};

struct ICreateDevEnum : IUnknown {
    // S_FALSE with no enumerator when the category has no devices.
    virtual HRESULT CreateClassEnumerator(REFCLSID clsidDeviceClass, IEnumMoniker** ppEnumMoniker,
                                          DWORD dwFlags) = 0;

protected:
    ~ICreateDevEnum() = default;
};

struct IPropertyBag : IUnknown {
    // pVar->vt names the wanted type (VT_EMPTY: the stored one); the caller clears it.
    virtual HRESULT Read(LPCOLESTR pszPropName, VARIANT* pVar, IErrorLog* pErrorLog) = 0;
    virtual HRESULT Write(LPCOLESTR pszPropName, VARIANT* pVar) = 0;

protected:
    ~IPropertyBag() = default;
};

struct ILocator : IDispatch {
    virtual HRESULT get_CarrierFrequency(LONG* Frequency) = 0;
    virtual HRESULT put_CarrierFrequency(LONG Frequency) = 0;
    virtual HRESULT get_InnerFEC(FECMethod* FEC) = 0;
    virtual HRESULT put_InnerFEC(FECMethod FEC) = 0;
    virtual HRESULT get_InnerFECRate(BinaryConvolutionCodeRate* FEC) = 0;
    virtual HRESULT put_InnerFECRate(BinaryConvolutionCodeRate FEC) = 0;
    virtual HRESULT get_OuterFEC(FECMethod* FEC) = 0;
    virtual HRESULT put_OuterFEC(FECMethod FEC) = 0;
    virtual HRESULT get_OuterFECRate(BinaryConvolutionCodeRate* FEC) = 0;
    virtual HRESULT put_OuterFECRate(BinaryConvolutionCodeRate FEC) = 0;
    virtual HRESULT get_Modulation(ModulationType* Modulation) = 0;
    virtual HRESULT put_Modulation(ModulationType Modulation) = 0;
    virtual HRESULT get_SymbolRate(LONG* Rate) = 0;
    virtual HRESULT put_SymbolRate(LONG Rate) = 0;
    virtual HRESULT Clone(ILocator** NewLocator) = 0;

protected:
    ~ILocator() = default;
};

struct IDigitalLocator : ILocator {
protected:
    ~IDigitalLocator() = default;
};

struct IDVBTLocator : IDigitalLocator {
    virtual HRESULT get_Bandwidth(LONG* BandWidthVal) = 0;
    virtual HRESULT put_Bandwidth(LONG BandwidthVal) = 0;
    virtual HRESULT get_Guard(GuardInterval* GI) = 0;
    virtual HRESULT put_Guard(GuardInterval GI) = 0;
    virtual HRESULT get_HAlpha(HierarchyAlpha* HA) = 0;
    virtual HRESULT put_HAlpha(HierarchyAlpha HA) = 0;
    virtual HRESULT get_LPInnerFEC(FECMethod* FEC) = 0;
    virtual HRESULT put_LPInnerFEC(FECMethod FEC) = 0;
    virtual HRESULT get_LPInnerFECRate(BinaryConvolutionCodeRate* FEC) = 0;
    virtual HRESULT put_LPInnerFECRate(BinaryConvolutionCodeRate FEC) = 0;
    virtual HRESULT get_Mode(TransmissionMode* mode) = 0;
    virtual HRESULT put_Mode(TransmissionMode mode) = 0;
    virtual HRESULT get_OtherFrequencyInUse(VARIANT_BOOL* OtherFrequencyInUseVal) = 0;
    virtual HRESULT put_OtherFrequencyInUse(VARIANT_BOOL OtherFrequencyInUseVal) = 0;

protected:
    ~IDVBTLocator() = default;
};

struct IDVBSLocator : IDigitalLocator {
    virtual HRESULT get_SignalPolarisation(Polarisation* PolarisationVal) = 0;
    virtual HRESULT put_SignalPolarisation(Polarisation PolarisationVal) = 0;
    virtual HRESULT get_WestPosition(VARIANT_BOOL* WestLongitude) = 0;
    virtual HRESULT put_WestPosition(VARIANT_BOOL WestLongitude) = 0;
    virtual HRESULT get_OrbitalPosition(LONG* longitude) = 0;
    virtual HRESULT put_OrbitalPosition(LONG longitude) = 0;
    virtual HRESULT get_Azimuth(LONG* Azimuth) = 0;
    virtual HRESULT put_Azimuth(LONG Azimuth) = 0;
    virtual HRESULT get_Elevation(LONG* Elevation) = 0;
    virtual HRESULT put_Elevation(LONG Elevation) = 0;

protected:
    ~IDVBSLocator() = default;
};

struct IDVBCLocator : IDigitalLocator {
protected:
    ~IDVBCLocator() = default;
};

struct IATSCLocator : IDigitalLocator {
    virtual HRESULT get_PhysicalChannel(LONG* PhysicalChannel) = 0;
    virtual HRESULT put_PhysicalChannel(LONG PhysicalChannel) = 0;
    virtual HRESULT get_TSID(LONG* TSID) = 0;
    virtual HRESULT put_TSID(LONG TSID) = 0;

protected:
    ~IATSCLocator() = default;
};

struct ITuningSpace : IDispatch {
    virtual HRESULT get_UniqueName(BSTR* Name) = 0;
    virtual HRESULT put_UniqueName(BSTR Name) = 0;
    virtual HRESULT get_FriendlyName(BSTR* Name) = 0;
    virtual HRESULT put_FriendlyName(BSTR Name) = 0;
    virtual HRESULT get_CLSID(BSTR* SpaceCLSID) = 0;
    virtual HRESULT get_NetworkType(BSTR* NetworkTypeGuid) = 0;
    virtual HRESULT put_NetworkType(BSTR NetworkTypeGuid) = 0;
    virtual HRESULT get__NetworkType(GUID* NetworkTypeGuid) = 0;
    virtual HRESULT put__NetworkType(REFCLSID NetworkTypeGuid) = 0;
    virtual HRESULT CreateTuneRequest(ITuneRequest** TuneRequest) = 0;
    virtual HRESULT EnumCategoryGUIDs(IEnumGUID** ppEnum) = 0;
    virtual HRESULT EnumDeviceMonikers(IEnumMoniker** ppEnum) = 0;
    virtual HRESULT get_DefaultPreferredComponentTypes(IComponentTypes** ComponentTypes) = 0;
    virtual HRESULT put_DefaultPreferredComponentTypes(IComponentTypes* NewComponentTypes) = 0;
    virtual HRESULT get_FrequencyMapping(BSTR* pMapping) = 0;
    virtual HRESULT put_FrequencyMapping(BSTR Mapping) = 0;
    virtual HRESULT get_DefaultLocator(ILocator** LocatorVal) = 0;
    virtual HRESULT put_DefaultLocator(ILocator* LocatorVal) = 0;
    virtual HRESULT Clone(ITuningSpace** NewTS) = 0;

protected:
    ~ITuningSpace() = default;
};

struct IDVBTuningSpace : ITuningSpace {
    virtual HRESULT get_SystemType(DVBSystemType* SysType) = 0;
    virtual HRESULT put_SystemType(DVBSystemType SysType) = 0;

protected:
    ~IDVBTuningSpace() = default;
};

struct IDVBTuningSpace2 : IDVBTuningSpace {
    virtual HRESULT get_NetworkID(LONG* NetworkID) = 0;
    virtual HRESULT put_NetworkID(LONG NetworkID) = 0;

protected:
    ~IDVBTuningSpace2() = default;
};

struct IDVBSTuningSpace : IDVBTuningSpace2 {
    virtual HRESULT get_LowOscillator(LONG* LowOscillator) = 0;
    virtual HRESULT put_LowOscillator(LONG LowOscillator) = 0;
    virtual HRESULT get_HighOscillator(LONG* HighOscillator) = 0;
    virtual HRESULT put_HighOscillator(LONG HighOscillator) = 0;
    virtual HRESULT get_LNBSwitch(LONG* LNBSwitch) = 0;
    virtual HRESULT put_LNBSwitch(LONG LNBSwitch) = 0;
    virtual HRESULT get_InputRange(BSTR* InputRange) = 0;
    virtual HRESULT put_InputRange(BSTR InputRange) = 0;
    virtual HRESULT get_SpectralInversion(SpectralInversion* SpectralInversionVal) = 0;
    virtual HRESULT put_SpectralInversion(SpectralInversion SpectralInversionVal) = 0;

protected:
    ~IDVBSTuningSpace() = default;
};

struct IAnalogTVTuningSpace : ITuningSpace {
    virtual HRESULT get_MinChannel(LONG* MinChannelVal) = 0;
    virtual HRESULT put_MinChannel(LONG NewMinChannelVal) = 0;
    virtual HRESULT get_MaxChannel(LONG* MaxChannelVal) = 0;
    virtual HRESULT put_MaxChannel(LONG NewMaxChannelVal) = 0;
    virtual HRESULT get_InputType(TunerInputType* InputTypeVal) = 0;
    virtual HRESULT put_InputType(TunerInputType NewInputTypeVal) = 0;
    virtual HRESULT get_CountryCode(LONG* CountryCodeVal) = 0;
    virtual HRESULT put_CountryCode(LONG NewCountryCodeVal) = 0;

protected:
    ~IAnalogTVTuningSpace() = default;
};

struct IATSCTuningSpace : IAnalogTVTuningSpace {
    virtual HRESULT get_MinMinorChannel(LONG* MinMinorChannelVal) = 0;
    virtual HRESULT put_MinMinorChannel(LONG NewMinMinorChannelVal) = 0;
    virtual HRESULT get_MaxMinorChannel(LONG* MaxMinorChannelVal) = 0;
    virtual HRESULT put_MaxMinorChannel(LONG NewMaxMinorChannelVal) = 0;
    virtual HRESULT get_MinPhysicalChannel(LONG* MinPhysicalChannelVal) = 0;
    virtual HRESULT put_MinPhysicalChannel(LONG NewMinPhysicalChannelVal) = 0;
    virtual HRESULT get_MaxPhysicalChannel(LONG* MaxPhysicalChannelVal) = 0;
    virtual HRESULT put_MaxPhysicalChannel(LONG NewMaxPhysicalChannelVal) = 0;

protected:
    ~IATSCTuningSpace() = default;
};

struct ITuningSpaceContainer : IDispatch {
    virtual HRESULT get_Count(LONG* Count) = 0;
    virtual HRESULT get__NewEnum(IEnumVARIANT** NewEnum) = 0;
    // varIndex is a VT_I4 identifier; the system's tuning spaces are numbered from 1.
    virtual HRESULT get_Item(VARIANT varIndex, ITuningSpace** TuningSpace) = 0;
    virtual HRESULT put_Item(VARIANT varIndex, ITuningSpace* TuningSpace) = 0;
    virtual HRESULT TuningSpacesForCLSID(BSTR SpaceCLSID, ITuningSpaces** NewColl) = 0;
    virtual HRESULT _TuningSpacesForCLSID(REFCLSID SpaceCLSID, ITuningSpaces** NewColl) = 0;
    virtual HRESULT TuningSpacesForName(BSTR Name, ITuningSpaces** NewColl) = 0;
    virtual HRESULT FindID(ITuningSpace* TuningSpace, LONG* ID) = 0;
    virtual HRESULT Add(ITuningSpace* TuningSpace, VARIANT* NewIndex) = 0;
    virtual HRESULT get_EnumTuningSpaces(IEnumTuningSpaces** ppEnum) = 0;
    virtual HRESULT Remove(VARIANT Index) = 0;
    virtual HRESULT get_MaxCount(LONG* MaxCount) = 0;
    virtual HRESULT put_MaxCount(LONG MaxCount) = 0;

protected:
    ~ITuningSpaceContainer() = default;
};

struct ITuneRequest : IDispatch {
    virtual HRESULT get_TuningSpace(ITuningSpace** TuningSpace) = 0;
    virtual HRESULT get_Components(IComponents** Components) = 0;
    virtual HRESULT Clone(ITuneRequest** NewTuneRequest) = 0;
    virtual HRESULT get_Locator(ILocator** Locator) = 0;
    virtual HRESULT put_Locator(ILocator* Locator) = 0;

protected:
    ~ITuneRequest() = default;
};

struct IChannelTuneRequest : ITuneRequest {
    virtual HRESULT get_Channel(LONG* Channel) = 0;
    virtual HRESULT put_Channel(LONG Channel) = 0;

protected:
    ~IChannelTuneRequest() = default;
};

struct IATSCChannelTuneRequest : IChannelTuneRequest {
    virtual HRESULT get_MinorChannel(LONG* MinorChannel) = 0;
    virtual HRESULT put_MinorChannel(LONG MinorChannel) = 0;

protected:
    ~IATSCChannelTuneRequest() = default;
};

struct IDVBTuneRequest : ITuneRequest {
    virtual HRESULT get_ONID(LONG* ONID) = 0;
    virtual HRESULT put_ONID(LONG ONID) = 0;
    virtual HRESULT get_TSID(LONG* TSID) = 0;
    virtual HRESULT put_TSID(LONG TSID) = 0;
    virtual HRESULT get_SID(LONG* SID) = 0;
    virtual HRESULT put_SID(LONG SID) = 0;

protected:
    ~IDVBTuneRequest() = default;
};

struct ITuner : IUnknown {
    virtual HRESULT get_TuningSpace(ITuningSpace** TuningSpace) = 0;
    virtual HRESULT put_TuningSpace(ITuningSpace* TuningSpace) = 0;
    virtual HRESULT EnumTuningSpaces(IEnumTuningSpaces** ppEnum) = 0;
    virtual HRESULT get_TuneRequest(ITuneRequest** TuneRequest) = 0;
    virtual HRESULT put_TuneRequest(ITuneRequest* TuneRequest) = 0;
    virtual HRESULT Validate(ITuneRequest* TuneRequest) = 0;
    virtual HRESULT get_PreferredComponentTypes(IComponentTypes** ComponentTypes) = 0;
    virtual HRESULT put_PreferredComponentTypes(IComponentTypes* ComponentTypes) = 0;
    // 0 until the tuner has locked; a strength in the upper 16 bits once it has.
    virtual HRESULT get_SignalStrength(LONG* Strength) = 0;
    virtual HRESULT TriggerSignalEvents(LONG Interval) = 0;

protected:
    ~ITuner() = default;
};

// The export filter's sample function: called once per sample that reaches its input,
// on the graph's streaming thread; the sample stays valid for the call. The result is
// not used.
using DSExportSampleFunction = HRESULT (*)(void* context, IMediaSample* sample);

struct IDSExport : IUnknown {
    // A null function stops the hand-back. Takes effect for the next sample.
    virtual HRESULT SetSampleCallback(void* context, DSExportSampleFunction function) = 0;
    // Not called by this system.
    virtual HRESULT Reserved() = 0;
    // Tick count (milliseconds, GetTickCount) when the latest sample arrived; 0 before one.
    virtual LONGLONG QueryTime() = 0;

protected:
    ~IDSExport() = default;
};
