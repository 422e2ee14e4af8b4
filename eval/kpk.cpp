// The king-and-pawn bitbase, solved by retrograde analysis before main runs.
// It cannot lean on the attack tables (they are built later, in main), so it
// carries the little geometry it needs. One 64-bit word holds every pawn
// square for a pair of king squares and a side to move, which lets a pass
// over the table treat all pawn placements at once.
#include "eval/kpk.h"

namespace NEngine {

KpkTable KpkBitbase;

namespace {

constexpr BitMask Rank2 = 0x000000000000FF00ull;
constexpr BitMask Rank7 = 0x00FF000000000000ull;
constexpr BitMask PawnRanks = 0x00FFFFFFFFFFFF00ull;  // ranks 2 to 7
constexpr BitMask PushRanks = 0x0000FFFFFFFFFF00ull;  // ranks 2 to 6: a push stays short of rank 8

int KingDistance(int a, int b) {
    const int df = FileOf(a) > FileOf(b) ? FileOf(a) - FileOf(b) : FileOf(b) - FileOf(a);
    const int dr = RankOf(a) > RankOf(b) ? RankOf(a) - RankOf(b) : RankOf(b) - RankOf(a);
    return df > dr ? df : dr;
}

BitMask KingRing(int sq) {
    BitMask ring = 0;
    for (int df = -1; df <= 1; ++df)
        for (int dr = -1; dr <= 1; ++dr) {
            const int f = FileOf(sq) + df, r = RankOf(sq) + dr;
            if ((df || dr) && f >= 0 && f < 8 && r >= 0 && r < 8) ring |= Bit(MakeSquare(f, r));
        }
    return ring;
}

// The squares from which a White pawn attacks sq.
BitMask PawnAttackersOf(int sq) {
    BitMask from = 0;
    if (RankOf(sq) >= 1) {
        if (FileOf(sq) > 0) from |= Bit(sq - 9);
        if (FileOf(sq) < 7) from |= Bit(sq - 7);
    }
    return from;
}

// Queen or rook attacks from sq, rays stopping at (and including) the first
// occupied square.
BitMask SliderAttacks(int sq, BitMask occupied, bool diagonals) {
    static constexpr int Steps[8][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}, {1, 1}, {1, -1}, {-1, 1}, {-1, -1}};
    BitMask attacks = 0;
    for (int d = 0; d < (diagonals ? 8 : 4); ++d) {
        int f = FileOf(sq) + Steps[d][0];
        int r = RankOf(sq) + Steps[d][1];
        for (; f >= 0 && f < 8 && r >= 0 && r < 8; f += Steps[d][0], r += Steps[d][1]) {
            attacks |= Bit(MakeSquare(f, r));
            if (occupied & Bit(MakeSquare(f, r))) break;
        }
    }
    return attacks;
}

// The pawn squares that make a legal position with these kings and side to
// move (the side not to move must not be in check: only the pawn can give it).
BitMask LegalPawns(int whiteKing, int blackKing, bool whiteToMove) {
    if (KingDistance(whiteKing, blackKing) < 2) return 0;
    BitMask pawns = PawnRanks & ~Bit(whiteKing) & ~Bit(blackKing);
    if (whiteToMove) pawns &= ~PawnAttackersOf(blackKing);
    return pawns;
}

// Whether a new queen (or rook) on q, Black to move, wins: Black neither
// takes it nor is stalemated. King and queen, and king and rook, win every
// other such position.
bool PromotionWins(int whiteKing, int blackKing, int q, bool queen) {
    if (KingDistance(blackKing, q) == 1 && KingDistance(whiteKing, q) > 1) return false;
    const BitMask guarded = SliderAttacks(q, Bit(whiteKing), queen) | KingRing(whiteKing);
    const BitMask escapes = KingRing(blackKing) & ~guarded & ~Bit(q);
    if (escapes) return true;
    const bool check = SliderAttacks(q, Bit(whiteKing) | Bit(blackKing), queen) & Bit(blackKing);
    return check;  // mate wins, stalemate does not
}

}  // namespace

int BuildKpkBitbase(KpkTable& table) {
    BitMask ring[64], near[64], attackers[64];
    for (int sq = 0; sq < 64; ++sq) {
        ring[sq] = KingRing(sq);
        near[sq] = ring[sq] | Bit(sq);
        attackers[sq] = PawnAttackersOf(sq);
    }

    // Pawns on rank 7 that promote, White to move, into a won ending. Rook
    // promotions count too: a queen can stalemate where a rook does not.
    BitMask promotions[64][64];
    for (int wk = 0; wk < 64; ++wk)
        for (int bk = 0; bk < 64; ++bk) {
            BitMask wins = 0;
            for (BitMask pawns = LegalPawns(wk, bk, true) & Rank7; pawns;) {
                const int pawn = PopLowest(pawns);
                const int q = pawn + 8;
                if (q == wk || q == bk) continue;
                if (PromotionWins(wk, bk, q, true) || PromotionWins(wk, bk, q, false)) wins |= Bit(pawn);
            }
            promotions[wk][bk] = wins;
        }

    for (auto& row : table)
        for (uint64_t& word : row) word = 0;

    // Wins only grow from pass to pass; the table is solved when a pass adds
    // none. Updating in place only speeds the growth up.
    int passes = 0;
    for (bool changed = true; changed; ++passes) {
        changed = false;
        for (int wk = 0; wk < 64; ++wk)
            for (int bk = 0; bk < 64; ++bk) {
                if (near[wk] & Bit(bk)) continue;
                const BitMask pawns = PawnRanks & ~Bit(wk) & ~Bit(bk);

                // White to move: some move reaches a win with Black to move.
                const BitMask after = table[wk][bk * 2];
                BitMask wins = promotions[wk][bk];
                wins |= (after >> 8) & PushRanks;
                wins |= (after >> 16) & Rank2 & ~((Bit(wk) | Bit(bk)) >> 8);
                for (BitMask to = ring[wk] & ~near[bk]; to;) wins |= table[PopLowest(to)][bk * 2];
                wins &= pawns & ~attackers[bk];
                if (wins != table[wk][bk * 2 + 1]) {
                    table[wk][bk * 2 + 1] = wins;
                    changed = true;
                }

                // Black to move: every legal move reaches a win (taking the
                // pawn never does), or Black is mated.
                BitMask allWin = ~BitMask(0);
                BitMask canMove = 0;
                for (BitMask to = ring[bk] & ~near[wk]; to;) {
                    const int king = PopLowest(to);
                    canMove |= ~attackers[king];  // pawns guarding the square forbid the move
                    allWin &= attackers[king] | table[wk][king * 2 + 1];
                }
                const BitMask lost = ((allWin & canMove) | (~canMove & attackers[bk])) & pawns;
                if (lost != table[wk][bk * 2]) {
                    table[wk][bk * 2] = lost;
                    changed = true;
                }
            }
    }
    return passes;
}

namespace {

// Built before main, so that every search finds it complete.
const int KpkPasses = BuildKpkBitbase(KpkBitbase);

}  // namespace

}  // namespace NEngine
