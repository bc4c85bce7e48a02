// System strings, safe arrays and variants: the memory layout Windows code relies on,
// and ownership (deep copies, releases) across copy, put, get, clear and destroy. Run
// under ASan, the ownership cases also catch leaks and double frees.
#include <windows.h>

#include <oleauto.h>

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(Bstr, LengthPrefixedAndTerminated) {
  const OLECHAR text[] = {u'a', 0, u'b'};
  BSTR s = SysAllocStringLen(text, 3);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(reinterpret_cast<DWORD*>(s)[-1], 6u);
  EXPECT_EQ(SysStringLen(s), 3u);
  EXPECT_EQ(s[1], 0);  // embedded NULs are kept
  EXPECT_EQ(s[3], 0);
  EXPECT_EQ(reinterpret_cast<ULONG_PTR>(s) % 8, 0u);
  SysFreeString(s);

  s = SysAllocStringByteLen("abc", 3);
  EXPECT_EQ(SysStringByteLen(s), 3u);
  EXPECT_EQ(SysStringLen(s), 1u);
  EXPECT_EQ(reinterpret_cast<char*>(s)[3], 0);
  EXPECT_EQ(reinterpret_cast<char*>(s)[4], 0);
  SysFreeString(s);
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  SysFreeString(nullptr);
}

TEST(SafeArray, ByteVectorLockingAndDeepCopy) {
  SAFEARRAYBOUND bound{5, 0};
  SAFEARRAY* psa = SafeArrayCreate(VT_UI1, 1, &bound);
  ASSERT_NE(psa, nullptr);
  EXPECT_EQ(psa->fFeatures, FADF_HAVEVARTYPE);
  void* data;
  ASSERT_EQ(SafeArrayAccessData(psa, &data), S_OK);
  std::memcpy(data, "\x01\x02\x03\x04\x05", 5);
  EXPECT_EQ(SafeArrayDestroy(psa), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(SafeArrayUnaccessData(psa), S_OK);
  EXPECT_EQ(SafeArrayUnaccessData(psa), E_UNEXPECTED);

  SAFEARRAY* copy = nullptr;
  ASSERT_EQ(SafeArrayCopy(psa, &copy), S_OK);
  EXPECT_NE(copy->pvData, psa->pvData);
  EXPECT_EQ(std::memcmp(copy->pvData, psa->pvData, 5), 0);
  VARTYPE vt = 0;
  EXPECT_EQ(SafeArrayGetVartype(copy, &vt), S_OK);
  EXPECT_EQ(vt, VT_UI1);
  LONG ub = 0;
  EXPECT_EQ(SafeArrayGetUBound(copy, 1, &ub), S_OK);
  EXPECT_EQ(ub, 4);
  EXPECT_EQ(SafeArrayGetUBound(copy, 2, &ub), DISP_E_BADINDEX);
  EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
  EXPECT_EQ(SafeArrayDestroy(copy), S_OK);

  SAFEARRAY* empty = SafeArrayCreateVector(VT_UI1, 0, 0);
  ASSERT_NE(empty, nullptr);
  ASSERT_EQ(SafeArrayCopy(empty, &copy), S_OK);
  EXPECT_EQ(SafeArrayGetUBound(copy, 1, &ub), S_OK);
  EXPECT_EQ(ub, -1);
  SafeArrayDestroy(empty);
  SafeArrayDestroy(copy);
}

// rgsabound lists dimensions last to first, and the first index varies fastest.
TEST(SafeArray, MultiDimensionalLayout) {
  SAFEARRAYBOUND bounds[2] = {{2, 1}, {3, 5}};  // a[1..2][5..7]
  SAFEARRAY* psa = SafeArrayCreate(VT_I4, 2, bounds);
  ASSERT_NE(psa, nullptr);
  EXPECT_EQ(psa->rgsabound[0].lLbound, 5);
  LONG lb = 0;
  EXPECT_EQ(SafeArrayGetLBound(psa, 1, &lb), S_OK);
  EXPECT_EQ(lb, 1);
  for (LONG i = 1; i <= 2; ++i)
    for (LONG j = 5; j <= 7; ++j) {
      LONG idx[2] = {i, j};
      LONG v = i * 10 + j;
      ASSERT_EQ(SafeArrayPutElement(psa, idx, &v), S_OK);
    }
  const LONG* cells = static_cast<LONG*>(psa->pvData);
  EXPECT_EQ(cells[0], 15);
  EXPECT_EQ(cells[1], 25);
  EXPECT_EQ(cells[2], 16);
  LONG idx[2] = {3, 5};
  LONG v;
  EXPECT_EQ(SafeArrayGetElement(psa, idx, &v), DISP_E_BADINDEX);
  SafeArrayDestroy(psa);
}

TEST(SafeArray, StringAndVariantElementsAreOwned) {
  SAFEARRAY* strings = SafeArrayCreateVector(VT_BSTR, 0, 2);
  ASSERT_NE(strings, nullptr);
  BSTR mine = SysAllocString(u"text");
  LONG i = 0;
  ASSERT_EQ(SafeArrayPutElement(strings, &i, mine), S_OK);  // BSTR by value
  ASSERT_EQ(SafeArrayPutElement(strings, &i, mine), S_OK);  // replaces, frees the old copy
  SysFreeString(mine);
  BSTR got = nullptr;
  ASSERT_EQ(SafeArrayGetElement(strings, &i, &got), S_OK);
  EXPECT_EQ(SysStringLen(got), 4u);
  SysFreeString(got);

  SAFEARRAY* variants = SafeArrayCreateVector(VT_VARIANT, 0, 1);
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_ARRAY | VT_BSTR;
  v.parray = strings;
  ASSERT_EQ(SafeArrayPutElement(variants, &i, &v), S_OK);  // a deep copy of the array
  EXPECT_EQ(VariantClear(&v), S_OK);                       // destroys the original
  SAFEARRAY* copy = nullptr;
  ASSERT_EQ(SafeArrayCopy(variants, &copy), S_OK);
  VARIANT out;
  ASSERT_EQ(SafeArrayGetElement(copy, &i, &out), S_OK);
  ASSERT_EQ(SafeArrayGetElement(out.parray, &i, &got), S_OK);
  EXPECT_EQ(got[0], u't');
  SysFreeString(got);
  VariantClear(&out);
  SafeArrayDestroy(variants);
  SafeArrayDestroy(copy);
}

// A COM object that counts AddRef and Release through the standard table layout.
struct Counted {
  struct Table {
    void* query;
    ULONG (*addRef)(Counted*);
    ULONG (*release)(Counted*);
  };
  const Table* table;
  ULONG refs;
  static ULONG up(Counted* c) { return ++c->refs; }
  static ULONG down(Counted* c) { return --c->refs; }
};
const Counted::Table kCountedTable = {nullptr, &Counted::up, &Counted::down};

TEST(Variant, CopyAndClearManageWhatTheyOwn) {
  Counted object{&kCountedTable, 1};
  VARIANT a, b;
  VariantInit(&a);
  VariantInit(&b);
  a.vt = VT_UNKNOWN;
  a.punkVal = reinterpret_cast<IUnknown*>(&object);
  ASSERT_EQ(VariantCopy(&b, &a), S_OK);
  EXPECT_EQ(object.refs, 2u);
  EXPECT_EQ(VariantClear(&b), S_OK);
  EXPECT_EQ(VariantClear(&a), S_OK);
  EXPECT_EQ(object.refs, 0u);

  a.vt = VT_BSTR;
  a.bstrVal = SysAllocString(u"x");
  b.vt = VT_BYREF | VT_BSTR;  // a reference owns nothing
  b.pbstrVal = &a.bstrVal;
  VARIANT c;
  VariantInit(&c);
  ASSERT_EQ(VariantCopy(&c, &b), S_OK);
  EXPECT_EQ(c.pbstrVal, &a.bstrVal);
  EXPECT_EQ(VariantClear(&c), S_OK);
  ASSERT_EQ(VariantCopy(&c, &a), S_OK);
  EXPECT_NE(c.bstrVal, a.bstrVal);
  VariantClear(&c);
  VariantClear(&a);

  a.vt = VT_ARRAY | VT_EMPTY;
  EXPECT_EQ(VariantClear(&a), DISP_E_BADVARTYPE);
  EXPECT_EQ(VariantCopy(&c, &a), DISP_E_BADVARTYPE);
}

}  // namespace
