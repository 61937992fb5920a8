#include "host/FilterStateFile.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "host/ErrorText.h"
#include "platform/graph/CMemoryStream.h"
#include "platform/registry/Registry.h"

FilterStateFile::FilterStateFile(std::string path) : path_(std::move(path)) {
    if (path_.empty()) path_ = (std::filesystem::path(RegistryDirectory()) / kDefaultName).string();
}

bool FilterStateFile::LoadInto(IUnknown* filter, bool* found, std::string* error) {
    std::error_code ec;
    *found = std::filesystem::exists(path_, ec);
    if (!*found) return true;
    std::ifstream in(path_, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
        *error = "cannot read " + path_;
        return false;
    }
    ComPtr<IPersistStream> persist;
    HRESULT hr = filter->QueryInterface(IID_IPersistStream, reinterpret_cast<void**>(persist.ReleaseAndGetAddressOf()));
    ComPtr<IStream> stream;
    if (SUCCEEDED(hr)) hr = CreateMemoryStream(bytes.data(), bytes.size(), stream.ReleaseAndGetAddressOf());
    if (SUCCEEDED(hr)) hr = persist->Load(stream.Get());
    if (FAILED(hr)) {
        *error = path_ + " is no filter state the filter takes: " + HResultText(hr);
        return false;
    }
    return true;
}

bool FilterStateFile::Capture(IUnknown* filter, std::vector<BYTE>* bytes, std::string* error) {
    ComPtr<IPersistStream> persist;
    HRESULT hr = filter->QueryInterface(IID_IPersistStream, reinterpret_cast<void**>(persist.ReleaseAndGetAddressOf()));
    ComPtr<IStream> stream;
    if (SUCCEEDED(hr)) hr = CreateMemoryStream(stream.ReleaseAndGetAddressOf());
    if (SUCCEEDED(hr)) hr = persist->Save(stream.Get(), TRUE);
    if (FAILED(hr)) {
        *error = "the filter did not give its state: " + HResultText(hr);
        return false;
    }
    *bytes = CMemoryStream::FromStream(stream.Get())->Contents();
    return true;
}

bool FilterStateFile::SaveFrom(IUnknown* filter, std::string* error) {
    std::vector<BYTE> bytes;
    if (!Capture(filter, &bytes, error)) return false;
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path target(path_);
    if (target.has_parent_path()) fs::create_directories(target.parent_path(), ec);
    const std::string aside = path_ + ".new";
    {
        std::ofstream out(aside, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!out.flush()) {
            *error = "cannot write " + aside;
            return false;
        }
    }
    fs::rename(aside, target, ec);
    if (ec) {
        *error = "cannot replace " + path_ + ": " + ec.message();
        fs::remove(aside, ec);
        return false;
    }
    return true;
}
