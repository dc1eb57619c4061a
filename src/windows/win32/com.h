#pragma once
// Owners of COM references and of the strings and variants COM hands out:
// each gives back what it holds once, so every AddRef has its Release.

// First: it sets how windows.h is read.
#include "platform/win32/winapi.h"

#include <oaidl.h>
#include <oleauto.h>
#include <unknwn.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace pagimor::win32 {

// One reference to a COM object.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}  // NOLINT: null converts as a raw pointer would
  ComPtr(const ComPtr& other) : ptr_(other.ptr_) {
    if (ptr_ != nullptr) ptr_->AddRef();
  }
  ComPtr(ComPtr&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(ptr_, other.ptr_);
    return *this;
  }
  ~ComPtr() { reset(); }

  // Takes over a reference the caller already holds (a new object's first
  // one, or an out-parameter's).
  [[nodiscard]] static ComPtr Adopt(T* ptr) {
    ComPtr owner;
    owner.ptr_ = ptr;
    return owner;
  }
  // Takes a reference of its own.
  [[nodiscard]] static ComPtr Share(T* ptr) {
    if (ptr != nullptr) ptr->AddRef();
    return Adopt(ptr);
  }

  void reset() {
    if (T* ptr = std::exchange(ptr_, nullptr)) ptr->Release();
  }
  // Gives the reference up to the caller, who must release it.
  [[nodiscard]] T* release() { return std::exchange(ptr_, nullptr); }

  [[nodiscard]] T* get() const { return ptr_; }
  T* operator->() const { return ptr_; }
  explicit operator bool() const { return ptr_ != nullptr; }

  // For a call that hands out a reference: drops the one held, then gives
  // the slot to fill.
  [[nodiscard]] T** put() {
    reset();
    return &ptr_;
  }
  [[nodiscard]] void** put_void() { return reinterpret_cast<void**>(put()); }

  // The object's interface U, or nothing when it has none (the reason in
  // result when asked).
  template <typename U>
  [[nodiscard]] ComPtr<U> As(HRESULT* result = nullptr) const {
    ComPtr<U> other;
    const HRESULT hr = ptr_ != nullptr ? ptr_->QueryInterface(__uuidof(U), other.put_void()) : E_POINTER;
    if (result != nullptr) *result = hr;
    if (FAILED(hr)) other.reset();
    return other;
  }

 private:
  T* ptr_ = nullptr;
};

// A BSTR, freed with its owner.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(std::u16string_view text)
      : text_(::SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()), static_cast<UINT>(text.size()))) {}
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  ~Bstr() { ::SysFreeString(text_); }

  [[nodiscard]] BSTR get() const { return text_; }
  // For a call that hands out a BSTR.
  [[nodiscard]] BSTR* put() {
    ::SysFreeString(std::exchange(text_, nullptr));
    return &text_;
  }
  // Its characters; a null BSTR is the empty text.
  [[nodiscard]] std::u16string Text() const { return Text(text_); }
  [[nodiscard]] static std::u16string Text(BSTR text) {
    if (text == nullptr) return {};
    return {reinterpret_cast<const char16_t*>(text), ::SysStringLen(text)};
  }

 private:
  BSTR text_ = nullptr;
};

// A VARIANT, cleared with its owner; it starts empty (VT_EMPTY), which is
// how an optional argument that is not given is passed.
class Variant {
 public:
  Variant() { ::VariantInit(&value_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  ~Variant() { ::VariantClear(&value_); }

  [[nodiscard]] VARIANT* get() { return &value_; }
  [[nodiscard]] const VARIANT* get() const { return &value_; }

 private:
  VARIANT value_;
};

}  // namespace pagimor::win32
