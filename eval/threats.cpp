// Threats against enemy pieces (by pawns, pawn pushes, minor pieces, rooks,
// the queen and the king; knight forks; several threats at once) and
// attacks on weak enemy pawns.
//
// Threat weights are plain integers counted in both halves alike; Fork is
// indexed by the number of pieces a knight would hit (0..3). Weak-pawn
// weights are packed mg/eg scores.
#include "board/attacks.h"
#include "eval/terms.h"

namespace NEngine {

namespace {

constexpr int SafePawnHit = 60;          // per piece
constexpr int UnsafePawnHit = 15;        // once, when only unsafe pawns hit pieces
constexpr int PawnPushHit = 12;          // per piece
constexpr int MinorHitsHeavy = 40;       // per piece
constexpr int MinorHitsMinor = 30;       // per piece, loose or attacked twice
constexpr int MinorHitsHeldMinor = 15;   // per piece otherwise
constexpr int QueenHitsLooseRook = 30;   // once
constexpr int RookHitsQueen = 20;        // once
constexpr int RookHitsMinor = 30;        // per piece, loose or attacked twice
constexpr int RookHitsHeldMinor = 7;     // per piece otherwise
constexpr int KingHitsLoose = 20;        // per piece
constexpr int KingHitsHeld = 5;          // per piece
constexpr int Fork[4] = {0, 8, 30, 40};
constexpr int ForkWithCheck = 30;
constexpr int ThreatCount = 25;          // per threatened piece beyond the first
constexpr int DiscoveredHit = 20;

constexpr PackedScore PawnWon = S(13, 22);
constexpr PackedScore PawnContested = S(2, 5);
constexpr PackedScore PawnAttacked = S(1, 3);
constexpr PackedScore PawnOnBishopColour = S(0, 3);

constexpr BitMask LightSquares = 0x55AA55AA55AA55AAull;

// Colour c's view: the board, the other colour and both attack blocks.
struct Sides {
    const Board& board;
    Colour o;
    const AttackBlock& us;
    const AttackBlock& them;
};
inline Sides SidesOf(const EvalContext& context, Colour c) {
    return {*context.board, Opponent(c), context.side[c], context.side[Opponent(c)]};
}

}  // namespace

template <bool Traced>
PackedScore Threats(EvalContext& context, Colour c) {
    const auto [board, o, us, them] = SidesOf(context, c);
    const BitMask ourPawns = board.Pieces(c, Pawn);
    const BitMask targets = them.pieces;
    const BitMask heavies = them.heavies;
    const BitMask bishops = board.Pieces(o, Bishop);
    const BitMask knights = board.Pieces(o, Knight);

    int value = 0;
    BitMask counted = 0;  // pieces threatened by an item that scores per piece

    // Pawns that are not lost by capturing, and not pinned.
    const BitMask safePawns = ourPawns & (~them.allAttacks | us.allAttacks) & ~us.pinnedPawns;
    BitMask hits = PawnCaptureSet(c, safePawns) & targets;
    if (hits) {
        value += SafePawnHit * PopCount(hits);
        counted |= hits;
    } else if (us.pawnAttacks & targets) {
        value += UnsafePawnHit;
    }

    // Safe pushes to squares the pawn can hold, that attack pieces.
    const BitMask pushes = us.safePushes & (~them.allAttacks | us.allAttacks | us.fileSupport);
    hits = PawnCaptureSet(c, pushes) & targets;
    if (hits) {
        value += PawnPushHit * PopCount(hits);
        counted |= hits;
    }

    // Minor pieces against heavy pieces and against the other minor kind.
    const auto minorOnMinor = [&](BitMask attacked) {
        for (BitMask b = attacked; b;) {
            const BitMask piece = Bit(PopLowest(b));
            value += (!(them.allAttacks & piece) || (us.doubleAttacks & piece)) ? MinorHitsMinor : MinorHitsHeldMinor;
        }
        counted |= attacked;
    };
    hits = us.minorAttacks & heavies;
    if (hits) {
        // A heavy piece hit by a knight and a bishop counts twice.
        value += MinorHitsHeavy * (PopCount(us.knightAttacks & hits) + PopCount(us.bishopAttacks & hits));
        counted |= hits;
    }
    minorOnMinor(us.knightAttacks & bishops);
    minorOnMinor(us.bishopAttacks & knights);

    if (us.queenDiagonal & board.Pieces(o, Rook) & ~them.allAttacks) value += QueenHitsLooseRook;
    if (us.rookAttacks & board.Pieces(o, Queen)) value += RookHitsQueen;

    // Rooks against minors that are neither defended twice nor by a pawn.
    hits = us.rookAttacks & (knights | bishops) & ~them.doubleAttacks & ~them.pawnAttacks;
    for (BitMask b = hits; b;) {
        const BitMask piece = Bit(PopLowest(b));
        value += (!(them.allAttacks & piece) || (us.doubleAttacks & piece)) ? RookHitsMinor : RookHitsHeldMinor;
    }
    counted |= hits;

    // The king against pieces only the enemy king (or nothing) defends.
    hits = us.kingAttacks & targets & ~them.strongSquares;
    if (hits) {
        value += KingHitsLoose * PopCount(hits & ~them.allAttacks) + KingHitsHeld * PopCount(hits & them.allAttacks);
        counted |= hits;
    }

    // Knight forks from squares the knight can hold (mostly there are none
    // to look at: no knight, or no two targets a knight's move apart).
    int most = 0;
    bool check = false;
    if (us.knightAttacks & them.forkTargets) {
        const BitMask forkSquares = us.knightAttacks & them.forkTargets & ~(them.minorAttacks | them.pawnAttacks) &
                                    ~board.colour[c].all & (~them.allAttacks | us.doubleAttacks);
        const BitMask forkable = (bishops | heavies) & ~counted;
        for (BitMask b = forkSquares; b;) {
            const BitMask reach = KnightAttacks(PopLowest(b));
            const int n = PopCount(reach & forkable);
            if (n == 0 || n < most) continue;
            const bool hitsKing = (reach & board.Pieces(o, King)) != 0;
            check = n > most ? hitsKing : check || hitsKing;
            most = n;
        }
    }
    if (most) {
        int fork = Fork[most & 3];
        // The knight may be all that holds one of our attacked pieces.
        if (us.pieces & them.allAttacks & us.knightAttacks & ~us.doubleAttacks) fork /= 2;
        value += fork + (check ? ForkWithCheck : 0);
    }

    const int threatened = PopCount(counted);
    if (threatened > 1) value += ThreatCount * (threatened - 1);
    if (us.discoveredSquares & targets) value += DiscoveredHit;
    // Enemy minors attacked along the queen's ranks and files would be a
    // further item; with the queen terms as they are that set is always
    // empty, so it is left out.

    const PackedScore threats = S(value, value);
    TraceTerm<Traced>(context, TermThreats, c, threats);
    return threats;
}

template <bool Traced>
PackedScore WeakPawns(EvalContext& context, Colour c) {
    const auto [board, o, us, them] = SidesOf(context, c);
    const BitMask byPieces = us.minorAttacks | us.rookAttacks | us.queenAttacks | us.kingAttacks;
    const BitMask loose = board.Pieces(o, Pawn) & ~them.pawnAttacks;
    const BitMask attacked = loose & byPieces;

    // Won outright: undefended, or two attackers with a minor among them
    // against one defender.
    PackedScore score = 0;
    if (attacked) {
        const BitMask twiceWithMinor = us.doubleAttacks & us.minorAttacks;
        const BitMask won = attacked & (~them.allAttacks | (twiceWithMinor & ~them.doubleAttacks));
        const BitMask contested = attacked & ~won & twiceWithMinor & them.doubleAttacks;
        const BitMask rest = attacked & ~won & ~contested;
        score = PawnWon * PopCount(won) + PawnContested * PopCount(contested) + PawnAttacked * PopCount(rest);
    }

    // Pawns our bishops can go after later.
    const BitMask ourBishops = board.Pieces(c, Bishop);
    const BitMask unattacked = loose & ~byPieces;
    if (ourBishops & LightSquares) score += PawnOnBishopColour * PopCount(unattacked & LightSquares);
    if (ourBishops & ~LightSquares) score += PawnOnBishopColour * PopCount(unattacked & ~LightSquares);

    TraceTerm<Traced>(context, TermWeakPawns, c, score);
    return score;
}

template PackedScore Threats<false>(EvalContext&, Colour);
template PackedScore Threats<true>(EvalContext&, Colour);
template PackedScore WeakPawns<false>(EvalContext&, Colour);
template PackedScore WeakPawns<true>(EvalContext&, Colour);

}  // namespace NEngine
