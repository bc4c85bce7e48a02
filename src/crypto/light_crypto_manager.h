// lightCrypto_Manager: the program's own symmetric "light" cipher. It obtains a
// key in one of three ways (load from the per-user store, generate from bytes of
// the registry editor, force the built-in key), keeps the key and its reverse, and
// XORs data with a key stream made of the two. Every operation reports through an
// error holder with SetError and traces with writeCryptoTrace.
#pragma once

#include <windows.h>

#include <memory>

// Where GenerateKey took its bytes from.
inline constexpr LONG PW_WINNT_FILE = 0;
inline constexpr LONG PW_WINDOWS_FILE = 1;
inline constexpr LONG PW_NO_FILE = 2;

class lightCrypto_Manager {
 public:
  // Init types of CryptoInit.
  static constexpr LONG kLoadKey = 0;  // load the stored key; generate and save one if none
  static constexpr LONG kGenerateKey = 1;
  static constexpr LONG kForceKey = 2;

  static constexpr LONG kGeneratedKeyLength = 30;

  lightCrypto_Manager() = default;
  virtual ~lightCrypto_Manager() = default;
  lightCrypto_Manager(const lightCrypto_Manager&) = delete;
  lightCrypto_Manager& operator=(const lightCrypto_Manager&) = delete;

  // Key management (light_key_init.cpp, light_key_store.cpp, light_key_source.cpp).
  bool CryptoInit(LONG* error, LONG initType);
  bool GenerateKey(LONG* error);
  bool ForceKey(LONG* error);
  bool LoadKey(LONG* error);
  bool SaveKey(LONG* error);
  // Fills `key` (maxLength bytes) from the first regedit file found, else with the
  // forced key; answers PW_WINNT_FILE, PW_WINDOWS_FILE or PW_NO_FILE.
  LONG ReadFileForKey(BYTE* key, LONG* keyLength, LONG maxLength, LONG* keyOffset);
  bool CreateInvKey(LONG* error);

  void setInitialised(bool initialised) { initialised_ = initialised; }
  bool isInitialised() const { return initialised_; }

  // The transform (light_transform.cpp). Encryption and decryption are the same
  // XOR; `out` may be `in`.
  bool BuildTempKey(LONG length, BYTE* out);
  bool DataEncrypt(LONG* error, const BYTE* in, LONG length, BYTE* out);
  bool DataDecrypt(LONG* error, const BYTE* in, LONG length, BYTE* out);

  LONG keyLength() const { return keyLength_; }
  const BYTE* key() const { return key_.get(); }
  const BYTE* inverseKey() const { return inverseKey_.get(); }
  LONG keyOffset() const { return keyOffset_; }
  LONG keySource() const { return keySource_; }

 private:
  // Written only by GenerateKey; -1 until a key has been generated.
  LONG keyOffset_ = 0;
  LONG keySource_ = -1;
  std::unique_ptr<BYTE[]> inverseKey_;
  bool initialised_ = false;
  LONG keyLength_ = 0;
  std::unique_ptr<BYTE[]> key_;  // declared last, so released first
};
