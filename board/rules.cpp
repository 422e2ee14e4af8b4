// Rules of the game over a Board: attacks, check detection after a move,
// the status after set-up, draw rules, three legality tests of different
// strength, and the full move generator used by notation and protocols.
#include "board/attacks.h"
#include "board/board.h"

namespace NEngine {

namespace {

constexpr BitMask LastRanks = 0xFF000000000000FFull;

inline BitMask DiagonalSliders(const ColourBlock& side) { return side.pieces[Bishop] | side.pieces[Queen]; }
inline BitMask StraightSliders(const ColourBlock& side) { return side.pieces[Rook] | side.pieces[Queen]; }

}  // namespace

void NotationMoveList::Add(Move m) {
    // The list's room is fixed; a position with more moves keeps the first 256.
    if (count >= 256) return;
    nodes[count] = Node{m, 65535};
    if (tail != 65535) {
        nodes[tail].next = count;
    } else {
        head = count;
    }
    tail = count;
    count += 1;
}

// The pawn pattern is taken from the square as if a pawn of the defending
// side stood there; that is the attacker's capture pattern reversed.
bool IsAttacked(const Board& board, int sq, BitMask occupancy, Colour attacker) {
    const ColourBlock& a = board.colour[attacker];
    if (KingAttacks(sq) & a.pieces[King]) return true;
    if (PawnAttacks(Opponent(attacker), sq) & a.pieces[Pawn] & occupancy) return true;
    if (KnightAttacks(sq) & a.pieces[Knight] & occupancy) return true;
    if (BishopAttacks(sq, occupancy) & DiagonalSliders(a)) return true;
    return (RookAttacks(sq, occupancy) & StraightSliders(a)) != 0;
}

bool IsAttackedThrough(const Board& board, Colour attacker, int sq, BitMask emptySquares) {
    const ColourBlock& a = board.colour[attacker];
    if (KnightAttacks(sq) & a.pieces[Knight]) return true;
    if (PawnAttacks(Opponent(attacker), sq) & a.pieces[Pawn]) return true;
    if (KingAttacks(sq) & a.pieces[King]) return true;
    // A slider attacks when every square between is empty; treating the
    // sliders themselves as blockers finds the nearest one on each ray.
    const BitMask diagonal = DiagonalSliders(a);
    if (BishopAttacks(sq, ~emptySquares | diagonal) & diagonal) return true;
    const BitMask straight = StraightSliders(a);
    return (RookAttacks(sq, ~emptySquares | straight) & straight) != 0;
}

// Check on the side now to move, judged from the move just made: the moved
// piece's own attack, then a slider uncovered behind the from square (and,
// for en passant, behind the captured pawn's square).
void UpdateCheckAfterMove(Board& board, Move move) {
    const Colour defender = board.sideToMove;
    const Colour mover = Opponent(defender);
    const ColourBlock& attackers = board.colour[mover];
    const int king = board.kingSquare[defender];
    const int from = FromSquare(move);
    const int to = ToSquare(move);
    const PieceCode piece = board.mailbox[to];
    const BitMask occ = board.Occupied();
    bool check = false;
    bool doubleCheck = false;
    int checker = 0;
    int epChecker = -1;

    switch (TypeOf(piece)) {
    case King:
        if (to - from == 2 || from - to == 2) {
            // Castling cannot uncover anything; only the rook can give check.
            const int rook = to > from ? from + 1 : from - 1;
            if (LineType(rook, king) == 1 && !(Between(rook, king) & occ)) {
                check = true;
                checker = rook;
            }
            board.checkerSquare = Square(checker);
            if (check) board.flags |= FlagCheck;
            return;
        }
        break;
    case Pawn:
        if (PawnAttacks(mover, to) & Bit(king)) {
            check = true;
            checker = to;
            // A straight push uncovers nothing that could reach the king.
            if (FileOf(from) == FileOf(to)) {
                board.checkerSquare = Square(checker);
                board.flags |= FlagCheck;
                return;
            }
        } else if (const int8_t oldEp = int8_t(board.history[board.ply - 1].state.bytes[0]); oldEp > 0 && to == oldEp) {
            // En passant also empties the captured pawn's square.
            const int victim = mover == White ? to - 8 : to + 8;
            const int lineType = LineType(victim, king);
            checker = 64;
            if (lineType) {
                const BitMask sliders = lineType == 1 ? StraightSliders(attackers) : DiagonalSliders(attackers);
                const BitMask seen = lineType == 1 ? RookAttacks(king, occ) : BishopAttacks(king, occ);
                const BitMask found = seen & RayFrom(king, victim) & sliders;
                if (found) {
                    check = true;
                    checker = epChecker = LowestSquare(found);
                }
            }
        }
        break;
    case Knight:
        if (KnightAttacks(to) & Bit(king)) {
            check = true;
            checker = to;
        }
        break;
    default:
        // Bishop, rook, queen (also a fresh promotion): on a line and unblocked.
        if (MoveKind(piece, Move((king << 6) | to)) != -1 && !(Between(to, king) & occ)) {
            check = true;
            checker = to;
        }
        break;
    }

    // Discovered check through the vacated from square.
    const int lineType = LineType(from, king);
    if (lineType) {
        const BitMask sliders = lineType == 1 ? StraightSliders(attackers) : DiagonalSliders(attackers);
        const BitMask seen = lineType == 1 ? RookAttacks(king, occ) : BishopAttacks(king, occ);
        const BitMask found = seen & RayFrom(king, from) & sliders & ~Bit(to);
        if (found) {
            const int sq = LowestSquare(found);
            // The en-passant test may already have found this same slider.
            if (sq != epChecker) {
                if (check) {
                    doubleCheck = true;
                } else {
                    check = true;
                    checker = sq;
                }
            }
        }
    }
    board.checkerSquare = Square(checker);
    if (check) board.flags |= FlagCheck;
    if (doubleCheck) board.flags |= FlagDoubleCheck;
}

// Full status after a set-up; false when the side not to move is in check.
bool ComputeStatus(Board& board) {
    board.flags = FlagBase;
    const Colour us = board.sideToMove;
    const Colour them = Opponent(us);
    const BitMask occ = board.Occupied();
    if (IsAttackedThrough(board, us, board.kingSquare[them], ~occ)) {
        board.flags = 0;
        return false;
    }
    const int king = board.kingSquare[us];
    const ColourBlock& enemy = board.colour[them];
    const BitMask diagonal = BishopAttacks(king, occ);
    const BitMask straight = RookAttacks(king, occ);
    // By type in the order pawn, knight, bishop, rook, queen; the last one found is kept.
    const BitMask byType[5] = {PawnAttacks(us, king) & enemy.pieces[Pawn], KnightAttacks(king) & enemy.pieces[Knight],
                               diagonal & enemy.pieces[Bishop], straight & enemy.pieces[Rook],
                               (diagonal | straight) & enemy.pieces[Queen]};
    BitMask all = 0;
    for (const BitMask checkers : byType) {
        if (checkers) board.checkerSquare = Square(63 - __builtin_clzll(checkers));
        all |= checkers;
    }
    if (all) board.flags |= FlagCheck;
    if (MoreThanOne(all)) board.flags |= FlagDoubleCheck;
    UpdateDrawFlags(board, false);
    if (!(board.flags & DrawFlags)) UpdateMateFlags(board);
    return true;
}

// Fifty moves, insufficient material, then repetition; the first rule that
// applies ends the test.
void UpdateDrawFlags(Board& board, bool skipRepetition) {
    // Mate on the hundredth ply is still mate, so check postpones the rule there.
    if ((board.halfmoveClock == 100 && !(board.flags & FlagCheck)) || board.halfmoveClock > 100) {
        board.flags |= FlagFiftyMoves;
        return;
    }
    const ColourBlock& b = board.colour[Black];
    const ColourBlock& w = board.colour[White];
    // Bare kings with at most one minor each, or two knights against a bare king.
    if (!(b.pieces[Pawn] | b.pieces[Rook] | b.pieces[Queen] | w.pieces[Pawn] | w.pieces[Rook] | w.pieces[Queen])) {
        const int bn = b.count[Knight], bb = b.count[Bishop];
        const int wn = w.count[Knight], wb = w.count[Bishop];
        if ((bn + bb <= 1 && wn + wb <= 1) || (bn == 2 && bb == 0 && wn + wb == 0) ||
            (wn == 2 && wb == 0 && bn + bb == 0)) {
            board.flags |= FlagInsufficient;
            return;
        }
    }
    if (skipRepetition) return;
    // Same side to move every second ply, back to the last irreversible move.
    int count = 1;
    const int limit = board.ply - board.halfmoveClock;
    for (int i = board.ply - 2; i >= limit && i >= 0; i -= 2) {
        if (count >= 3) break;
        const HistoryEntry& entry = board.history[i];
        if (entry.key == board.key) count += 1;
        if (entry.moveFlags & MoveIrreversible) break;
    }
    board.repetitionCount = uint8_t(count);
    if (count >= 3) board.flags |= FlagRepetition;
}

// Mate and stalemate flags for the position itself only: the state saved in
// history is left alone, so taking back the last move never carries a mate
// flag into the earlier position.
void UpdateMateFlags(Board& board) {
    if (board.flags & (FlagStalemate | FlagRepetition | FlagInsufficient | FlagFiftyMoves | FlagCheckmate)) return;
    if (ForEachLegalMove(board, [](Move) { return true; })) return;
    board.flags |= (board.flags & FlagCheck) ? FlagCheckmate : FlagStalemate;
}

// For moves from outside the generator (text, hash table, killers): the move
// fits the position in every respect but the own king's safety.
bool IsPseudoLegal(const Board& board, Move move) {
    const Colour us = board.sideToMove;
    const int from = FromSquare(move);
    const int to = ToSquare(move);
    const PieceCode piece = board.mailbox[from];
    const PieceCode target = board.mailbox[to];
    if (!piece || ColourOf(piece) != us) return false;
    if (target && (ColourOf(target) == us || TypeOf(target) == King)) return false;
    const PieceType type = TypeOf(piece);
    // In double check only the king may move, and its move is still checked below.
    if ((board.flags & (FlagCheck | FlagDoubleCheck)) == (FlagCheck | FlagDoubleCheck) && type != King) return false;
    const PieceType promotion = PromotionOf(move);
    // Only knight to queen; a stray code must never put a second king on the board.
    if (promotion && (type != Pawn || promotion < Knight || promotion > Queen)) return false;
    const int kind = MoveKind(piece, move);
    if (kind == -1) return false;
    const BitMask occ = board.Occupied();

    switch (type) {
    case King:
        if (kind >= 8) {
            if (board.flags & FlagCheck) return false;
            if (!(board.castling & (1 << (2 * us + kind - 8)))) return false;
            if (from != KingHome[us] || target) return false;
            if (occ & Bit((from + to) / 2)) return false;
            if (kind == 9 && (occ & Bit(to - 1))) return false;
        }
        return true;
    case Pawn:
        // Promotion exactly on the last rank; captures need a victim or the en-passant square.
        if (((Bit(to) & LastRanks) != 0) != (promotion != 0)) return false;
        if (target) return kind <= 1;
        if (board.epSquare > 0 && to == board.epSquare) return kind <= 1;
        if (kind == 2) return true;
        if (kind == 3) return !(occ & Bit((from + to) / 2));
        return false;
    case Knight:
        return true;
    default:
        return !(Between(from, to) & occ);
    }
}

namespace {

// For a move of any man but the king: whether the own king stands unattacked
// once the squares `vacated` are emptied and `to` is filled. Enemy men on
// `removed` (those captured) no longer attack; sliders look through the
// vacated squares and stop at the target.
bool KingSafeAfter(const Board& board, BitMask vacated, int to, BitMask removed) {
    const Colour us = board.sideToMove;
    const ColourBlock& enemy = board.colour[Opponent(us)];
    const int king = board.kingSquare[us];
    if (PawnAttacks(us, king) & enemy.pieces[Pawn] & ~removed) return false;
    if (KnightAttacks(king) & enemy.pieces[Knight] & ~removed) return false;
    const BitMask after = (board.Occupied() & ~vacated) | Bit(to);
    if (BishopAttacks(king, after) & DiagonalSliders(enemy) & ~removed) return false;
    return !(RookAttacks(king, after) & StraightSliders(enemy) & ~removed);
}

}  // namespace

// For generator moves only (evasions when in check): pins, en passant and
// king steps into attack are all that can still make them illegal.
bool IsLegal(const Board& board, Move move) {
    if (board.flags & FlagCheckmate) return false;
    const Colour us = board.sideToMove;
    const Colour them = Opponent(us);
    const int from = FromSquare(move);
    const int to = ToSquare(move);
    const PieceType type = TypeOf(board.mailbox[from]);
    const BitMask occ = board.Occupied();

    if (type == King) {
        const BitMask without = occ ^ Bit(from);
        if (IsAttacked(board, to, without, them)) return false;
        if (!(board.flags & FlagCheck) && (to - from == 2 || from - to == 2))
            return !IsAttacked(board, (from + to) / 2, without, them);
        return true;
    }

    // En passant empties two squares of the king's lines at once.
    if (type == Pawn && board.epSquare > 0 && to == board.epSquare) {
        const BitMask victim = Bit(us == White ? to - 8 : to + 8);
        return KingSafeAfter(board, Bit(from) | victim, to, Bit(to) | victim);
    }

    // Pinned: lifting the piece lets an enemy slider on that line see the king.
    const int king = board.kingSquare[us];
    const int lineType = LineType(from, king);
    if (!lineType) return true;
    const BitMask after = (occ ^ Bit(from)) | Bit(to);
    const BitMask seen = lineType == 1 ? RookAttacks(king, after) : BishopAttacks(king, after);
    if (!(seen & Bit(from))) return true;
    const ColourBlock& enemy = board.colour[them];
    const BitMask sliders = lineType == 1 ? StraightSliders(enemy) : DiagonalSliders(enemy);
    return !(seen & sliders & ~Bit(to));
}

// Self-contained legality for a move from any source, in check or not.
bool IsLegalMove(const Board& board, Move move) {
    if (board.flags & FlagCheckmate) return false;
    const Colour us = board.sideToMove;
    const Colour them = Opponent(us);
    const int from = FromSquare(move);
    const int to = ToSquare(move);
    const PieceCode piece = board.mailbox[from];
    const PieceCode target = board.mailbox[to];
    if (!piece || ColourOf(piece) != us || from == to) return false;
    if (target && (ColourOf(target) == us || TypeOf(target) == King)) return false;
    const PieceType type = TypeOf(piece);
    const BitMask occ = board.Occupied();

    if (type == King) {
        if (IsAttackedThrough(board, them, to, ~occ | Bit(from))) return false;
        const bool step = (KingAttacks(from) & Bit(to)) != 0;
        // Castling is never an answer to check, whatever its shape.
        if (step || (board.flags & FlagCheck)) return step;
        if ((to - from == 2 || from - to == 2) && RankOf(from) == RankOf(to))
            return !IsAttackedThrough(board, them, (from + to) / 2, ~occ | Bit(from));
        return false;
    }

    if (type == Knight && !(KnightAttacks(from) & Bit(to))) return false;
    if (type == Bishop && !(BishopAttacks(from, occ) & Bit(to))) return false;
    if (type == Rook && !(RookAttacks(from, occ) & Bit(to))) return false;
    if (type == Queen && !(QueenAttacks(from, occ) & Bit(to))) return false;

    BitMask removed = Bit(to);
    BitMask vacated = Bit(from);
    if (type == Pawn && board.epSquare > 0 && to == board.epSquare && FileOf(from) != FileOf(to)) {
        const BitMask victim = Bit(us == White ? to - 8 : to + 8);
        removed |= victim;
        vacated |= victim;
    }
    return KingSafeAfter(board, vacated, to, removed);
}

// Every pseudo-legal move, in a fixed order: pawns, knights, bishops, rooks,
// queens, king steps, castling. Legality is the caller's test.
void GenerateAllMoves(const Board& board, NotationMoveList& list) {
    list.head = list.tail = 65535;
    list.count = 0;
    const Colour us = board.sideToMove;
    const ColourBlock& own = board.colour[us];
    const ColourBlock& enemy = board.colour[Opponent(us)];
    const BitMask occ = board.Occupied();
    // Captures of the king never count as moves.
    const BitMask targets = ~own.all & ~enemy.pieces[King];
    const int king = board.kingSquare[us];

    if ((board.flags & (FlagCheck | FlagDoubleCheck)) != (FlagCheck | FlagDoubleCheck)) {
        const int forward = us == White ? 8 : -8;
        const BitMask victims = enemy.all & ~enemy.pieces[King];
        const BitMask epBit = board.epSquare > 0 ? Bit(board.epSquare) : 0;
        auto addPawnMove = [&](int from, int to) {
            if (Bit(to) & LastRanks) {
                for (const PieceType promotion : {Queen, Rook, Bishop, Knight})
                    list.Add(MakeMoveCode(from, to, promotion));
            } else {
                list.Add(MakeMoveCode(from, to));
            }
        };
        for (BitMask pawns = own.pieces[Pawn]; pawns;) {
            const int from = PopLowest(pawns);
            const int ahead = from + forward;
            if (ahead < 0 || ahead > 63) continue;
            // Capture towards the a-file, towards the h-file, push, double push.
            if (FileOf(from) > 0 && (Bit(ahead - 1) & (victims | epBit))) addPawnMove(from, ahead - 1);
            if (FileOf(from) < 7 && (Bit(ahead + 1) & (victims | epBit))) addPawnMove(from, ahead + 1);
            if (!(occ & Bit(ahead))) {
                addPawnMove(from, ahead);
                const int startRank = us == White ? 1 : 6;
                if (RankOf(from) == startRank && !(occ & Bit(ahead + forward))) addPawnMove(from, ahead + forward);
            }
        }
        for (BitMask knights = own.pieces[Knight]; knights;) {
            const int from = PopLowest(knights);
            for (BitMask to = KnightAttacks(from) & targets; to;) list.Add(MakeMoveCode(from, PopLowest(to)));
        }
        for (BitMask bishops = own.pieces[Bishop]; bishops;) {
            const int from = PopLowest(bishops);
            for (BitMask to = BishopAttacks(from, occ) & targets; to;) list.Add(MakeMoveCode(from, PopLowest(to)));
        }
        for (BitMask rooks = own.pieces[Rook]; rooks;) {
            const int from = PopLowest(rooks);
            for (BitMask to = RookAttacks(from, occ) & targets; to;) list.Add(MakeMoveCode(from, PopLowest(to)));
        }
        for (BitMask queens = own.pieces[Queen]; queens;) {
            const int from = PopLowest(queens);
            for (BitMask to = QueenAttacks(from, occ) & targets; to;) list.Add(MakeMoveCode(from, PopLowest(to)));
        }
    }
    for (BitMask to = KingAttacks(king) & targets; to;) list.Add(MakeMoveCode(king, PopLowest(to)));
    // Castling needs only the right and an empty path here; attacks are IsLegalMove's.
    if (!(board.flags & FlagCheck) && king == KingHome[us]) {
        const int kingSide = 2 * us;
        if ((board.castling & (1 << kingSide)) && !(occ & (Bit(king + 1) | Bit(king + 2))))
            list.Add(MakeMoveCode(king, king + 2));
        if ((board.castling & (2 << kingSide)) && !(occ & (Bit(king - 1) | Bit(king - 2) | Bit(king - 3))))
            list.Add(MakeMoveCode(king, king - 2));
    }
}

uint64_t CountLegalLeaves(Board& board, int depth) {
    if (depth <= 0) return 1;
    uint64_t leaves = 0;
    ForEachLegalMove(board, [&](Move move) {
        // The last ply is counted without making its moves.
        if (depth == 1) {
            leaves += 1;
            return false;
        }
        MakeMove(board, move);
        leaves += CountLegalLeaves(board, depth - 1);
        UnmakeMove(board, move);
        return false;
    });
    return leaves;
}

}  // namespace NEngine
