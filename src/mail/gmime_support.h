#pragma once
// Small helpers around GMime's C interface: library start-up once per
// process, and ownership of its reference-counted objects.

#include <gmime/gmime.h>

#include <utility>

namespace sorimba::mail {

// Starts GMime once per process; safe from any thread.
void ensureGMime();

// Owns one reference of a GObject (GMime streams, parsers, messages).
template <typename T>
class GRef {
public:
    GRef() = default;
    explicit GRef(T* object) : object_(object) {}
    ~GRef() { reset(); }
    GRef(const GRef&) = delete;
    GRef& operator=(const GRef&) = delete;
    GRef(GRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    GRef& operator=(GRef&& other) noexcept {
        if (this != &other) {
            reset();
            object_ = std::exchange(other.object_, nullptr);
        }
        return *this;
    }
    void reset() {
        if (object_) g_object_unref(object_);
        object_ = nullptr;
    }
    T* get() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }

private:
    T* object_ = nullptr;
};

}  // namespace sorimba::mail
