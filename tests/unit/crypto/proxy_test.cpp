// The decryption proxies' failure code before initialisation, and a second
// initialisation that changes the key: neither is reachable through the commands. The
// ciphertexts were made with `openssl enc -rc2-40-cbc` from the first five bytes of
// MD5(pass) and a zero IV.
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
      // "0123456789": 16 bytes, 10 of them plaintext.
      {"unit test pass",
       {0xd3, 0x2d, 0x19, 0x09, 0xe6, 0x6c, 0xe2, 0x8b, 0xd6, 0x2b, 0x11, 0xb0, 0x22, 0x07, 0xe3,
        0x2e}},
      {"other pass", {0x73, 0x4c, 0xdd, 0xda, 0x5a, 0x1c, 0x62, 0x6c}},  // "abc"
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

}  // namespace
