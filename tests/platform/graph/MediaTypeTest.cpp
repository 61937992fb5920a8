#include "GraphTestSupport.h"
#include "platform/com/TaskMemory.h"
#include "platform/com/WideString.h"

using namespace graphtest;

namespace {

// Counts references so that media types can be checked for holding their pUnk.
class CountedUnknown final : public IUnknown {
public:
    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return static_cast<ULONG>(++refs); }
    ULONG Release() override { return static_cast<ULONG>(--refs); }
    long refs = 1;
};

TEST(MediaType, CopiesOwnTheirFormatBlockAndCompareByTypeAndFormat) {
    CMediaType a = MakeType(MEDIATYPE_Stream, MEDIASUBTYPE_MPEG2_TRANSPORT);
    const BYTE format[] = {1, 2, 3, 4, 5};
    ASSERT_TRUE(a.SetFormat(format, sizeof format));
    CMediaType b(a);
    ASSERT_NE(b.Format(), a.Format());
    EXPECT_TRUE(b == a);
    b.Format()[4] = 9;
    EXPECT_EQ(a.Format()[4], 5);
    EXPECT_TRUE(b != a) << "the format block takes part in equality";
    CMediaType c;
    c = a;
    c = c;  // self-assignment keeps the block
    ASSERT_NE(c.Format(), nullptr);
    EXPECT_EQ(c.Format()[0], 1);
    c.SetVariableSize();  // sample-size fields take no part in equality
    c.SetTemporalCompression(TRUE);
    EXPECT_TRUE(c == a);

    // Growing or shrinking the block keeps what fits.
    BYTE* grown = c.ReallocFormatBuffer(6);
    ASSERT_NE(grown, nullptr);
    EXPECT_EQ(std::memcmp(grown, format, 5), 0);
    EXPECT_EQ(std::memcmp(c.ReallocFormatBuffer(2), format, 2), 0);
    EXPECT_EQ(c.FormatLength(), 2u);
    c.ResetFormatBuffer();
    EXPECT_EQ(c.Format(), nullptr);
    EXPECT_FALSE(c.SetFormat(nullptr, 3));
}

TEST(MediaType, PartialMatching) {
    CMediaType full = MakeType(MEDIATYPE_Stream, MEDIASUBTYPE_MPEG2_TRANSPORT);
    EXPECT_FALSE(full.IsPartiallySpecified());
    CMediaType anything;
    EXPECT_TRUE(anything.IsPartiallySpecified());
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

TEST(MediaType, CopiesHoldPUnkAndFreeingReleasesIt) {
    CountedUnknown unk;
    CMediaType mt = MakeType(kMajorA, kSubA);
    mt.pUnk = &unk;
    unk.AddRef();  // mt's reference
    const BYTE f[] = {1, 2};
    mt.SetFormat(f, 2);
    AM_MEDIA_TYPE* copy = CreateMediaType(&mt);
    AM_MEDIA_TYPE plain;
    ASSERT_EQ(CopyMediaType(&plain, &mt), S_OK);
    EXPECT_EQ(unk.refs, 4);
    EXPECT_NE(copy->pbFormat, mt.pbFormat);
    DeleteMediaType(copy);
    FreeMediaType(plain);
    EXPECT_EQ(plain.pbFormat, nullptr);
    EXPECT_EQ(unk.refs, 2);
    FreeMediaType(mt);
    EXPECT_EQ(unk.refs, 1);
}

TEST(WideString, CopyCompareAndUtf8) {
    WCHAR buf[4] = {u'x', u'x', u'x', u'x'};
    WideCopy(buf, 4, u"Antenna");
    EXPECT_EQ(std::u16string(buf), u"Ant") << "cut to fit, with its zero";
    WideCopy(buf, 0, u"abc");  // no room: untouched
    EXPECT_EQ(buf[0], u'A');
    EXPECT_LT(WideCompare(u"ab", u"abc"), 0);
    EXPECT_EQ(WideCompare(nullptr, u""), 0);
    WCHAR* copy = nullptr;
    ASSERT_EQ(AMGetWideString(u"TS Out", &copy), S_OK);
    EXPECT_EQ(std::u16string(copy), u"TS Out");
    CoTaskMemFree(copy);

    // Two-byte, three-byte and a surrogate pair (four bytes).
    const std::u16string mixed = u"\u00e9\u20ac\U0001F600";
    EXPECT_EQ(WideToUtf8(mixed), "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    EXPECT_EQ(WideFromUtf8("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"), mixed);
    // Lone surrogates and broken UTF-8 become U+FFFD, the rest is kept.
    const char16_t lone[] = {u'a', 0xD800, u'b', 0xDC00, 0};
    EXPECT_EQ(WideToUtf8(lone), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
    EXPECT_EQ(WideFromUtf8("a\xFF" "b"), u"a\uFFFDb");
    EXPECT_EQ(WideFromUtf8("a\xE2\x82"), u"a\uFFFD");    // cut short at the end
    EXPECT_EQ(WideFromUtf8("\xE2\x82z"), u"\uFFFDz");    // cut short before a letter
    EXPECT_EQ(WideFromUtf8("\xC0\xAF"), u"\uFFFD");      // overlong '/'
    EXPECT_EQ(WideFromUtf8("\xED\xA0\x80"), u"\uFFFD");  // an encoded surrogate
}

}  // namespace
