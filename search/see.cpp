// Static exchange test: a swap loop over bitboards. Each side recaptures on
// the destination with its least valuable attacker that is not pinned; the
// balance is checked against the threshold after every capture so that the
// loop usually ends after one or two steps.
#include "search/see.h"

#include "board/attacks.h"
#include "search/movelist.h"

namespace NEngine {

namespace {

constexpr int PromotionGain = 1005;  // queen minus pawn
constexpr int EnPassantLimit = 86;   // en passant wins a pawn: thresholds below pass

// The exchange on one square as it unfolds. `attackers` holds the pieces of
// both sides that attack `to` through `occupied`; when a piece leaves, the
// sliders behind it along its line to `to` join.
struct Exchange {
    const Board& b;
    int to;
    BitMask occupied;  // pieces still on the board (those that moved to `to` removed)
    BitMask attackers;
    int kingSquare[2];

    BitMask Diagonal(Colour c) const { return (b.Pieces(c, Bishop) | b.Pieces(c, Queen)) & occupied; }
    BitMask Straight(Colour c) const { return (b.Pieces(c, Rook) | b.Pieces(c, Queen)) & occupied; }

    void FindAttackers() {
        attackers = ((PawnAttacks(Black, to) & b.Pieces(White, Pawn)) | (PawnAttacks(White, to) & b.Pieces(Black, Pawn)) |
                     (KnightAttacks(to) & (b.Pieces(White, Knight) | b.Pieces(Black, Knight))) |
                     (KingAttacks(to) & (b.Pieces(White, King) | b.Pieces(Black, King))) |
                     (BishopAttacks(to, occupied) & (Diagonal(White) | Diagonal(Black))) |
                     (RookAttacks(to, occupied) & (Straight(White) | Straight(Black)))) &
                    occupied;
    }

    void Remove(int sq) {
        occupied ^= Bit(sq);
        switch (LineType(sq, to)) {
            case 1: attackers |= RookAttacks(to, occupied) & (Straight(White) | Straight(Black)); break;
            case 2: attackers |= BishopAttacks(to, occupied) & (Diagonal(White) | Diagonal(Black)); break;
            default: break;
        }
        attackers &= occupied;
    }

    // Would c's piece on sq, moving to `to`, expose c's king to a slider? The
    // piece standing on `to` is the one being taken and pins nothing.
    bool Pinned(Colour c, int sq) const {
        const int king = kingSquare[c];
        const int line = LineType(sq, king);
        if (!line) return false;
        const Colour e = Opponent(c);
        const BitMask sliders = (line == 2 ? Diagonal(e) : Straight(e)) & RayFrom(king, sq) & ~Bit(to);
        if (!sliders) return false;
        const BitMask after = (occupied ^ Bit(sq)) | Bit(to);
        return (line == 2 ? BishopAttacks(king, after) : RookAttacks(king, after)) & sliders;
    }

    // Did c's piece leaving sq (now on `to`) uncover a check by one of c's
    // sliders on the king at `king`?
    bool Uncovers(Colour c, int sq, int king) const {
        const int line = LineType(sq, king);
        if (!line) return false;
        const BitMask sliders = (line == 2 ? Diagonal(c) : Straight(c)) & ~Bit(to) & RayFrom(king, sq);
        if (!sliders) return false;
        return (line == 2 ? BishopAttacks(king, occupied) : RookAttacks(king, occupied)) & sliders;
    }

    // c's least valuable usable attacker: pawn .. queen, skipping pinned
    // pieces; the king only when the other side has no attacker left.
    bool Least(Colour c, bool kingOnly, int& sq, PieceType& type) const {
        const BitMask own = attackers & b.colour[c].all;
        if (!kingOnly)
            for (PieceType t = Pawn; t <= Queen; ++t)
                for (BitMask p = own & b.Pieces(c, t); p;) {
                    const int s = PopLowest(p);
                    if (!Pinned(c, s)) {
                        sq = s;
                        type = t;
                        return true;
                    }
                }
        const BitMask king = own & b.Pieces(c, King);
        if (!king || (attackers & b.colour[Opponent(c)].all)) return false;
        sq = LowestSquare(king);
        type = King;
        return true;
    }
};

// Cheap first look: does c have any piece attacking `to` through occ? Slider
// lookups are skipped when no slider of c stands on an empty-board line.
bool AnyAttacker(const Board& b, Colour c, int to, BitMask occ) {
    if (((PawnAttacks(Opponent(c), to) & b.Pieces(c, Pawn)) | (KnightAttacks(to) & b.Pieces(c, Knight)) |
         (KingAttacks(to) & b.Pieces(c, King))) &
        occ)
        return true;
    const BitMask diagonal = (b.Pieces(c, Bishop) | b.Pieces(c, Queen)) & occ & Attacks->bishopRays[to];
    if (diagonal && (BishopAttacks(to, occ) & diagonal)) return true;
    const BitMask straight = (b.Pieces(c, Rook) | b.Pieces(c, Queen)) & occ & Attacks->rookRays[to];
    return straight && (RookAttacks(to, occ) & straight);
}

// Does a piece of type t of colour c on sq attack the king square through occ?
bool Checks(PieceType t, Colour c, int sq, int king, BitMask occ) {
    switch (t) {
        case Pawn: return PawnAttacks(c, sq) & Bit(king);
        case Knight: return KnightAttacks(sq) & Bit(king);
        case Bishop: return BishopAttacks(sq, occ) & Bit(king);
        case Rook: return RookAttacks(sq, occ) & Bit(king);
        case Queen: return QueenAttacks(sq, occ) & Bit(king);
        default: return false;
    }
}

}  // namespace

bool SeeAtLeast(const Board& b, Move move, int threshold) {
    const int from = FromSquare(move), to = ToSquare(move);
    const PieceType mover = TypeOf(b.mailbox[from]);
    const Colour us = ColourOf(b.mailbox[from]), them = Opponent(us);
    const PieceType captured = TypeOf(b.mailbox[to]);
    const PieceType promotion = PromotionOf(move);
    const bool enPassant = mover == Pawn && b.epSquare > 0 && to == b.epSquare;

    // A capture that wins at least the threshold even if the piece is lost.
    if (captured && PieceValue[captured] - PieceValue[mover] >= threshold) return true;
    if (enPassant && threshold < EnPassantLimit) return true;

    BitMask vacated = Bit(from);
    if (enPassant) vacated |= Bit(us == White ? to - 8 : to + 8);
    const BitMask after = (b.Occupied() & ~vacated) | Bit(to);

    // Uncovering a check on the opponent's king wins whatever happens on `to`.
    const int theirKing = b.kingSquare[them];
    for (BitMask v = vacated; v;) {
        const int sq = PopLowest(v);
        const int line = LineType(sq, theirKing);
        if (!line) continue;
        const bool diagonal = line == 2;
        const BitMask pieces = diagonal ? b.Pieces(us, Bishop) : b.Pieces(us, Rook);
        const BitMask sliders = (pieces | b.Pieces(us, Queen)) & after & ~Bit(from) & RayFrom(theirKing, sq);
        if (sliders && ((diagonal ? BishopAttacks(theirKing, after) : RookAttacks(theirKing, after)) & sliders))
            return true;
    }

    // A checking move forces a reply: it only needs not to lose material.
    if (threshold > 0 && Checks(promotion ? promotion : mover, us, to, theirKing, after)) threshold = 0;
    if (enPassant) return threshold < EnPassantLimit;

    int balance = PieceValue[captured] + (promotion ? PromotionGain : 0);
    int onTo = promotion ? PieceValue[Queen] : PieceValue[mover];
    if (balance < threshold) return false;
    // Most quiet moves end here: nothing of the opponent's can take back.
    if (!AnyAttacker(b, them, to, after)) return true;

    Exchange ex{b, to, after, 0, {b.kingSquare[0], b.kingSquare[1]}};
    if (mover == King) ex.kingSquare[us] = to;
    ex.FindAttackers();

    // A pawn that recaptures on the promotion rank promotes.
    const bool promotionRank = mover == Pawn && (RankOf(to) == 0 || RankOf(to) == 7);
    auto value = [&](PieceType t) { return t == Pawn && promotionRank ? PromotionGain : PieceValue[t]; };

    int sq;
    PieceType type;
    bool kingOnly = false;
    for (;;) {
        // The opponent recaptures, or stands pat.
        if (!ex.Least(them, false, sq, type)) return balance >= threshold;
        balance -= onTo;
        if (balance >= threshold) return true;
        onTo = value(type);
        if (balance + onTo < threshold) return false;
        ex.Remove(sq);
        if (type == King) return balance >= threshold;
        // A recapture that uncovers a check leaves the mover only its king.
        kingOnly = ex.Uncovers(them, sq, ex.kingSquare[us]);

        // The mover recaptures, or stands pat.
        if (!ex.Least(us, kingOnly, sq, type)) return balance >= threshold;
        balance += onTo;
        onTo = value(type);
        if (balance - onTo >= threshold) return true;
        if (balance < threshold) return false;
        ex.Remove(sq);
        if (type == King) return balance >= threshold;
        if (ex.Uncovers(us, sq, theirKing)) return true;
    }
}

}  // namespace NEngine
