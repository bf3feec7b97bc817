// BSTR and VARIANT storage.
#include <gtest/gtest.h>

#include <cstring>

#include "comptr.h"

namespace {

TEST(SysAllocString, LengthsAndEmbeddedNuls) {
    BSTR s = SysAllocString(u"abc");
    ASSERT_NE(nullptr, s);
    EXPECT_EQ(3u, SysStringLen(s));
    EXPECT_EQ(6u, SysStringByteLen(s));
    EXPECT_EQ(u'\0', s[3]);
    SysFreeString(s);

    const WCHAR withNul[] = {u'a', u'\0', u'b'};
    BSTR n = SysAllocStringLen(withNul, 3);
    ASSERT_NE(nullptr, n);
    EXPECT_EQ(3u, SysStringLen(n));
    EXPECT_EQ(0, std::memcmp(withNul, n, sizeof withNul));
    EXPECT_EQ(u'\0', n[3]);

    // Re-allocating from its own text is allowed.
    ASSERT_TRUE(SysReAllocString(&n, n + 2));
    EXPECT_EQ(1u, SysStringLen(n));
    EXPECT_EQ(u'b', n[0]);
    SysFreeString(n);

    EXPECT_EQ(nullptr, SysAllocString(nullptr));
    EXPECT_EQ(0u, SysStringLen(nullptr));
    BSTR blank = SysAllocStringLen(nullptr, 4);
    ASSERT_NE(nullptr, blank);
    EXPECT_EQ(4u, SysStringLen(blank));
    SysFreeString(blank);
    SysFreeString(nullptr);
}

TEST(VariantCopy, DuplicatesStringsAndClearsTheTarget) {
    VARIANT source;
    VariantInit(&source);
    EXPECT_EQ(VT_EMPTY, source.vt);
    source.vt = VT_BSTR;
    const WCHAR text[] = {u'x', u'\0', u'y'};
    source.bstrVal = SysAllocStringLen(text, 3);

    VARIANT target;
    VariantInit(&target);
    target.vt = VT_BSTR;
    target.bstrVal = SysAllocString(u"old");  // freed by the copy (checked by the sanitizer)
    ASSERT_EQ(S_OK, VariantCopy(&target, &source));
    EXPECT_EQ(VT_BSTR, target.vt);
    EXPECT_NE(source.bstrVal, target.bstrVal);
    EXPECT_EQ(3u, SysStringLen(target.bstrVal));
    EXPECT_EQ(0, std::memcmp(text, target.bstrVal, sizeof text));

    EXPECT_EQ(S_OK, VariantClear(&source));
    EXPECT_EQ(VT_EMPTY, source.vt);
    EXPECT_EQ(u'y', target.bstrVal[2]);
    EXPECT_EQ(S_OK, VariantClear(&target));

    VARIANT odd;
    VariantInit(&odd);
    odd.vt = 0x4000;
    EXPECT_EQ(DISP_E_BADVARTYPE, VariantCopy(&target, &odd));
    EXPECT_EQ(DISP_E_BADVARTYPE, VariantClear(&odd));
}

TEST(CComBSTR, CopiesOwnAndRelease) {
    CComBSTR a(u"hello");
    CComBSTR b = a;
    EXPECT_NE(a.m_str, b.m_str);
    EXPECT_EQ(5u, b.Length());
    BSTR raw = b.Detach();
    EXPECT_EQ(nullptr, b.m_str);
    SysFreeString(raw);
    CComVariant v(u"text");
    CComVariant w = v;
    EXPECT_EQ(VT_BSTR, w.vt);
    EXPECT_NE(v.bstrVal, w.bstrVal);
}

}  // namespace
