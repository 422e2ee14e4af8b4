// The geometric tables other than the magics: lines and rays, steps and
// distances, leaper and pattern tables, move kinds and pawn-structure masks.
// All are built once by walking the board in (file, rank) coordinates.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "board/attacks.h"
#include "board/psq.h"

namespace NEngine {

namespace {

struct Step {
    int df, dr;
};

constexpr Step KnightSteps[8] = {{-2, 1}, {-1, 2}, {1, 2}, {2, 1}, {2, -1}, {1, -2}, {-1, -2}, {-2, -1}};
constexpr Step KingSteps[8] = {{-1, 0}, {-1, 1}, {0, 1}, {1, 1}, {1, 0}, {1, -1}, {0, -1}, {-1, -1}};
constexpr Step BishopSteps[4] = {{-1, -1}, {-1, 1}, {1, 1}, {1, -1}};
constexpr Step RookSteps[4] = {{-1, 0}, {0, 1}, {1, 0}, {0, -1}};
// Order of directionRay and of the direction codes 1..8 (code = index + 1).
constexpr Step LineSteps[8] = {{-1, 1}, {0, 1}, {1, 1}, {1, 0}, {1, -1}, {0, -1}, {-1, -1}, {-1, 0}};

constexpr BitMask FileA = 0x0101010101010101ULL;
constexpr BitMask Rank1 = 0xFFULL;

alignas(16) LineTables LineStore;
alignas(16) uint16_t StepStore[64 * 64];
alignas(16) uint32_t DistanceStore[64 * 64];
alignas(16) AttackTables AttackStore;
alignas(16) MoveKindTable KindStore;
alignas(16) PawnMaskTables PawnMaskStore;

bool OnBoard(int f, int r) { return f >= 0 && f < 8 && r >= 0 && r < 8; }

int Sign(int v) { return (v > 0) - (v < 0); }

// Square reached from sq by the step, or -1 off the board.
int Target(int sq, Step st) {
    const int f = FileOf(sq) + st.df, r = RankOf(sq) + st.dr;
    return OnBoard(f, r) ? MakeSquare(f, r) : -1;
}

// Squares from sq (exclusive) to the edge along the step.
BitMask Walk(int sq, Step st) {
    BitMask result = 0;
    for (int t = Target(sq, st); t >= 0; t = Target(t, st)) result |= Bit(t);
    return result;
}

int Forward(Colour c) { return c == White ? 1 : -1; }
int StartRank(Colour c) { return c == White ? 1 : 6; }

// Index of the unit step (sign of df, sign of dr) in a step list, provided the
// move runs along a line of that list; -1 otherwise.
template <size_t N>
int LineIndex(const Step (&steps)[N], int df, int dr) {
    if (df == 0 && dr == 0) return -1;
    if (df != 0 && dr != 0 && std::abs(df) != std::abs(dr)) return -1;
    for (size_t i = 0; i < N; ++i)
        if (steps[i].df == Sign(df) && steps[i].dr == Sign(dr)) return int(i);
    return -1;
}

void BuildStepsAndDistances() {
    for (int a = 0; a < 64; ++a)
        for (int b = 0; b < 64; ++b) {
            const int df = FileOf(a) - FileOf(b), dr = RankOf(a) - RankOf(b);
            DistanceStore[a * 64 + b] = uint32_t(std::max(std::abs(df), std::abs(dr)));
            // Step from b towards a, for a and b on a common line only.
            if (LineIndex(KingSteps, df, dr) < 0) continue;
            StepStore[a * 64 + b] = uint16_t((uint8_t(int8_t(Sign(dr))) << 8) | uint8_t(int8_t(Sign(df))));
        }
}

void BuildLines() {
    for (int a = 0; a < 64; ++a)
        for (int b = 0; b < 64; ++b) {
            const uint16_t packed = StepStore[a * 64 + b];
            if (packed == 0) continue;
            // The stored step points from b back to a; walk the other way.
            const Step towardB = {-int(int8_t(packed & 0xFF)), -int(int8_t(packed >> 8))};
            const Step awayFromB = {-towardB.df, -towardB.dr};
            const BitMask ray = Walk(a, towardB);
            const BitMask beyond = Walk(b, towardB);
            LineStore.ray[a * 64 + b] = ray;
            LineStore.beyond[a * 64 + b] = beyond;
            LineStore.between[a * 64 + b] = ray & ~beyond & ~Bit(b);
            LineStore.line[a * 64 + b] = ray | Walk(a, awayFromB) | Bit(a);
        }
    for (int d = 0; d < 8; ++d)
        for (int s = 0; s < 64; ++s) LineStore.directionRay[d * 64 + s] = Walk(s, LineSteps[d]);
}

template <size_t N>
void FillRayList(uint16_t (&list)[10], BitMask& rays, int sq, const Step (&steps)[N]) {
    int n = 0;
    for (const Step& st : steps) {
        const BitMask dir = Walk(sq, st);
        rays |= dir;
        if (dir == 0) continue;
        // (signed square step << 8) | length; the unused tail stays 0.
        const int squareStep = st.dr * 8 + st.df;
        list[n++] = uint16_t(uint16_t(squareStep * 256) | uint16_t(__builtin_popcountll(dir)));
    }
}

template <size_t N>
void FillTargets(int8_t (&list)[10], BitMask& set, int sq, const Step (&steps)[N]) {
    std::memset(list, -1, sizeof(list));
    int n = 0;
    for (const Step& st : steps) {
        const int t = Target(sq, st);
        if (t < 0) continue;
        list[n++] = int8_t(t);
        set |= Bit(t);
    }
}

void BuildAttackTables() {
    AttackTables& at = AttackStore;
    // Per-square lists are what the root generator walks; the sets are what
    // the search and evaluation test against.
    for (int s = 0; s < 64; ++s) {
        for (Colour c : {Black, White}) {
            const int fwd = Forward(c);
            // Fixed slots, -1 where a step leaves the board or does not apply:
            // capture a-side, capture h-side, push, double push, two terminators.
            int8_t* pt = at.pawnTargets[c][s];
            std::memset(pt, -1, 6);
            pt[0] = int8_t(Target(s, {-1, fwd}));
            pt[1] = int8_t(Target(s, {1, fwd}));
            pt[2] = int8_t(Target(s, {0, fwd}));
            if (RankOf(s) == StartRank(c)) pt[3] = int8_t(Target(s, {0, 2 * fwd}));
            for (int i = 0; i < 4; ++i) {
                if (pt[i] < 0) continue;
                (i < 2 ? at.pawnAttacks : at.pawnPushes)[c][s] |= Bit(pt[i]);
            }
            // Push sources: one back, two back onto the start rank; none for
            // the first and last ranks nor for the start rank itself.
            const int rel = c == White ? RankOf(s) : 7 - RankOf(s);
            if (rel >= 2 && rel <= 6) {
                at.pawnPushSources[c][s] |= Bit(s - 8 * fwd);
                if (rel == 3) at.pawnPushSources[c][s] |= Bit(s - 16 * fwd);
            }
        }
        FillTargets(at.knightTargets[s], at.knightAttacks[s], s, KnightSteps);
        FillTargets(at.kingTargets[s], at.kingAttacks[s], s, KingSteps);
        FillRayList(at.bishopRayList[s], at.bishopRays[s], s, BishopSteps);
        FillRayList(at.rookRayList[s], at.rookRays[s], s, RookSteps);
        FillRayList(at.queenRayList[s], at.queenRays[s], s, KingSteps);

        for (const Step& st : RookSteps) {
            const int t = Target(s, st);
            if (t >= 0) at.adjacentOrthogonal[s] |= Bit(t);
        }
        // The same ring serves both colours; it is kept per colour for callers
        // that index by side.
        for (int t = 0; t < 64; ++t)
            if (DistanceStore[s * 64 + t] == 2) at.distanceTwoRing[Black][s] |= Bit(t);
        at.distanceTwoRing[White][s] = at.distanceTwoRing[Black][s];
    }

    at.prePromotionRank[Black] = Rank1 << 8;
    at.prePromotionRank[White] = Rank1 << 48;

    for (Colour c : {Black, White})
        for (int s = 0; s < 64; ++s) {
            at.pseudoAttacks[c][Pawn][s] = at.pawnAttacks[c][s] | at.pawnPushes[c][s];
            at.pseudoAttacks[c][Knight][s] = at.knightAttacks[s];
            at.pseudoAttacks[c][Bishop][s] = at.bishopRays[s];
            at.pseudoAttacks[c][Rook][s] = at.rookRays[s];
            at.pseudoAttacks[c][Queen][s] = at.queenRays[s];
            at.pseudoAttacks[c][King][s] = at.kingAttacks[s];
        }
    // The castling targets belong to the king's reach from its home square.
    for (Colour c : {Black, White}) {
        const int home = KingHome[c];
        at.pseudoAttacks[c][King][home] |= Bit(home - 2) | Bit(home + 2);
    }

    // By castling bit: king side then queen side, Black then White.
    at.castlingPath[0] = Bit(61) | Bit(62);
    at.castlingPath[1] = Bit(57) | Bit(58) | Bit(59);
    at.castlingPath[2] = Bit(5) | Bit(6);
    at.castlingPath[3] = Bit(1) | Bit(2) | Bit(3);
}

int PieceKind(Colour c, PieceType t, int from, int to) {
    const int df = FileOf(to) - FileOf(from), dr = RankOf(to) - RankOf(from);
    switch (t) {
        case Pawn: {
            const int fwd = Forward(c);
            if (dr == fwd && df >= -1 && df <= 1) return df == -1 ? 0 : df == 1 ? 1 : 2;
            if (dr == 2 * fwd && df == 0 && RankOf(from) == StartRank(c)) return 3;
            return -1;
        }
        case Knight:
            for (int i = 0; i < 8; ++i)
                if (KnightSteps[i].df == df && KnightSteps[i].dr == dr) return i;
            return -1;
        case Bishop:
            return LineIndex(BishopSteps, df, dr);
        case Rook:
            return LineIndex(RookSteps, df, dr);
        case Queen:
            return LineIndex(KingSteps, df, dr);
        case King:
            // Castling kinds wherever two files fit; the caller checks that
            // the king stands on its home square.
            if (dr == 0 && df == 2) return 8;
            if (dr == 0 && df == -2) return 9;
            return std::abs(df) <= 1 && std::abs(dr) <= 1 ? LineIndex(KingSteps, df, dr) : -1;
        default:
            return -1;
    }
}

// Kinds for every piece code and from/to pair, so that the low 12 bits of a
// move index the table directly; then the direction and line-type sections.
void BuildMoveKinds() {
    for (int code = 0; code < 16; ++code)
        for (int to = 0; to < 64; ++to)
            for (int from = 0; from < 64; ++from)
                KindStore.kind[(code << 12) | (to << 6) | from] = PieceKind(ColourOf(code), TypeOf(code), from, to);
    for (int to = 0; to < 64; ++to)
        for (int from = 0; from < 64; ++from) {
            const int df = FileOf(to) - FileOf(from), dr = RankOf(to) - RankOf(from);
            const int dir = LineIndex(LineSteps, df, dr);  // code = index + 1, 0 off any line
            KindStore.direction[to * 64 + from] = uint8_t(dir + 1);
            KindStore.lineType[to * 64 + from] = dir < 0 ? 0 : (df == 0 || dr == 0) ? 1 : 2;
        }
}

void BuildPawnMasks() {
    PawnMaskTables& pm = PawnMaskStore;
    for (int f = 0; f < 8; ++f) {
        pm.fileMask[f] = FileA << f;
        pm.adjacentFiles[f] = (f > 0 ? FileA << (f - 1) : 0) | (f < 7 ? FileA << (f + 1) : 0);
    }
    const BitMask edgeRanks = Rank1 | (Rank1 << 56);
    for (Colour c : {Black, White})
        for (int s = 0; s < 64; ++s) {
            const int f = FileOf(s), r = RankOf(s);
            const BitMask rank = Rank1 << (8 * r);
            BitMask ahead = 0, behindOrHere = 0;  // whole ranks, seen from c
            for (int rr = 0; rr < 8; ++rr) {
                const bool isAhead = c == White ? rr > r : rr < r;
                (isAhead ? ahead : behindOrHere) |= Rank1 << (8 * rr);
            }
            const BitMask sides = pm.adjacentFiles[f];
            pm.rankMask[c][s] = rank;
            pm.frontSpan[c][s] = ahead & pm.fileMask[f];
            pm.fileFromHere[c][s] = pm.frontSpan[c][s] | Bit(s);
            pm.attackSpan[c][s] = ahead & sides;
            pm.passedSpan[c][s] = pm.frontSpan[c][s] | pm.attackSpan[c][s];
            pm.neighbours[c][s] = rank & sides;
            // Own rank, plus the ranks either side unless s stands on an edge rank.
            BitMask support = rank;
            if (r > 0 && r < 7) support |= (rank << 8) | (rank >> 8);
            pm.supportArea[c][s] = support & sides;
            // Rank r and behind on the side files; no pawn can stand on the edge ranks.
            pm.rearSpan[c][s] = behindOrHere & sides & ~edgeRanks;
        }
}

}  // namespace

const LineTables* Lines = nullptr;
const uint16_t* StepTable = nullptr;
const uint32_t* DistanceTable = nullptr;
const AttackTables* Attacks = nullptr;
const MoveKindTable* MoveKinds = nullptr;
const PawnMaskTables* PawnMasks = nullptr;

void BuildGlobalTables() {
    static std::once_flag once;
    std::call_once(once, [] {
        // Lines are derived from the step table; the leaper tables use distances.
        BuildStepsAndDistances();
        BuildLines();
        BuildAttackTables();
        BuildMoveKinds();
        BuildPawnMasks();
        StepTable = StepStore;
        DistanceTable = DistanceStore;
        Lines = &LineStore;
        Attacks = &AttackStore;
        MoveKinds = &KindStore;
        PawnMasks = &PawnMaskStore;
    });
}

// Order matters: popcount before anything counts, magics before the global
// set, positional tables before the first Board puts a piece.
void InitEngineTables() {
    static std::once_flag once;
    std::call_once(once, [] {
        SelectPopCount();
        BuildMagicTables();
        BuildGlobalTables();
        InitPsqTables();
    });
}

}  // namespace NEngine
