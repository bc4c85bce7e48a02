// The members the CertEnroll collections share (IObjectIds, IX509Extensions): items by
// index from 0, a count, and adding and removing items, each item held by reference.
#pragma once

#include "components/common/com_object.h"

#include <vector>

namespace pw::certenroll {

template <class Self, class Interface, class Item>
class Collection : public com::DispatchObject<Self, Interface> {
 public:
  HRESULT STDMETHODCALLTYPE get_ItemByIndex(LONG Index, Item** pVal) override {
    if (!pVal) return E_POINTER;
    *pVal = nullptr;
    if (Index < 0 || size_t(Index) >= items_.size()) return E_INVALIDARG;
    *pVal = items_[size_t(Index)].addRefed();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Count(LONG* pVal) override {
    if (!pVal) return E_POINTER;
    *pVal = LONG(items_.size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get__NewEnum(LPUNKNOWN*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Add(Item* pVal) override {
    if (!pVal) return E_POINTER;
    items_.push_back(com::Ref<Item>::share(pVal));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Remove(LONG Index) override {
    if (Index < 0 || size_t(Index) >= items_.size()) return E_INVALIDARG;
    items_.erase(items_.begin() + Index);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clear() override {
    items_.clear();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE AddRange(Interface* pValue) override {
    if (!pValue) return E_POINTER;
    LONG count = 0;
    if (HRESULT hr = pValue->get_Count(&count); FAILED(hr)) return hr;
    for (LONG i = 0; i < count; ++i) {
      Item* item = nullptr;
      if (HRESULT hr = pValue->get_ItemByIndex(i, &item); FAILED(hr)) return hr;
      items_.push_back(com::Ref<Item>(item));
    }
    return S_OK;
  }

 protected:
  std::vector<com::Ref<Item>> items_;
};

}  // namespace pw::certenroll
