// The node search: fail-soft principal-variation alpha-beta with null move,
// static pruning, internal deepening, extensions and late-move reductions,
// and the quiescence search of captures, promotions and some checks.
#include <algorithm>

#include "board/attacks.h"
#include "board/board.h"
#include "eval/evaluate.h"
#include "search/movelist.h"
#include "search/movepick.h"
#include "search/searcher.h"
#include "search/see.h"
#include "search/tt.h"

namespace NEngine {

namespace {

constexpr int StaticPruneMargin = 250;  // per ply of remaining depth
constexpr int MaxSingleExtensions = 4;  // single-move extensions along one path
constexpr uint8_t ReducedMark = 0x20;   // history-entry flag: searched with a reduction

// Enough material to trust static bounds and null moves: a pawn, a rook or
// queen, or two minor pieces (zugzwang is rare with any of them).
inline bool HasSubstance(const Board& b, Colour c) {
    const ColourBlock& cb = b.colour[c];
    return cb.pieces[Pawn] || cb.pieces[Rook] || cb.pieces[Queen] ||
           cb.count[Knight] + cb.count[Bishop] >= 2;
}

inline int PieceCount(const Board& b, Colour c) {
    const ColourBlock& cb = b.colour[c];
    return cb.count[Knight] + cb.count[Bishop] + cb.count[Rook] + cb.count[Queen];
}

// Middle-game material of the side to move minus the opponent's.
inline int MaterialLead(const Board& b) {
    const Colour us = b.sideToMove;
    return MgOf(b.colour[us].material) - MgOf(b.colour[Opponent(us)].material);
}

// A pawn step that creates a threat the reductions should not hide: en
// passant, promotion, an attack on a piece, or a run of a passed pawn.
inline bool IsPawnThreat(const Board& b, Move m) {
    const int from = FromSquare(m), to = ToSquare(m);
    if (TypeOf(b.mailbox[from]) != Pawn || b.mailbox[to] != 0) return false;
    if (b.epSquare > 0 && to == b.epSquare) return true;
    if (PromotionOf(m)) return true;
    const Colour us = b.sideToMove, them = Opponent(us);
    if (PawnAttacks(us, to) & b.colour[them].all) return true;
    return !(PawnMasks->passedSpan[us][to] & b.Pieces(them, Pawn)) &&
           !(PawnMasks->frontSpan[us][to] & b.Pieces(us, Pawn));
}

inline int StaticEval(SearchRecord& rec, int alpha, int beta) { return Evaluate(*rec.eval, alpha, beta); }

inline void CountNode(SearchRecord& rec) {
    rec.iterationNodes.Bump();
    rec.totalNodes.Bump();
}

// Row at ply becomes the move followed by the child's row at ply + 1.
inline void UpdatePv(SearchRecord& rec, int ply, Move move) {
    Move* row = rec.plies[ply].pv;
    const Move* child = rec.plies[ply + 1].pv;
    row[ply] = move;
    int i = ply + 1;
    while (i < MaxPly - 1 && child[i]) {
        row[i] = child[i];
        ++i;
    }
    row[i] = 0;
}

inline void Prefetch(SearchRecord& rec, const Board& b, Move m) {
    const uint64_t key = KeyAfterMove(b, m);
    rec.table->Prefetch(key);
    rec.eval->evalCache->Prefetch(key);
}

}  // namespace

int ExtensionFor(const Board& b, Move move, bool pvNode, bool permission) {
    const bool safe = move & SafeMark;
    if (!safe && !pvNode) return 0;
    if (b.InCheck()) return OnePly;  // the move gave check
    if (!pvNode || !safe) return 0;
    if (PromotionOf(move) || permission) return OnePly;
    // Recapture: the last two moves share the destination and the earlier captured.
    if (b.ply >= 2) {
        const HistoryEntry& last = b.history[b.ply - 1];
        const HistoryEntry& before = b.history[b.ply - 2];
        if (!(before.moveFlags & MoveNullFlag) && (before.moveFlags & MoveCapture) &&
            ToSquare(before.move) == ToSquare(last.move))
            return OnePly;
    }
    return 0;
}

int Search(SearchRecord& rec, int depth, int ply, int alpha, int beta, bool pvNode, bool nullAllowed,
           int extensions) {
    Board& b = rec.board();
    Searcher& searcher = *rec.owner;

    // 2 (first, so that no early return leaves a stale row for the parent to
    // copy): empty this ply's line and the child's killer.
    if (ply < MaxPly - 1) {
        rec.plies[ply].pv[ply] = 0;
        rec.plies[ply + 1].killer = 0;
    }
    // 1. A mate at least this short is already in hand: nothing here can beat it.
    if (alpha >= MateScore - ply) return alpha;
    // 3. Draw by rule, or a repeated position (playing on cannot improve a repetition).
    if ((b.flags & DrawFlags) || b.repetitionCount > 1) return DrawScore;
    // 4. Stopped, too deep, or no history room: the static score is all we can give.
    if (rec.Stopped() || ply >= MaxPly || b.ply >= HistorySize - 2) return StaticEval(rec, alpha, beta);
    // 5. Horizon: only tactical moves are resolved from here on.
    if (depth <= 0) return Quiescence(rec, depth, ply, alpha, beta, pvNode, MinusInfinity);

    // 6. Table: a bound that decides the window ends the node; else a move to try first.
    Move hashMove = 0;
    int ttScore = 0;
    bool extensionMark = false;
    const int verdict = ProbeTT(*rec.table, b, depth / OnePly, ply, alpha, beta, pvNode, hashMove, ttScore,
                                extensionMark);
    if (verdict == TTCutUpper || verdict == TTCutLower) return ttScore;

    const bool inCheck = b.InCheck();
    const Colour us = b.sideToMove;

    // 7. Pruning, only where a wrong guess cannot cost the principal line or miss an escape.
    if (!pvNode && !inCheck) {
        const bool substance = HasSubstance(b, us);
        // 7a. Static pruning: far outside the window near the horizon, trust the evaluation.
        if (std::abs(beta) < MateBound && depth <= 5 * OnePly && ply > 1 && substance) {
            const int d = depth / OnePly;
            const int eval = StaticEval(rec, alpha, beta);
            if (eval > beta + StaticPruneMargin * d) return eval;
            if (d <= 1 && eval < alpha - StaticPruneMargin * d)
                return Quiescence(rec, depth, ply, alpha, beta, false, eval);
        }
        // 7b. Null move: if passing still beats beta, the position is good enough to
        // search shallower; a mate threat after a reduced move refutes the reduction.
        const int minDepth = PieceCount(b, us) <= 1 ? 3 * OnePly : 2 * OnePly;
        if (nullAllowed && std::abs(beta) < MateBound && depth > minDepth && substance) {
            int nullDepth = depth - 6 * OnePly;
            if (depth > 6 * OnePly && MaterialLead(b) > beta + 340) nullDepth = depth - 7 * OnePly;
            nullDepth = std::max(nullDepth, 1);
            MakeNullMove(b);
            const int score = -Search(rec, nullDepth, ply + 1, -beta, -beta + 1, false, false, extensions);
            UnmakeNullMove(b);
            if (score >= beta) {
                depth = nullDepth;  // verify by searching on at the reduced depth
            } else if (score <= -MateBound && b.ply >= 1 && (b.history[b.ply - 1].moveFlags & ReducedMark)) {
                return beta - 1;  // the parent re-searches the reduced move in full
            }
        }
    }

    // 8. Internal deepening: without a hash move a shallower search finds one cheaply.
    if (!hashMove && depth >= 4 * OnePly) {
        Search(rec, depth - 3 * OnePly, ply, alpha, beta, pvNode, nullAllowed, extensions);
        Move move = 0;
        bool mark = false;
        if (LookupTTMove(*rec.table, b, move, mark)) {
            hashMove = move;
            extensionMark = mark;
        }
    }

    // 9. Moves in staged order.
    MovePicker picker(b, *rec.history, hashMove, rec.plies[ply].killer);
    int best = MinusInfinity;
    Move bestMove = 0;
    const int entryAlpha = alpha;
    const int d = depth / OnePly;
    const bool permission = extensionMark && extensions < MaxSingleExtensions;
    const int childExtensions = extensions + (extensionMark ? 1 : 0);
    // Reductions need a settled search (iteration 6 on), depth to spare, no
    // check to answer and a window that is not already lost to a mate.
    const bool mayReduceHere = !inCheck && rec.iterationDepth.load(std::memory_order_relaxed) >= 6 &&
                               depth >= 2 * OnePly;
    int searched = 0;
    int improving = 0;
    Move improvingMove = 0;
    int improvingExtension = 0;
    int quietRaises = 0;
    Move lastQuietRaiser = 0;
    bool allTried = false;
    bool stopped = false;

    // 10. The move loop.
    while (alpha < beta) {
        // 10a. Time and input checks.
        if (searcher.PollStop(rec)) {
            stopped = true;
            break;
        }
        // 10b. Best guesses first, so that a cut-off comes as early as it can.
        const Move move = picker.NextMove();
        if (!move) {
            allTried = true;
            break;
        }
        // 10c. Bring the child's table and cache lines in while the move is made.
        Prefetch(rec, b, move);
        // 10d. Pawn steps that threaten something are never reduced blindly.
        const bool pawnThreat = IsPawnThreat(b, move);
        const bool quiet = IsQuietMove(b, move);
        const int from = FromSquare(move), to = ToSquare(move);
        // 10e.
        MakeMove(b, move);
        CountNode(rec);
        HistoryEntry& entry = b.history[b.ply - 1];
        const bool safe = move & SafeMark;
        const bool givesCheck = b.InCheck();

        int score;
        int e;
        if (searched == 0) {
            // 10f. The expected best move gets the full window.
            e = ExtensionFor(b, move, pvNode, permission);
            score = -Search(rec, depth - OnePly + e, ply + 1, -beta, -alpha, pvNode, nullAllowed, childExtensions);
        } else {
            // 10g. Later moves: zero window, reduced when late and unremarkable.
            e = (safe && givesCheck) ? OnePly : 0;
            int r = 0;
            if (mayReduceHere && alpha > ReductionFloor) {
                const bool killer = SameMove(move, rec.plies[ply].killer);
                const bool plain = !(entry.moveFlags & (MoveCapture | MoveCastling | MoveGaveCheck)) &&
                                   !PromotionOf(move);
                const bool reduce = (!killer && !pawnThreat) ? (plain || !safe) : !safe;
                if (reduce) r = OnePly * (1 + searched / 16);
            }
            if (r) entry.moveFlags |= ReducedMark;
            score = -Search(rec, depth - OnePly + e - r, ply + 1, -alpha - 1, -alpha, false, nullAllowed,
                            childExtensions);
            if (r) entry.moveFlags &= uint8_t(~ReducedMark);
            if (!rec.Stopped() && score > alpha && r > 0)
                score = -Search(rec, depth - OnePly + e, ply + 1, -alpha - 1, -alpha, false, nullAllowed,
                                childExtensions);
            if (!rec.Stopped() && score > alpha && score < beta && pvNode) {
                e = ExtensionFor(b, move, pvNode, permission);
                score = -Search(rec, depth - OnePly + e, ply + 1, -beta, -alpha, true, nullAllowed,
                                childExtensions);
            }
        }
        // 10h. A score from an interrupted subtree proves nothing.
        UnmakeMove(b, move);
        if (rec.Stopped()) {
            stopped = true;
            break;
        }
        // 10i. Count the moves that improve a principal line.
        if (pvNode && score > entryAlpha) {
            ++improving;
            improvingMove = move;
            improvingExtension = e;
        }
        // 10j. New best; a quiet move raising alpha feeds the killer and History.
        if (score > best) {
            best = score;
            bestMove = move;
            if (score > alpha) {
                if (quiet) {
                    // Likely good in sibling positions too; the previous raiser was not good enough.
                    rec.plies[ply].killer = move;
                    const int k = quietRaises;
                    const int bonus = d + k;
                    rec.history->Add(us, from, to, bonus * bonus);
                    if (lastQuietRaiser)
                        rec.history->Add(us, FromSquare(lastQuietRaiser), ToSquare(lastQuietRaiser), -(bonus + k + 1));
                    lastQuietRaiser = move;
                    ++quietRaises;
                }
                alpha = score;
                if (pvNode && ply < MaxPly - 1) UpdatePv(rec, ply, move);
            }
        }
        // 10k. (The loop condition ends it on a cut-off: the opponent avoids this line.)
        ++searched;
    }

    // 11. Stopped: whatever we have; the caller discards it.
    if (stopped) return best;

    // 12. No legal move: mate or stalemate.
    int score;
    if (searched == 0) {
        if (!(b.flags & GameOverFlags)) b.flags |= inCheck ? FlagCheckmate : FlagStalemate;
        score = StaticEval(rec, alpha, beta);
        if (b.flags & FlagCheckmate) score += ply;
    } else {
        score = best;
    }

    // 13. One move alone improved the principal line: search it one ply deeper
    // (once per node thanks to the mark, at most four times along a path).
    if (pvNode && !extensionMark && allTried && improving == 1 && extensions < MaxSingleExtensions) {
        // Every move is made after a poll, so that a node limit holds exactly.
        if (searcher.PollStop(rec)) return score;
        extensionMark = true;
        Prefetch(rec, b, improvingMove);
        MakeMove(b, improvingMove);
        CountNode(rec);
        const int deeper = -Search(rec, depth + improvingExtension, ply + 1, -beta, -entryAlpha, true, true,
                                   extensions + 1);
        UnmakeMove(b, improvingMove);
        if (rec.Stopped()) return score;
        score = deeper;
        if (score > entryAlpha && ply < MaxPly - 1) UpdatePv(rec, ply, improvingMove);
    }

    // 14. Remember the result for transpositions and later iterations.
    StoreTT(*rec.table, b, bestMove, entryAlpha, beta, score, depth / OnePly, ply, extensionMark, pvNode);
    return score;
}

int Quiescence(SearchRecord& rec, int depth, int ply, int alpha, int beta, bool pvNode, int staticEval) {
    Board& b = rec.board();
    Searcher& searcher = *rec.owner;

    // 1. Shorter mate in hand, draws, stop and the ply bound.
    if (alpha >= MateScore - ply) return alpha;
    if ((b.flags & DrawFlags) || b.repetitionCount > 1) return DrawScore;
    if (rec.Stopped() || ply >= MaxPly || b.ply >= HistorySize - 2) return DrawScore;

    // 2. Table at depth 0 (checks searched) or -1 (captures only).
    const int ttDepth = depth < 0 ? -1 : 0;
    Move hashMove = 0;
    int ttScore = 0;
    bool extensionMark = false;
    const int verdict = ProbeTT(*rec.table, b, ttDepth, ply, alpha, beta, pvNode, hashMove, ttScore, extensionMark);
    if (verdict == TTCutUpper || verdict == TTCutLower) return ttScore;

    const bool inCheck = b.InCheck();
    const int entryAlpha = alpha;
    int best = MinusInfinity;
    int standPat = MinusInfinity;
    int margin = 0;

    if (!inCheck) {
        // 4. Stand pat: the side to move may decline every capture.
        if (depth < 0 && hashMove && IsQuietMove(b, hashMove)) hashMove = 0;
        standPat = staticEval != MinusInfinity ? staticEval : StaticEval(rec, alpha, beta);
        if (standPat >= beta) {
            StoreTT(*rec.table, b, hashMove, alpha, beta, standPat, ttDepth, ply, false, pvNode);
            return standPat;
        }
        // How much a capture must win to reach alpha; a bare side cannot hope for much.
        margin = alpha - std::max(MaterialLead(b), standPat) - StaticPruneMargin;
        const Colour us = b.sideToMove;
        const ColourBlock& cb = b.colour[us];
        if (margin > 85 && !cb.pieces[Pawn] && !cb.pieces[Rook] && !cb.pieces[Queen] &&
            cb.count[Knight] + cb.count[Bishop] <= 1)
            margin = 85;
        alpha = std::max(alpha, standPat);
        best = standPat;
    }

    // 5. Exchanges losing more than the margin allows are not worth a look.
    int threshold = inCheck ? 0 : std::min(margin, 0);

    // 6. Captures and promotions (checks near the horizon), losing exchanges skipped.
    QuiescencePicker picker(b, *rec.history, hashMove, depth);
    Move bestMove = 0;
    int searched = 0;
    bool stopped = false;
    while (alpha < beta) {
        if (searcher.PollStop(rec)) {
            stopped = true;
            break;
        }
        const Move move = picker.NextMove(threshold, searched == 0);
        if (!move) break;
        // The child's table and cache lines are asked for before the exchange
        // test, which gives the loads that much longer; a move the test
        // rejects wastes one prefetch.
        Prefetch(rec, b, move);
        if (!inCheck && !(move & SafeMark) && !SeeAtLeast(b, move, threshold)) continue;
        MakeMove(b, move);
        CountNode(rec);
        rec.eval->pawnTable.Prefetch(b.pawnKey);
        rec.eval->materialTable.Prefetch(b.materialKey);
        const int score = -Quiescence(rec, depth - OnePly, ply + 1, -beta, -alpha, pvNode, MinusInfinity);
        UnmakeMove(b, move);
        ++searched;
        // Once we are not being mated, only captures that reach alpha matter.
        if (score > -MateBound) threshold = margin;
        if (rec.Stopped()) {
            stopped = true;
            break;
        }
        if (score > best) {
            bestMove = move;
            best = score;
            alpha = std::max(alpha, score);
        }
    }

    // 7. Nothing tried: the quiet position stands, or in check there was no escape.
    if (stopped) return best;
    if (searched) {
        StoreTT(*rec.table, b, bestMove, entryAlpha, beta, best, ttDepth, ply, false, pvNode);
        return best;
    }
    return inCheck ? -MateScore + ply : standPat;
}

}  // namespace NEngine
