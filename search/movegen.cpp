// Staged move generators over bitboards: lowest-bit loops, magic lookups, no
// allocation. Emission order is fixed because it decides the order of moves
// with equal scores.
#include "search/movegen.h"

#include "board/attacks.h"
#include "board/board.h"

namespace NEngine {

namespace {

constexpr BitMask Rank3 = 0x0000000000FF0000ULL;
constexpr BitMask Rank6 = 0x0000FF0000000000ULL;
constexpr BitMask FileA = 0x0101010101010101ULL;
constexpr BitMask FileH = FileA << 7;

inline int Up(Colour c) { return c == White ? 8 : -8; }
inline BitMask Forward(BitMask b, Colour c) { return c == White ? b << 8 : b >> 8; }
// Rank a single push lands on when it may continue as a double push.
inline BitMask DoublePushRank(Colour c) { return c == White ? Rank3 : Rank6; }

inline BitMask AttacksOf(PieceType t, Colour c, int sq, BitMask occ) {
    switch (t) {
        case Pawn: return PawnAttacks(c, sq);
        case Knight: return KnightAttacks(sq);
        case Bishop: return BishopAttacks(sq, occ);
        case Rook: return RookAttacks(sq, occ);
        case Queen: return QueenAttacks(sq, occ);
        case King: return KingAttacks(sq);
        default: return 0;
    }
}

inline void AddCapture(const Board& b, MoveList& list, int from, int to) {
    const Move m = MakeMoveCode(from, to);
    list.InsertSorted(m, CaptureScore(b, m));
}

// Queen promotion, and the knight promotion when that knight would check.
inline void AddPromotions(const Board& b, MoveList& list, int from, int to) {
    const int32_t score = PieceValue[TypeOf(b.mailbox[to])] - Pawn;
    list.InsertSorted(MakeMoveCode(from, to, Queen), score);
    if (KnightWouldCheck(b, to)) list.InsertSorted(MakeMoveCode(from, to, Knight), score);
}

inline void AddQuiet(const History& h, Colour us, MoveList& list, int from, int to) {
    list.InsertSorted(MakeMoveCode(from, to), h.Get(us, from, to));
}

// Quiet moves of all pieces of one type (knight .. queen) onto `allowed`.
inline void AddPieceMoves(const Board& b, const History& h, MoveList& list, PieceType t, BitMask allowed) {
    const Colour us = b.sideToMove;
    const BitMask occ = b.Occupied();
    for (BitMask pieces = b.Pieces(us, t); pieces;) {
        const int from = PopLowest(pieces);
        for (BitMask to = AttacksOf(t, us, from, occ) & allowed; to;) AddQuiet(h, us, list, from, PopLowest(to));
    }
}

// Castling is only offered with the king and the rook on their home squares,
// so a set-up that claims a right without them cannot produce a broken move.
inline bool CanCastle(const Board& b, Colour us, int wing) {
    const int bit = 2 * us + wing;
    return (b.castling & (1 << bit)) && !(Attacks->castlingPath[bit] & b.Occupied()) &&
           b.kingSquare[us] == KingHome[us] && b.mailbox[RookHome[bit]] == MakeCode(us, Rook);
}

// Own pieces that are the only piece between an own slider and `ksq`: moving
// one of them off that line uncovers a check.
BitMask DiscoveryBlockers(const Board& b, Colour us, int ksq, BitMask diagonalSliders, BitMask straightSliders) {
    const BitMask occ = b.Occupied();
    BitMask result = 0;
    BitMask sliders = (diagonalSliders & Attacks->bishopRays[ksq]) | (straightSliders & Attacks->rookRays[ksq]);
    while (sliders) {
        const BitMask between = Between(ksq, PopLowest(sliders)) & occ;
        if (between && !MoreThanOne(between)) result |= between & b.colour[us].all;
    }
    return result;
}

}  // namespace

void GenerateTactical(const Board& b, MoveList& list) {
    const Colour us = b.sideToMove, them = Opponent(us);
    const BitMask occ = b.Occupied();
    const BitMask targets = b.colour[them].all & ~b.Pieces(them, King);
    const BitMask pawns = b.Pieces(us, Pawn);
    const BitMask seventh = pawns & Attacks->prePromotionRank[us];
    const int up = Up(us);

    // Promotion pushes.
    for (BitMask p = seventh; p;) {
        const int from = PopLowest(p);
        if (!(occ & Bit(from + up))) AddPromotions(b, list, from, from + up);
    }

    // Pawn captures, when any pawn attack lands on a target or the en-passant square.
    const BitMask epMask = b.epSquare > 0 ? Bit(b.epSquare) : 0;
    const BitMask westward = Forward(pawns & ~FileA, us) >> 1;
    const BitMask eastward = Forward(pawns & ~FileH, us) << 1;
    if ((westward | eastward) & (targets | epMask)) {
        for (BitMask p = seventh; p;) {
            const int from = PopLowest(p);
            for (BitMask to = PawnAttacks(us, from) & targets; to;) AddPromotions(b, list, from, PopLowest(to));
        }
        // Only the pawns that have something to take: a target seen from
        // behind with the opponent's pawn pattern marks them.
        const BitMask backWest = Forward(targets & ~FileH, them) << 1;
        const BitMask backEast = Forward(targets & ~FileA, them) >> 1;
        for (BitMask p = pawns & ~seventh & (backWest | backEast); p;) {
            const int from = PopLowest(p);
            for (BitMask to = PawnAttacks(us, from) & targets; to;) AddCapture(b, list, from, PopLowest(to));
        }
        if (epMask)
            for (BitMask p = PawnAttacks(them, b.epSquare) & pawns; p;)
                list.InsertSorted(MakeMoveCode(PopLowest(p), b.epSquare), -Pawn);
    }

    for (BitMask pieces = b.Pieces(us, Knight); pieces;) {
        const int from = PopLowest(pieces);
        for (BitMask to = KnightAttacks(from) & targets; to;) AddCapture(b, list, from, PopLowest(to));
    }
    // A slider whose empty-board rays hold no target needs no magic lookup.
    const auto sliderCaptures = [&](PieceType t, const BitMask (&rays)[64]) {
        for (BitMask pieces = b.Pieces(us, t); pieces;) {
            const int from = PopLowest(pieces);
            if (!(rays[from] & targets)) continue;
            for (BitMask to = AttacksOf(t, us, from, occ) & targets; to;) AddCapture(b, list, from, PopLowest(to));
        }
    };
    sliderCaptures(Bishop, Attacks->bishopRays);
    sliderCaptures(Rook, Attacks->rookRays);
    sliderCaptures(Queen, Attacks->queenRays);
    for (BitMask to = KingAttacks(b.kingSquare[us]) & targets; to;)
        AddCapture(b, list, b.kingSquare[us], PopLowest(to));
    list.Rewind();
}

void GenerateQuiet(const Board& b, const History& h, MoveList& list) {
    const Colour us = b.sideToMove, them = Opponent(us);
    const BitMask empty = ~b.Occupied();
    const BitMask pawns = b.Pieces(us, Pawn) & ~Attacks->prePromotionRank[us];
    const int up = Up(us);

    const BitMask single = Forward(pawns, us) & empty;
    for (BitMask to = single; to;) {
        const int sq = PopLowest(to);
        AddQuiet(h, us, list, sq - up, sq);
    }
    for (BitMask to = Forward(single & DoublePushRank(us), us) & empty; to;) {
        const int sq = PopLowest(to);
        AddQuiet(h, us, list, sq - 2 * up, sq);
    }
    for (PieceType t = Knight; t <= Queen; ++t) AddPieceMoves(b, h, list, t, empty);

    const int king = b.kingSquare[us];
    if (CanCastle(b, us, 0)) AddQuiet(h, us, list, king, king + 2);
    if (CanCastle(b, us, 1)) AddQuiet(h, us, list, king, king - 2);
    for (BitMask to = KingAttacks(king) & empty & ~KingAttacks(b.kingSquare[them]); to;)
        AddQuiet(h, us, list, king, PopLowest(to));
    list.Rewind();
}

void GenerateQuietChecks(const Board& b, const History& h, MoveList& list) {
    const Colour us = b.sideToMove, them = Opponent(us);
    const BitMask occ = b.Occupied(), empty = ~occ;
    const int ksq = b.kingSquare[them];
    const BitMask queens = b.Pieces(us, Queen);
    const BitMask blockers = DiscoveryBlockers(b, us, ksq, b.Pieces(us, Bishop) | queens, b.Pieces(us, Rook) | queens);

    // Squares from which each kind of piece checks directly.
    BitMask checkFrom[8] = {};
    checkFrom[Pawn] = PawnAttacks(them, ksq);
    checkFrom[Knight] = KnightAttacks(ksq);
    checkFrom[Bishop] = BishopAttacks(ksq, occ);
    checkFrom[Rook] = RookAttacks(ksq, occ);
    checkFrom[Queen] = checkFrom[Bishop] | checkFrom[Rook];

    const BitMask pawns = b.Pieces(us, Pawn) & ~Attacks->prePromotionRank[us];
    const int up = Up(us);
    // Pushes of one pawn (single, then double) onto `allowed`.
    auto pawnPushes = [&](int from, BitMask allowed) {
        const int to = from + up;
        if (occ & Bit(to)) return;
        if (allowed & Bit(to)) AddQuiet(h, us, list, from, to);
        if ((Bit(to) & DoublePushRank(us)) && !(occ & Bit(to + up)) && (allowed & Bit(to + up)))
            AddQuiet(h, us, list, from, to + up);
    };

    // Direct checks: pawns, knights; the king only uncovers; then sliders.
    for (BitMask p = pawns; p;) pawnPushes(PopLowest(p), checkFrom[Pawn]);
    AddPieceMoves(b, h, list, Knight, empty & checkFrom[Knight]);
    const int king = b.kingSquare[us];
    if (blockers & Bit(king))
        for (BitMask to = KingAttacks(king) & empty & ~KingAttacks(ksq) & ~LineThrough(king, ksq); to;)
            AddQuiet(h, us, list, king, PopLowest(to));
    for (PieceType t = Bishop; t <= Queen; ++t) AddPieceMoves(b, h, list, t, empty & checkFrom[t]);

    // Discovered checks by the other pieces standing in a slider's line,
    // leaving out the direct checks already emitted.
    for (BitMask p = pawns & blockers; p;) {
        const int from = PopLowest(p);
        pawnPushes(from, ~LineThrough(from, ksq) & ~checkFrom[Pawn]);
    }
    for (PieceType t = Knight; t <= Queen; ++t)
        for (BitMask pieces = b.Pieces(us, t) & blockers; pieces;) {
            const int from = PopLowest(pieces);
            BitMask to = AttacksOf(t, us, from, occ) & empty & ~LineThrough(from, ksq) & ~checkFrom[t];
            while (to) AddQuiet(h, us, list, from, PopLowest(to));
        }
    list.Rewind();
}

void FindForcingCheck(const Board& b, MoveList& list, int threshold, bool nothingSearched) {
    const Colour us = b.sideToMove, them = Opponent(us);
    const BitMask occ = b.Occupied(), empty = ~occ;
    const int ksq = b.kingSquare[them];
    const BitMask ksqBit = Bit(ksq);
    const BitMask kingZone = KingAttacks(ksq);

    // Squares the side to move attacks, and attacks twice. Bishops and rooks
    // see through their own kind (a battery counts on both squares). Built
    // only when a legal check turns up: most positions offer none.
    const BitMask ourPawns = b.Pieces(us, Pawn);
    const BitMask kingRoom = kingZone & ~b.colour[them].all;
    BitMask att = 0, att2 = 0, flights = 0, targets = 0;
    bool mapped = false;
    auto buildMaps = [&] {
        auto add = [&](BitMask a) {
            att2 |= att & a;
            att |= a;
        };
        add(Forward(ourPawns & ~FileA, us) >> 1);
        add(Forward(ourPawns & ~FileH, us) << 1);
        for (BitMask p = b.Pieces(us, Knight); p;) add(KnightAttacks(PopLowest(p)));
        for (BitMask p = b.Pieces(us, Bishop); p;) add(BishopAttacks(PopLowest(p), occ ^ b.Pieces(us, Bishop)));
        for (BitMask p = b.Pieces(us, Rook); p;) add(RookAttacks(PopLowest(p), occ ^ b.Pieces(us, Rook)));
        for (BitMask p = b.Pieces(us, Queen); p;) add(QueenAttacks(PopLowest(p), occ));
        add(KingAttacks(b.kingSquare[us]));
        flights = kingRoom & ~att;
        // Pieces worth attacking: the most valuable kinds down to the threshold.
        for (PieceType t = Queen; t >= Pawn; --t) {
            if (PieceValue[t] < threshold) break;
            targets |= b.Pieces(them, t);
        }
        mapped = true;
    };

    // Whether the opponent's men (not its king) attack a square once the
    // move is made: a slider may see through the square the mover left.
    const BitMask theirDiagonal = b.Pieces(them, Bishop) | b.Pieces(them, Queen);
    const BitMask theirStraight = b.Pieces(them, Rook) | b.Pieces(them, Queen);
    auto attackedAfter = [&](int sq, BitMask after) {
        return (PawnAttacks(us, sq) & b.Pieces(them, Pawn)) || (KnightAttacks(sq) & b.Pieces(them, Knight)) ||
               (BishopAttacks(sq, after) & theirDiagonal) || (RookAttacks(sq, after) & theirStraight);
    };

    Move best = 0;
    int bestScore = 0;
    // Examines one quiet check; true when it is forcing and has been emitted.
    // `checker` is the square of the checking piece: `to` for a direct check,
    // the uncovered slider's square for a discovered one.
    auto examine = [&](int from, int to, PieceType mover, int checker) -> bool {
        const Move move = MakeMoveCode(from, to);
        if (!IsLegal(b, move)) return false;
        if (!mapped) buildMaps();
        const BitMask after = (occ ^ Bit(from)) | Bit(to);
        const BitMask reach = AttacksOf(mover, us, to, after);
        // Cover after the move: the mover's new attacks (through the king, so
        // a slider covers the squares behind it) and the uncovered slider's;
        // squares only the mover guarded from its origin are lost.
        BitMask cover = AttacksOf(mover, us, to, after & ~ksqBit);
        if (checker != to) cover |= AttacksOf(TypeOf(b.mailbox[checker]), us, checker, after & ~ksqBit);
        const BitMask lost = kingRoom & att & ~att2 & AttacksOf(mover, us, from, occ);
        const BitMask escapes = (flights | lost) & ~cover;
        // A piece next to the king needs a second guard (the mover itself
        // counts in att when it moved onto the square by attacking it).
        const BitMask guarded = checker != to || mover == Pawn ? att : att2;
        const bool safe = (!(kingZone & Bit(checker)) || (guarded & Bit(checker))) && !attackedAfter(checker, after);
        if (!escapes && safe) {
            list.Append(move);
            return true;
        }
        const BitMask hits = reach & targets;
        if (!hits) return false;
        PieceType victim = Queen;
        while (!(b.Pieces(them, victim) & hits)) --victim;
        const int score = PieceValue[victim] - PieceValue[mover];
        if (!best || score > bestScore) {
            best = move;
            bestScore = score;
        }
        return false;
    };

    const int up = Up(us);
    const BitMask pushers = ourPawns & ~Attacks->prePromotionRank[us];
    // Single and double pushes of one pawn, stopping at the first forcing one.
    auto pawnChecks = [&](int from, BitMask allowed, int checker) -> bool {
        const int to = from + up;
        if (occ & Bit(to)) return false;
        if ((allowed & Bit(to)) && examine(from, to, Pawn, checker < 0 ? to : checker)) return true;
        const int to2 = to + up;
        return (Bit(to) & DoublePushRank(us)) && !(occ & Bit(to2)) && (allowed & Bit(to2)) &&
               examine(from, to2, Pawn, checker < 0 ? to2 : checker);
    };
    // Direct checks by pieces of one type onto the squares that see the king.
    auto directChecks = [&](PieceType t, BitMask squares) -> bool {
        for (BitMask pieces = b.Pieces(us, t); pieces;) {
            const int from = PopLowest(pieces);
            for (BitMask to = AttacksOf(t, us, from, occ) & squares; to;) {
                const int sq = PopLowest(to);
                if (examine(from, sq, t, sq)) return true;
            }
        }
        return false;
    };
    // Discovered checks: a rook (diagonal line) or bishop (straight line) or
    // pawn leaves the line between an own slider and the king.
    auto discoveredChecks = [&](bool diagonal) -> bool {
        const BitMask sliders = b.Pieces(us, diagonal ? Bishop : Rook) | b.Pieces(us, Queen);
        const BitMask lines = diagonal ? Attacks->bishopRays[ksq] : Attacks->rookRays[ksq];
        const PieceType runner = diagonal ? Rook : Bishop;
        for (BitMask s = sliders & lines; s;) {
            const int slider = PopLowest(s);
            const BitMask between = Between(ksq, slider) & occ;
            if (!between || MoreThanOne(between) || !(between & b.colour[us].all)) continue;
            const int from = LowestSquare(between);
            const PieceType t = TypeOf(b.mailbox[from]);
            if (t == runner) {
                for (BitMask to = AttacksOf(t, us, from, occ) & empty; to;)
                    if (examine(from, PopLowest(to), t, slider)) return true;
            } else if (t == Pawn && (pushers & Bit(from))) {
                if (pawnChecks(from, ~LineThrough(from, ksq), slider)) return true;
            }
        }
        return false;
    };

    const BitMask bishopSquares = BishopAttacks(ksq, occ) & empty;
    const BitMask rookSquares = RookAttacks(ksq, occ) & empty;
    const BitMask epMask = b.epSquare > 0 ? Bit(b.epSquare) : 0;
    // The order of the check kinds decides which forcing check is found.
    auto findForcing = [&]() -> bool {
        if (directChecks(Queen, bishopSquares | rookSquares)) return true;
        // Only the pawns whose single or double push lands on a checking
        // square can give check by a push.
        const BitMask pawnCheckSquares = PawnAttacks(them, ksq) & ~epMask & empty;
        const BitMask singles = Forward(pushers, us) & empty;
        const BitMask doubles = Forward(singles & DoublePushRank(us), us) & empty;
        const BitMask checkingPushers =
            Forward(singles & pawnCheckSquares, them) | Forward(Forward(doubles & pawnCheckSquares, them), them);
        for (BitMask p = checkingPushers; p;)
            if (pawnChecks(PopLowest(p), PawnAttacks(them, ksq) & ~epMask, -1)) return true;
        return directChecks(Knight, KnightAttacks(ksq) & empty) || discoveredChecks(true) ||
               directChecks(Rook, rookSquares) || directChecks(Bishop, bishopSquares) || discoveredChecks(false);
    };
    if (!findForcing() && nothingSearched && best) list.Append(best, bestScore);
    list.Rewind();
}

void GenerateCheckerCaptures(const Board& b, MoveList& list) {
    if (b.flags & FlagDoubleCheck) {
        list.Rewind();
        return;
    }
    const Colour us = b.sideToMove, them = Opponent(us);
    const int checker = b.checkerSquare;
    const BitMask occ = b.Occupied();
    const BitMask pawns = b.Pieces(us, Pawn);
    const BitMask seventh = pawns & Attacks->prePromotionRank[us];
    const int king = b.kingSquare[us];
    const BitMask between = Between(king, checker);

    for (BitMask p = PawnAttacks(them, checker) & pawns; p;) {
        const int from = PopLowest(p);
        if (Bit(from) & seventh)
            AddPromotions(b, list, from, checker);
        else
            AddCapture(b, list, from, checker);
    }
    if (b.epSquare > 0) {
        const int ep = b.epSquare;
        const int victim = ep - Up(us);
        if (victim == checker || (between & Bit(ep)))
            for (BitMask p = PawnAttacks(them, ep) & pawns; p;) list.InsertSorted(MakeMoveCode(PopLowest(p), ep), -Pawn);
    }
    for (BitMask p = seventh; p;) {
        const int from = PopLowest(p);
        const int to = from + Up(us);
        if (between & Bit(to)) AddPromotions(b, list, from, to);
    }
    for (PieceType t = Knight; t <= Queen; ++t)
        for (BitMask pieces = b.Pieces(us, t); pieces;) {
            const int from = PopLowest(pieces);
            if (AttacksOf(t, us, from, occ) & Bit(checker)) AddCapture(b, list, from, checker);
        }
    list.Rewind();
}

void GenerateKingCaptures(const Board& b, MoveList& list) {
    const Colour us = b.sideToMove, them = Opponent(us);
    const int king = b.kingSquare[us];
    for (BitMask to = KingAttacks(king) & b.colour[them].all & ~KingAttacks(b.kingSquare[them]); to;)
        AddCapture(b, list, king, PopLowest(to));
    list.Rewind();
}

void GenerateKingSteps(const Board& b, const History& h, MoveList& list) {
    const Colour us = b.sideToMove;
    const int king = b.kingSquare[us];
    for (BitMask to = KingAttacks(king) & ~b.Occupied() & ~KingAttacks(b.kingSquare[Opponent(us)]); to;)
        AddQuiet(h, us, list, king, PopLowest(to));
    list.Rewind();
}

void GenerateBlocks(const Board& b, const History& h, MoveList& list) {
    const Colour us = b.sideToMove;
    const int checker = b.checkerSquare;
    const PieceType checkerType = TypeOf(b.mailbox[checker]);
    const BitMask between = Between(b.kingSquare[us], checker);
    if ((b.flags & FlagDoubleCheck) || checkerType == Pawn || checkerType == Knight || !between) {
        list.Rewind();
        return;
    }
    const BitMask occ = b.Occupied();
    const int up = Up(us);
    const BitMask single = Forward(b.Pieces(us, Pawn) & ~Attacks->prePromotionRank[us], us) & ~occ;
    for (BitMask to = single & between; to;) {
        const int sq = PopLowest(to);
        AddQuiet(h, us, list, sq - up, sq);
    }
    for (BitMask to = Forward(single & DoublePushRank(us), us) & ~occ & between; to;) {
        const int sq = PopLowest(to);
        AddQuiet(h, us, list, sq - 2 * up, sq);
    }
    for (PieceType t = Knight; t <= Queen; ++t) AddPieceMoves(b, h, list, t, between);
    list.Rewind();
}

void GenerateAll(const Board& b, MoveList& list) {
    const Colour us = b.sideToMove, them = Opponent(us);
    const AttackTables& at = *Attacks;
    const int king = b.kingSquare[us];
    const BitMask own = b.colour[us].all;
    const BitMask targets = b.colour[them].all & ~b.Pieces(them, King);

    if (!(b.flags & FlagDoubleCheck)) {
        const BitMask occ = b.Occupied();
        const int ep = b.epSquare > 0 ? b.epSquare : -1;
        auto addPawnMove = [&](int from, int to) {
            if (RankOf(to) == 0 || RankOf(to) == 7) {
                for (PieceType promotion : {Queen, Rook, Bishop, Knight}) list.Append(MakeMoveCode(from, to, promotion));
            } else {
                list.Append(MakeMoveCode(from, to));
            }
        };
        for (BitMask p = b.Pieces(us, Pawn); p;) {
            const int from = PopLowest(p);
            const int8_t* t = at.pawnTargets[us][from];
            for (int i = 0; i < 2; ++i)
                if (t[i] >= 0 && ((targets & Bit(t[i])) || t[i] == ep)) addPawnMove(from, t[i]);
            if (t[2] >= 0 && !(occ & Bit(t[2]))) {
                addPawnMove(from, t[2]);
                if (t[3] >= 0 && !(occ & Bit(t[3]))) addPawnMove(from, t[3]);
            }
        }
        for (BitMask p = b.Pieces(us, Knight); p;) {
            const int from = PopLowest(p);
            for (const int8_t* t = at.knightTargets[from]; *t >= 0; ++t)
                if (!(own & Bit(*t)) && !(b.Pieces(them, King) & Bit(*t))) list.Append(MakeMoveCode(from, *t));
        }
        // Sliders walk their ray lists: (square step << 8) | length, 0 ends.
        auto slide = [&](PieceType t, const uint16_t (*rays)[10]) {
            for (BitMask p = b.Pieces(us, t); p;) {
                const int from = PopLowest(p);
                for (const uint16_t* r = rays[from]; *r; ++r) {
                    const int step = int8_t(*r >> 8);
                    int sq = from;
                    for (int n = *r & 0xFF; n > 0; --n) {
                        sq += step;
                        if (!(occ & Bit(sq))) {
                            list.Append(MakeMoveCode(from, sq));
                            continue;
                        }
                        if (targets & Bit(sq)) list.Append(MakeMoveCode(from, sq));
                        break;
                    }
                }
            }
        };
        slide(Bishop, at.bishopRayList);
        slide(Rook, at.rookRayList);
        slide(Queen, at.queenRayList);
    }
    for (const int8_t* t = at.kingTargets[king]; *t >= 0; ++t)
        if (!(own & Bit(*t)) && !(b.Pieces(them, King) & Bit(*t))) list.Append(MakeMoveCode(king, *t));
    if (!(b.flags & FlagCheck)) {
        if (CanCastle(b, us, 0)) list.Append(MakeMoveCode(king, king + 2));
        if (CanCastle(b, us, 1)) list.Append(MakeMoveCode(king, king - 2));
    }
    list.Rewind();
}

}  // namespace NEngine
