// Attack tables and population counts against slow references built
// independently.
#include <gtest/gtest.h>

#include <random>

#include "board/attacks.h"

using namespace NEngine;

namespace {

// Rays walked on square numbers; the file distance of each single step tells
// when the walk wrapped around the board edge.
BitMask WalkRays(int sq, BitMask occ, std::initializer_list<int> deltas) {
    BitMask result = 0;
    for (int delta : deltas)
        for (int from = sq, to = sq + delta; to >= 0 && to < 64 && std::abs(FileOf(to) - FileOf(from)) <= 1;
             from = to, to += delta) {
            result |= Bit(to);
            if (occ & Bit(to)) break;
        }
    return result;
}
BitMask SlowRook(int sq, BitMask occ) { return WalkRays(sq, occ, {1, -1, 8, -8}); }
BitMask SlowBishop(int sq, BitMask occ) { return WalkRays(sq, occ, {7, 9, -7, -9}); }

}  // namespace

TEST(PopCountTest, SoftwareAndHardwareAgreeOnTrickyWords) {
    std::vector<BitMask> words = {0, ~BitMask(0), 0x5555555555555555ULL, 0x8000000000000001ULL, 0x7FFFFFFFFFFFFFFFULL};
    for (int i = 0; i < 64; ++i) words.insert(words.end(), {Bit(i), ~Bit(i), Bit(i) - 1});
    std::mt19937_64 rng(12345);
    for (int i = 0; i < 2000; ++i) words.push_back(rng() & (i % 3 ? rng() : ~BitMask(0)));
    InitEngineTables();
    // Start-up chose by the processor's report.
    EXPECT_EQ(HasPopCountInstruction, bool(__builtin_cpu_supports("popcnt")));
    for (BitMask w : words) {
        const int expected = __builtin_popcountll(w);
        EXPECT_EQ(SoftwarePopCount(w), expected) << std::hex << w;
        EXPECT_EQ(PopCount(w), expected) << std::hex << w;
        if (__builtin_cpu_supports("popcnt")) { EXPECT_EQ(HardwarePopCount(w), expected) << std::hex << w; }
    }
    // The inline count on the portable path, as on a processor without the
    // instruction.
    const bool chosen = HasPopCountInstruction;
    HasPopCountInstruction = false;
    for (BitMask w : words) EXPECT_EQ(PopCount(w), __builtin_popcountll(w)) << std::hex << w;
    HasPopCountInstruction = chosen;
}

// The line tables (pins, blocks, x-rays) are judged by the perft suite and
// the exchange test; here the sliders' magics against a plain ray walk.
TEST(TablesTest, MagicsGiveRayWalkAttacks) {
    InitEngineTables();
    const LineTables* lines = Lines;
    InitEngineTables();  // a second start-up keeps the same tables
    EXPECT_EQ(Lines, lines);
    // Every subset of every relevance mask: a harmful index collision would
    // show up here as a mismatch.
    for (int s = 0; s < 64; ++s)
        for (int slider = 0; slider < 2; ++slider) {
            const BitMask mask = (slider ? BishopMagics : RookMagics)[s].mask;
            BitMask sub = 0;
            do {
                const BitMask expected = slider ? SlowBishop(s, sub) : SlowRook(s, sub);
                ASSERT_EQ(slider ? BishopAttacks(s, sub) : RookAttacks(s, sub), expected) << s << " " << sub;
                sub = (sub - mask) & mask;
            } while (sub != 0);
        }
    // Full boards: bits outside the masks must not matter.
    std::mt19937_64 rng(2024);
    for (int s = 0; s < 64; ++s)
        for (int i = 0; i < 200; ++i) {
            const BitMask occ = i % 2 ? rng() : rng() & rng();
            ASSERT_EQ(QueenAttacks(s, occ), SlowRook(s, occ) | SlowBishop(s, occ)) << s;
        }
}

// The spans the search's passed-pawn test reads: the squares ahead on the
// pawn's own file, and those on it and the neighbouring files.
TEST(TablesTest, PawnSpans) {
    InitEngineTables();
    for (Colour c : {Black, White})
        for (int s = 8; s < 56; ++s) {
            const int step = c == White ? 1 : -1;
            BitMask front = 0, passed = 0;
            for (int r = RankOf(s) + step; r >= 0 && r < 8; r += step)
                for (int f = std::max(FileOf(s) - 1, 0); f <= std::min(FileOf(s) + 1, 7); ++f) {
                    passed |= Bit(MakeSquare(f, r));
                    if (f == FileOf(s)) front |= Bit(MakeSquare(f, r));
                }
            ASSERT_EQ(PawnMasks->frontSpan[c][s], front) << c << " " << s;
            ASSERT_EQ(PawnMasks->passedSpan[c][s], passed) << c << " " << s;
        }
}
