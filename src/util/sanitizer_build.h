#pragma once
// STRIVEX_SANITIZER_ALLOCATOR is 1 in an AddressSanitizer or ThreadSanitizer build, from gcc or
// clang (each says so its own way): their runtime replaces malloc, keeps freed memory in
// quarantine and maps shadow memory, so heap and resident-size figures mean something else there.

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define STRIVEX_SANITIZER_ALLOCATOR 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#ifndef STRIVEX_SANITIZER_ALLOCATOR
#define STRIVEX_SANITIZER_ALLOCATOR 1
#endif
#endif
