#pragma once
// What the small in-process test server offers: one class with one interface.
#include "platform/com/Unknown.h"

// {6B3C2A10-4D5E-4F60-8172-93A4B5C6D7E8}
constexpr CLSID CLSID_TestServerObject = {0x6B3C2A10, 0x4D5E, 0x4F60, {0x81, 0x72, 0x93, 0xA4, 0xB5, 0xC6, 0xD7, 0xE8}};
// {6B3C2A11-4D5E-4F60-8172-93A4B5C6D7E8}
constexpr IID IID_ITestValue = {0x6B3C2A11, 0x4D5E, 0x4F60, {0x81, 0x72, 0x93, 0xA4, 0xB5, 0xC6, 0xD7, 0xE8}};

struct ITestValue : IUnknown {
    virtual int GetValue() = 0;

protected:
    ~ITestValue() = default;
};

constexpr int kTestServerValue = 42;
