// The decryption proxies over byte arrays in VARIANTs. RC2 ciphertexts below were
// made with `openssl enc -rc2-40-cbc` from the first five bytes of MD5(pass), zero IV.
#include "crypto/byte_array.h"
#include "crypto/forced_key.h"
#include "crypto/light_key_stream.h"
#include "crypto/pw_crypto_api_vb.h"
#include "crypto/pw_crypto_api_vb_mscrypto.h"
#include "trace_capture.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace {

using Bytes = std::vector<BYTE>;

constexpr std::string_view kPass = "unit test pass";
// "0123456789" under kPass: 16 bytes, 10 of them plaintext.
const Bytes kDigits = {0xd3, 0x2d, 0x19, 0x09, 0xe6, 0x6c, 0xe2, 0x8b,
                       0xd6, 0x2b, 0x11, 0xb0, 0x22, 0x07, 0xe3, 0x2e};
// "abc" under "other pass".
const Bytes kAbc = {0x73, 0x4c, 0xdd, 0xda, 0x5a, 0x1c, 0x62, 0x6c};
// Eight zero bytes under kPass without padding: the last plaintext byte is no pad.
const Bytes kNoPadding = {0x87, 0x7e, 0xaa, 0x9c, 0x2a, 0x0a, 0xb5, 0x56};

const BYTE* pass(std::string_view text) { return reinterpret_cast<const BYTE*>(text.data()); }

// An input VARIANT holding `bytes`; the array lives as long as the holder.
struct Input {
  explicit Input(const Bytes& bytes) {
    array = createByteArray(ULONG(bytes.size()));
    std::copy(bytes.begin(), bytes.end(), byteArrayData(array.get()).begin());
    VariantInit(&variant);
    variant.vt = VT_ARRAY | VT_UI1;
    variant.parray = array.get();
  }
  SafeArrayPtr array;
  VARIANT variant;
};

Bytes outputBytes(OwnedVariant& out) {
  EXPECT_EQ(out.get()->vt, VT_ARRAY | VT_UI1);
  auto data = byteArrayData(out.get()->parray);
  return Bytes(data.begin(), data.end());
}

template <class Proxy>
void expectNotInitialised(Proxy& proxy) {
  Input in(Bytes{1, 2, 3, 4, 5, 6, 7, 8});
  OwnedVariant out;
  LONG error = 0;
  EXPECT_FALSE(proxy.PWpxyDecrypt(in.variant, out.get(), &error));
  EXPECT_EQ(error, 3501);
  EXPECT_EQ(out.get()->vt, VT_EMPTY);
}

TEST(LightProxy, RefusesBeforeInitialisation) {
  PwCryptoApiVB proxy;
  expectNotInitialised(proxy);
}

TEST(LightProxy, OutputIsAsLongAsTheInputAndUndoesTheCipher) {
  PwCryptoApiVB proxy;
  LONG error = 0;
  ASSERT_TRUE(proxy.PWpxyInit_ForcedKey(&error));
  for (size_t n : {0, 1, 29, 30, 31, 100}) {
    Bytes plain(n);
    for (size_t i = 0; i < n; ++i) plain[i] = BYTE(i * 7);
    Input in(lightTransform(forcedKey(), plain));
    OwnedVariant out;
    error = 1234;  // cleared by the decryption
    ASSERT_TRUE(proxy.PWpxyDecrypt(in.variant, out.get(), &error)) << n;
    EXPECT_EQ(error, 0);
    EXPECT_EQ(outputBytes(out), plain) << n;
  }
}

TEST(CryptoApiProxy, RefusesBeforeInitialisation) {
  PwCryptoApiVB_MSCrypto proxy;
  expectNotInitialised(proxy);
}

TEST(CryptoApiProxy, RemovesThePaddingAndRekeysOnASecondInit) {
  PwCryptoApiVB_MSCrypto proxy;
  LONG error = 0;
  ASSERT_TRUE(proxy.PWpxyInit(pass(kPass), LONG(kPass.size()), &error));
  Input digits(kDigits);
  OwnedVariant out;
  ASSERT_TRUE(proxy.PWpxyDecrypt(digits.variant, out.get(), &error));
  EXPECT_EQ(outputBytes(out), (Bytes{'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'}));

  ASSERT_TRUE(proxy.PWpxyInit(pass("other pass"), 10, &error));
  Input abc(kAbc);
  OwnedVariant again;
  ASSERT_TRUE(proxy.PWpxyDecrypt(abc.variant, again.get(), &error));
  EXPECT_EQ(outputBytes(again), (Bytes{'a', 'b', 'c'}));
}

TEST(CryptoApiProxy, BadLengthOrPaddingIs3512AndTracesThePlatformCode) {
  PwCryptoApiVB_MSCrypto proxy;
  LONG error = 0;
  ASSERT_TRUE(proxy.PWpxyInit(pass(kPass), LONG(kPass.size()), &error));
  for (const Bytes& bad : {Bytes(kDigits.begin(), kDigits.begin() + 12), kNoPadding}) {
    Input in(bad);
    OwnedVariant out;
    newTraceTexts();
    EXPECT_FALSE(proxy.PWpxyDecrypt(in.variant, out.get(), &error));
    EXPECT_EQ(error, 3512);
    EXPECT_EQ(out.get()->vt, VT_EMPTY);
    EXPECT_EQ(newTraceTexts(),
              (std::vector<std::string>{
                  "PwCryptoApiVB_MSCrypto::PWpxyDecrypt - Start",
                  "crypto error traced: [" + std::to_string(LONG(NTE_BAD_DATA)) + "]",
                  "*** SetError:[3512] ***",
                  "PwCryptoApiVB_MSCrypto::PWpxyDecrypt - End (failed to decrypt)",
              }));
  }
}

}  // namespace
