#include "platform/graph/CMemoryStream.h"
#include "platform/graph/CPersistStream.h"
#include <climits>
#include <gtest/gtest.h>

namespace {

// {5D0B5F1A-2C7E-4A39-9E55-0C1D2E3F4A5B}
constexpr CLSID kPersistClass = {0x5D0B5F1A, 0x2C7E, 0x4A39, {0x9E, 0x55, 0x0C, 0x1D, 0x2E, 0x3F, 0x4A, 0x5B}};

// Persists two integers after the header.
class TwoNumbers : public CUnknown, public CPersistStream {
public:
    explicit TwoNumbers(DWORD version = 0) : CUnknown("Two numbers", nullptr), CPersistStream(nullptr, nullptr), version_(version) {}
    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IPersistStream) return GetInterface(static_cast<IPersistStream*>(this), ppv);
        return CUnknown::NonDelegatingQueryInterface(riid, ppv);
    }
    HRESULT GetClassID(CLSID* clsid) override {
        *clsid = kPersistClass;
        return S_OK;
    }
    HRESULT WriteToStream(IStream* s) override {
        HRESULT hr = WriteInt(s, a);
        return FAILED(hr) ? hr : WriteInt(s, b);
    }
    HRESULT ReadFromStream(IStream* s) override {
        if (failRead) return E_FAIL;
        HRESULT hr;
        a = ReadInt(s, hr);
        if (FAILED(hr)) return hr;
        b = ReadInt(s, hr);
        return hr;
    }
    int SizeMax() override { return 2 * static_cast<int>(kPersistIntBytes); }
    DWORD GetSoftwareVersion() override { return version_; }
    DWORD LoadedVersion() const { return FileVersion(); }

    int a = 0;
    int b = 0;
    bool failRead = false;

private:
    DWORD version_;
};

std::vector<BYTE> Utf16(const std::string& ascii) {
    std::vector<BYTE> out;
    for (char c : ascii) {
        out.push_back(static_cast<BYTE>(c));
        out.push_back(0);
    }
    return out;
}

ComPtr<IStream> StreamOf(const std::vector<BYTE>& bytes) {
    ComPtr<IStream> s;
    EXPECT_EQ(CreateMemoryStream(bytes.data(), bytes.size(), s.ReleaseAndGetAddressOf()), S_OK);
    return s;
}

std::vector<BYTE> BytesOf(IStream* s) { return CMemoryStream::FromStream(s)->Contents(); }

TEST(PersistStream, VersionHeaderIsElevenDigitsAndABlankInUtf16) {
    ComPtr<IStream> s;
    ASSERT_EQ(CreateMemoryStream(s.ReleaseAndGetAddressOf()), S_OK);
    auto* obj = new TwoNumbers(0);
    ComPtr<IPersistStream> ps;
    ASSERT_EQ(obj->NonDelegatingQueryInterface(IID_IPersistStream, reinterpret_cast<void**>(ps.ReleaseAndGetAddressOf())), S_OK);
    obj->a = 5;
    obj->b = -12;
    ASSERT_EQ(ps->Save(s.Get(), TRUE), S_OK);
    std::vector<BYTE> expected = Utf16("00000000000 00000000005 -0000000012 ");
    EXPECT_EQ(BytesOf(s.Get()), expected);
    EXPECT_EQ(expected.size(), 72u);
}

TEST(PersistStream, WriteIntCoversTheWholeIntRange) {
    const std::pair<int, std::string> cases[] = {
        {0, "00000000000 "}, {42, "00000000042 "}, {-1, "-0000000001 "},
        {INT_MAX, "02147483647 "}, {INT_MIN, "-2147483648 "}};
    for (const auto& [value, text] : cases) {
        ComPtr<IStream> s;
        ASSERT_EQ(CreateMemoryStream(s.ReleaseAndGetAddressOf()), S_OK);
        ASSERT_EQ(WriteInt(s.Get(), value), S_OK);
        EXPECT_EQ(BytesOf(s.Get()), Utf16(text)) << value;
        LARGE_INTEGER zero{0};
        s->Seek(zero, STREAM_SEEK_SET, nullptr);
        HRESULT hr = E_FAIL;
        EXPECT_EQ(ReadInt(s.Get(), hr), value);
        EXPECT_EQ(hr, S_OK);
    }
}

TEST(PersistStream, ReadIntRefusesWhatIsNotANumber) {
    const std::pair<std::string, HRESULT> cases[] = {
        {"0000x000000 ", VFW_E_INVALID_FILE_FORMAT},  // stray character
        {"02147483648 ", VFW_E_INVALID_FILE_FORMAT},  // one past INT_MAX
        {"-2147483649 ", VFW_E_INVALID_FILE_FORMAT},  // one below INT_MIN
        {" ", VFW_E_INVALID_FILE_FORMAT},             // no digits at all
        {"-", STG_E_READFAULT},                       // stream ends after the sign
        {"00000", STG_E_READFAULT},                   // stream ends before the blank
        {"", STG_E_READFAULT}};
    for (const auto& [text, expected] : cases) {
        ComPtr<IStream> s = StreamOf(Utf16(text));
        HRESULT hr = S_OK;
        EXPECT_EQ(ReadInt(s.Get(), hr), 0) << text;
        EXPECT_EQ(hr, expected) << text;
    }
    // A shorter number ended by another separator still reads.
    ComPtr<IStream> s = StreamOf(Utf16("17\t"));
    HRESULT hr = E_FAIL;
    EXPECT_EQ(ReadInt(s.Get(), hr), 17);
    EXPECT_EQ(hr, S_OK);
}

TEST(PersistStream, SaveLoadRoundTripAndDirtyFlag) {
    TwoNumbers* from = new TwoNumbers(3);
    ComPtr<IPersistStream> src;
    from->NonDelegatingQueryInterface(IID_IPersistStream, reinterpret_cast<void**>(src.ReleaseAndGetAddressOf()));
    from->a = 123456;
    from->b = INT_MIN;

    EXPECT_EQ(src->IsDirty(), S_FALSE);
    from->SetDirty(TRUE);
    EXPECT_EQ(src->IsDirty(), S_OK);
    ComPtr<IStream> s;
    ASSERT_EQ(CreateMemoryStream(s.ReleaseAndGetAddressOf()), S_OK);
    ASSERT_EQ(src->Save(s.Get(), FALSE), S_OK);
    EXPECT_EQ(src->IsDirty(), S_OK) << "Save without clearing keeps the object dirty";
    ASSERT_EQ(src->Save(s.Get(), TRUE), S_OK);
    EXPECT_EQ(src->IsDirty(), S_FALSE);

    TwoNumbers* to = new TwoNumbers(0);
    ComPtr<IPersistStream> dst;
    to->NonDelegatingQueryInterface(IID_IPersistStream, reinterpret_cast<void**>(dst.ReleaseAndGetAddressOf()));
    to->SetDirty(TRUE);
    LARGE_INTEGER zero{0};
    s->Seek(zero, STREAM_SEEK_SET, nullptr);
    ASSERT_EQ(dst->Load(s.Get()), S_OK);
    EXPECT_EQ(to->a, 123456);
    EXPECT_EQ(to->b, INT_MIN);
    EXPECT_EQ(to->LoadedVersion(), 3u);
    EXPECT_EQ(dst->IsDirty(), S_FALSE);
    // The second copy follows the first in the stream.
    to->a = to->b = 0;
    ASSERT_EQ(dst->Load(s.Get()), S_OK);
    EXPECT_EQ(to->a, 123456);
    EXPECT_EQ(CMemoryStream::FromStream(s.Get())->Position(), 2 * 72u);
}

TEST(PersistStream, FailedLoadKeepsTheObjectDirty) {
    TwoNumbers* obj = new TwoNumbers();
    ComPtr<IPersistStream> ps;
    obj->NonDelegatingQueryInterface(IID_IPersistStream, reinterpret_cast<void**>(ps.ReleaseAndGetAddressOf()));
    obj->SetDirty(TRUE);
    ComPtr<IStream> shortHeader = StreamOf(Utf16("0000000"));
    EXPECT_EQ(ps->Load(shortHeader.Get()), STG_E_READFAULT);
    EXPECT_EQ(ps->IsDirty(), S_OK);

    obj->failRead = true;
    ComPtr<IStream> good = StreamOf(Utf16("00000000000 00000000001 00000000002 "));
    EXPECT_EQ(ps->Load(good.Get()), E_FAIL);
    EXPECT_EQ(ps->IsDirty(), S_OK);
    EXPECT_EQ(ps->Load(nullptr), E_POINTER);
    EXPECT_EQ(ps->Save(nullptr, TRUE), E_POINTER);
}

TEST(PersistStream, SizeMaxIsHeaderPlusPayload) {
    TwoNumbers* obj = new TwoNumbers();
    ComPtr<IPersistStream> ps;
    obj->NonDelegatingQueryInterface(IID_IPersistStream, reinterpret_cast<void**>(ps.ReleaseAndGetAddressOf()));
    ULARGE_INTEGER size{0};
    ASSERT_EQ(ps->GetSizeMax(&size), S_OK);
    EXPECT_EQ(size.QuadPart, 72u);
    EXPECT_EQ(ps->GetSizeMax(nullptr), E_POINTER);
}

TEST(MemoryStream, ReadPastEndGivesWhatIsThere) {
    ComPtr<IStream> s = StreamOf({1, 2, 3, 4, 5});
    BYTE buf[8] = {};
    ULONG got = 99;
    EXPECT_EQ(s->Read(buf, 3, &got), S_OK);
    EXPECT_EQ(got, 3u);
    EXPECT_EQ(s->Read(buf, 8, &got), S_FALSE);
    EXPECT_EQ(got, 2u);
    EXPECT_EQ(buf[0], 4);
    EXPECT_EQ(buf[1], 5);
    EXPECT_EQ(s->Read(buf, 8, &got), S_FALSE);
    EXPECT_EQ(got, 0u);
}

TEST(MemoryStream, SeekOriginsAndBounds) {
    ComPtr<IStream> s = StreamOf({10, 11, 12, 13, 14, 15});
    ULARGE_INTEGER pos{};
    EXPECT_EQ(s->Seek(LARGE_INTEGER{-2}, STREAM_SEEK_END, &pos), S_OK);
    EXPECT_EQ(pos.QuadPart, 4u);
    EXPECT_EQ(s->Seek(LARGE_INTEGER{-1}, STREAM_SEEK_CUR, &pos), S_OK);
    EXPECT_EQ(pos.QuadPart, 3u);
    BYTE b = 0;
    s->Read(&b, 1, nullptr);
    EXPECT_EQ(b, 13);
    // Before the start is refused and the position stays.
    EXPECT_FALSE(SUCCEEDED(s->Seek(LARGE_INTEGER{-5}, STREAM_SEEK_CUR, &pos)));
    EXPECT_EQ(CMemoryStream::FromStream(s.Get())->Position(), 4u);
    EXPECT_FALSE(SUCCEEDED(s->Seek(LARGE_INTEGER{0}, 7, &pos)));
    EXPECT_FALSE(SUCCEEDED(s->Seek(LARGE_INTEGER{LLONG_MAX}, STREAM_SEEK_CUR, &pos)));
}

TEST(MemoryStream, WritingBeyondTheEndFillsTheGapWithZeros) {
    ComPtr<IStream> s = StreamOf({1, 2});
    ASSERT_EQ(s->Seek(LARGE_INTEGER{5}, STREAM_SEEK_SET, nullptr), S_OK);
    const BYTE tail[] = {9, 8};
    ULONG written = 0;
    ASSERT_EQ(s->Write(tail, 2, &written), S_OK);
    EXPECT_EQ(written, 2u);
    EXPECT_EQ(BytesOf(s.Get()), (std::vector<BYTE>{1, 2, 0, 0, 0, 9, 8}));

    STATSTG st{};
    ASSERT_EQ(s->Stat(&st, STATFLAG_NONAME), S_OK);
    EXPECT_EQ(st.type, STGTY_STREAM);
    EXPECT_EQ(st.cbSize.QuadPart, 7u);

    ASSERT_EQ(s->SetSize(ULARGE_INTEGER{3}), S_OK);
    EXPECT_EQ(BytesOf(s.Get()), (std::vector<BYTE>{1, 2, 0}));
    EXPECT_EQ(s->SetSize(ULARGE_INTEGER{CMemoryStream::kMaxSize + 1}), STG_E_MEDIUMFULL);
    ASSERT_EQ(s->Seek(LARGE_INTEGER{static_cast<LONGLONG>(CMemoryStream::kMaxSize)}, STREAM_SEEK_SET, nullptr), S_OK);
    EXPECT_EQ(s->Write(tail, 1, &written), STG_E_MEDIUMFULL);
    EXPECT_EQ(written, 0u);
}

}  // namespace
