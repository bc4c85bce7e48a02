// System strings and safe arrays: the memory layout Windows code relies on, and copies
// that own their data. The conformance probe compares the one-dimensional byte array
// calls with Wine; these cases add embedded NULs, empty and multi-dimensional arrays.
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

TEST(SafeArray, CopiesOwnTheirDataAndEmptyArraysCopy) {
  SAFEARRAYBOUND bound{5, 0};
  SAFEARRAY* psa = SafeArrayCreate(VT_UI1, 1, &bound);
  ASSERT_NE(psa, nullptr);
  EXPECT_EQ(psa->fFeatures, FADF_HAVEVARTYPE);
  void* data;
  ASSERT_EQ(SafeArrayAccessData(psa, &data), S_OK);
  std::memcpy(data, "\x01\x02\x03\x04\x05", 5);
  EXPECT_EQ(SafeArrayUnaccessData(psa), S_OK);
  SAFEARRAY* copy = nullptr;
  ASSERT_EQ(SafeArrayCopy(psa, &copy), S_OK);
  EXPECT_NE(copy->pvData, psa->pvData);
  EXPECT_EQ(std::memcmp(copy->pvData, psa->pvData, 5), 0);
  EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
  EXPECT_EQ(SafeArrayDestroy(copy), S_OK);

  SAFEARRAY* empty = SafeArrayCreateVector(VT_UI1, 0, 0);
  ASSERT_NE(empty, nullptr);
  ASSERT_EQ(SafeArrayCopy(empty, &copy), S_OK);
  LONG ub = 0;
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
  LONG lb = 0, v = 0, bad[2] = {3, 5};
  EXPECT_EQ(SafeArrayGetLBound(psa, 1, &lb), S_OK);
  EXPECT_EQ(lb, 1);
  for (LONG i = 1; i <= 2; ++i)
    for (LONG j = 5; j <= 7; ++j) {
      LONG idx[2] = {i, j}, value = i * 10 + j;
      ASSERT_EQ(SafeArrayPutElement(psa, idx, &value), S_OK);
    }
  const LONG* cells = static_cast<LONG*>(psa->pvData);
  EXPECT_EQ(cells[0], 15);
  EXPECT_EQ(cells[1], 25);
  EXPECT_EQ(cells[2], 16);
  EXPECT_EQ(SafeArrayGetElement(psa, bad, &v), DISP_E_BADINDEX);
  SafeArrayDestroy(psa);
}

}  // namespace
