// Ref<T>: one owned reference to a Tessel object, given back with Release
// when the Ref goes. It adopts the reference a creator hands out (count 1
// from CreateCodecFactory, CreateEncoder, CreateDecoder) and never takes an
// extra one. reset() gives it back early, which is how a host releases
// objects in the order it must (factories before the libraries that made
// them are unloaded).
#pragma once

#include <utility>

namespace Tessel {

template <class T>
class Ref {
public:
    Ref() = default;
    explicit Ref(T* adopted) : ptr_(adopted) {}
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    Ref(Ref&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
    Ref& operator=(Ref&& other) noexcept {
        if (this != &other) reset(std::exchange(other.ptr_, nullptr));
        return *this;
    }
    ~Ref() { reset(); }

    void reset(T* adopted = nullptr) {
        if (ptr_) ptr_->Release();
        ptr_ = adopted;
    }
    T* get() const { return ptr_; }
    T* operator->() const { return ptr_; }
    explicit operator bool() const { return ptr_ != nullptr; }

private:
    T* ptr_ = nullptr;
};

}  // namespace Tessel
