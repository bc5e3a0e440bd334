// The vector kernels 64 bytes at a time, with AVX-512 BW (compiled with
// -mavx512f -mavx512bw): its comparisons give bit masks at once. The removal
// list's window is narrower than its vectors, and is AVX2's.
#include <immintrin.h>

#include "kernels_generic.h"

namespace {

struct Avx512 {
    static constexpr int32_t kWidth = 64;
    using Vector = __m512i;
    using Lanes = __mmask64;
    static Vector load(const char* p) { return _mm512_loadu_si512(p); }
    static Vector lookup(Vector table, Vector v) { return _mm512_shuffle_epi8(table, v); }
    static Vector zero() { return _mm512_setzero_si512(); }
    static Vector add(Vector a, Vector b) { return _mm512_add_epi8(a, b); }
    static Vector times4(Vector v) { return _mm512_slli_epi16(v, 2); }
    static Vector least(Vector a, Vector b) { return _mm512_min_epu8(a, b); }
    static Vector excess(Vector v, char c) { return _mm512_subs_epu8(v, _mm512_set1_epi8(c)); }
    static Vector either(Vector a, Vector b) { return _mm512_or_si512(a, b); }
    static Vector both(Vector a, Vector b) { return _mm512_and_si512(a, b); }
    static Vector differ(Vector a, Vector b) { return _mm512_xor_si512(a, b); }
    static bool any(Vector v) { return _mm512_test_epi8_mask(v, v) != 0; }
    static Vector widened(Vector sums, Vector v) { return _mm512_add_epi64(sums, _mm512_sad_epu8(v, zero())); }
    static void store(void* p, Vector v) { _mm512_storeu_si512(p, v); }
    static Lanes equal(Vector v, char c) { return _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(c)); }
    static Lanes at_most(Vector v, char c) { return _mm512_cmple_epu8_mask(v, _mm512_set1_epi8(c)); }
    static Vector minus(Vector v, char c) { return _mm512_sub_epi8(v, _mm512_set1_epi8(c)); }
    static Vector units_of(uint16_t unit) { return _mm512_set1_epi16(static_cast<int16_t>(unit)); }
    static Vector second_bytes(Vector v) { return _mm512_srli_epi16(v, 8); }
    // Packed within each 16-byte quarter, then the quarters' halves put in
    // order. (The unmasked permutation trips a false "uninitialized" warning
    // in GCC 12's header.)
    static Vector narrowed(Vector a, Vector b) {
        const Vector halvesInOrder = _mm512_set_epi64(7, 5, 3, 1, 6, 4, 2, 0);
        return _mm512_maskz_permutexvar_epi64(0xff, halvesInOrder, _mm512_packus_epi16(a, b));
    }
    static uint64_t bits(Lanes lanes) { return lanes; }
};

}  // namespace

const Kernels avx512::kKernels = {scan_plus_blocks_over<Avx512>, find_byte_over<Avx512>,
                                  narrow_ascii_units_over<Avx512>, nullptr};
