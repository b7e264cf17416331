// The owning guard: one value, record or heap pointer, released on every
// path out of a scope.
#pragma once

#include <stdlib.h>

// Owns a value, a record or a heap pointer, and hands it to Release when
// the scope ends, unless release() took it first. T{} is the empty value,
// and Release must accept it.
template <typename T, void (*Release)(T *)>
class plix_owner {
  public:
    plix_owner() : v_{} {}
    explicit plix_owner(T v) : v_(v) {}
    ~plix_owner() { Release(&v_); }
    plix_owner(const plix_owner &) = delete;
    plix_owner &operator=(const plix_owner &) = delete;
    T &get() { return v_; }
    const T &get() const { return v_; }
    // For a function that fills the value in: releases what is held first,
    // so nothing leaks through a second fill.
    T *out() {
        reset();
        return &v_;
    }
    // Hands the value to the caller, who releases it, and keeps T{}.
    [[nodiscard]] T release() {
        T v = v_;
        v_ = T{};
        return v;
    }
    void reset(T v = T{}) {
        Release(&v_);
        v_ = v;
    }
    // For pointers: whether one is held.
    explicit operator bool() const { return v_ != nullptr; }

  private:
    T v_;
};

// Frees a heap pointer and nulls it.
template <typename T>
void plix_heap_free(T **p) {
    free(*p);
    *p = nullptr;
}

template <typename T>
using plix_heap = plix_owner<T *, plix_heap_free<T>>;
using plix_str = plix_heap<char>;
