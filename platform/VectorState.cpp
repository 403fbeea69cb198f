#include "platform/VectorState.h"

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define VELOSQL_X86_VECTORS 1
#include <cpuid.h>
#endif

namespace
{

#ifdef VELOSQL_X86_VECTORS

// The instruction faults where the processor or the system lacks AVX: asked first.
bool hasAvx()
{
    static const bool avx = __builtin_cpu_supports("avx");
    return avx;
}

__attribute__((target("avx"))) void zeroUpper()
{
    __builtin_ia32_vzeroupper();
}

// XGETBV with ECX = 1 (the components in use) exists where CPUID leaf 0Dh, sub-leaf 1
// says so, beside the OS's XSAVE support that AVX already implies.
bool hasInUseBitmap()
{
    static const bool has = [] {
        unsigned a = 0, b = 0, c = 0, d = 0;
        return hasAvx() && __get_cpuid_count(0x0d, 1, &a, &b, &c, &d) && (a & (1u << 2));
    }();
    return has;
}

#endif

} // namespace

void VectorState::clearUpper()
{
#ifdef VELOSQL_X86_VECTORS
    if (hasAvx())
        zeroUpper();
#endif
}

bool VectorState::canTell()
{
#ifdef VELOSQL_X86_VECTORS
    return hasInUseBitmap();
#else
    return false;
#endif
}

bool VectorState::upperInUse()
{
#ifdef VELOSQL_X86_VECTORS
    if (!hasInUseBitmap())
        return false;
    unsigned low = 0, high = 0;
    __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(1));
    // Bit 2: the upper halves of YMM0-15.
    return low & (1u << 2);
#else
    return false;
#endif
}
