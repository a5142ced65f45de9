#ifndef KXISA_H
#define KXISA_H

// The one switch for instruction sets: which vector level the library's
// fast paths may use. Private to the library.
//
// The level in use is the best the processor has, unless the environment
// variable KXCORE_ISA (plain, sse2, avx2, avx512) asks for a lower one; a
// level the processor lacks falls back to the best it has. Every chooser of
// a vector form asks Current() when it chooses, so a test that sets the
// level with SetForTesting() sees its choice at once.
//
// What a level promises (the union of what the kernels built for it need;
// a kernel that needs more raises its level's definition here):
//   Sse2   - SSE2 (every x86-64 processor);
//   Avx2   - AVX2 and FMA;
//   Avx512 - AVX-512 F, BW, VL, DQ and VBMI, besides Avx2.
// Kernels built with __attribute__((target(...))) name at most these
// features.

#include <atomic>

// The one spelling of "built for an x86 processor" (vector kernels and their
// choosers exist only there).
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define KX_ISA_X86 1
#endif

namespace KXIsa {

enum class Level { Plain = 0, Sse2 = 1, Avx2 = 2, Avx512 = 3 };

constexpr Level kLevels[] = {Level::Plain, Level::Sse2, Level::Avx2, Level::Avx512};

// The best level this processor (and this build) supports. Probed once.
Level Probed();

// The environment's choice (made and logged once): KXCORE_ISA's level, at
// most Probed(); Probed() without the variable.
Level Chosen();

// The level the fast paths use now: the test hook's, else Chosen().
Level Current();

// True when the level in use is at least `level`.
inline bool Allows(Level level)
{
    return int(Current()) >= int(level);
}

// The lower-case name used by KXCORE_ISA ("plain", "sse2", "avx2",
// "avx512").
const char* Name(Level level);

// The level a KXCORE_ISA value asks for on a processor whose best is
// `probed`: null or empty gives `probed`; a level above `probed` gives
// `probed`, and an unknown value gives `probed`, each with one log line.
Level FromSetting(const char* value, Level probed);

// Test hook: the fast paths use `level` (at most Chosen(), so that a run
// under KXCORE_ISA=avx2 behaves as a processor without AVX-512) from now on.
// Choosers read it at call time; set it while no pixel work runs on other
// threads. ClearForTesting() returns to the environment's choice.
void SetForTesting(Level level);
void ClearForTesting();

} // namespace KXIsa

#endif // KXISA_H
