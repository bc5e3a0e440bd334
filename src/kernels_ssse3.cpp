// The vector kernels 16 bytes at a time, with SSSE3 (compiled with -mssse3),
// the first to look bytes up by their low nibble.
#include <tmmintrin.h>

#include "kernels_generic.h"

namespace {

struct Ssse3 {
    static constexpr int32_t kWidth = 16;
    using Vector = __m128i;
    using Lanes = __m128i;  // 0xff in the lanes that hold
    static Vector load(const char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
    static Vector lookup(Vector table, Vector v) { return _mm_shuffle_epi8(table, v); }
    static Vector zero() { return _mm_setzero_si128(); }
    static Vector add(Vector a, Vector b) { return _mm_add_epi8(a, b); }
    static Vector times4(Vector v) { return _mm_slli_epi16(v, 2); }
    static Vector least(Vector a, Vector b) { return _mm_min_epu8(a, b); }
    static Vector excess(Vector v, char c) { return _mm_subs_epu8(v, _mm_set1_epi8(c)); }
    static Vector either(Vector a, Vector b) { return _mm_or_si128(a, b); }
    static Vector both(Vector a, Vector b) { return _mm_and_si128(a, b); }
    static Vector differ(Vector a, Vector b) { return _mm_xor_si128(a, b); }
    static bool any(Vector v) { return _mm_movemask_epi8(_mm_cmpeq_epi8(v, zero())) != 0xffff; }
    static Vector widened(Vector sums, Vector v) { return _mm_add_epi64(sums, _mm_sad_epu8(v, zero())); }
    static void store(void* p, Vector v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
    static Lanes equal(Vector v, char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); }
    static Lanes at_most(Vector v, char c) { return _mm_cmpeq_epi8(_mm_min_epu8(v, _mm_set1_epi8(c)), v); }
    static Vector minus(Vector v, char c) { return _mm_sub_epi8(v, _mm_set1_epi8(c)); }
    static Vector units_of(uint16_t unit) { return _mm_set1_epi16(static_cast<int16_t>(unit)); }
    static Vector second_bytes(Vector v) { return _mm_srli_epi16(v, 8); }
    static Vector narrowed(Vector a, Vector b) { return _mm_packus_epi16(a, b); }
    static uint64_t bits(Lanes lanes) { return static_cast<uint16_t>(_mm_movemask_epi8(lanes)); }
};

}  // namespace

const Kernels ssse3::kKernels = {scan_plus_blocks_over<Ssse3>, find_byte_over<Ssse3>, narrow_ascii_units_over<Ssse3>,
                                  read_common_lines_over<Ssse3>};
