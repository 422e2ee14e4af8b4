// Pawn structure, the passed and candidate set, and the king's pawn shelter,
// storm and pawn distance. All of it depends only on the pawn key (pawns,
// kings, castling rights), so the evaluation computes it once per key.
#include <algorithm>

#include "board/attacks.h"
#include "eval/pawns.h"
#include "eval/terms.h"

namespace NEngine {

namespace {

// ---------------------------------------------------------------- tables
// By relative rank: a pawn attacking an enemy pawn, worth more the farther
// it has come.
constexpr PackedScore Lever[8] = {S(0, 0), S(1, 1), S(2, 2), S(3, 3), S(8, 10), S(14, 18), S(0, 0), S(0, 0)};
// Isolated and backward pawns; an enemy pawn ahead hides the weakness a little.
constexpr PackedScore Isolated[2] = {S(-12, -10), S(-17, -12)};  // opposed, unopposed
constexpr PackedScore UnsupportedPawn = S(-6, -4);
constexpr PackedScore SupportedPawn = S(4, 4);
constexpr PackedScore DoubledPawn = S(-10, -8);

// Pawn shield by file and by the relative rank of the own pawn nearest the
// king on that file (0: none).
constexpr int Shelter[8][8] = {
    {-20, 32, 30, 15, -10, -20, -20, 0},  // a
    {-20, 35, 30, 0, -15, -20, -20, 0},   // b
    {-10, 32, 15, 8, -10, -10, -10, 0},   // c
    {-10, 15, 10, 6, -10, -10, -10, 0},   // d
    {-10, 15, 10, 6, -10, -10, -10, 0},   // e
    {-10, 32, 15, 8, -10, -10, -10, 0},   // f
    {-20, 35, 30, 5, -15, -20, -20, 0},   // g
    {-20, 32, 30, 15, -10, -20, -20, 0},  // h
};
// Storming enemy pawns, by their relative rank (seen from the defender) and
// by how far they are from the first square the defender's pawns guard.
constexpr int StormBase[8] = {0, 20, 15, 7, 3, 1, 0, 0};
constexpr int StormWeight[8] = {0, 32, 32, 32, 16, 8, 4, 0};
constexpr int StormGap[2][8] = {{0, 3, 1, 0, 0, 0, 0, 0},      // an own pawn stands in the way
                                {30, 18, 6, 5, 3, 2, 1, 0}};   // nothing in the way
// A fixed enemy pawn right in front of the king shields it.
constexpr int InFront[8] = {0, 40, 25, 10, 0, 0, 0, 0};
constexpr int KingPawnDistance[8] = {0, 0, 1, 2, 3, 4, 5, 6};

// ---------------------------------------------------------------- structure
// The squares one file left and one file right of those in b.
constexpr BitMask Sideways(BitMask b) { return ((b << 1) & ~FileABits) | ((b >> 1) & ~FileHBits); }

// The structure score of colour c's pawns (c's own view); marks its passed
// and candidate pawns in passed. Most terms are taken for all pawns at once.
template <bool Traced>
PackedScore Structure(EvalContext& context, const Board& board, Colour c, BitMask& passed) {
    const Colour o = Opponent(c);
    const PawnMaskTables& masks = *PawnMasks;
    const BitMask own = board.Pieces(c, Pawn);
    const BitMask enemy = board.Pieces(o, Pawn);
    const BitMask allPawns = own | enemy;
    const BitMask ownAttacks = PawnCaptureSet(c, own);
    const BitMask enemyAttacks = PawnCaptureSet(o, enemy);

    // Pawns with no own pawn on an adjacent file; with any pawn ahead on
    // their own file; defended from behind; with an own pawn beside them;
    // with an own pawn behind on their file.
    const BitMask ownFiles = FillForward(White, own) | FillForward(Black, own);
    const BitMask isolated = own & ~Sideways(ownFiles);
    const BitMask pawnAhead = FillForward(o, ShiftForward(o, allPawns));  // squares with a pawn ahead
    const BitMask opposed = own & pawnAhead;
    const BitMask defended = own & ownAttacks;
    const BitMask supported = defended | (own & Sideways(own));
    const BitMask doubled = own & ~defended & FillForward(c, ShiftForward(c, own));

    // Backward: all neighbours are ahead (none behind or level on the
    // adjacent files), and the pawn cannot walk up to the nearest one's rank
    // over squares that are not hostile: enemy pawns, and squares the
    // enemy's pawns guard and c's do not. A pawn one rank short of its
    // neighbour is held back only by an own pawn in front of it that is
    // itself stopped. The rank bound of that last test is not the same for
    // the two colours; it is kept as it is.
    const BitMask hostile = enemy | (enemyAttacks & ~ownAttacks);
    BitMask backward = 0;
    for (BitMask b = own & ~isolated & ~Sideways(FillForward(c, own)); b;) {
        const int sq = PopLowest(b);
        const int r = RelRank(c, sq);
        const BitMask ahead = own & masks.attackSpan[c][sq];
        const int supportRank = ahead ? RelRank(c, NearestToHome(c, ahead)) + 1 : 7;
        const BitMask path = masks.fileFromHere[c][sq] & ~RanksFrom(c, supportRank);
        if (path & hostile)
            backward |= Bit(sq);
        else if (supportRank - r < 3 && r <= (c == White ? 5 : 3) && (own & Bit(sq + PawnStep(c))) &&
                 (hostile & Bit(sq + 2 * PawnStep(c))))
            backward |= Bit(sq);
    }
    const BitMask undefended = own & ~isolated & ~backward & ~defended;

    PackedScore sum = 0;
    const auto add = [&](EvalTerm term, PackedScore score) {
        sum += score;
        TraceTerm<Traced>(context, term, c, score);
    };
    const auto count = [](BitMask b) { return b ? PopCount(b) : 0; };
    if (isolated)
        add(TermIsolatedPawns, Isolated[0] * count(isolated & opposed) + Isolated[1] * count(isolated & ~opposed));
    if (backward)
        add(TermBackwardPawns, Isolated[0] * count(backward & opposed) + Isolated[1] * count(backward & ~opposed));
    if (undefended) add(TermUndefendedPawns, UnsupportedPawn * count(undefended));
    if (supported) add(TermSupportedPawns, SupportedPawn * count(supported));
    if (doubled) add(TermDoubledPawns, DoubledPawn * count(doubled));
    for (BitMask b = own & enemyAttacks; b;) add(TermPawnLevers, Lever[RelRank(c, PopLowest(b))]);

    // Passed, or a candidate: nothing on its file ahead, and the enemy
    // pawns that could stop it no more than the own pawns that can help.
    for (BitMask b = own & ~pawnAhead; b;) {
        const int sq = PopLowest(b);
        const BitMask sentries = enemy & masks.attackSpan[c][sq];
        if (!sentries || PopCount(own & masks.rearSpan[c][sq]) >= PopCount(sentries)) passed |= Bit(sq);
    }
    return sum;
}

// ---------------------------------------------------------------- king shelter
struct ShelterParts {
    int shield;  // own pawns in front of the king, and a fixed enemy pawn there
    int storm;   // minus the danger of the enemy pawns coming
    int Total() const { return shield + storm; }
};

// Shelter of colour c's king were it on square k.
ShelterParts ShelterAt(Colour c, int k, BitMask own, BitMask enemy, BitMask ownAttacks) {
    const int kingRank = RelRank(c, k);
    if (kingRank == 7) return {0, 0};
    const BitMask atOrAhead = RanksFrom(c, kingRank);
    const BitMask ahead = RanksFrom(c, kingRank + 1);
    const int centre = std::clamp(FileOf(k), 1, 6);

    ShelterParts parts = {0, 0};
    for (int f = centre - 1; f <= centre + 1; ++f) {
        const BitMask file = PawnMasks->fileMask[f];
        const BitMask shield = own & file & atOrAhead;
        parts.shield += Shelter[f][shield ? RelRank(c, NearestToHome(c, shield)) : 0];

        // The nearest enemy pawn against the farthest square of the file
        // that the own pawns guard: a storm that can walk onto the guarded
        // square forces a pawn exchange there and opens the file; an own
        // pawn on its way there (the guarded square included) holds it up.
        const BitMask stormers = enemy & file & atOrAhead;
        const int e = stormers ? RelRank(c, NearestToHome(c, stormers)) : 0;
        const BitMask guarded = ownAttacks & file & ahead;
        const int a = guarded ? RelRank(c, FarthestFromHome(c, guarded)) : 7;
        bool open = false;
        int gap = 7;
        if (a <= e) {
            // One square past the guarded one, as the storming pawn walks.
            const int pastGuarded = MakeSquare(f, c == White ? a - 1 : 8 - a);
            open = !(own & Between(NearestToHome(c, stormers), pastGuarded));
            gap = e - a;
        }
        parts.storm -= StormBase[e] + ((StormGap[open][gap] * StormWeight[e]) >> 5);
    }

    const int front = k + PawnStep(c);
    if ((enemy & Bit(front)) && !(ownAttacks & Bit(front))) parts.shield += InFront[RelRank(c, front)];
    return parts;
}

// mg: the shelter where the king stands, or on a castling square it may
// still reach, whichever is better; eg: minus the distance to its pawns.
template <bool Traced>
PackedScore KingScore(EvalContext& context, const Board& board, Colour c) {
    const int king = board.kingSquare[c];
    const BitMask own = board.Pieces(c, Pawn);
    const BitMask enemy = board.Pieces(Opponent(c), Pawn);
    const BitMask ownAttacks = PawnCaptureSet(c, own);

    ShelterParts best = ShelterAt(c, king, own, enemy, ownAttacks);
    const int firstRank = c == White ? 0 : 56;
    const CastlingRights kingSide = CastlingRights(1 << (2 * c));
    const CastlingRights queenSide = CastlingRights(2 << (2 * c));
    for (const auto& [right, square] : {std::pair{kingSide, firstRank + 6}, std::pair{queenSide, firstRank + 1}}) {
        if (!(board.castling & right)) continue;
        const ShelterParts castled = ShelterAt(c, square, own, enemy, ownAttacks);
        if (castled.Total() > best.Total()) best = castled;
    }

    int distance = 0;
    for (BitMask pawns = own; pawns;) distance += KingPawnDistance[Distance(king, PopLowest(pawns))];

    TraceTerm<Traced>(context, TermKingShelter, c, S(best.shield, 0));
    TraceTerm<Traced>(context, TermPawnStorm, c, S(best.storm, 0));
    TraceTerm<Traced>(context, TermKingPawnDistance, c, S(0, -distance));
    return S(best.Total(), -distance);
}

}  // namespace

template <bool Traced>
void ComputePawnEntry(EvalContext& context, const Board& board, PawnHashEntry& entry) {
    BitMask passed = 0;
    const PackedScore white = Structure<Traced>(context, board, White, passed);
    const PackedScore black = Structure<Traced>(context, board, Black, passed);
    entry.structure = white - black;
    entry.kingScore[White] = KingScore<Traced>(context, board, White);
    entry.kingScore[Black] = KingScore<Traced>(context, board, Black);
    entry.passed = passed;
}

template void ComputePawnEntry<false>(EvalContext&, const Board&, PawnHashEntry&);
template void ComputePawnEntry<true>(EvalContext&, const Board&, PawnHashEntry&);

}  // namespace NEngine
