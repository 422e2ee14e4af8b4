// Knights, bishops, rooks and queens: outposts, closeness to the own king,
// discovered attacks, relative pins, mobility, rook files and trapped rooks.
// Their pressure on the enemy king zone is counted with their attacks, in
// attack_maps.cpp, where the sliders' x-rays are at hand.
//
// Tables are packed mg/eg scores. Distance tables are indexed by the king
// distance (0..7) from the piece to its own king; mobility tables by the
// number of squares counted; Outpost by whether our pawns cover the outpost.
#include "board/attacks.h"
#include "eval/terms.h"

namespace NEngine {

namespace {

constexpr PackedScore Outpost[2] = {S(6, 2), S(10, 3)};  // [covered by our pawns]
constexpr PackedScore KingDistanceBonus[8] = {S(0, 0), S(5, 0), S(4, 0),  S(3, 0),
                                              S(1, 0), S(0, 0), S(-1, 0), S(-2, 0)};
// The same values serve every piece kind.
constexpr const PackedScore (&KnightKingDistance)[8] = KingDistanceBonus;
constexpr const PackedScore (&BishopKingDistance)[8] = KingDistanceBonus;
constexpr const PackedScore (&RookKingDistance)[8] = KingDistanceBonus;
constexpr const PackedScore (&QueenKingDistance)[8] = KingDistanceBonus;

constexpr PackedScore DiscoveredAttack = S(20, 20);
constexpr PackedScore KnightRelativePin = S(-15, -15);
constexpr PackedScore BishopRelativePin = S(-10, -10);
constexpr PackedScore RookRelativePin = S(-15, -15);
constexpr PackedScore QueenRelativePin = S(-20, -20);
constexpr PackedScore RookFile[2] = {S(20, 8), S(10, 4)};  // [an enemy pawn ahead]: open, half open
constexpr PackedScore RookTrappedByKing = S(-60, 0);
constexpr PackedScore RookTrappedInCorner = S(-60, -60);

constexpr PackedScore KnightMobility[9] = {S(-45, -45), S(-19, -18), S(6, 8),   S(9, 11), S(11, 15),
                                           S(14, 17),   S(16, 20),   S(18, 22), S(20, 25)};
constexpr PackedScore BishopMobility[14] = {S(-30, -30), S(-13, -12), S(4, 6),   S(5, 8),   S(7, 9),
                                            S(8, 11),    S(10, 13),   S(11, 14), S(12, 16), S(13, 17),
                                            S(15, 19),   S(16, 20),   S(17, 21), S(18, 22)};
constexpr PackedScore RookMobility[15] = {S(-25, -45), S(-9, -17), S(7, 10),  S(11, 15), S(14, 21),
                                          S(18, 26),   S(21, 31),  S(24, 35), S(27, 40), S(30, 44),
                                          S(33, 48),   S(35, 51),  S(38, 55), S(40, 58), S(42, 61)};
constexpr PackedScore QueenMobility[32] = {
    S(-55, -55), S(-22, -21), S(10, 12), S(12, 14), S(14, 17), S(17, 20), S(19, 22), S(21, 25),
    S(23, 27),   S(25, 30),   S(27, 32), S(29, 34), S(31, 36), S(33, 38), S(34, 40), S(36, 42),
    S(38, 44),   S(40, 46),   S(41, 48), S(43, 50), S(44, 52), S(46, 54), S(47, 55), S(49, 57),
    S(50, 59),   S(52, 60),   S(53, 62), S(54, 64), S(56, 65), S(57, 67), S(58, 68), S(60, 70)};

// Corner boxes by colour (the colour's own corners) and side (0: files a-b,
// 1: files g-h).
constexpr BitMask CornerBox[2][2] = {
    {Bit(56) | Bit(57) | Bit(48) | Bit(49), Bit(62) | Bit(63) | Bit(54) | Bit(55)},
    {Bit(0) | Bit(1) | Bit(8) | Bit(9), Bit(6) | Bit(7) | Bit(14) | Bit(15)}};

constexpr BitMask AllCornerBoxes = CornerBox[0][0] | CornerBox[0][1] | CornerBox[1][0] | CornerBox[1][1];

constexpr CastlingRights KingSideRight(Colour c) { return CastlingRights(1 << (2 * c)); }
constexpr CastlingRights QueenSideRight(Colour c) { return CastlingRights(2 << (2 * c)); }

// Whether the piece on sq shields an own piece in `shielded` from an enemy
// slider in `attackers` on the same line (diagonal or straight): moving it
// would expose the shielded piece.
inline bool Shields(int sq, bool diagonal, BitMask occupied, BitMask shielded, BitMask attackers) {
    // Most pieces have no such line at all, even on an empty board.
    const BitMask rays = diagonal ? Attacks->bishopRays[sq] : Attacks->rookRays[sq];
    if (!(rays & shielded) || !(rays & attackers)) return false;
    const BitMask seen = diagonal ? BishopAttacks(sq, occupied) : RookAttacks(sq, occupied);
    if (!(seen & shielded)) return false;
    for (BitMask b = seen & attackers; b;)
        if (seen & Beyond(PopLowest(b), sq) & shielded) return true;
    return false;
}

// Whether the piece on sq shields, along a rank or file, an own queen from an
// enemy rook or queen, or an own undefended rook from an enemy rook. One
// look at the empty-board lines settles it for most pieces.
inline bool ShieldsOnLines(int sq, BitMask occupied, BitMask queens, BitMask looseRooks, BitMask theirRooks,
                           BitMask theirQueens) {
    const BitMask rays = Attacks->rookRays[sq];
    if (!(rays & (queens | looseRooks)) || !(rays & (theirRooks | theirQueens))) return false;
    return Shields(sq, false, occupied, queens, theirRooks | theirQueens) ||
           Shields(sq, false, occupied, looseRooks, theirRooks);
}

struct PieceScan {
    EvalContext& context;
    const Board& board;
    Colour c, o;
    AttackBlock& us;
    const AttackBlock& them;
    int ownKing;
    BitMask outpostZone;      // where a minor piece is hard to chase away
    BitMask minorMobility;    // squares a minor piece's moves count on
    BitMask looseRooks;       // our rooks that we do not defend

    PieceScan(EvalContext& ctx, Colour colour)
        : context(ctx),
          board(*ctx.board),
          c(colour),
          o(Opponent(colour)),
          us(ctx.side[colour]),
          them(ctx.side[Opponent(colour)]),
          ownKing(board.kingSquare[colour]) {
        outpostZone = RelRanks(c, 3, 5) & ~them.pawnAttackSpan;
        minorMobility = us.mobilityArea | us.pieces | them.pieces;
        looseRooks = Own(Rook) & ~us.allAttacks;
    }

    BitMask Own(PieceType t) const { return board.Pieces(c, t); }
    BitMask Theirs(PieceType t) const { return board.Pieces(o, t); }

    // The piece or an empty-of-ours square it attacks stands in the zone.
    PackedScore OutpostOf(int sq, BitMask attacks) const {
        const BitMask in = (Bit(sq) | (attacks & ~board.colour[c].all)) & outpostZone;
        if (!in) return 0;
        return Outpost[(in & us.pawnAttacks) ? 1 : 0];
    }

    // The end of a knight's or bishop's terms: its relative pin and its
    // mobility. (Its pressure on their king zone was counted with its attacks.)
    template <bool Traced>
    void MinorPieceTail(int sq, BitMask attacks, bool tied, PackedScore pin, const PackedScore* mobility,
                        EvalTerm mobilityTerm) {
        if (tied) {
            us.score += pin;
            TraceTerm<Traced>(context, TermRelativePins, c, pin);
        }
        const int n = PopCount(attacks & minorMobility);
        us.score += mobility[n];
        TraceTerm<Traced>(context, mobilityTerm, c, mobility[n]);
        if (n == 0 || tied) us.restricted |= Bit(sq);
    }
};

template <bool Traced>
PackedScore Knights(PieceScan& p) {
    if (!p.Own(Knight)) return 0;
    EvalContext& ctx = p.context;
    PackedScore sum = 0;
    const BitMask occupied = ctx.occupied;
    const BitMask heavies = p.Own(Queen) | p.Own(Rook);
    for (BitMask b = p.Own(Knight); b;) {
        const int sq = PopLowest(b);
        const BitMask attacks = ctx.pieceAttacks[sq];

        const PackedScore outpost = p.OutpostOf(sq, attacks);
        const PackedScore tropism = KnightKingDistance[Distance(sq, p.ownKing)];
        sum += outpost + tropism;
        TraceTerm<Traced>(ctx, TermOutposts, p.c, outpost);
        TraceTerm<Traced>(ctx, TermTropism, p.c, tropism);

        // A loose queen with a rook beyond is a queen shielded from a rook,
        // so on ranks and files only loose rooks need a case of their own.
        const bool tied =
            Shields(sq, true, occupied, heavies, p.Theirs(Bishop) | p.Theirs(Queen)) ||
            ShieldsOnLines(sq, occupied, p.Own(Queen), p.looseRooks, p.Theirs(Rook), p.Theirs(Queen));
        p.MinorPieceTail<Traced>(sq, attacks, tied, KnightRelativePin, KnightMobility, TermKnightMobility);
    }
    return sum;
}

template <bool Traced>
PackedScore Bishops(PieceScan& p) {
    if (!p.Own(Bishop)) return 0;
    EvalContext& ctx = p.context;
    PackedScore sum = 0;
    const BitMask occupied = ctx.occupied;
    for (BitMask b = p.Own(Bishop); b;) {
        const int sq = PopLowest(b);
        const BitMask attacks = ctx.pieceAttacks[sq];

        // An undefended bishop is a target a knight may fork from these squares.
        if (!(p.us.allAttacks & Bit(sq))) p.us.forkTargets |= KnightAttacks(sq);

        const PackedScore outpost = p.OutpostOf(sq, attacks);
        const PackedScore tropism = BishopKingDistance[Distance(sq, p.ownKing)];
        sum += outpost + tropism;
        TraceTerm<Traced>(ctx, TermOutposts, p.c, outpost);
        TraceTerm<Traced>(ctx, TermTropism, p.c, tropism);

        const bool tied = ShieldsOnLines(sq, occupied, p.Own(Queen), p.looseRooks, p.Theirs(Rook), p.Theirs(Queen));
        p.MinorPieceTail<Traced>(sq, attacks, tied, BishopRelativePin, BishopMobility, TermBishopMobility);
    }
    return sum;
}

template <bool Traced>
PackedScore Rooks(PieceScan& p) {
    if (!p.Own(Rook)) return 0;
    EvalContext& ctx = p.context;
    PackedScore sum = 0;
    const BitMask occupied = ctx.occupied;
    const Colour c = p.c;
    const BitMask mobilityTargets = (p.us.mobilityArea & ~p.them.minorAttacks) | p.them.heavies | p.us.heavies;
    const int kingFile = FileOf(p.ownKing);
    for (BitMask b = p.Own(Rook); b;) {
        const int sq = PopLowest(b);
        const BitMask attacks = ctx.pieceAttacks[sq];

        const BitMask ahead = PawnMasks->frontSpan[c][sq];
        PackedScore file = 0;
        if (!(ahead & p.Own(Pawn))) file = RookFile[(ahead & p.Theirs(Pawn)) ? 1 : 0];
        const PackedScore tropism = RookKingDistance[Distance(sq, p.ownKing)];
        sum += file + tropism;
        TraceTerm<Traced>(ctx, TermRookFiles, c, file);
        TraceTerm<Traced>(ctx, TermTropism, c, tropism);

        const bool tied =
            Shields(sq, true, occupied, p.Own(Queen) | p.Own(Rook), p.Theirs(Bishop) | p.Theirs(Queen));
        if (tied) {
            p.us.score += RookRelativePin;
            TraceTerm<Traced>(ctx, TermRelativePins, c, RookRelativePin);
        }

        const BitMask moves = attacks & mobilityTargets;
        const int n = PopCount(moves);
        p.us.score += RookMobility[n];
        TraceTerm<Traced>(ctx, TermRookMobility, c, RookMobility[n]);

        // Shut in by its own king that can no longer castle to free it, or
        // lost in the enemy's corner: either way it stands in a corner box.
        if (n < 3 && (Bit(sq) & AllCornerBoxes)) {
            const bool left = FileOf(sq) < kingFile;
            const BitMask ownBox = CornerBox[c][left ? 0 : 1];
            PackedScore trapped = 0;
            if ((ownBox & Bit(sq)) && !(moves & ~ownBox) && RelRank(c, p.ownKing) == 0 &&
                (left ? kingFile <= 3 : kingFile >= 4) &&
                !(p.board.castling & (left ? QueenSideRight(c) : KingSideRight(c)))) {
                trapped = RookTrappedByKing;
            } else {
                const BitMask enemyBox = CornerBox[p.o][FileOf(sq) <= 3 ? 0 : 1];
                if ((enemyBox & Bit(sq)) && !(moves & ~enemyBox)) trapped = RookTrappedInCorner;
            }
            p.us.score += trapped;
            TraceTerm<Traced>(ctx, TermTrappedRooks, c, trapped);
        }
        if (n == 0 || tied) p.us.restricted |= Bit(sq);
    }
    return sum;
}

template <bool Traced>
PackedScore Queens(PieceScan& p) {
    if (!p.Own(Queen)) return 0;
    EvalContext& ctx = p.context;
    PackedScore sum = 0;
    const BitMask occupied = ctx.occupied;
    const BitMask allQueens = p.Own(Queen) | p.Theirs(Queen);
    const BitMask mobilityTargets = (p.us.mobilityArea & ~p.them.bishopRookAttacks) | allQueens;
    for (BitMask b = p.Own(Queen); b;) {
        const int sq = PopLowest(b);
        const BitMask attacks = ctx.pieceAttacks[sq];

        const PackedScore tropism = QueenKingDistance[Distance(sq, p.ownKing)];
        sum += tropism;
        TraceTerm<Traced>(ctx, TermTropism, p.c, tropism);

        const BitMask defendedBishops = p.Theirs(Bishop) & p.them.allAttacks;
        const bool tied =
            Shields(sq, true, occupied, p.Own(Queen) | p.Own(Rook), defendedBishops | p.Theirs(Queen));
        if (tied) {
            p.us.score += QueenRelativePin;
            TraceTerm<Traced>(ctx, TermRelativePins, p.c, QueenRelativePin);
        }

        const int n = PopCount(attacks & mobilityTargets);
        p.us.score += QueenMobility[n];
        TraceTerm<Traced>(ctx, TermQueenMobility, p.c, QueenMobility[n]);
        if (n == 0 || tied) p.us.restricted |= Bit(sq);
    }
    return sum;
}

// Our pieces that block a slider of ours from their king: every such knight
// counts, otherwise only the first bishop or, failing that, rook. Such
// blockers are rare, so they are looked for once rather than per piece.
template <bool Traced>
void DiscoveredAttacks(PieceScan& p) {
    const BitMask blockers = p.them.kingBlockers & p.us.pieces;
    if (!blockers) return;
    const auto add = [&p](int sq) {
        p.us.score += DiscoveredAttack;
        p.us.discoveredSquares |= p.context.pieceAttacks[sq];
        p.us.discoveredCheck = 1;
        TraceTerm<Traced>(p.context, TermDiscoveredAttacks, p.c, DiscoveredAttack);
    };
    const BitMask knights = blockers & p.Own(Knight);
    for (BitMask b = knights; b;) add(PopLowest(b));
    if (knights) return;
    const BitMask bishops = blockers & p.Own(Bishop);
    const BitMask rooks = blockers & p.Own(Rook);
    if (bishops || rooks) add(LowestSquare(bishops ? bishops : rooks));
}

}  // namespace

template <bool Traced>
PackedScore PieceTerms(EvalContext& context, Colour c) {
    PieceScan scan(context, c);
    DiscoveredAttacks<Traced>(scan);
    PackedScore sum = Knights<Traced>(scan);
    sum += Bishops<Traced>(scan);
    sum += Rooks<Traced>(scan);
    sum += Queens<Traced>(scan);
    // Squares held by more than the king alone (the bishops, rooks and queens
    // have added their x-rays to the double attacks).
    AttackBlock& us = context.side[c];
    us.strongSquares = (us.allAttacks & ~us.kingAttacks) | us.doubleAttacks;
    return sum + context.side[c].score;
}

template PackedScore PieceTerms<false>(EvalContext&, Colour);
template PackedScore PieceTerms<true>(EvalContext&, Colour);

}  // namespace NEngine
