#pragma once
// The filter's mode and source kept in a file between runs: the bytes its stream
// persistence writes, so that a state chosen on the property page is the one a later
// 'kestrel run' streams from.
#include <string>
#include <vector>

#include "platform/com/Unknown.h"

class FilterStateFile {
public:
    static constexpr const char* kDefaultName = "filter-state.bin";

    // An empty path stands for the default file in the settings directory.
    explicit FilterStateFile(std::string path);
    const std::string& Path() const { return path_; }

    // Gives the filter the stored state. A missing file is no error: the filter keeps
    // its own defaults and *found turns false.
    bool LoadInto(IUnknown* filter, bool* found, std::string* error);
    // The bytes the filter's stream persistence writes now.
    static bool Capture(IUnknown* filter, std::vector<BYTE>* bytes, std::string* error);
    // Stores the filter's state; written aside and renamed, so a reader never sees half.
    bool SaveFrom(IUnknown* filter, std::string* error);

private:
    std::string path_;
};
