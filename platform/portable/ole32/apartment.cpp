// Apartments: each thread enters one with CoInitializeEx and leaves it with as many
// CoUninitialize calls. A second entry of the same kind is counted and answers
// S_FALSE; an entry of the other kind is refused and not counted.
#include <objbase.h>

#include "ole32/apartment.h"

namespace {

struct Apartment {
  ULONG entries = 0;
  DWORD model = COINIT_APARTMENTTHREADED;
  ULONG oleEntries = 0;
};

thread_local Apartment apartment;

constexpr DWORD kKnownFlags =
    COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE | COINIT_SPEED_OVER_MEMORY;

}  // namespace

namespace pw::ole32 {

bool apartmentEntered() { return apartment.entries > 0; }

}  // namespace pw::ole32

HRESULT WINAPI CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit) {
  if (pvReserved || (dwCoInit & ~kKnownFlags)) return E_INVALIDARG;
  DWORD model = dwCoInit & COINIT_APARTMENTTHREADED;
  if (apartment.entries > 0) {
    if (apartment.model != model) return RPC_E_CHANGED_MODE;
    ++apartment.entries;
    return S_FALSE;
  }
  apartment.model = model;
  apartment.entries = 1;
  return S_OK;
}

HRESULT WINAPI CoInitialize(LPVOID pvReserved) {
  return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED);
}

void WINAPI CoUninitialize(void) {
  if (apartment.entries > 0) --apartment.entries;
}

// OLE needs a single-threaded apartment and counts its own entries on top of COM's:
// its first entry answers S_OK even inside an apartment entered before.
HRESULT WINAPI OleInitialize(LPVOID pvReserved) {
  HRESULT hr = CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED);
  if (FAILED(hr)) return hr;
  return apartment.oleEntries++ == 0 ? S_OK : S_FALSE;
}

void WINAPI OleUninitialize(void) {
  if (apartment.oleEntries == 0) return;
  --apartment.oleEntries;
  CoUninitialize();
}
