// Finds and checks the slider magic numbers stored in board/magics.cpp.
//
//   tarnock-magics            check every stored magic, exit 1 on a bad one
//   tarnock-magics --search   search new magics for every square except the
//                             eight fixed ones, print them as C++ rows
//
// The search is a plain sparse random search (AND of three random words) with
// a fixed seed, square by square, rooks first; with the seed below it prints
// exactly the rows stored in board/magics.cpp.
#include <cstdio>
#include <cstring>
#include <vector>

#include "board/attacks.h"

using namespace NEngine;

namespace {

// Magics given from outside and never replaced: a1, b1, d4, h8 for each slider.
constexpr int FixedSquares[] = {0, 1, 27, 63};

bool IsFixed(int sq) {
    for (int s : FixedSquares)
        if (s == sq) return true;
    return false;
}

uint64_t rngState = 0x2545F4914F6CDD1DULL;

uint64_t NextRandom() {
    // xorshift64*: small, deterministic, good enough for sparse candidates.
    rngState ^= rngState >> 12;
    rngState ^= rngState << 25;
    rngState ^= rngState >> 27;
    return rngState * 0x2545F4914F6CDD1DULL;
}

struct SquareData {
    std::vector<BitMask> subsets;
    std::vector<BitMask> attacks;
    BitMask mask = 0;
};

SquareData Collect(PieceType slider, int sq) {
    SquareData d;
    d.mask = SliderRelevanceMask(slider, sq);
    BitMask sub = 0;
    do {
        d.subsets.push_back(sub);
        d.attacks.push_back(SliderAttacksSlow(slider, sq, sub));
        sub = (sub - d.mask) & d.mask;
    } while (sub != 0);
    return d;
}

// Collision-free up to equal attack sets. Stamps avoid clearing the block.
bool Works(const SquareData& d, BitMask magic, int shift) {
    static std::vector<uint32_t> stamp(4096, 0);
    static std::vector<BitMask> seen(4096, 0);
    static uint32_t epoch = 0;
    ++epoch;
    for (size_t i = 0; i < d.subsets.size(); ++i) {
        const size_t idx = (d.subsets[i] * magic) >> shift;
        if (stamp[idx] == epoch) {
            if (seen[idx] != d.attacks[i]) return false;
        } else {
            stamp[idx] = epoch;
            seen[idx] = d.attacks[i];
        }
    }
    return true;
}

BitMask Search(const SquareData& d, int shift) {
    for (;;) {
        const BitMask magic = NextRandom() & NextRandom() & NextRandom();
        // Cheap filter: the mask must spread into the top index bits.
        if (__builtin_popcountll((d.mask * magic) & 0xFF00000000000000ULL) < 6) continue;
        if (Works(d, magic, shift)) return magic;
    }
}

void PrintRows(const char* name, const BitMask* magics) {
    std::printf("const BitMask %s[64] = {\n", name);
    for (int s = 0; s < 64; s += 4)
        std::printf("    0x%016llX, 0x%016llX, 0x%016llX, 0x%016llX,\n", (unsigned long long)magics[s],
                    (unsigned long long)magics[s + 1], (unsigned long long)magics[s + 2],
                    (unsigned long long)magics[s + 3]);
    std::printf("};\n");
}

}  // namespace

int main(int argc, char** argv) {
    const bool search = argc > 1 && std::strcmp(argv[1], "--search") == 0;
    struct Kind {
        PieceType slider;
        const char* name;
        const BitMask* stored;
        int shift;
    } kinds[2] = {{Rook, "StoredRookMagics", StoredRookMagics, RookShift},
                  {Bishop, "StoredBishopMagics", StoredBishopMagics, BishopShift}};

    int bad = 0;
    for (const Kind& k : kinds) {
        BitMask found[64];
        for (int s = 0; s < 64; ++s) {
            const SquareData d = Collect(k.slider, s);
            if (search && !IsFixed(s)) {
                found[s] = Search(d, k.shift);
            } else {
                found[s] = k.stored[s];
                if (!Works(d, found[s], k.shift)) {
                    std::fprintf(stderr, "%s: square %d fails\n", k.name, s);
                    ++bad;
                }
            }
        }
        if (search) PrintRows(k.name, found);
    }
    if (!search) std::printf("%d bad magics\n", bad);
    return bad ? 1 : 0;
}
