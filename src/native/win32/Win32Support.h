// Helpers shared by the Win32 parts of the native layer: UTF-16 text at the API edge, an owning COM
// pointer, a base for the COM objects we implement, and the guard every call from Windows into our
// code runs under (window procedures, COM callbacks), since no exception may unwind through them.
#pragma once

#include "TextCodec.h"

#include <windows.h>

#include <objbase.h>
#include <unknwn.h>

#include <atomic>
#include <cstdio>
#include <exception>
#include <string>
#include <utility>

namespace velmora {

// Runs Fn and swallows whatever it throws, reporting it on standard error.
template <class F>
void Win32Guarded(const char* Where, F&& Fn) noexcept
{
  try {
    Fn();
  } catch (const std::exception& E) {
    std::fprintf(stderr, "velmora: an exception left %s: %s\n", Where, E.what());
  } catch (...) {
    std::fprintf(stderr, "velmora: an exception left %s\n", Where);
  }
}

// A COM interface pointer that releases what it holds.
template <class T>
class TComPtr {
public:
  TComPtr() = default;
  TComPtr(std::nullptr_t) {}
  // Takes over a reference the caller already holds.
  static TComPtr Attach(T* Pointer)
  {
    TComPtr result;
    result.FPointer = Pointer;
    return result;
  }
  // Adds a reference of its own.
  static TComPtr Share(T* Pointer)
  {
    if (Pointer != nullptr)
      Pointer->AddRef();
    return Attach(Pointer);
  }
  TComPtr(const TComPtr& Other) : FPointer(Other.FPointer)
  {
    if (FPointer != nullptr)
      FPointer->AddRef();
  }
  TComPtr(TComPtr&& Other) noexcept : FPointer(std::exchange(Other.FPointer, nullptr)) {}
  TComPtr& operator=(TComPtr Other) noexcept
  {
    std::swap(FPointer, Other.FPointer);
    return *this;
  }
  ~TComPtr() { Reset(); }

  void Reset()
  {
    if (FPointer != nullptr)
      std::exchange(FPointer, nullptr)->Release();
  }
  T* Get() const { return FPointer; }
  T* operator->() const { return FPointer; }
  explicit operator bool() const { return FPointer != nullptr; }
  // For out parameters: releases what is held and hands out the slot.
  T** Put()
  {
    Reset();
    return &FPointer;
  }

private:
  T* FPointer = nullptr;
};

// A heap-allocated COM object implementing Interface (which derives directly from IUnknown and has
// a static kIid), with a thread-safe reference count. Derived classes implement the methods.
template <class Interface>
class TComObject : public Interface {
public:
  TComObject() = default;
  TComObject(const TComObject&) = delete;
  TComObject& operator=(const TComObject&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Iid, void** Object) override
  {
    if (Object == nullptr)
      return E_POINTER;
    if (IsEqualIID(Iid, IID_IUnknown) || IsEqualIID(Iid, Interface::kIid)) {
      *Object = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *Object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++FReferences; }
  ULONG STDMETHODCALLTYPE Release() override
  {
    const ULONG left = --FReferences;
    if (left == 0)
      delete this;
    return left;
  }

protected:
  virtual ~TComObject() = default;

private:
  std::atomic<ULONG> FReferences{1};
};

// A string the engine allocated with CoTaskMemAlloc, as UTF-8, freed here; "" for nullptr.
std::string TakeCoTaskString(LPWSTR Text);

// The module handle of this executable.
HINSTANCE ModuleInstance();

// The font message boxes and dialogs use (the system's message font), created once.
HFONT DialogFont();

// The number of pixels that stand for Pixels at 96 dots per inch on Window's monitor.
int ScaleForWindow(HWND Window, int Pixels);

// The header of a 32-bit top-down device-independent bitmap of Width x Height pixels.
BITMAPINFO TopDownBitmapInfo(int Width, int Height);

} // namespace velmora
