// What every object the components hand out shares: reference counting, QueryInterface
// over the interfaces it implements, and, for dual interfaces, the late-binding methods
// of IDispatch. The objects carry no type library, so late binding finds no member, as
// with a component whose type library is not registered; every call through the
// interfaces' tables works. Each live object keeps its module loaded (DllCanUnloadNow).
#pragma once

#include <windows.h>

#include <oaidl.h>
#include <objbase.h>

#include "components/common/inproc_server.h"

#include <atomic>
#include <new>
#include <utility>

namespace pw::com {

// `Self` answers `void* interfaceFor(REFIID)` with its pointer for each interface it
// implements, IUnknown included; every other identifier gets E_NOINTERFACE.
template <class Self, class... Interfaces>
class ComObject : public Interfaces... {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = static_cast<Self*>(this)->interfaceFor(riid);
    if (!*ppv) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --refs_;
    if (left == 0) delete static_cast<Self*>(this);
    return left;
  }

 protected:
  ComObject() { moduleInUse(+1); }
  virtual ~ComObject() { moduleInUse(-1); }

 private:
  std::atomic<ULONG> refs_{1};
};

template <class Self, class... Interfaces>
class DispatchObject : public ComObject<Self, Interfaces...> {
 public:
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override {
    if (!pctinfo) return E_INVALIDARG;
    *pctinfo = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override {
    if (ppTInfo) *ppTInfo = nullptr;
    return DISP_E_BADINDEX;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return DISP_E_MEMBERNOTFOUND;
  }
};

// A new object with one reference, or null when memory runs out.
template <class T, class... Args>
T* make(Args&&... args) {
  return new (std::nothrow) T(std::forward<Args>(args)...);
}

// Hands out the new object's `riid` interface and drops the creator's reference.
template <class T>
HRESULT handOut(T* object, REFIID riid, void** ppv) {
  if (!object) return E_OUTOFMEMORY;
  HRESULT hr = object->QueryInterface(riid, ppv);
  object->Release();
  return hr;
}

// One counted reference to an interface held inside a component; copied where
// collections keep their items.
template <class T>
class Ref {
 public:
  Ref() = default;
  explicit Ref(T* adopted) : p_(adopted) {}
  Ref(const Ref& other) : p_(other.p_) {
    if (p_) p_->AddRef();
  }
  Ref& operator=(Ref other) {
    std::swap(p_, other.p_);
    return *this;
  }
  ~Ref() {
    if (p_) p_->Release();
  }
  // A new reference to `p`, which the caller keeps its own reference to.
  static Ref share(T* p) {
    if (p) p->AddRef();
    return Ref(p);
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // Where a call that hands out an interface stores it.
  void** out() {
    *this = Ref();
    return reinterpret_cast<void**>(&p_);
  }
  T** outTyped() {
    *this = Ref();
    return &p_;
  }
  // Gives a new reference to a caller's out parameter.
  T* addRefed() const {
    if (p_) p_->AddRef();
    return p_;
  }

 private:
  T* p_ = nullptr;
};

}  // namespace pw::com
