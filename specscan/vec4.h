// Four doubles as one GCC/clang vector, for the loops that work on four
// values side by side. Without AVX the compiler splits each operation in
// two. The vectors are never passed to or returned from a function by value
// (loads and stores are expressions, not calls), so the code is the same
// whether or not the function around them is built for AVX.
#pragma once

#include <cstring>

namespace sonvola {

typedef double V4 __attribute__((vector_size(32)));
typedef long long M4 __attribute__((vector_size(32)));  // lanes of a comparison

}  // namespace sonvola

// Unaligned load and store of four doubles.
#define SONVOLA_LOAD4(p)                                   \
    ({                                                     \
        ::sonvola::V4 loaded_;                             \
        std::memcpy(&loaded_, (p), sizeof(::sonvola::V4)); \
        loaded_;                                           \
    })
#define SONVOLA_STORE4(p, v) std::memcpy((p), &(v), sizeof(::sonvola::V4))
