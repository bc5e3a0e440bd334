// The vector kernels 32 bytes at a time, with AVX2 (compiled with -mavx2).
#include <immintrin.h>

#include "kernels_generic.h"

namespace {

struct Avx2 {
    static constexpr int32_t kWidth = 32;
    using Vector = __m256i;
    using Lanes = __m256i;  // 0xff in the lanes that hold
    static Vector load(const char* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
    static Vector lookup(Vector table, Vector v) { return _mm256_shuffle_epi8(table, v); }
    static Vector zero() { return _mm256_setzero_si256(); }
    static Vector add(Vector a, Vector b) { return _mm256_add_epi8(a, b); }
    static Vector times4(Vector v) { return _mm256_slli_epi16(v, 2); }
    static Vector least(Vector a, Vector b) { return _mm256_min_epu8(a, b); }
    static Vector excess(Vector v, char c) { return _mm256_subs_epu8(v, _mm256_set1_epi8(c)); }
    static Vector either(Vector a, Vector b) { return _mm256_or_si256(a, b); }
    static Vector both(Vector a, Vector b) { return _mm256_and_si256(a, b); }
    static Vector differ(Vector a, Vector b) { return _mm256_xor_si256(a, b); }
    static bool any(Vector v) { return _mm256_testz_si256(v, v) == 0; }
    static Vector widened(Vector sums, Vector v) { return _mm256_add_epi64(sums, _mm256_sad_epu8(v, zero())); }
    static void store(void* p, Vector v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
    static Lanes equal(Vector v, char c) { return _mm256_cmpeq_epi8(v, _mm256_set1_epi8(c)); }
    static Lanes at_most(Vector v, char c) { return _mm256_cmpeq_epi8(_mm256_min_epu8(v, _mm256_set1_epi8(c)), v); }
    static Vector minus(Vector v, char c) { return _mm256_sub_epi8(v, _mm256_set1_epi8(c)); }
    static Vector units_of(uint16_t unit) { return _mm256_set1_epi16(static_cast<int16_t>(unit)); }
    static Vector second_bytes(Vector v) { return _mm256_srli_epi16(v, 8); }
    // Packed within each 16-byte half, then the halves' quarters put in order.
    static Vector narrowed(Vector a, Vector b) { return _mm256_permute4x64_epi64(_mm256_packus_epi16(a, b), 0xd8); }
    static uint64_t bits(Lanes lanes) { return static_cast<uint32_t>(_mm256_movemask_epi8(lanes)); }
};

}  // namespace

const Kernels avx2::kKernels = {scan_plus_blocks_over<Avx2>, find_byte_over<Avx2>, narrow_ascii_units_over<Avx2>,
                                  read_common_lines_over<Avx2>};
