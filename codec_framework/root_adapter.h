// _RootAdapter: the reference count behind every Tessel object, and
// NewObject, the one way objects are made.
//
// An object is born with count 0 and takes one AddRef before it is handed
// out, so the receiver holds exactly one reference. Release destroys it
// through the virtual destructor when the count reaches 0; since that code
// lives in the library that made the object, its memory goes back to the
// allocator that gave it. Counts are atomic: references may be taken and
// dropped on any thread, though one encoder or decoder is used by one thread
// at a time.
//
// The adapter declares the virtual destructor right after the interface's
// last slot (the library-holder line has no _WavHeaderAdapter below it to
// declare one).
#pragma once

#include <atomic>
#include <cstdint>
#include <new>
#include <utility>

namespace Tessel {

template <class Base>
class _RootAdapter : public Base {
public:
    int32_t AddRef() override { return refCount_.fetch_add(1, std::memory_order_relaxed) + 1; }

    int32_t Release() override {
        const int32_t left = refCount_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) delete this;
        return left;
    }

    int32_t GetRefCount() override { return refCount_.load(std::memory_order_relaxed); }

    virtual ~_RootAdapter() = default;

private:
    std::atomic<int32_t> refCount_{0};
};

// Makes an object with one reference taken for the receiver; null when it
// cannot be made. Nothing thrown here leaves the library.
template <class T, class... Args>
T* NewObject(Args&&... args) noexcept {
    T* object = nullptr;
    try {
        object = new (std::nothrow) T(std::forward<Args>(args)...);
    } catch (...) {
        return nullptr;
    }
    if (object) object->AddRef();
    return object;
}

}  // namespace Tessel
