// Passed and candidate pawns with the pieces on the board: king distances,
// blockers, control of the path, and the pawn race a lone king or a single
// minor cannot win. Scored at every full evaluation from the cached passed
// set and the attack maps.
#include <algorithm>
#include <cstdlib>

#include "board/attacks.h"
#include "eval/pawns.h"
#include "eval/terms.h"

namespace NEngine {

namespace {

// By relative rank.
constexpr PackedScore Passed[8] = {S(0, 0), S(1, 2), S(1, 2), S(9, 10), S(27, 30), S(54, 60), S(90, 100), S(0, 0)};
constexpr PackedScore Connected[8] = {S(0, 0), S(0, 0), S(0, 0), S(1, 2), S(5, 7), S(10, 15), S(18, 25), S(0, 0)};
constexpr PackedScore OwnKing[8] = {S(0, 0), S(0, 0), S(0, 1), S(0, 2), S(0, 5), S(0, 9), S(0, 15), S(0, 0)};
constexpr PackedScore EnemyKing[8] = {S(0, 0), S(0, 1), S(0, 2), S(0, 6), S(0, 13), S(0, 22), S(0, 35), S(0, 0)};
constexpr PackedScore Blocked[8] = {S(0, 0), S(0, 0), S(0, 0), S(1, 2), S(5, 6), S(10, 12), S(18, 20), S(0, 0)};
constexpr PackedScore Free[8] = {S(0, 0), S(2, 3), S(5, 8), S(10, 17), S(25, 42), S(50, 85), S(100, 170), S(0, 0)};
constexpr PackedScore FullyFree[8] = {S(0, 0), S(1, 2), S(1, 2), S(4, 5), S(20, 25), S(48, 60), S(112, 140), S(0, 0)};
// [relative rank][ranks from the pawn to the first square it cannot pass]
constexpr PackedScore PathFree[8][8] = {
    {},
    {0, 0, S(0, 1), S(1, 1), S(1, 1), S(1, 1), S(1, 1), 0},
    {0, 0, S(0, 1), S(1, 1), S(1, 1), S(1, 1), 0, 0},
    {0, 0, S(2, 3), S(3, 3), S(3, 4), 0, 0, 0},
    {0, 0, S(13, 16), S(16, 20), 0, 0, 0, 0},
    {0, 0, S(36, 45), 0, 0, 0, 0, 0},
    {},
    {},
};
// Candidates: connection, king distances and rank.
constexpr PackedScore CandidateConnected[8] = {S(0, 0), S(0, 0), S(0, 0), S(0, 1), S(2, 3), S(5, 7), S(9, 12), S(0, 0)};
constexpr PackedScore CandidateOwnKing[8] = {S(0, 0), S(0, 0), S(0, 0), S(0, 1), S(0, 2), S(0, 4), S(0, 7), S(0, 0)};
constexpr PackedScore CandidateEnemyKing[8] = {S(0, 0), S(0, 0), S(0, 1), S(0, 3), S(0, 6), S(0, 11), S(0, 17), S(0, 0)};
constexpr PackedScore CandidateRank[8] = {S(0, 0), S(0, 1), S(0, 1), S(4, 5), S(13, 15), S(27, 30), S(45, 50), S(0, 0)};

constexpr BitMask DarkSquares = 0xAA55AA55AA55AA55ull;

// Squares where o's attackers outnumber c's. Each side counts one for any
// attack, one more for a double attack, and one for its rooks and queens on
// the file: in front of c's, behind o's (seen through the pawn between).
// c's pawn guard alone cancels o's control.
BitMask ControlledBy(const AttackBlock& o, const AttackBlock& c) {
    // Two-bit counts, bit-sliced: x + y + z as (high, low).
    const auto count = [](BitMask x, BitMask y, BitMask z, BitMask& high) {
        high = (x & y) | (x & z) | (y & z);
        return x ^ y ^ z;
    };
    BitMask oHigh, cHigh;
    const BitMask oLow = count(o.allAttacks, o.doubleAttacks, o.fileRear, oHigh);
    const BitMask cLow = count(c.allAttacks, c.doubleAttacks, c.fileSupport, cHigh);
    const BitMask more = (oHigh & ~cHigh) | (~(oHigh ^ cHigh) & oLow & ~cLow);
    return more & ~c.pawnAttacks;
}

// Whether an o knight, or an o bishop looking through c's king, stands on or
// can move to a square that c does not attack and that attacks target.
bool MinorCanCover(const EvalContext& context, Colour c, int target) {
    const Board& board = *context.board;
    const Colour o = Opponent(c);
    const AttackBlock& them = context.side[o];
    const BitMask safe = ~context.side[c].allAttacks;
    const BitMask reachable = ~board.colour[o].all;
    const BitMask knightSpots = KnightAttacks(target) & safe;
    if (knightSpots & (board.Pieces(o, Knight) | (them.knightAttacks & reachable))) return true;
    const BitMask bishopSpots =
        BishopAttacks(target, context.occupied & ~Bit(board.kingSquare[c])) & safe;
    return bishopSpots & (board.Pieces(o, Bishop) | (them.bishopAttacks & reachable));
}

// 1 when nothing but a knight or bishop could stop colour c's pawn on sq,
// and none of them can in time; only pawns one or two steps from promotion
// qualify.
int Unstoppable(const EvalContext& context, Colour c, int sq) {
    const Board& board = *context.board;
    const Colour o = Opponent(c);
    if (board.Pieces(o, Queen) | board.Pieces(o, Rook)) return 0;
    const int promotion = PromotionSquare(c, sq);
    const int toGo = 7 - RelRank(c, sq);
    const bool toMove = board.sideToMove == c;
    // The rule of the square, with the tempo of the side to move.
    if (Distance(board.kingSquare[o], promotion) - (toMove ? 0 : 1) <= toGo) return 0;
    if (toGo > 2) return 0;
    if (MinorCanCover(context, c, promotion)) return 0;
    if (toGo == 1 || toMove) return 1;
    // Two steps to go and the defender to move: it has one more tempo.
    if (MinorCanCover(context, c, promotion - PawnStep(c))) return 0;
    const BitMask promotionColour = (DarkSquares & Bit(promotion)) ? DarkSquares : ~DarkSquares;
    if (board.Pieces(o, Bishop) & ~promotionColour) return 1;
    const BitMask knights = board.Pieces(o, Knight);
    return knights && !MoreThanOne(knights) && Distance(LowestSquare(knights), promotion) > 4;
}

}  // namespace

template <bool Traced>
PackedScore PassedPawns(EvalContext& context, const PawnHashEntry& pawns, Colour c) {
    const Board& board = *context.board;
    const Colour o = Opponent(c);
    const BitMask ownPawns = board.Pieces(c, Pawn);
    BitMask set = pawns.passed & ownPawns;
    if (!set) return 0;

    const PawnMaskTables& masks = *PawnMasks;
    const BitMask enemyPawns = board.Pieces(o, Pawn);
    const BitMask ownPassers = set;
    const int ownKing = board.kingSquare[c];
    const int enemyKing = board.kingSquare[o];
    const BitMask controlled = ControlledBy(context.side[o], context.side[c]);
    const BitMask obstacles = controlled | context.occupied;

    PackedScore sum = 0;
    const auto add = [&](EvalTerm term, PackedScore score) {
        sum += score;
        TraceTerm<Traced>(context, term, c, score);
    };

    while (set) {
        const int sq = PopLowest(set);
        const int r = RelRank(c, sq);
        const int stop = sq + PawnStep(c);
        const int promotion = PromotionSquare(c, sq);
        const int ownDistance = std::min(Distance(ownKing, stop), Distance(ownKing, promotion));
        const int enemyDistance = std::min(Distance(enemyKing, stop), Distance(enemyKing, promotion));
        const bool connected = ownPassers & masks.supportArea[c][sq];

        if (enemyPawns & masks.passedSpan[c][sq]) {
            add(TermCandidatePassers, (connected ? CandidateConnected[r] : 0) - CandidateOwnKing[r] * ownDistance +
                                   CandidateEnemyKing[r] * enemyDistance + CandidateRank[r]);
            continue;
        }

        add(TermPassedPawns, (connected ? Connected[r] : 0) - OwnKing[r] * ownDistance +
                                EnemyKing[r] * enemyDistance + Passed[r]);

        if (context.occupied & Bit(stop)) {
            if (board.colour[c].all & Bit(stop)) add(TermPasserBlocked, Blocked[r]);
            continue;
        }

        if (!(context.side[o].allAttacks & Bit(stop))) {
            const int unstoppable = Unstoppable(context, c, sq);
            add(TermPasserRace, Free[r] * unstoppable);
            // A race the defending king loses, with at most one minor or rook
            // left to help it: the own king already guards the queening square.
            const ColourBlock& defender = board.colour[o];
            const int enemyKingRace = Distance(enemyKing, promotion) - (board.sideToMove == o ? 1 : 0);
            if (r >= 6 && !unstoppable && !defender.count[Queen] &&
                defender.count[Rook] + defender.count[Bishop] + defender.count[Knight] < 2 &&
                Distance(ownKing, promotion) <= 1 && enemyKingRace >= 3 && board.colour[c].count[Pawn] != 1)
                add(TermPasserRace, Passed[r]);
        }

        const BitMask blocked = masks.frontSpan[c][sq] & obstacles;
        if (!blocked)
            add(TermPasserPath, FullyFree[r]);
        else
            add(TermPasserPath, PathFree[r][std::abs(RankOf(NearestToHome(c, blocked)) - RankOf(sq))]);
    }
    return sum;
}

template PackedScore PassedPawns<false>(EvalContext&, const PawnHashEntry&, Colour);
template PackedScore PassedPawns<true>(EvalContext&, const PawnHashEntry&, Colour);

}  // namespace NEngine
