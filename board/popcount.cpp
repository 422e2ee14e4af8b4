// Population count: the processor's instruction when it has one, else the
// portable parallel bit count. Chosen once, before anything counts bits.
#include "board/types.h"

namespace NEngine {

int SoftwarePopCount(BitMask x) {
    // Empty and single-bit sets are the common cases in the search.
    if (x == 0) return 0;
    if ((x & (x - 1)) == 0) return 1;
    const BitMask y = x - ((x >> 1) & 0x5555555555555555ULL);
    const BitMask z = ((y >> 2) & 0x3333333333333333ULL) + (y & 0x3333333333333333ULL);
    const BitMask w = ((z >> 4) + z) & 0x0F0F0F0F0F0F0F0FULL;
    return int((w * 0x0101010101010101ULL) >> 56);
}

#if defined(__x86_64__) || defined(__i386__)
// Compiled for the instruction even when the build targets plain x86-64; only
// ever called after the processor has reported it.
__attribute__((target("popcnt"))) int HardwarePopCount(BitMask x) { return __builtin_popcountll(x); }

void SelectPopCount() {
    __builtin_cpu_init();
    HasPopCountInstruction = __builtin_cpu_supports("popcnt");
}
#else
// Other processors: the compiler's own choice is the best available.
int HardwarePopCount(BitMask x) { return __builtin_popcountll(x); }

void SelectPopCount() { HasPopCountInstruction = true; }
#endif

// The portable routine until start-up has chosen.
bool HasPopCountInstruction = false;

}  // namespace NEngine
