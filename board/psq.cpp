// Positional tables. Black's rows are written out for files a-d (rank 8 at
// the top, Black's home rank) and mirrored onto files h-e; White's rows are
// Black's flipped top to bottom and negated, so that the Board's psqSum is
// White's bonuses minus Black's.
#include "board/psq.h"

#include <mutex>

namespace NEngine {

namespace {

// [type][row][file a..d], row 0 = rank 8 ... row 7 = rank 1.
constexpr int HalfFiles = 4;
constexpr PackedScore BlackHalves[8][8][HalfFiles] = {
    {},
    // Pawn
    {{S(0, 0), S(0, 0), S(0, 0), S(0, 0)},
     {S(2, -1), S(2, -2), S(2, -3), S(-8, -4)},
     {S(3, 1), S(3, 1), S(5, 2), S(10, 3)},
     {S(3, 2), S(3, 2), S(7, 3), S(12, 4)},
     {S(4, 3), S(4, 3), S(9, 4), S(12, 5)},
     {S(4, 4), S(4, 4), S(5, 4), S(10, 6)},
     {S(5, 5), S(5, 5), S(5, 6), S(5, 7)},
     {S(0, 0), S(0, 0), S(0, 0), S(0, 0)}},
    // Knight
    {{S(-48, -30), S(-36, -15), S(-24, -10), S(-18, -10)},
     {S(-24, -20), S(-10, -10), S(-9, -6), S(-9, -3)},
     {S(-18, -10), S(-9, -7), S(-6, -4), S(4, 6)},
     {S(-6, -10), S(3, 0), S(9, 8), S(18, 10)},
     {S(-6, -10), S(9, -2), S(10, 8), S(18, 12)},
     {S(-9, -10), S(12, -5), S(14, 10), S(14, 10)},
     {S(-24, -25), S(-8, -10), S(-2, -5), S(6, 0)},
     {S(-60, -50), S(-30, -30), S(-18, -10), S(-12, -10)}},
    // Bishop
    {{S(-20, -8), S(-6, -3), S(-8, -2), S(-9, -1)},
     {S(-2, -3), S(10, 4), S(5, 3), S(2, 3)},
     {S(0, -2), S(8, 3), S(10, 5), S(8, 5)},
     {S(-2, -1), S(6, 3), S(9, 5), S(12, 6)},
     {S(-4, -1), S(7, 3), S(10, 5), S(12, 6)},
     {S(0, -2), S(8, 3), S(7, 5), S(5, 5)},
     {S(-2, -3), S(5, 4), S(3, 3), S(0, 3)},
     {S(-23, -8), S(-8, -3), S(-8, -2), S(-8, -1)}},
    // Rook
    {{S(-7, -3), S(-7, 2), S(-5, 4), S(-3, 4)},
     {S(-5, 1), S(-2, 2), S(1, 5), S(2, 5)},
     {S(2, 2), S(2, 3), S(2, 5), S(4, 6)},
     {S(2, 2), S(2, 3), S(3, 6), S(5, 6)},
     {S(2, 2), S(2, 3), S(4, 6), S(7, 6)},
     {S(2, 2), S(2, 2), S(6, 5), S(8, 6)},
     {S(4, 1), S(6, 2), S(10, 5), S(12, 5)},
     {S(2, -3), S(2, 2), S(5, 4), S(7, 4)}},
    // Queen
    {{S(-4, -15), S(-2, -8), S(-1, -5), S(0, -4)},
     {S(-3, -8), S(1, -5), S(1, -1), S(0, 1)},
     {S(-2, -6), S(2, -2), S(3, 3), S(4, 4)},
     {S(-2, -4), S(2, -1), S(4, 5), S(5, 8)},
     {S(-2, -4), S(2, 1), S(4, 6), S(5, 8)},
     {S(-1, -6), S(2, 0), S(3, 5), S(4, 6)},
     {S(2, -5), S(3, -2), S(4, 1), S(4, 3)},
     {S(0, -12), S(1, -6), S(1, -2), S(3, -2)}},
    // King
    {{S(27, -40), S(33, -25), S(20, -15), S(-12, -10)},
     {S(25, -20), S(28, -10), S(5, 2), S(-14, 5)},
     {S(-10, -15), S(-12, 2), S(-15, 10), S(-20, 15)},
     {S(-20, -15), S(-23, 2), S(-27, 15), S(-29, 20)},
     {S(-28, -15), S(-30, 2), S(-32, 15), S(-34, 20)},
     {S(-37, -15), S(-39, 2), S(-41, 10), S(-43, 15)},
     {S(-46, -25), S(-47, -13), S(-48, 2), S(-50, 4)},
     {S(-60, -37), S(-60, -18), S(-60, -13), S(-60, -9)}},
    {},
};

// Black's constant rows, expanded to all eight files.
constexpr auto MakeBlackRows() {
    struct Rows {
        PackedScore v[8][64];
    } rows{};
    for (int t = 0; t < 8; ++t)
        for (int sq = 0; sq < 64; ++sq) {
            const int file = sq & 7, row = 7 - (sq >> 3);
            rows.v[t][sq] = BlackHalves[t][row][file < HalfFiles ? file : 7 - file];
        }
    // The one asymmetric entry: a Black pawn on f3 is worth 5/5, not c3's 5/4.
    rows.v[Pawn][MakeSquare(5, 2)] = S(5, 5);
    return rows;
}

constexpr auto BlackRows = MakeBlackRows();

}  // namespace

alignas(16) PackedScore PsqTable[2][8][64];

void InitPsqTables() {
    // Guarded so that a late second call cannot race with readers.
    static std::once_flag once;
    std::call_once(once, [] {
        for (int t = 0; t < 8; ++t)
            for (int sq = 0; sq < 64; ++sq) {
                PsqTable[Black][t][sq] = BlackRows.v[t][sq];
                // Unsigned arithmetic: negating the packed word negates both halves.
                PsqTable[White][t][sq] = PackedScore(0u - uint32_t(BlackRows.v[t][sq ^ 56]));
            }
    });
}

}  // namespace NEngine
