#pragma once
// What the filter's file mode sets on a file feed, reached through the feed's
// extension slot. An extension pointer is only ever treated as this interface when
// this module made it: a plug-in object may report the file type and return any
// pointer, which is never dereferenced.
#include <cstdint>

class IFileFeedSetup {
public:
    // The setup behind an extension pointer when it is one of this module's live file
    // feeds; null for anything else.
    static IFileFeedSetup* FromExtension(void* extension);

    // A name carrying the loop marker turns looping on.
    virtual void SetFileName(const char* name) = 0;
    virtual void SetBitrate(uint32_t bitsPerSecond) = 0;
    virtual void SetLoop(bool loop) = 0;

    IFileFeedSetup(const IFileFeedSetup&) = delete;
    IFileFeedSetup& operator=(const IFileFeedSetup&) = delete;

protected:
    IFileFeedSetup();
    ~IFileFeedSetup();
};
