// King danger: how much trouble the attacker's pieces make for the
// defender's king, in the middle game only. It grows with the number and
// weight of the pieces aiming at the king zone, with the safe checks the
// attacker has, with weak squares around the king and a possible mating
// net, and shrinks with a good pawn shelter.
//
// Weights are plain integers on the middle-game scale. AttackersBase is
// indexed by the number of king attackers (capped at 7), ChecksBase by the
// number of kinds of check (capped at 4).
#include "board/attacks.h"
#include "eval/terms.h"

namespace NEngine {

namespace {

constexpr int AttackersBase[8] = {0, 0, 4, 8, 16, 32, 56, 64};
constexpr int ChecksBase[5] = {0, 16, 32, 64, 64};

// Weight of a safe check by the checking piece, and of a discovered or a
// promotion check; only unsafe checks: this weight instead.
constexpr int RookCheckWeight = 85;
constexpr int QueenCheckWeight = 85;
constexpr int SpecialCheckWeight = 40;
constexpr int KnightCheckWeight = 70;
constexpr int BishopCheckWeight = 30;
constexpr int UnsafeCheckWeight = 9;

constexpr uint32_t PawnZoneWeight = 15;  // pawns hitting the king's pawns or squares
constexpr int WeakSquareDoubled = 35;    // king-only squares attacked twice
constexpr int WeakSquareSingle = 20;     // king-only squares attacked once
constexpr int GuardedSquareDoubled = 8;  // well-guarded squares attacked twice
constexpr int ZoneSquareLoose = 10;      // zone squares attacked and not defended
constexpr int ZoneSquareHeld = 4;        // zone squares attacked and defended
constexpr int ZonePawnHit = 3;           // pawn attacks on what the shield does not cover
constexpr int MatingNetToMove = 100;
constexpr int MatingNetWaiting = 50;
constexpr int PinnedPawnWeight = 15;
constexpr int FlankSquare = 3;
constexpr int CheckUnderQueen = 50;

constexpr BitMask FilesAtoD = 0x0F0F0F0F0F0F0F0Full;
constexpr BitMask FilesCtoF = FilesAtoD << 2;
constexpr BitMask FilesEtoH = FilesAtoD << 4;

// Files around the king and the ranks from its own side up to the middle.
BitMask FlankBox(Colour defender, int king) {
    const int file = FileOf(king);
    const BitMask files = file >= 5 ? FilesEtoH : file <= 2 ? FilesAtoD : FilesCtoF;
    return files & RelRanks(defender, 0, 4);
}

// Everything the attacker attacks without the piece on `without` (a knight,
// bishop, rook or queen; or a pawn when `pawn` is set).
BitMask AttacksWithout(const EvalContext& context, Colour a, int without, bool pawn) {
    const Board& board = *context.board;
    const AttackBlock& block = context.side[a];
    BitMask attacks = block.kingAttacks;
    const BitMask pawns = board.Pieces(a, Pawn) & ~(pawn ? Bit(without) : 0);
    attacks |= PawnCaptureSet(a, pawns);
    for (BitMask b = block.pieces & ~(pawn ? 0 : Bit(without)); b;) attacks |= context.pieceAttacks[PopLowest(b)];
    return attacks;
}

// A check by a piece with attacks `from` on its new square, with every
// empty square around the king covered by it or by the attacker's other
// men (`others`).
inline bool Nets(BitMask flights, BitMask from, BitMask others) { return !(flights & ~from & ~others); }

// Whether a safe check (or promotion) square gives a mating net.
bool MatingNet(const EvalContext& context, Colour a, BitMask queenSquares, BitMask rookSquares,
               BitMask bishopSquares, BitMask promotionSquares) {
    const Board& board = *context.board;
    const Colour d = Opponent(a);
    const int king = board.kingSquare[d];
    const BitMask flights = KingAttacks(king) & context.empty;
    // The checker's line runs on through the king: stepping back along it
    // is no escape.
    const BitMask occupied = context.occupied & ~Bit(king);
    const auto byPiece = [&](BitMask squares, PieceType type) {
        for (BitMask s = squares; s;) {
            const int square = PopLowest(s);
            const BitMask from = type == Queen  ? QueenAttacks(square, occupied)
                                 : type == Rook ? RookAttacks(square, occupied)
                                                : BishopAttacks(square, occupied);
            // Not even all of our attacks together would close the net.
            if (flights & ~from & ~context.side[a].allAttacks) continue;
            for (BitMask p = board.Pieces(a, type); p;) {
                const int piece = PopLowest(p);
                if ((context.pieceAttacks[piece] & Bit(square)) &&
                    Nets(flights, from, AttacksWithout(context, a, piece, false)))
                    return true;
            }
        }
        return false;
    };
    if (byPiece(queenSquares, Queen) || byPiece(rookSquares, Rook) || byPiece(bishopSquares, Bishop)) return true;
    // A new queen: the pawn that pushes or captures onto the square.
    const BitMask pawns = board.Pieces(a, Pawn);
    for (BitMask s = promotionSquares; s;) {
        const int square = PopLowest(s);
        const BitMask from = QueenAttacks(square, occupied);
        if (flights & ~from & ~context.side[a].allAttacks) continue;
        const BitMask behind = ShiftForward(d, Bit(square));
        const BitMask sources = (board.mailbox[square] ? PawnCaptureSet(d, Bit(square)) : behind) & pawns;
        for (BitMask p = sources; p;)
            if (Nets(flights, from, AttacksWithout(context, a, PopLowest(p), true))) return true;
    }
    return false;
}

}  // namespace

template <bool Traced>
int KingDanger(EvalContext& context, Colour a, int shelter) {
    const Board& board = *context.board;
    const Colour d = Opponent(a);
    AttackBlock& att = context.side[a];
    const AttackBlock& def = context.side[d];
    const int king = board.kingSquare[d];
    const BitMask ourPawns = board.Pieces(a, Pawn);
    const BitMask theirPawns = board.Pieces(d, Pawn);

    // Pawns and the king join the attackers when they reach the king's squares.
    if (att.pawnAttacks & def.kingAttacks & def.kingZone) att.kingAttackers += 1;
    if (att.kingAttacks & def.kingAttacks & def.kingZone) att.kingAttackers += 1;
    if (att.pawnAttacks & def.kingZone & (theirPawns | def.kingAttacks)) att.kingAttackWeight += PawnZoneWeight;

    // Check squares, and which of them the defender cannot simply take.
    const BitMask open = ~board.colour[a].all & ~def.pawnAttacks;
    const BitMask knightChecks = KnightAttacks(king) & att.knightAttacks & open;
    const BitMask bishopChecks = def.kingDiagonals & att.bishopAttacks & open;
    const BitMask rookChecks = def.kingLines & att.rookAttacks & open;
    const BitMask queenChecks = (def.kingDiagonals | def.kingLines) & att.queenAttacks & open;
    const BitMask anyChecks = knightChecks | bishopChecks | rookChecks | queenChecks;
    BitMask safeKnight = 0, safeBishop = 0, safeRook = 0, safeQueen = 0;
    int safeWeight = 0;  // check weight and kinds of the safe checks
    int safeKinds = 0;
    if (anyChecks) {
        const BitMask contested = (~def.allAttacks | att.doubleAttacks) & ~def.doubleAttacks;
        safeKnight = knightChecks & ~(def.minorAttacks | def.pawnAttacks) & contested;
        safeBishop = bishopChecks & ~(def.minorAttacks | def.pawnAttacks) & contested;
        safeRook = rookChecks & ~(def.bishopRookAttacks | def.pawnAttacks) & contested;
        safeQueen = queenChecks & ~def.strongSquares & ~(def.kingAttacks & ~att.doubleAttacks);
        safeWeight = RookCheckWeight * (safeRook != 0) + QueenCheckWeight * (safeQueen != 0) +
                     KnightCheckWeight * (safeKnight != 0) + BishopCheckWeight * (safeBishop != 0);
        safeKinds = (safeKnight != 0) + (safeBishop != 0) + (safeRook != 0) + (safeQueen != 0);
    }

    // A check by moving a piece out of a slider's way: a piece, the king, or
    // a pawn that can step off the line.
    int discovered = att.discoveredCheck ? 1 : 0;
    if (!discovered && (def.kingBlockers & Bit(board.kingSquare[a]))) discovered = 1;
    if (!discovered)
        for (BitMask s = def.snipers; s;) {
            const int sniper = PopLowest(s);
            const BitMask blocker = Between(king, sniper) & context.occupied;
            if (MoreThanOne(blocker) || !(blocker & ourPawns)) continue;
            // A push along a file stays on the line and uncovers nothing.
            const BitMask push = ShiftForward(a, blocker) & context.empty & ~LineThrough(king, sniper);
            if (!push) continue;
            discovered = 1;
            att.discoveredSquares |= push;
        }
    // A pawn that promotes with check.
    const BitMask lastButOne = ourPawns & RelRanks(a, 6, 6);
    BitMask promotionChecks = 0;
    if (lastButOne) {
        const BitMask promotions = (ShiftForward(a, lastButOne) & context.empty) |
                                   (PawnCaptureSet(a, lastButOne) & board.colour[d].all & ~Bit(king));
        promotionChecks = promotions & (def.kingDiagonals | def.kingLines);
    }
    const int promotion = promotionChecks ? 1 : 0;

    int checkWeight = safeWeight + SpecialCheckWeight * (discovered + promotion);
    int base = AttackersBase[att.kingAttackers < 7 ? att.kingAttackers : 7];
    const int kinds = safeKinds + discovered + promotion;
    int danger = base;
    if (kinds > 0) {
        danger = ChecksBase[kinds < 4 ? kinds : 4] + base;
    } else if (anyChecks) {
        danger = base / 4 + 16;
        checkWeight = UnsafeCheckWeight;
    }

    // Squares next to the king that only the king guards, or that the
    // attacker hits twice; then the zone; then pawns hitting the shield's gaps.
    // They reach the result only through the check and attack weights, so
    // with both at zero (often, for a king nobody aims at) they are not
    // counted; a trace shows them all the same.
    const BitMask weak = def.kingAttacks & att.allAttacks & ~ourPawns;
    int squares = 0;
    if (Traced || checkWeight || att.kingAttackWeight) {
        const BitMask zoneHit = def.kingZone & att.allAttacks;
        squares = WeakSquareDoubled * PopCount(weak & ~def.strongSquares & att.doubleAttacks) +
                  WeakSquareSingle * PopCount(weak & ~def.strongSquares & ~att.doubleAttacks) +
                  GuardedSquareDoubled * PopCount(weak & def.strongSquares & att.doubleAttacks) +
                  ZoneSquareLoose * PopCount(zoneHit & ~def.allAttacks) +
                  ZoneSquareHeld * PopCount(zoneHit & def.allAttacks) +
                  ZonePawnHit * PopCount(att.pawnAttacks & def.kingZoneUncovered & (theirPawns | def.kingAttacks));
    }
    base += squares;
    danger += squares;

    if (att.kingAttackers == 0) danger >>= 3;

    const int cover = shelter >> 4;
    int d1 = danger - cover > 0 ? danger - cover : 0;
    const int d2 = base - cover > 0 ? base - cover : 0;
    const BitMask loose = ~def.strongSquares;
    const bool net = ((safeQueen | safeRook | safeBishop | promotionChecks) & loose) &&
                     MatingNet(context, a, safeQueen & loose, safeRook & loose, safeBishop & loose,
                               promotionChecks & loose);
    if (net) d1 += board.sideToMove == a ? MatingNetToMove : MatingNetWaiting;

    const int pinnedPawn = def.pinnedPawns ? PinnedPawnWeight : 0;
    int result = int((int64_t(d1) * checkWeight + int64_t(d2 + pinnedPawn) * att.kingAttackWeight) >> 5);

    // Pressure on the king's flank beyond the weak squares.
    const BitMask flank = FlankBox(d, king) & ~weak &
                          ((att.allAttacks & ~def.allAttacks) | att.pawnAttacks | att.doubleAttacks);
    result += FlankSquare * PopCount(flank);
    if ((safeBishop | safeRook) & def.queenAttacks) result += CheckUnderQueen;

    TraceTerm<Traced>(context, TermKingDanger, d, -result);
    if constexpr (Traced) {
        KingDangerTrace& t = context.trace->kingDanger[d];
        t.computed = true;
        t.shelter = shelter;
        t.attackers = att.kingAttackers;
        t.attackWeight = att.kingAttackWeight;
        t.safeChecks = uint8_t((safeKnight ? KnightCheck : 0) | (safeBishop ? BishopCheck : 0) |
                               (safeRook ? RookCheck : 0) | (safeQueen ? QueenCheck : 0));
        t.unsafeChecks = ((knightChecks & ~safeKnight) | (bishopChecks & ~safeBishop) | (rookChecks & ~safeRook) |
                          (queenChecks & ~safeQueen)) != 0;
        t.discovered = discovered;
        t.promotion = promotion;
        t.matingNet = net;
        t.pinnedPawn = pinnedPawn != 0;
        t.checkWeight = checkWeight;
        t.base = base;
        t.danger = danger;
        t.d1 = d1;
        t.d2 = d2;
        t.flank = PopCount(flank);
        t.result = result;
    }
    return result;
}

template int KingDanger<false>(EvalContext&, Colour, int);
template int KingDanger<true>(EvalContext&, Colour, int);

}  // namespace NEngine
