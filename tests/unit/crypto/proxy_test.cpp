// What the commands cannot reach of the decryption proxies: the code before
// initialisation, a second initialisation that changes the key, and every code of a
// failing platform call, each with its end line. The ciphertexts were made with
// `openssl enc -rc2-40-cbc` from the first five bytes of MD5(pass) and a zero IV.
#include "common/faults.h"
#include "common/trace.h"
#include "crypto/byte_array.h"
#include "crypto/pw_crypto_api_vb.h"
#include "crypto/pw_crypto_api_vb_mscrypto.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace {

using Bytes = std::vector<BYTE>;

// An input VARIANT holding `bytes`; the array lives as long as the holder.
struct Input {
  explicit Input(const Bytes& bytes) : array(createByteArray(ULONG(bytes.size()))) {
    std::copy(bytes.begin(), bytes.end(), byteArrayData(array.get()).begin());
    VariantInit(&variant);
    variant.vt = VT_ARRAY | VT_UI1;
    variant.parray = array.get();
  }
  win32::SafeArray array;
  VARIANT variant;
};

// "0123456789" under "unit test pass".
const Bytes kCipher{0xd3, 0x2d, 0x19, 0x09, 0xe6, 0x6c, 0xe2, 0x8b,
                    0xd6, 0x2b, 0x11, 0xb0, 0x22, 0x07, 0xe3, 0x2e};
constexpr std::string_view kPass = "unit test pass";

template <class Proxy>
void expectNotInitialised() {
  Proxy proxy;
  Input in(Bytes{1, 2, 3, 4, 5, 6, 7, 8});
  win32::Variant out;
  LONG error = 0;
  EXPECT_FALSE(proxy.PWpxyDecrypt(in.variant, out.get(), &error));
  EXPECT_EQ(error, 3501);
  EXPECT_EQ(out.get()->vt, VT_EMPTY);
}

TEST(Proxies, RefuseBeforeInitialisation) {
  expectNotInitialised<PwCryptoApiVB>();
  expectNotInitialised<PwCryptoApiVB_MSCrypto>();
}

TEST(CryptoApiProxy, ASecondInitChangesTheKey) {
  const std::pair<std::string_view, Bytes> cases[] = {
      {kPass, kCipher}, {"other pass", {0x73, 0x4c, 0xdd, 0xda, 0x5a, 0x1c, 0x62, 0x6c}},  // "abc"
  };
  const Bytes plain[] = {{'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'}, {'a', 'b', 'c'}};
  PwCryptoApiVB_MSCrypto proxy;
  for (int i = 0; i < 2; ++i) {
    const auto& [pass, cipher] = cases[i];
    LONG error = 0;
    ASSERT_TRUE(
        proxy.PWpxyInit(reinterpret_cast<const BYTE*>(pass.data()), LONG(pass.size()), &error));
    Input in(cipher);
    win32::Variant out;
    ASSERT_TRUE(proxy.PWpxyDecrypt(in.variant, out.get(), &error));
    ASSERT_EQ(out.get()->vt, VT_ARRAY | VT_UI1);
    auto data = byteArrayData(out.get()->parray);
    EXPECT_EQ(Bytes(data.begin(), data.end()), plain[i]);
  }
}

// Initialises a proxy of either kind and decrypts `in` with it.
bool initAndDecrypt(bool light, const Input& in, LONG* error) {
  win32::Variant out;
  if (light) {
    PwCryptoApiVB proxy;
    return proxy.PWpxyInit_ForcedKey(error) && proxy.PWpxyDecrypt(in.variant, out.get(), error);
  }
  PwCryptoApiVB_MSCrypto proxy;
  return proxy.PWpxyInit(reinterpret_cast<const BYTE*>(kPass.data()), LONG(kPass.size()), error) &&
         proxy.PWpxyDecrypt(in.variant, out.get(), error);
}

TEST(ProxyFaults, EachCodeComesWithItsEndLine) {
  using test::Action;
  using test::Point;
  constexpr DWORD kDllFail = 0x8009001D;  // NTE_PROVIDER_DLL_FAIL
  // One case a row: the rows have the same form by design.
  const struct {
    bool light;
    test::Fault fault;
    LONG code;
    const char* line;
  } cases[] = {
      {false,
       {Point::CryptAcquireContextA, kDllFail},
       3506,
       "_MSCryptoPwCryptoApiVB::PWpxyInit - End (failed to acquire context)"},
      // A missing key set is asked for anew; when that fails too, the other end line.
      {false,
       {Point::CryptAcquireContextA, DWORD(NTE_BAD_KEYSET), 0, 2},
       3506,
       "PwCryptoApiVB_MSCrypto::PWpxyInit - End (failed to acquire context)"},
      {false,
       {Point::CryptCreateHash, DWORD(NTE_BAD_ALGID)},
       3507,
       "PwCryptoApiVB_MSCrypto::PWpxyInit - End (failed to create hash)"},
      {false,
       {Point::CryptHashData, DWORD(NTE_BAD_HASH)},
       3508,
       "PwCryptoApiVB_MSCrypto::PWpxyInit - End (failed to hash data)"},
      {false,
       {Point::CryptDeriveKey, DWORD(NTE_BAD_ALGID)},
       3510,
       "PwCryptoApiVB_MSCrypto::PWpxyInit - End (failed to derive key)"},
      {false,
       {Point::SafeArrayCreate},
       3511,
       "PwCryptoApiVB_MSCrypto::PWpxyDecrypt - End (failed to create safe array)"},
      {true,
       {Point::SafeArrayCreate},
       3511,
       "PwCryptoApiVB::PWpxyDecrypt - End (failed to create safe array)"},
      {false,
       {Point::SafeArrayCopy, DWORD(E_OUTOFMEMORY)},
       3513,
       "PwCryptoApiVB_MSCrypto::PWpxyDecrypt - End (catch)"},
      {true,
       {Point::SafeArrayCopy, DWORD(E_OUTOFMEMORY)},
       3513,
       "PwCryptoApiVB::PWpxyDecrypt - End (catch)"},
      {false,
       {Point::CryptDecrypt, 0, 0, 1, Action::Overstate},
       3515,
       "PwCryptoApiVB_MSCrypto::PWpxyDecrypt - End (decrypted len is too long)"},
  };
  for (const auto& c : cases) {
    Input in(kCipher);
    test::newTraceTexts();
    LONG error = 0;
    bool ok;
    {
      test::ScopedFault fault(c.fault);
      ok = initAndDecrypt(c.light, in, &error);
    }
    std::vector<std::string> lines = test::newTraceTexts();
    EXPECT_FALSE(ok) << c.line;
    EXPECT_EQ(error, c.code) << c.line;
    EXPECT_TRUE(test::contains(lines, c.line)) << c.line;
    EXPECT_TRUE(test::contains(lines, "*** SetError:[" + std::to_string(c.code) + "] ***"));
    // A failing CryptoAPI call's code is traced; 3506 traces what the call answered.
    if (c.code >= 3506 && c.code <= 3510) {
      EXPECT_TRUE(test::contains(
          lines, "crypto error traced: [" + std::to_string(LONG(c.fault.error)) + "]"))
          << c.line;
    }
  }
}

}  // namespace
