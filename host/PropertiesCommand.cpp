#include <cstdio>
#include <vector>

#include "host/Command.h"
#include "host/DesktopSession.h"
#include "host/FilterStateFile.h"
#include "host/KestrelModule.h"
#include "platform/com/TaskMemory.h"
#include "platform/graph/CPropertyFrame.h"

namespace {

constexpr const WCHAR* kFrameCaption = u"Kestrel";

// The filter's property page in a frame, on a filter in the stored state; what the
// person applies is stored for 'kestrel run'.
class PropertiesCommand final : public Command {
    void Declare(CLI::App& cmd) override {
        cmd.add_option("--state", statePath_, "File the filter's mode and source are kept in (default: " +
                                                  std::string(FilterStateFile::kDefaultName) +
                                                  " in the settings directory)")
            ->type_name("FILE");
    }

    int Run(const GlobalOptions& global) override {
        DesktopSession desktop;
        std::string error;
        if (!desktop.Open(&error)) return Fail(error);
        KestrelModule module;
        if (!module.Load(global.modulePath)) return Fail(module.Error());
        ComPtr<IBaseFilter> filter;
        HRESULT hr = module.CreateFilter(&filter);
        if (FAILED(hr)) return Fail("cannot create the filter: " + HResultText(hr));

        FilterStateFile state(statePath_);
        bool found = false;
        if (!state.LoadInto(filter.Get(), &found, &error)) return Fail(error);
        std::vector<BYTE> before;
        if (!FilterStateFile::Capture(filter.Get(), &before, &error)) return Fail(error);

        std::vector<ComPtr<IPropertyPage>> pages;
        if (!CreatePages(module, filter.Get(), &pages, &error)) return Fail(error);
        std::vector<IPropertyPage*> raw;
        for (const auto& page : pages) raw.push_back(page.Get());
        IUnknown* objects[] = {filter.Get()};
        hr = CPropertyFrame::Show(nullptr, kFrameCaption, objects, 1, raw.data(), static_cast<ULONG>(raw.size()));
        if (FAILED(hr)) return Fail("the property page could not be shown: " + HResultText(hr));

        std::vector<BYTE> after;
        if (!FilterStateFile::Capture(filter.Get(), &after, &error)) return Fail(error);
        if (after == before && found) {
            std::printf("nothing changed in %s\n", state.Path().c_str());
            return kExitDone;
        }
        if (!state.SaveFrom(filter.Get(), &error)) return Fail(error);
        std::printf("filter state saved to %s\n", state.Path().c_str());
        return kExitDone;
    }

    static bool CreatePages(KestrelModule& module, IBaseFilter* filter, std::vector<ComPtr<IPropertyPage>>* pages,
                            std::string* error) {
        ComPtr<ISpecifyPropertyPages> pageSource;
        HRESULT hr = filter->QueryInterface(IID_ISpecifyPropertyPages, reinterpret_cast<void**>(pageSource.ReleaseAndGetAddressOf()));
        CAUUID ids{0, nullptr};
        if (SUCCEEDED(hr)) hr = pageSource->GetPages(&ids);
        for (ULONG i = 0; SUCCEEDED(hr) && i < ids.cElems; ++i) {
            ComPtr<IPropertyPage> page;
            hr = module.CreateObject(ids.pElems[i], IID_IPropertyPage, reinterpret_cast<void**>(page.ReleaseAndGetAddressOf()));
            if (SUCCEEDED(hr)) pages->push_back(std::move(page));
        }
        CoTaskMemFree(ids.pElems);
        if (FAILED(hr)) *error = "the filter's property page cannot be created: " + HResultText(hr);
        return SUCCEEDED(hr);
    }

    std::string statePath_;
};

const bool registered = RegisterCommand({111, "properties", "Open the filter's property page (needs a display)",
                                         [] { return std::make_unique<PropertiesCommand>(); }});

}  // namespace
