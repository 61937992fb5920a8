#include "GraphTestSupport.h"
#include "platform/com/TaskMemory.h"
#include "platform/graph/WideString.h"
#include <gtest/gtest.h>

using namespace graphtest;

namespace {

// Counts references so that media types can be checked for holding their pUnk.
class CountedUnknown final : public IUnknown {
public:
    HRESULT QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return static_cast<ULONG>(++refs); }
    ULONG Release() override { return static_cast<ULONG>(--refs); }
    long refs = 1;
};

TEST(MediaType, FreshTypeIsEmptyFixedSizeOfOneByte) {
    CMediaType mt;
    EXPECT_FALSE(mt.IsValid());
    EXPECT_EQ(*mt.Type(), GUID_NULL);
    EXPECT_EQ(*mt.Subtype(), GUID_NULL);
    EXPECT_EQ(*mt.FormatType(), GUID_NULL);
    EXPECT_TRUE(mt.IsFixedSize());
    EXPECT_EQ(mt.GetSampleSize(), 1u);
    EXPECT_FALSE(mt.IsTemporalCompressed());
    EXPECT_EQ(mt.Format(), nullptr);
    EXPECT_EQ(mt.FormatLength(), 0u);
    EXPECT_TRUE(mt.IsPartiallySpecified());

    mt.SetVariableSize();
    EXPECT_EQ(mt.GetSampleSize(), 0u);
    mt.SetSampleSize(188);
    EXPECT_TRUE(mt.IsFixedSize());
    EXPECT_EQ(mt.GetSampleSize(), 188u);
    mt.SetSampleSize(0);
    EXPECT_FALSE(mt.IsFixedSize());
}

TEST(MediaType, CopiesOwnTheirFormatBlock) {
    CMediaType a = MakeType(MEDIATYPE_Stream, MEDIASUBTYPE_MPEG2_TRANSPORT);
    const BYTE format[] = {1, 2, 3, 4, 5};
    ASSERT_TRUE(a.SetFormat(format, sizeof format));

    CMediaType b(a);
    ASSERT_NE(b.Format(), a.Format());
    EXPECT_TRUE(b == a);
    b.Format()[4] = 9;
    EXPECT_EQ(a.Format()[4], 5);
    EXPECT_TRUE(b != a);

    CMediaType c;
    c = a;
    EXPECT_TRUE(c == a);
    c = c;  // self-assignment keeps the block
    ASSERT_NE(c.Format(), nullptr);
    EXPECT_EQ(c.Format()[0], 1);

    // Sample-size fields take no part in equality.
    c.SetVariableSize();
    c.SetTemporalCompression(TRUE);
    EXPECT_TRUE(c == a);
    c.SetFormatType(&GUID_NULL);
    EXPECT_FALSE(c == a);
}

TEST(MediaType, FormatBufferOperations) {
    CMediaType mt;
    EXPECT_EQ(mt.AllocFormatBuffer(0), nullptr);
    BYTE* block = mt.AllocFormatBuffer(4);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(mt.FormatLength(), 4u);
    EXPECT_EQ(mt.AllocFormatBuffer(4), block);  // same size: same block
    std::memcpy(block, "\x11\x22\x33\x44", 4);
    BYTE* grown = mt.ReallocFormatBuffer(6);
    ASSERT_NE(grown, nullptr);
    EXPECT_EQ(mt.FormatLength(), 6u);
    EXPECT_EQ(std::memcmp(grown, "\x11\x22\x33\x44", 4), 0);
    BYTE* shrunk = mt.ReallocFormatBuffer(2);
    EXPECT_EQ(std::memcmp(shrunk, "\x11\x22", 2), 0);
    mt.ResetFormatBuffer();
    EXPECT_EQ(mt.Format(), nullptr);
    EXPECT_EQ(mt.FormatLength(), 0u);
    EXPECT_TRUE(mt.SetFormat(nullptr, 0));
    EXPECT_FALSE(mt.SetFormat(nullptr, 3));
}

TEST(MediaType, PartialMatching) {
    CMediaType full = MakeType(MEDIATYPE_Stream, MEDIASUBTYPE_MPEG2_TRANSPORT);
    EXPECT_FALSE(full.IsPartiallySpecified());
    CMediaType anything;
    EXPECT_TRUE(full.MatchesPartial(&anything));
    CMediaType major(&MEDIATYPE_Stream);
    EXPECT_TRUE(full.MatchesPartial(&major));
    major.SetSubtype(&KSDATAFORMAT_SUBTYPE_BDA_MPEG2_TRANSPORT);
    EXPECT_FALSE(full.MatchesPartial(&major));

    // A format type in the partial type brings its format block into the comparison.
    CMediaType withFormat = full;
    const BYTE f[] = {7};
    withFormat.SetFormat(f, 1);
    EXPECT_FALSE(full.MatchesPartial(&withFormat));
    EXPECT_TRUE(withFormat.MatchesPartial(&withFormat));
}

TEST(MediaType, TaskAllocatedCopiesHoldPUnk) {
    CountedUnknown unk;
    CMediaType mt = MakeType(kMajorA, kSubA);
    mt.pUnk = &unk;
    unk.AddRef();  // mt's reference
    const BYTE f[] = {1, 2};
    mt.SetFormat(f, 2);

    AM_MEDIA_TYPE* copy = CreateMediaType(&mt);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(unk.refs, 3);
    EXPECT_NE(copy->pbFormat, mt.pbFormat);
    EXPECT_EQ(copy->cbFormat, 2u);
    DeleteMediaType(copy);
    EXPECT_EQ(unk.refs, 2);
    DeleteMediaType(nullptr);
    EXPECT_EQ(CreateMediaType(nullptr), nullptr);

    AM_MEDIA_TYPE plain;
    ASSERT_EQ(CopyMediaType(&plain, &mt), S_OK);
    EXPECT_EQ(unk.refs, 3);
    FreeMediaType(plain);
    EXPECT_EQ(plain.pUnk, nullptr);
    EXPECT_EQ(plain.pbFormat, nullptr);
    EXPECT_EQ(unk.refs, 2);
    EXPECT_EQ(CopyMediaType(nullptr, &mt), E_POINTER);

    FreeMediaType(mt);
    EXPECT_EQ(unk.refs, 1);
}

TEST(WideString, LengthCopyCompare) {
    EXPECT_EQ(WideLength(nullptr), 0u);
    EXPECT_EQ(WideLength(u"TS Out"), 6u);

    WCHAR buf[4] = {u'x', u'x', u'x', u'x'};
    WideCopy(buf, 4, u"Antenna");
    EXPECT_EQ(std::u16string(buf), u"Ant");
    WideCopy(buf, 4, nullptr);
    EXPECT_EQ(buf[0], 0);
    buf[0] = u'q';
    WideCopy(buf, 0, u"abc");  // no room: untouched
    EXPECT_EQ(buf[0], u'q');

    EXPECT_EQ(WideCompare(u"abc", u"abc"), 0);
    EXPECT_LT(WideCompare(u"ab", u"abc"), 0);
    EXPECT_GT(WideCompare(u"b", u"abc"), 0);
    EXPECT_EQ(WideCompare(nullptr, u""), 0);
    EXPECT_TRUE(WideEqual(nullptr, nullptr));
    EXPECT_FALSE(WideEqual(u"In", u"in"));
}

TEST(WideString, Utf8Conversions) {
    EXPECT_EQ(WideToUtf8(u"Velmar"), "Velmar");
    // Two-byte, three-byte and a surrogate pair (four bytes).
    const std::u16string mixed = u"\u00e9\u20ac\U0001F600";
    EXPECT_EQ(WideToUtf8(mixed), "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    EXPECT_EQ(WideFromUtf8("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"), mixed);
    EXPECT_EQ(WideToUtf8(static_cast<const WCHAR*>(nullptr)), "");

    // Lone surrogates and broken UTF-8 become U+FFFD, the rest is kept.
    const char16_t lone[] = {u'a', 0xD800, u'b', 0xDC00, 0};
    EXPECT_EQ(WideToUtf8(lone), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
    EXPECT_EQ(WideFromUtf8("a\xFF" "b"), u"a\uFFFDb");
    EXPECT_EQ(WideFromUtf8("a\xE2\x82"), u"a\uFFFD");      // cut short at the end
    EXPECT_EQ(WideFromUtf8("\xE2\x82z"), u"\uFFFDz");      // cut short before a letter
    EXPECT_EQ(WideFromUtf8("\xC0\xAF"), u"\uFFFD");        // overlong '/'
    EXPECT_EQ(WideFromUtf8("\xED\xA0\x80"), u"\uFFFD");    // an encoded surrogate
}

TEST(WideString, TaskAllocatedCopy) {
    WCHAR* copy = nullptr;
    ASSERT_EQ(AMGetWideString(u"TS Out", &copy), S_OK);
    EXPECT_EQ(std::u16string(copy), u"TS Out");
    CoTaskMemFree(copy);
    ASSERT_EQ(AMGetWideString(nullptr, &copy), S_OK);
    EXPECT_EQ(copy[0], 0);
    CoTaskMemFree(copy);
    EXPECT_EQ(AMGetWideString(u"x", nullptr), E_POINTER);
}

}  // namespace
