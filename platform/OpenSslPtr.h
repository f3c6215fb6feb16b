// Owning pointers for OpenSSL objects: each frees its object with the matching OpenSSL
// function, so that no path leaks one.
//
//   using X509Ptr = OpenSslPtr<X509, X509_free>;
#pragma once

#include <memory>

template <auto Free> struct OpenSslFree {
    template <class T> void operator()(T* p) const noexcept { Free(p); }
};

template <class T, auto Free> using OpenSslPtr = std::unique_ptr<T, OpenSslFree<Free>>;
