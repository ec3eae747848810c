// The owners of the handle kinds the host services hold, each with its empty
// value and the one call that releases it.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <unknwn.h>

#include "host/bind.h"
#include "host/gdiplus_flat.h"
#include "host/owned.h"

struct KernelHandleTraits {
  using Type = HANDLE;
  static Type Empty() { return nullptr; }
  static void Close(Type handle) { BOUND("kernel32.dll", CloseHandle)(handle); }
};
using KernelHandle = Owned<KernelHandleTraits>;

// A block from GlobalAlloc that no stream has taken over yet.
struct GlobalMemoryTraits {
  using Type = HGLOBAL;
  static Type Empty() { return nullptr; }
  static void Close(Type block) { BOUND("kernel32.dll", GlobalFree)(block); }
};
using GlobalMemory = Owned<GlobalMemoryTraits>;

// A lock taken with GlobalLock; the block itself belongs to someone else.
struct GlobalLockTraits {
  using Type = HGLOBAL;
  static Type Empty() { return nullptr; }
  static void Close(Type block) { BOUND("kernel32.dll", GlobalUnlock)(block); }
};
using GlobalLockHold = Owned<GlobalLockTraits>;

// Locks the block and owns the lock in the same step; `address` takes where
// the block lies, or null (and nothing is held) when it cannot be locked.
inline GlobalLockHold LockGlobal(HGLOBAL block, void*& address) {
  address = block ? BOUND("kernel32.dll", GlobalLock)(block) : nullptr;
  return GlobalLockHold(address ? block : nullptr);
}

struct SafeArrayTraits {
  using Type = SAFEARRAY*;
  static Type Empty() { return nullptr; }
  static void Close(Type array) { BOUND("oleaut32.dll", SafeArrayDestroy)(array); }
};
using SafeArray = Owned<SafeArrayTraits>;

template <class Interface>
struct ComTraits {
  using Type = Interface*;
  static Type Empty() { return nullptr; }
  static void Close(Type object) { object->Release(); }
};
template <class Interface>
using ComPtr = Owned<ComTraits<Interface>>;

struct GdiplusTokenTraits {
  using Type = ULONG_PTR;
  static Type Empty() { return 0; }  // GdiplusStartup leaves 0 when it fails
  static void Close(Type token) { BOUND("gdiplus.dll", GdiplusShutdown)(token); }
};
using GdiplusToken = Owned<GdiplusTokenTraits>;

struct GdiplusImageTraits {
  using Type = gdiplus::GpImage*;
  static Type Empty() { return nullptr; }
  static void Close(Type image) { BOUND("gdiplus.dll", GdipDisposeImage)(image); }
};
using GdiplusImage = Owned<GdiplusImageTraits>;
