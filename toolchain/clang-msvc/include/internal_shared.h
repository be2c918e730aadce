// The runtime's internal header that parts of the C++ library's own sources
// include: the CRT's heap helpers they use, over the shared heap.
#pragma once
#include <stdlib.h>
#include <vcruntime.h>

#ifdef __cplusplus
template <typename _Ty>
class __crt_unique_heap_ptr {
 public:
  explicit __crt_unique_heap_ptr(_Ty* const _Ptr = nullptr) noexcept : _Ptr(_Ptr) {}
  __crt_unique_heap_ptr(const __crt_unique_heap_ptr&) = delete;
  __crt_unique_heap_ptr(__crt_unique_heap_ptr&& _Other) noexcept : _Ptr(_Other.detach()) {}
  ~__crt_unique_heap_ptr() noexcept { release(); }

  __crt_unique_heap_ptr& operator=(const __crt_unique_heap_ptr&) = delete;
  __crt_unique_heap_ptr& operator=(__crt_unique_heap_ptr&& _Other) noexcept {
    release();
    _Ptr = _Other.detach();
    return *this;
  }

  _Ty* detach() noexcept {
    _Ty* const _Old = _Ptr;
    _Ptr = nullptr;
    return _Old;
  }
  void attach(_Ty* const _New) noexcept {
    release();
    _Ptr = _New;
  }
  void release() noexcept {
    free(_Ptr);
    _Ptr = nullptr;
  }
  bool is_valid() const noexcept { return _Ptr != nullptr; }
  explicit operator bool() const noexcept { return is_valid(); }
  _Ty* get() const noexcept { return _Ptr; }

 private:
  _Ty* _Ptr;
};

#define _malloc_crt malloc
#define _calloc_crt calloc
#define _free_crt free
#define _malloc_crt_t(_Ty, _Count) (__crt_unique_heap_ptr<_Ty>(static_cast<_Ty*>(malloc((_Count) * sizeof(_Ty)))))
#define _calloc_crt_t(_Ty, _Count) (__crt_unique_heap_ptr<_Ty>(static_cast<_Ty*>(calloc((_Count), sizeof(_Ty)))))
#endif
