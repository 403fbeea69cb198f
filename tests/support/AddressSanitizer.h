#pragma once

// ADDRESS_SANITIZER is defined in a build with AddressSanitizer, whose tests skip what
// it cannot run (it reserves terabytes of address space and keeps freed memory in
// quarantine). g++ says so with a macro, clang with a feature test.
#if defined(__SANITIZE_ADDRESS__)
#define ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ADDRESS_SANITIZER 1
#endif
#endif
