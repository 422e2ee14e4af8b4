// The attack maps: built once per full evaluation, read by every later term.
// The first part needs only pawns and kings (and runs before the pawn-table
// probe, which may read it); the second adds the pieces.
#include "board/attacks.h"
#include "eval/terms.h"

namespace NEngine {

namespace {

// The enemy sliders that see our king through exactly one man, and those
// men when they matter: our pieces (pinned, unless a pawn), or their pieces
// that cannot move along that line themselves (a move uncovers check). A
// blocker of their own kind on the line would be giving check already.
void FindSnipersAndBlockers(const Board& board, Colour c, BitMask occupied, AttackBlock& block) {
    const Colour o = Opponent(c);
    const int king = board.kingSquare[c];
    const BitMask theirQueens = board.Pieces(o, Queen);
    const BitMask diagonal = theirQueens | board.Pieces(o, Bishop);
    const BitMask straight = theirQueens | board.Pieces(o, Rook);
    BitMask candidates = (Attacks->bishopRays[king] & diagonal) | (Attacks->rookRays[king] & straight);
    block.snipers = 0;
    block.kingBlockers = 0;
    block.pinnedPawns = 0;
    while (candidates) {
        const int sniper = PopLowest(candidates);
        const BitMask between = Between(king, sniper) & occupied;
        if (!between || MoreThanOne(between)) continue;
        block.snipers |= Bit(sniper);
        const int blocker = LowestSquare(between);
        const PieceCode code = board.mailbox[blocker];
        const PieceType type = TypeOf(code);
        if (type == Pawn) {
            if (ColourOf(code) == c) block.pinnedPawns |= between;
            continue;
        }
        if (ColourOf(code) == c) {
            block.kingBlockers |= between;
        } else {
            const bool onDiagonal = LineType(king, sniper) == 2;
            const bool matching = type == Queen || type == (onDiagonal ? Bishop : Rook);
            if (!matching) block.kingBlockers |= between;
        }
    }
}

// Empty squares our pawns reach by a push (two from the second rank), not
// attacked by their pawns.
BitMask SafePushes(const Board& board, Colour c, BitMask empty, BitMask theirPawnAttacks) {
    const BitMask single = ShiftForward(c, board.Pieces(c, Pawn)) & empty;
    const BitMask third = RelRanks(c, 2, 2);
    const BitMask twice = ShiftForward(c, single & third) & empty;
    return (single | twice) & ~theirPawnAttacks;
}

// One piece's attacks into the unions. `xray` is what it attacks through
// our own sliders of its line kind (its plain attacks for a knight).
inline void AddAttacks(AttackBlock& block, BitMask attacks, BitMask xray) {
    block.doubleAttacks |= block.allAttacks & attacks;
    block.allAttacks |= attacks;
    block.attackedTwice |= block.attackedOnce & xray;
    block.attackedOnce |= xray;
}

// A slider's attacks through our own sliders of its line kind: the same as
// its plain attacks unless it meets one of them.
inline BitMask XrayAttacks(PieceType slider, int sq, BitMask attacks, BitMask ownSliders, BitMask through) {
    if (!(attacks & ownSliders)) return attacks;
    return slider == Bishop ? BishopAttacks(sq, through) : RookAttacks(sq, through);
}

// What rooks and queens on `from` see along their files toward `towards`'s
// far side when they look through the `open` squares: every such square up
// to and including the first other one. All pieces are filled at once, by
// doubling steps, rather than with a lookup per piece.
constexpr BitMask FileRays(Colour towards, BitMask from, BitMask open) {
    if (towards == White) {
        from |= open & (from << 8);
        open &= open << 8;
        from |= open & (from << 16);
        open &= open << 16;
        from |= open & (from << 32);
        return from << 8;
    }
    from |= open & (from >> 8);
    open &= open >> 8;
    from |= open & (from >> 16);
    open &= open >> 16;
    from |= open & (from >> 32);
    return from >> 8;
}

// King-zone attack weights by piece kind.
constexpr uint32_t KnightZoneWeight = 20;
constexpr uint32_t BishopZoneWeight = 20;
constexpr uint32_t RookZoneWeight = 18;
constexpr uint32_t QueenZoneWeight = 21;

// A piece whose reach (its attacks, or a slider's x-rays through our own
// sliders) meets their king zone presses their king.
inline bool PressKing(AttackBlock& block, BitMask reach, BitMask theirZone, uint32_t weight) {
    if (!(reach & theirZone)) return false;
    block.kingAttackers += 1;
    block.kingAttackWeight += weight;
    return true;
}

// A pinned piece of ours moves only along the line through our king.
template <bool AnyPinned>
inline BitMask PinLine(const AttackBlock& block, int king, int sq) {
    if constexpr (AnyPinned)
        return (block.pinned & Bit(sq)) ? LineThrough(king, sq) : ~BitMask(0);
    else
        return ~BitMask(0);
}

// The x-rays of an unpinned slider count twice in doubleAttacks and as
// reach on their king zone; a pinned one's count for neither. Both are
// taken here, where the x-ray has just been computed for attackedTwice.
// Pins are rare: without one, every line test folds away.
template <bool AnyPinned>
void BuildPieceAttacks(EvalContext& context, Colour c) {
    const Board& board = *context.board;
    const Colour o = Opponent(c);
    AttackBlock& block = context.side[c];
    const int king = board.kingSquare[c];
    const BitMask occupied = context.occupied;
    const BitMask ownPawns = board.Pieces(c, Pawn);
    const BitMask theirPawns = board.Pieces(o, Pawn);
    const BitMask ownDiagonal = board.Pieces(c, Queen) | board.Pieces(c, Bishop);
    const BitMask ownStraight = block.heavies;
    const BitMask theirZone = context.side[o].kingZone;

    for (BitMask b = board.Pieces(c, Knight); b;) {
        const int sq = PopLowest(b);
        const BitMask line = PinLine<AnyPinned>(block, king, sq);
        const BitMask attacks = KnightAttacks(sq) & line;
        context.pieceAttacks[sq] = attacks;
        block.knightAttacks |= attacks;
        AddAttacks(block, attacks, attacks);
        PressKing(block, attacks, theirZone, KnightZoneWeight);
    }
    for (BitMask b = board.Pieces(c, Bishop); b;) {
        const int sq = PopLowest(b);
        const BitMask line = PinLine<AnyPinned>(block, king, sq);
        const bool pinned = line != ~BitMask(0);
        const BitMask attacks = BishopAttacks(sq, occupied) & line;
        context.pieceAttacks[sq] = attacks;
        block.bishopAttacks |= attacks;
        const BitMask xray = XrayAttacks(Bishop, sq, attacks, ownDiagonal, block.noQB) & line;
        AddAttacks(block, attacks, xray);
        const BitMask reach = pinned ? attacks : xray;
        block.doubleAttacks |= reach & ~attacks;
        PressKing(block, reach, theirZone, BishopZoneWeight);
    }
    for (BitMask b = board.Pieces(c, Rook); b;) {
        const int sq = PopLowest(b);
        const BitMask line = PinLine<AnyPinned>(block, king, sq);
        const bool pinned = line != ~BitMask(0);
        const BitMask attacks = RookAttacks(sq, occupied) & line;
        context.pieceAttacks[sq] = attacks;
        block.rookAttacks |= attacks;
        const BitMask xray = XrayAttacks(Rook, sq, attacks, ownStraight, block.noQR) & line;
        AddAttacks(block, attacks, xray);
        const BitMask reach = pinned ? attacks : xray;
        block.doubleAttacks |= reach & ~attacks;
        PressKing(block, reach, theirZone, RookZoneWeight);
        block.forkTargets |= KnightAttacks(sq);
    }
    for (BitMask b = board.Pieces(c, Queen); b;) {
        const int sq = PopLowest(b);
        const BitMask line = PinLine<AnyPinned>(block, king, sq);
        const bool pinned = line != ~BitMask(0);
        const BitMask diagonal = BishopAttacks(sq, occupied) & line;
        const BitMask straight = RookAttacks(sq, occupied) & line;
        const BitMask attacks = diagonal | straight;
        context.pieceAttacks[sq] = attacks;
        block.queenAttacks |= attacks;
        block.queenDiagonal |= diagonal;
        block.queenOrthogonal |= straight;
        const BitMask diagonalXray = XrayAttacks(Bishop, sq, diagonal, ownDiagonal, block.noQB) & line;
        const BitMask straightXray = XrayAttacks(Rook, sq, straight, ownStraight, block.noQR) & line;
        AddAttacks(block, attacks, diagonalXray | straightXray);
        if (!pinned) block.doubleAttacks |= (diagonalXray | straightXray) & ~attacks;
        // Only the x-rays along ranks and files add to the queen's pressure.
        if (PressKing(block, pinned ? attacks : attacks | straightXray, theirZone, QueenZoneWeight))
            block.queenHitsZone = 1;
        block.forkTargets |= KnightAttacks(sq);
    }
    // Ahead through our own pawns, behind through theirs.
    block.fileSupport = FileRays(c, block.heavies, ~occupied | ownPawns);
    block.fileRear = FileRays(o, block.heavies, ~occupied | theirPawns);
    block.minorAttacks = block.knightAttacks | block.bishopAttacks;
    block.bishopRookAttacks = block.bishopAttacks | block.rookAttacks;
    block.hasPieceAttacks = (block.minorAttacks | block.rookAttacks | block.queenAttacks) != 0;
}

// Clears what the builders and terms gather into and what is set after the
// pawn probe; the rest of the block is assigned outright before it is read,
// so clearing all of it would write most of it twice.
inline void ClearGatheredFields(AttackBlock& block) {
    block.knightAttacks = block.bishopAttacks = block.rookAttacks = block.queenAttacks = 0;
    block.fileSupport = block.fileRear = 0;
    block.strongSquares = 0;
    block.minorAttacks = block.bishopRookAttacks = 0;
    block.queenDiagonal = block.queenOrthogonal = 0;
    block.forkTargets = block.restricted = 0;
    block.discoveredSquares = 0;
    block.score = 0;
    block.kingAttackers = block.kingAttackWeight = 0;
    block.queenHitsZone = block.discoveredCheck = block.hasPieceAttacks = 0;
}

}  // namespace

void BuildAttackMapsBeforePawns(EvalContext& context) {
    const Board& board = *context.board;
    const BitMask occupied = board.Occupied();
    context.occupied = occupied;
    context.empty = ~occupied;

    for (Colour c : {Black, White}) {
        AttackBlock& block = context.side[c];
        const ColourBlock& men = board.colour[c];
        const int king = board.kingSquare[c];
        ClearGatheredFields(block);

        block.pawnAttacks = PawnCaptureSet(c, men.pieces[Pawn]);
        block.pawnAttackSpan = FillForward(c, block.pawnAttacks);
        block.kingAttacks = KingAttacks(king);
        block.allAttacks = block.pawnAttacks | block.kingAttacks;
        block.doubleAttacks = block.pawnAttacks & block.kingAttacks;
        block.attackedOnce = block.allAttacks;
        block.attackedTwice = block.doubleAttacks;
        block.kingZone = block.kingAttacks | ShiftForward(c, block.kingAttacks);
        block.kingZoneUncovered = block.kingZone & ~block.pawnAttacks;

        block.heavies = men.pieces[Queen] | men.pieces[Rook];
        block.sliders = block.heavies | men.pieces[Bishop];
        block.pieces = block.sliders | men.pieces[Knight];
        block.noQB = occupied & ~(men.pieces[Queen] | men.pieces[Bishop]);
        block.noQR = occupied & ~block.heavies;
        block.kingDiagonals = BishopAttacks(king, occupied);
        block.kingLines = RookAttacks(king, occupied);
    }
    // What needs the other side's pawns and pieces.
    for (Colour c : {Black, White}) {
        AttackBlock& block = context.side[c];
        const BitMask theirPawnAttacks = context.side[Opponent(c)].pawnAttacks;
        block.mobilityArea = ~(Bit(board.kingSquare[c]) | board.Pieces(c, Pawn) | theirPawnAttacks);
        block.safePushes = SafePushes(board, c, context.empty, theirPawnAttacks);
        FindSnipersAndBlockers(board, c, occupied, block);
        // Every blocker of ours has a sniper behind it.
        block.pinned = block.kingBlockers & block.pieces;
    }
}

void BuildAttackMapsAfterPawns(EvalContext& context) {
    for (Colour c : {White, Black}) {
        if (context.side[c].pinned)
            BuildPieceAttacks<true>(context, c);
        else
            BuildPieceAttacks<false>(context, c);
    }
    // A square they attack is worth moving to only when we attack it twice,
    // a slider backing another on its line counting as a second attacker.
    for (Colour c : {Black, White}) {
        AttackBlock& block = context.side[c];
        block.mobilityArea &= ~context.side[Opponent(c)].allAttacks | block.attackedTwice;
    }
}

}  // namespace NEngine
