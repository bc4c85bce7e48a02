// CObjectId and CObjectIds: an object identifier, initialised once from a name of the
// enumeration or from its dotted text, and a list of them.
#include "components/certenroll/collection.h"
#include "components/certenroll/enrolment.h"
#include "components/certenroll/objects.h"
#include "components/common/com_object.h"
#include "components/common/text.h"

#include <cctype>

namespace pw::certenroll {
namespace {

struct KnownOid {
  CERTENROLL_OBJECTID name;
  const char* value;
};

const KnownOid kKnown[] = {
    {XCN_OID_ORGANIZATION_NAME, "2.5.4.10"},
    {XCN_OID_ORGANIZATIONAL_UNIT_NAME, "2.5.4.11"},
    {XCN_OID_KEY_USAGE, "2.5.29.15"},
    {XCN_OID_BASIC_CONSTRAINTS2, "2.5.29.19"},
    {XCN_OID_SUBJECT_KEY_IDENTIFIER, "2.5.29.14"},
    {XCN_OID_ENHANCED_KEY_USAGE, "2.5.29.37"},
    {XCN_OID_PKIX_KP_SERVER_AUTH, "1.3.6.1.5.5.7.3.1"},
    {XCN_OID_PKIX_KP_CLIENT_AUTH, "1.3.6.1.5.5.7.3.2"},
    {XCN_OID_PKIX_KP_CODE_SIGNING, "1.3.6.1.5.5.7.3.3"},
    {XCN_OID_PKIX_KP_EMAIL_PROTECTION, "1.3.6.1.5.5.7.3.4"},
    {XCN_OID_RSA_SHA256RSA, "1.2.840.113549.1.1.11"},
    {XCN_OID_NIST_sha256, "2.16.840.1.101.3.4.2.1"},
};

// Dotted decimal with at least two arcs, the first 0, 1 or 2.
bool isDotted(const std::string& text) {
  if (text.size() < 3 || text[0] < '0' || text[0] > '2' || text[1] != '.') return false;
  bool digit = false;
  for (size_t i = 2; i < text.size(); ++i) {
    if (std::isdigit(static_cast<unsigned char>(text[i]))) {
      digit = true;
    } else if (text[i] != '.' || !digit) {
      return false;
    } else {
      digit = false;
    }
  }
  return digit;
}

class ObjectId : public com::DispatchObject<ObjectId, IObjectId> {
 public:
  void* interfaceFor(REFIID riid) {
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IObjectId)
      return static_cast<IObjectId*>(this);
    return nullptr;
  }

  HRESULT STDMETHODCALLTYPE InitializeFromName(CERTENROLL_OBJECTID Name) override {
    if (!value_.empty()) return kAlreadyInitialized;
    for (const KnownOid& known : kKnown)
      if (known.name == Name) {
        value_ = known.value;
        return S_OK;
      }
    return E_INVALIDARG;
  }
  HRESULT STDMETHODCALLTYPE InitializeFromValue(BSTR strValue) override {
    if (!value_.empty()) return kAlreadyInitialized;
    std::string text = com::narrow(strValue);
    if (!isDotted(text)) return E_INVALIDARG;
    value_ = text;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE InitializeFromAlgorithmName(ObjectIdGroupId, ObjectIdPublicKeyFlags,
                                                        AlgorithmFlags, BSTR) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_Name(CERTENROLL_OBJECTID* pValue) override {
    if (!pValue) return E_POINTER;
    if (value_.empty()) return kNotInitialized;
    *pValue = XCN_OID_NONE;
    for (const KnownOid& known : kKnown)
      if (value_ == known.value) *pValue = known.name;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_FriendlyName(BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_FriendlyName(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Value(BSTR* pValue) override {
    if (!pValue) return E_POINTER;
    *pValue = nullptr;
    if (value_.empty()) return kNotInitialized;
    *pValue = com::widen(value_);
    return *pValue ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT STDMETHODCALLTYPE GetAlgorithmName(ObjectIdGroupId, ObjectIdPublicKeyFlags,
                                             BSTR*) override {
    return E_NOTIMPL;
  }

 private:
  std::string value_;
};

class ObjectIds : public Collection<ObjectIds, IObjectIds, IObjectId> {
 public:
  void* interfaceFor(REFIID riid) {
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IObjectIds)
      return static_cast<IObjectIds*>(this);
    return nullptr;
  }
};

}  // namespace

HRESULT createObjectId(REFIID riid, void** ppv) {
  return com::handOut(com::make<ObjectId>(), riid, ppv);
}
HRESULT createObjectIds(REFIID riid, void** ppv) {
  return com::handOut(com::make<ObjectIds>(), riid, ppv);
}

std::string oidText(IObjectId* oid) {
  BSTR value = nullptr;
  if (!oid || FAILED(oid->get_Value(&value))) return {};
  std::string text = com::narrow(value);
  SysFreeString(value);
  return text;
}

}  // namespace pw::certenroll
