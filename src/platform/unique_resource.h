#pragma once
// One owner per handle. Traits give the null value and how to close; a Traits object may carry state
// (the seam that issued a portable handle), as a unique_ptr deleter does.
#include <cstdint>
#include <utility>

namespace spoolsweep {

template <class Traits>
class UniqueResource {
  public:
    using handle_type = typename Traits::handle_type;

    UniqueResource() noexcept = default;
    explicit UniqueResource(handle_type handle, Traits traits = Traits{}) noexcept
        : traits_(std::move(traits)), handle_(handle) {}
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& other) noexcept
        : traits_(std::move(other.traits_)), handle_(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) {
            reset(other.release());
            traits_ = std::move(other.traits_);
        }
        return *this;
    }
    ~UniqueResource() { reset(); }

    [[nodiscard]] handle_type get() const noexcept { return handle_; }
    [[nodiscard]] handle_type release() noexcept { return std::exchange(handle_, Traits::invalid()); }
    void reset(handle_type handle = Traits::invalid()) noexcept {
        handle_type old = std::exchange(handle_, handle);
        if (old != Traits::invalid()) {
            traits_.close(old);
        }
    }
    // For out-parameters: closes what is held and hands out the slot.
    [[nodiscard]] handle_type* put() noexcept {
        reset();
        return &handle_;
    }
    explicit operator bool() const noexcept { return handle_ != Traits::invalid(); }

  private:
    Traits traits_{};
    handle_type handle_ = Traits::invalid();
};

// Handles that the portable seams issue: opaque values, 0 meaning none.
using Handle = std::uintptr_t;

// Closes a portable handle through the seam that issued it.
template <class Service, void (Service::*Close)(Handle)>
struct SeamCloser {
    using handle_type = Handle;
    Service* service = nullptr;
    static constexpr Handle invalid() noexcept { return 0; }
    void close(Handle handle) const noexcept { (service->*Close)(handle); }
};

}  // namespace spoolsweep
