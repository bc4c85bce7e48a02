// The light cipher: its key stream, the transform and the three ways to a key.
#include "crypto/forced_key.h"
#include "crypto/light_crypto_manager.h"
#include "crypto/light_key_stream.h"
#include "trace_capture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

namespace {

using Bytes = std::vector<BYTE>;
const char* kStore = "Software\\Velmora\\Tessera\\My";

Bytes forced() { return Bytes(forcedKey().begin(), forcedKey().end()); }

void storeKey(const Bytes& key) {
  HKEY h;
  ASSERT_EQ(
      RegCreateKeyExA(HKEY_CURRENT_USER, kStore, 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr),
      0);
  ASSERT_EQ(RegSetValueExA(h, "Blob", 0, REG_BINARY, key.data(), DWORD(key.size())), 0);
  RegCloseKey(h);
}

Bytes storedKey() {
  HKEY h;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kStore, 0, KEY_READ, &h) != 0) return {};
  Bytes data(256);
  DWORD type = 0, size = DWORD(data.size());
  LONG st = RegQueryValueExA(h, "Blob", nullptr, &type, data.data(), &size);
  RegCloseKey(h);
  if (st != 0 || type != REG_BINARY) return {};
  data.resize(size);
  return data;
}

std::filesystem::path driveC(const char* relative) {
  return std::filesystem::path(std::getenv("PW_MACHINE_ROOT")) / "drive_c" / relative;
}

void writeFile(const std::filesystem::path& path, size_t size) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  for (size_t i = 0; i < size; ++i) out.put(char(i % 251));
}

// The stream of a manager's key: the transform of zero bytes.
Bytes stream(lightCrypto_Manager& m, size_t n) {
  LONG error = 0;
  Bytes out(n, 0xEE), zeros(n, 0);
  EXPECT_TRUE(m.DataEncrypt(&error, zeros.data(), LONG(n), out.data()));
  return out;
}

class LightCipherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegDeleteKeyA(HKEY_CURRENT_USER, kStore);
    std::filesystem::remove_all(driveC("winnt"));
    std::filesystem::remove_all(driveC("windows"));
    newTraceTexts();
  }
};

TEST(LightKeyStream, ThreeByteKeyOverEightBytes) {
  // k0 k1 k2 | k2 k1 k0 | k0 k1: the boundary byte repeats at every turn.
  const Bytes key{0x11, 0x22, 0x33}, zeros(8, 0);
  EXPECT_EQ(lightTransform(key, zeros), (Bytes{0x11, 0x22, 0x33, 0x33, 0x22, 0x11, 0x11, 0x22}));
  const Bytes data{0xFF, 0x00, 0x0F, 0xF0, 0xAA, 0x55, 0x01, 0x80};
  EXPECT_EQ(lightTransform(key, data), (Bytes{0xEE, 0x22, 0x3C, 0xC3, 0x88, 0x44, 0x10, 0xA2}));
  EXPECT_EQ(lightTransform(key, lightTransform(key, data)), data);
}

TEST_F(LightCipherTest, ThreeByteStoredKeyGivesTheSameStreamThroughTheManager) {
  storeKey({0x11, 0x22, 0x33});
  lightCrypto_Manager m;
  LONG error = 0;
  ASSERT_TRUE(m.CryptoInit(&error, lightCrypto_Manager::kLoadKey));
  EXPECT_EQ(m.keyLength(), 3);
  EXPECT_EQ(stream(m, 8), (Bytes{0x11, 0x22, 0x33, 0x33, 0x22, 0x11, 0x11, 0x22}));
}

TEST_F(LightCipherTest, StreamLengthsAroundTheKeyLength) {
  lightCrypto_Manager m;
  LONG error = 0;
  ASSERT_TRUE(m.CryptoInit(&error, lightCrypto_Manager::kForceKey));
  const Bytes k = forced(), reversed(k.rbegin(), k.rend());
  EXPECT_EQ(stream(m, 0), Bytes{});
  EXPECT_EQ(stream(m, 7), Bytes(k.begin(), k.begin() + 7));
  Bytes twice = k;
  twice.insert(twice.end(), reversed.begin(), reversed.end());
  EXPECT_EQ(stream(m, 60), twice);
  twice.push_back(k[0]);
  EXPECT_EQ(stream(m, 61), twice);
  // Every call starts again at the first key byte; the output may be the input.
  Bytes data{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, halves = data;
  ASSERT_TRUE(m.DataEncrypt(&error, data.data(), 10, data.data()));
  ASSERT_TRUE(m.DataEncrypt(&error, halves.data(), 5, halves.data()));
  ASSERT_TRUE(m.DataEncrypt(&error, halves.data() + 5, 5, halves.data() + 5));
  for (int i = 0; i < 10; ++i) EXPECT_EQ(halves[i], BYTE((i + 1) ^ k[i % 5])) << i;
  ASSERT_TRUE(m.DataDecrypt(&error, data.data(), 10, data.data()));
  EXPECT_EQ(data, (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  EXPECT_EQ(error, 0);
}

TEST_F(LightCipherTest, ForcedInitialisationAndItsTrace) {
  lightCrypto_Manager m;
  LONG error = 0;
  ASSERT_TRUE(m.CryptoInit(&error, lightCrypto_Manager::kForceKey));
  EXPECT_EQ(Bytes(m.key(), m.key() + 30), forced());
  const Bytes k = forced();
  EXPECT_EQ(Bytes(m.inverseKey(), m.inverseKey() + 30), Bytes(k.rbegin(), k.rend()));
  EXPECT_EQ(m.keySource(), -1);  // no key was generated: offset and source untouched
  EXPECT_EQ(m.keyOffset(), 0);
  EXPECT_EQ(newTraceTexts(), (std::vector<std::string>{
                                 "lightCrypto_Manager::CryptoInit - start",
                                 "lightCrypto_Manager::ForceKey - start",
                                 "lightCrypto_Manager::ForceKey - end",
                                 "lightCrypto_Manager::CreateInvKey - start",
                                 "lightCrypto_Manager::CreateInvKey - end",
                                 "lightCrypto_Manager::CryptoInit - end",
                             }));
}

TEST_F(LightCipherTest, UnknownInitTypeAndUseBeforeInitialisation) {
  lightCrypto_Manager m;
  LONG error = 0;
  EXPECT_FALSE(m.CryptoInit(&error, 3));
  EXPECT_EQ(error, 3216);
  EXPECT_FALSE(m.isInitialised());
  EXPECT_EQ(m.key(), nullptr);
  Bytes data{1, 2, 3}, out(3, 0xEE);
  EXPECT_FALSE(m.DataDecrypt(&error, data.data(), 3, out.data()));
  EXPECT_EQ(error, 3215);
  EXPECT_EQ(out, Bytes(3, 0xEE));
  // The error end line comes before SetError's own line here.
  EXPECT_EQ(newTraceTexts(), (std::vector<std::string>{
                                 "lightCrypto_Manager::CryptoInit - start",
                                 "*** SetError:[3216] ***",
                                 "lightCrypto_Manager::CryptoInit - error (unknown init type)",
                                 "lightCrypto_Manager::DataDecrypt - start",
                                 "lightCrypto_Manager::DataDecrypt - error (not initialised)",
                                 "*** SetError:[3215] ***",
                             }));
}

TEST_F(LightCipherTest, LoadOrGenerateSavesAKeyAndLoadsItAgain) {
  // Neither regedit file: the generated key is the forced key.
  lightCrypto_Manager first;
  LONG error = 0;
  ASSERT_TRUE(first.CryptoInit(&error, lightCrypto_Manager::kLoadKey));
  EXPECT_EQ(error, 0);
  EXPECT_EQ(first.keySource(), PW_NO_FILE);
  EXPECT_EQ(first.keyOffset(), 0);
  EXPECT_EQ(storedKey(), forced());

  storeKey(Bytes(45, 0x5A));  // a longer stored key is taken whole
  lightCrypto_Manager second;
  ASSERT_TRUE(second.CryptoInit(&error, lightCrypto_Manager::kLoadKey));
  EXPECT_EQ(second.keyLength(), 45);
  EXPECT_EQ(Bytes(second.inverseKey(), second.inverseKey() + 45), Bytes(45, 0x5A));
}

TEST_F(LightCipherTest, AnEmptyStoredKeyCountsAsNoKey) {
  storeKey({});
  lightCrypto_Manager m;
  LONG error = 0;
  ASSERT_TRUE(m.CryptoInit(&error, lightCrypto_Manager::kLoadKey));
  EXPECT_EQ(error, 0);
  EXPECT_EQ(m.keyLength(), 30);
  EXPECT_EQ(storedKey(), forced());
}

TEST_F(LightCipherTest, KeyBytesComeFromTheFirstRegeditFileFound) {
  writeFile(driveC("windows/regedit.exe"), 4000);
  lightCrypto_Manager m;
  LONG error = 0;
  ASSERT_TRUE(m.CryptoInit(&error, lightCrypto_Manager::kGenerateKey));
  ASSERT_EQ(m.keySource(), PW_WINDOWS_FILE);
  EXPECT_GE(m.keyOffset(), 0);
  EXPECT_LE(m.keyOffset(), 4000 - 31);
  for (int i = 0; i < 30; ++i) ASSERT_EQ(m.key()[i], BYTE((m.keyOffset() + i) % 251)) << i;

  writeFile(driveC("winnt/regedit.exe"), 8000);
  ASSERT_TRUE(m.CryptoInit(&error, lightCrypto_Manager::kGenerateKey));
  ASSERT_EQ(m.keySource(), PW_WINNT_FILE);
  EXPECT_GE(m.keyOffset(), 1536);
  EXPECT_LE(m.keyOffset(), 5631);
  for (int i = 0; i < 30; ++i) ASSERT_EQ(m.key()[i], BYTE((m.keyOffset() + i) % 251)) << i;
  EXPECT_EQ(storedKey(), Bytes{});  // generating alone saves nothing
}

TEST_F(LightCipherTest, FilesTooShortForAKeyFallOverToTheNextSource) {
  writeFile(driveC("winnt/regedit.exe"), 1000);  // shorter than the lowest offset
  writeFile(driveC("windows/regedit.exe"), 30);  // no offset leaves 30 bytes and one more
  lightCrypto_Manager m;
  LONG error = 0;
  ASSERT_TRUE(m.CryptoInit(&error, lightCrypto_Manager::kGenerateKey));
  EXPECT_EQ(m.keySource(), PW_NO_FILE);
  EXPECT_EQ(Bytes(m.key(), m.key() + 30), forced());
}

}  // namespace
