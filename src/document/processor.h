#pragma once

// What the processor is and has, for the fast ways of --dump's lines, which
// are chosen when the program starts.

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>

// Whether the processor is AMD's, by the maker's name in cpuid leaf 0.
inline bool IsAmdProcessor()
{
    unsigned eax, ebx, ecx, edx;
    if (!__get_cpuid(0, &eax, &ebx, &ecx, &edx))
        return false;
    // "AuthenticAMD" in EBX, EDX, ECX.
    return ebx == 0x68747541u && edx == 0x69746e65u && ecx == 0x444d4163u;
}

// Whether it has what the AVX-512 lines take: AVX-512 F, BW, VL, VBMI and
// VBMI2 (the byte permutes and compresses), BMI1, BMI2 and POPCNT.
inline bool HasLinesAvx512()
{
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw")
           && __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi")
           && __builtin_cpu_supports("avx512vbmi2") && __builtin_cpu_supports("bmi")
           && __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt");
}
#endif
