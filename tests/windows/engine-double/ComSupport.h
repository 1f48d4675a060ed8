// COM plumbing for objects written against the C-style declarations of EngineAbi.h: reference-counted
// object base, method thunks that fill a vtable by name, and an owning interface reference.
#pragma once

#include "EngineAbi.h"

#include <atomic>
#include <new>
#include <utility>

namespace velmora::enginedouble {

// AddRef and Release for both kinds of interface pointer this code meets: the C-style structs of
// EngineAbi.h (lpVtbl) and the C++ classes of the Windows headers (IStream, IUnknown).
template <class T>
void AddRefInterface(T* object)
{
  if (object == nullptr)
    return;
  if constexpr (requires { object->lpVtbl; })
    object->lpVtbl->AddRef(object);
  else
    object->AddRef();
}

template <class T>
ULONG ReleaseInterface(T* object)
{
  if (object == nullptr)
    return 0;
  if constexpr (requires { object->lpVtbl; })
    return object->lpVtbl->Release(object);
  else
    return object->Release();
}

// An owning interface pointer: holds one reference and releases it when it goes.
template <class T>
class TComRef {
public:
  TComRef() = default;
  TComRef(const TComRef& other) : FObject(other.FObject) { AddRefInterface(FObject); }
  TComRef(TComRef&& other) noexcept : FObject(std::exchange(other.FObject, nullptr)) {}
  ~TComRef() { ReleaseInterface(FObject); }
  TComRef& operator=(TComRef other) noexcept
  {
    std::swap(FObject, other.FObject);
    return *this;
  }

  // Takes a new reference of its own on object.
  static TComRef Retain(T* object)
  {
    AddRefInterface(object);
    return Adopt(object);
  }
  // Takes over a reference the caller already holds.
  static TComRef Adopt(T* object)
  {
    TComRef ref;
    ref.FObject = object;
    return ref;
  }

  T* Get() const { return FObject; }
  T* operator->() const { return FObject; }
  explicit operator bool() const { return FObject != nullptr; }
  // Hands the reference to the caller, for an out parameter.
  T* Detach() { return std::exchange(FObject, nullptr); }
  // Releases what it holds and gives the slot for an out parameter to fill.
  T** Put()
  {
    ReleaseInterface(std::exchange(FObject, nullptr));
    return &FObject;
  }

private:
  T* FObject = nullptr;
};

// Reference-counted object implementing one interface. Derived declares
//   static const Interface::TVtbl kVtbl;
// and fills it with TUnknownThunks<Derived> and Thunk<&Derived::Method> entries. There is no virtual
// function anywhere, so the interface struct (and with it the vtable pointer) sits at offset 0.
template <class Derived, class Interface>
class TComObject : public Interface {
public:
  using TInterface = Interface;

  TComObject(const TComObject&) = delete;
  TComObject& operator=(const TComObject&) = delete;

  Interface* AsInterface() { return this; }

  HRESULT QueryInterface(REFIID iid, void** object)
  {
    if (object == nullptr)
      return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, TInterfaceInfo<Interface>::kIid)) {
      AddRef();
      *object = AsInterface();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() { return ++FReferences; }
  ULONG Release()
  {
    const ULONG remaining = --FReferences;
    if (remaining == 0)
      delete static_cast<Derived*>(this);
    return remaining;
  }
  // The current count, for reports; it may change at once on another thread.
  ULONG References() const { return FReferences.load(); }

protected:
  TComObject() : Interface{&Derived::kVtbl} {}
  ~TComObject() = default;

private:
  std::atomic<ULONG> FReferences{1};
};

// Creates an object that starts with the one reference the caller owns.
template <class T, class... Args>
TComRef<T> MakeObject(Args&&... args)
{
  return TComRef<T>::Adopt(new T(std::forward<Args>(args)...));
}

// Vtable entries for the three IUnknown methods of Object.
template <class Object>
struct TUnknownThunks {
  using TInterface = typename Object::TInterface;
  static HRESULT STDMETHODCALLTYPE QueryInterface(TInterface* self, REFIID iid, void** object)
  {
    return static_cast<Object*>(self)->QueryInterface(iid, object);
  }
  static ULONG STDMETHODCALLTYPE AddRef(TInterface* self) { return static_cast<Object*>(self)->AddRef(); }
  static ULONG STDMETHODCALLTYPE Release(TInterface* self) { return static_cast<Object*>(self)->Release(); }
};

// What a thunk does before the call: Object::CheckCall() may refuse it with an HRESULT (the engine
// objects refuse calls from a thread other than the UI thread). Objects without it accept every call.
template <class Object>
HRESULT CheckCall()
{
  if constexpr (requires { Object::CheckCall(); })
    return Object::CheckCall();
  else
    return S_OK;
}

// Turns a member function into a vtable entry. No exception leaves through the interface.
template <auto Method>
struct TMethodThunk;

template <class Object, class... Args, HRESULT (Object::*Method)(Args...)>
struct TMethodThunk<Method> {
  static HRESULT STDMETHODCALLTYPE Call(typename Object::TInterface* self, Args... args)
  {
    try {
      if (const HRESULT refused = CheckCall<Object>(); FAILED(refused))
        return refused;
      return (static_cast<Object*>(self)->*Method)(args...);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    } catch (...) {
      return E_UNEXPECTED;
    }
  }
};

template <auto Method>
inline constexpr auto Thunk = &TMethodThunk<Method>::Call;

// The vtable entry of a method the object does not offer; the parameter types come from the field.
template <class Self, class... Args>
HRESULT STDMETHODCALLTYPE NotImplemented(Self*, Args...)
{
  return E_NOTIMPL;
}

} // namespace velmora::enginedouble
