#pragma once
// A locator of one kind (DVB-S, DVB-T, DVB-C, ATSC): the physical parameters of a tune
// request. Answers only the interfaces of its kind.
#include "platform/bda/BdaInterfaces.h"
#include "platform/bda/CBdaPropertyRecord.h"
#include "platform/com/Unknown.h"

enum class LocatorKind { DVBS, DVBT, DVBC, ATSC };

class CBdaLocator final : public CUnknown, public IDVBSLocator, public IDVBTLocator, public IATSCLocator {
public:
    CBdaLocator(LocatorKind kind, IUnknown* outer);

    // Creation functions for the class table, one per locator class.
    static CUnknown* CreateDVBS(IUnknown* outer, HRESULT* phr);
    static CUnknown* CreateDVBT(IUnknown* outer, HRESULT* phr);
    static CUnknown* CreateDVBC(IUnknown* outer, HRESULT* phr);
    static CUnknown* CreateATSC(IUnknown* outer, HRESULT* phr);

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // ILocator
    BDA_RECORDED_PROPERTY(LONG, CarrierFrequency, kBdaNotSet)
    BDA_RECORDED_PROPERTY(FECMethod, InnerFEC, kBdaNotSet)
    BDA_RECORDED_PROPERTY(BinaryConvolutionCodeRate, InnerFECRate, kBdaNotSet)
    BDA_RECORDED_PROPERTY(FECMethod, OuterFEC, kBdaNotSet)
    BDA_RECORDED_PROPERTY(BinaryConvolutionCodeRate, OuterFECRate, kBdaNotSet)
    BDA_RECORDED_PROPERTY(ModulationType, Modulation, kBdaNotSet)
    BDA_RECORDED_PROPERTY(LONG, SymbolRate, kBdaNotSet)
    HRESULT Clone(ILocator** NewLocator) override;

    // IDVBTLocator
    BDA_RECORDED_PROPERTY(LONG, Bandwidth, kBdaNotSet)
    BDA_RECORDED_PROPERTY(GuardInterval, Guard, kBdaNotSet)
    BDA_RECORDED_PROPERTY(HierarchyAlpha, HAlpha, kBdaNotSet)
    BDA_RECORDED_PROPERTY(FECMethod, LPInnerFEC, kBdaNotSet)
    BDA_RECORDED_PROPERTY(BinaryConvolutionCodeRate, LPInnerFECRate, kBdaNotSet)
    BDA_RECORDED_PROPERTY(TransmissionMode, Mode, kBdaNotSet)
    BDA_RECORDED_PROPERTY(VARIANT_BOOL, OtherFrequencyInUse, VARIANT_FALSE)

    // IDVBSLocator
    BDA_RECORDED_PROPERTY(Polarisation, SignalPolarisation, kBdaNotSet)
    BDA_RECORDED_PROPERTY(VARIANT_BOOL, WestPosition, VARIANT_FALSE)
    BDA_RECORDED_PROPERTY(LONG, OrbitalPosition, kBdaNotSet)
    BDA_RECORDED_PROPERTY(LONG, Azimuth, kBdaNotSet)
    BDA_RECORDED_PROPERTY(LONG, Elevation, kBdaNotSet)

    // IATSCLocator
    BDA_RECORDED_PROPERTY(LONG, PhysicalChannel, kBdaNotSet)
    BDA_RECORDED_PROPERTY(LONG, TSID, kBdaNotSet)

    LocatorKind Kind() const { return kind_; }
    ILocator* AsLocator() { return static_cast<IDVBSLocator*>(this); }
    // "DVBSLocator", ...; "null" for none and "unknown" for a locator of another maker.
    static const char* KindName(ILocator* locator);
    // A property as recorded (fallback when never set); for the simulated tuner.
    LONG Property(const char* name, LONG fallback) const { return props_.Value(name, fallback); }
    static CBdaLocator* FromLocator(ILocator* locator);

private:
    LocatorKind kind_;
    CBdaPropertyRecord props_;
};
