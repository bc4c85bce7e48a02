// The light cipher's key stream on a hand-computed example, where its key comes from
// (the per-user store, the registry editor's bytes, or the forced key), and the codes
// of its key store that only failing platform calls reach.
#include "common/faults.h"
#include "common/registry.h"
#include "common/trace.h"
#include "crypto/forced_key.h"
#include "crypto/light_crypto_manager.h"
#include "crypto/light_key_stream.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

namespace {

using Bytes = std::vector<BYTE>;
const char* kStore = "Software\\Velmora\\Tessera\\My";
// The init types by their numbers, as callers pass them.
constexpr LONG kLoad = 0, kGenerate = 1;

Bytes forced() { return Bytes(forcedKey().begin(), forcedKey().end()); }

void storeKey(const Bytes& key) {
  ASSERT_TRUE(test::setValue(HKEY_CURRENT_USER, kStore, "Blob", REG_BINARY,
                             {reinterpret_cast<const char*>(key.data()), key.size()}));
}

Bytes storedKey() {
  DWORD type = 0;
  std::optional<std::string> data = test::readValue(HKEY_CURRENT_USER, kStore, "Blob", &type);
  if (!data || type != REG_BINARY) return {};
  return Bytes(data->begin(), data->end());
}

// Makes drive C's regedit files, of these sizes (0: none), with byte i being i % 251.
void regeditFiles(size_t winnt, size_t windows) {
  auto driveC = std::filesystem::path(std::getenv("PW_MACHINE_ROOT")) / "drive_c";
  for (auto [dir, size] : {std::pair{"winnt", winnt}, std::pair{"windows", windows}}) {
    std::filesystem::remove_all(driveC / dir);
    if (!size) continue;
    std::filesystem::create_directories(driveC / dir);
    std::ofstream out(driveC / dir / "regedit.exe", std::ios::binary);
    for (size_t i = 0; i < size; ++i) out.put(char(i % 251));
  }
}

class LightCipherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::removeKey(HKEY_CURRENT_USER, kStore);
    regeditFiles(0, 0);
    test::newTraceTexts();
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

// Loading takes a stored key whole, whatever its length; with none, or an empty one, the
// generated key (here the forced one: no regedit file) is used and saved.
TEST_F(LightCipherTest, LoadTakesTheStoredKeyOrGeneratesAndSavesOne) {
  const Bytes three{0x11, 0x22, 0x33}, none, empty;
  for (const Bytes* stored : {&none, &empty, &three}) {
    if (stored != &none) storeKey(*stored);
    lightCrypto_Manager m;
    LONG error = 0;
    ASSERT_TRUE(m.CryptoInit(&error, kLoad));
    EXPECT_EQ(error, 0);
    const Bytes expected = stored->empty() ? forced() : *stored;
    EXPECT_EQ(Bytes(m.key(), m.key() + m.keyLength()), expected);
    EXPECT_EQ(storedKey(), expected);
    EXPECT_EQ(m.keySource(), stored->empty() ? PW_NO_FILE : -1);  // -1: nothing generated
  }
  // The manager's stream is the hand-computed one, from the first key byte on every call.
  lightCrypto_Manager m;
  LONG error = 0;
  ASSERT_TRUE(m.CryptoInit(&error, kLoad));
  for (int call = 0; call < 2; ++call) {
    Bytes out(8, 0xEE), zeros(8, 0);
    ASSERT_TRUE(m.DataEncrypt(&error, zeros.data(), 8, out.data()));
    EXPECT_EQ(out, (Bytes{0x11, 0x22, 0x33, 0x33, 0x22, 0x11, 0x11, 0x22}));
  }
  storeKey(Bytes(45, 0x5A));
  ASSERT_TRUE(m.CryptoInit(&error, kLoad));
  EXPECT_EQ(Bytes(m.inverseKey(), m.inverseKey() + m.keyLength()), Bytes(45, 0x5A));
}

// Generating reads 30 bytes at an offset in a range of the first regedit file that is
// long enough, else falls back to the forced key; it saves nothing.
TEST_F(LightCipherTest, GeneratedKeysComeFromTheFirstLongEnoughRegeditFile) {
  const struct {
    size_t winnt, windows;
    LONG source, lowest, highest;
  } cases[] = {{0, 4000, PW_WINDOWS_FILE, 0, 4000 - 31},
               {8000, 4000, PW_WINNT_FILE, 1536, 5631},
               {1000, 30, PW_NO_FILE, 0, 0}};  // below the lowest offset; no spare byte
  for (const auto& c : cases) {
    regeditFiles(c.winnt, c.windows);
    lightCrypto_Manager m;
    LONG error = 0;
    ASSERT_TRUE(m.CryptoInit(&error, kGenerate));
    ASSERT_EQ(m.keySource(), c.source) << c.winnt;
    ASSERT_EQ(m.keyLength(), 30);
    EXPECT_GE(m.keyOffset(), c.lowest);
    EXPECT_LE(m.keyOffset(), c.highest);
    Bytes expected = forced();
    if (c.source != PW_NO_FILE)
      for (int i = 0; i < 30; ++i) expected[i] = BYTE((m.keyOffset() + i) % 251);
    EXPECT_EQ(Bytes(m.key(), m.key() + 30), expected) << c.winnt;
  }
  EXPECT_EQ(storedKey(), Bytes{});
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
  EXPECT_EQ(test::newTraceTexts(),
            (std::vector<std::string>{
                "lightCrypto_Manager::CryptoInit - start",
                "*** SetError:[3216] ***",
                "lightCrypto_Manager::CryptoInit - error (unknown init type)",
                "lightCrypto_Manager::DataDecrypt - start",
                "lightCrypto_Manager::DataDecrypt - error (not initialised)",
                "*** SetError:[3215] ***",
            }));
}

TEST_F(LightCipherTest, KeyStoreCodesComeWithTheirEndLines) {
  using test::Action;
  using test::Point;
  using Op = bool (lightCrypto_Manager::*)(LONG*);
  // One case a row: the rows have the same form by design.
  const struct {
    test::Fault fault;
    bool keyStored;
    Op op;
    LONG code;
    const char* line;
  } cases[] = {
      // Reading the registry editor's bytes raises (the trace writer never reads).
      {{Point::ReadFile, 0, 0, 1, Action::Raise},
       false,
       &lightCrypto_Manager::GenerateKey,
       3217,
       "lightCrypto_Manager::GenerateKey - error (catch)"},
      {{Point::RegOpenKeyExA, ERROR_ACCESS_DENIED},
       true,
       &lightCrypto_Manager::LoadKey,
       3219,
       "lightCrypto_Manager::LoadKey - error (unable to open key)"},
      {{Point::RegOpenKeyExA, ERROR_ACCESS_DENIED},
       true,
       &lightCrypto_Manager::SaveKey,
       3219,
       "lightCrypto_Manager::SaveKey - error (unable to open key)"},
      {{Point::RegQueryValueExA, ERROR_ACCESS_DENIED},
       true,
       &lightCrypto_Manager::LoadKey,
       3220,
       "lightCrypto_Manager::LoadKey - error (unable to retrieve value 1)"},
      {{Point::RegQueryValueExA, ERROR_ACCESS_DENIED, 1},
       true,
       &lightCrypto_Manager::LoadKey,
       3220,
       "lightCrypto_Manager::LoadKey - error (unable to retrieve value 2)"},
      {{Point::RegCreateKeyExA, ERROR_ACCESS_DENIED},
       false,
       &lightCrypto_Manager::SaveKey,
       3222,
       "lightCrypto_Manager::SaveKey - error (unable to create key)"},
      {{Point::RegSetValueExA, ERROR_ACCESS_DENIED},
       true,
       &lightCrypto_Manager::SaveKey,
       3223,
       "lightCrypto_Manager::SaveKey - error (unable to set value)"},
  };
  regeditFiles(0, 4000);
  for (const auto& c : cases) {
    test::removeKey(HKEY_CURRENT_USER, kStore);
    if (c.keyStored) storeKey(Bytes{1, 2, 3});
    lightCrypto_Manager m;
    LONG error = 0;
    ASSERT_TRUE(m.ForceKey(&error));
    test::newTraceTexts();
    bool ok;
    {
      test::ScopedFault fault(c.fault);
      ok = (m.*c.op)(&error);
    }
    std::vector<std::string> lines = test::newTraceTexts();
    EXPECT_FALSE(ok) << c.line;
    EXPECT_EQ(error, c.code) << c.line;
    EXPECT_TRUE(test::contains(lines, c.line)) << c.line;
    EXPECT_EQ(storedKey(), (c.keyStored ? Bytes{1, 2, 3} : Bytes{})) << c.line;
  }
}

}  // namespace
