#include "platform/graph/CMemoryStream.h"
#include "platform/graph/CPersistStream.h"
#include <climits>
#include <gtest/gtest.h>

namespace {

// Persists two integers after the header.
class TwoNumbers : public CUnknown, public CPersistStream {
public:
    explicit TwoNumbers(DWORD version)
        : CUnknown("Two numbers", nullptr), CPersistStream(nullptr, nullptr), version_(version) {}
    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IPersistStream) return GetInterface(static_cast<IPersistStream*>(this), ppv);
        return CUnknown::NonDelegatingQueryInterface(riid, ppv);
    }
    HRESULT GetClassID(CLSID* clsid) override { return *clsid = GUID_NULL, S_OK; }
    HRESULT WriteToStream(IStream* s) override {
        HRESULT hr = WriteInt(s, a);
        return FAILED(hr) ? hr : WriteInt(s, b);
    }
    HRESULT ReadFromStream(IStream* s) override {
        HRESULT hr = S_OK;
        a = ReadInt(s, hr);
        if (SUCCEEDED(hr)) b = ReadInt(s, hr);
        return hr;
    }
    int SizeMax() override { return 2 * static_cast<int>(kPersistIntBytes); }
    DWORD GetSoftwareVersion() override { return version_; }
    DWORD LoadedVersion() const { return FileVersion(); }
    // The object lives as long as this interface.
    ComPtr<IPersistStream> Interface() {
        ComPtr<IPersistStream> ps;
        NonDelegatingQueryInterface(IID_IPersistStream, reinterpret_cast<void**>(ps.ReleaseAndGetAddressOf()));
        return ps;
    }
    int a = 0, b = 0;

private:
    DWORD version_;
};

std::vector<BYTE> Utf16(const std::string& ascii) {
    std::vector<BYTE> out;
    for (char c : ascii) out.insert(out.end(), {static_cast<BYTE>(c), 0});
    return out;
}

ComPtr<IStream> StreamOf(const std::vector<BYTE>& bytes) {
    ComPtr<IStream> s;
    EXPECT_EQ(CreateMemoryStream(bytes.data(), bytes.size(), s.ReleaseAndGetAddressOf()), S_OK);
    return s;
}

std::vector<BYTE> BytesOf(IStream* s) { return CMemoryStream::FromStream(s)->Contents(); }

TEST(PersistStream, IntegersAreElevenDigitsAndABlankInUtf16) {
    const std::pair<int, std::string> good[] = {
        {0, "00000000000 "}, {-1, "-0000000001 "}, {INT_MAX, "02147483647 "}, {INT_MIN, "-2147483648 "}};
    for (const auto& [value, text] : good) {
        ComPtr<IStream> s = StreamOf({});
        ASSERT_EQ(WriteInt(s.Get(), value), S_OK);
        EXPECT_EQ(BytesOf(s.Get()), Utf16(text)) << value;
        s->Seek(LARGE_INTEGER{0}, STREAM_SEEK_SET, nullptr);
        HRESULT hr = E_FAIL;
        EXPECT_EQ(ReadInt(s.Get(), hr), value);
        EXPECT_EQ(hr, S_OK);
    }
    // Stray character, one past INT_MAX, one below INT_MIN, no digits; then streams that end too early.
    const std::pair<std::string, HRESULT> bad[] = {
        {"0000x000000 ", VFW_E_INVALID_FILE_FORMAT}, {"02147483648 ", VFW_E_INVALID_FILE_FORMAT},
        {"-2147483649 ", VFW_E_INVALID_FILE_FORMAT}, {" ", VFW_E_INVALID_FILE_FORMAT},
        {"-", STG_E_READFAULT}, {"00000", STG_E_READFAULT}};
    for (const auto& [text, expected] : bad) {
        HRESULT hr = S_OK;
        EXPECT_EQ(ReadInt(StreamOf(Utf16(text)).Get(), hr), 0) << text;
        EXPECT_EQ(hr, expected) << text;
    }
    HRESULT hr = E_FAIL;
    EXPECT_EQ(ReadInt(StreamOf(Utf16("17\t")).Get(), hr), 17) << "a shorter number ended by another separator";
    EXPECT_EQ(hr, S_OK);
}

TEST(PersistStream, SaveLoadBytesSizeAndDirtyFlag) {
    auto* from = new TwoNumbers(3);
    ComPtr<IPersistStream> src = from->Interface();
    from->a = 5;
    from->b = INT_MIN;
    ULARGE_INTEGER size{0};
    ASSERT_EQ(src->GetSizeMax(&size), S_OK);
    EXPECT_EQ(size.QuadPart, 72u) << "header and two numbers";
    EXPECT_EQ(src->IsDirty(), S_FALSE);
    from->SetDirty(TRUE);
    ComPtr<IStream> s = StreamOf({});
    ASSERT_EQ(src->Save(s.Get(), FALSE), S_OK);
    EXPECT_EQ(src->IsDirty(), S_OK) << "saving without clearing keeps the object dirty";
    EXPECT_EQ(BytesOf(s.Get()), Utf16("00000000003 00000000005 -2147483648 "));
    ASSERT_EQ(src->Save(s.Get(), TRUE), S_OK);
    EXPECT_EQ(src->IsDirty(), S_FALSE);

    auto* to = new TwoNumbers(0);
    ComPtr<IPersistStream> dst = to->Interface();
    to->SetDirty(TRUE);
    EXPECT_EQ(dst->Load(StreamOf(Utf16("00000000003 00000")).Get()), STG_E_READFAULT) << "the data ends early";
    EXPECT_EQ(dst->IsDirty(), S_OK) << "a failed load leaves the object dirty";
    s->Seek(LARGE_INTEGER{0}, STREAM_SEEK_SET, nullptr);
    ASSERT_EQ(dst->Load(s.Get()), S_OK);
    EXPECT_EQ(to->a, 5);
    EXPECT_EQ(to->b, INT_MIN);
    EXPECT_EQ(to->LoadedVersion(), 3u);
    EXPECT_EQ(dst->IsDirty(), S_FALSE);
    to->a = 0;
    ASSERT_EQ(dst->Load(s.Get()), S_OK);
    EXPECT_EQ(to->a, 5) << "the second copy follows the first";
    EXPECT_EQ(dst->Load(nullptr), E_POINTER);
    EXPECT_EQ(dst->Save(nullptr, TRUE), E_POINTER);
}

TEST(MemoryStream, ReadSeekWriteAndSizeLimits) {
    ComPtr<IStream> s = StreamOf({1, 2, 3, 4, 5});
    BYTE buf[8] = {};
    ULONG got = 99;
    EXPECT_EQ(s->Read(buf, 3, &got), S_OK);
    EXPECT_EQ(s->Read(buf, 8, &got), S_FALSE) << "short read at the end";
    EXPECT_EQ(got, 2u);
    EXPECT_EQ(buf[1], 5);

    ULARGE_INTEGER pos{};
    EXPECT_EQ(s->Seek(LARGE_INTEGER{-2}, STREAM_SEEK_END, &pos), S_OK);
    EXPECT_EQ(s->Seek(LARGE_INTEGER{-1}, STREAM_SEEK_CUR, &pos), S_OK);
    EXPECT_EQ(pos.QuadPart, 2u);
    EXPECT_FALSE(SUCCEEDED(s->Seek(LARGE_INTEGER{-5}, STREAM_SEEK_CUR, &pos))) << "before the start";
    EXPECT_FALSE(SUCCEEDED(s->Seek(LARGE_INTEGER{LLONG_MAX}, STREAM_SEEK_CUR, &pos)));
    EXPECT_EQ(CMemoryStream::FromStream(s.Get())->Position(), 2u) << "a refused seek leaves the position";

    ASSERT_EQ(s->Seek(LARGE_INTEGER{7}, STREAM_SEEK_SET, nullptr), S_OK);
    const BYTE tail[] = {9, 8};
    ASSERT_EQ(s->Write(tail, 2, nullptr), S_OK);
    EXPECT_EQ(BytesOf(s.Get()), (std::vector<BYTE>{1, 2, 3, 4, 5, 0, 0, 9, 8})) << "the gap is filled with zeros";
    ASSERT_EQ(s->SetSize(ULARGE_INTEGER{3}), S_OK);
    EXPECT_EQ(BytesOf(s.Get()), (std::vector<BYTE>{1, 2, 3}));
    EXPECT_EQ(s->SetSize(ULARGE_INTEGER{CMemoryStream::kMaxSize + 1}), STG_E_MEDIUMFULL);
    ASSERT_EQ(s->Seek(LARGE_INTEGER{static_cast<LONGLONG>(CMemoryStream::kMaxSize)}, STREAM_SEEK_SET, nullptr), S_OK);
    ULONG written = 1;
    EXPECT_EQ(s->Write(tail, 1, &written), STG_E_MEDIUMFULL);
    EXPECT_EQ(written, 0u);
}

}  // namespace
