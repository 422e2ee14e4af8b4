// Evaluate: the fixed sequence of steps every evaluation goes through. The
// terms live in their own files (terms.h lists them); this file owns the
// order, the caches, the lazy exit, the taper and the final scaling.
#include "eval/evaluate.h"

#include "board/attacks.h"
#include "board/psq.h"
#include "eval/material.h"
#include "eval/terms.h"
#include "eval/trace.h"

namespace NEngine {

EvalContext::EvalContext() : specialCases(&GlobalSpecialCaseTable()) {}

void UseSpecialCases(EvalContext& context, const SpecialCaseTable& table) {
    context.specialCases = &table;
    context.materialTable.Clear();  // its entries point into the old table
}

void AttachBoard(EvalContext& context, const Board& board, EvalCache* evalCache) {
    context.board = &board;
    context.evalCache = evalCache;
}

namespace {

// ---------------------------------------------------------------- material
// The material table keeps what depends on the material alone: the
// imbalance and the endgame rule, so that the rule is looked up once per
// material key rather than at every evaluation.
const MaterialHashEntry& MaterialEntry(EvalContext& context, const Board& board) {
    MaterialHashEntry& entry = context.materialTable[board.materialKey & context.materialMask];
    if (!context.materialTable.Matches(entry, board.materialKey)) {
        entry.check = context.materialTable.CheckOf(board.materialKey);
        entry.imbalance = ComputeImbalance(board).Net();
        entry.rule = FindSpecialCaseEntry(*context.specialCases, board.materialKey);
    }
    return entry;
}

// A traced evaluation computes the imbalance afresh so that its shares show
// (and has no material entry).
template <bool Traced>
PackedScore ImbalanceTerm(EvalContext& context, const Board& board, const MaterialHashEntry* material) {
    if constexpr (Traced) {
        const Imbalance imbalance = ComputeImbalance(board);
        for (Colour c : {Black, White}) TraceTerm<Traced>(context, TermImbalance, c, imbalance.side[c]);
        return imbalance.Net();
    }
    return material->imbalance;
}

// Each side's positional bonuses (the Board keeps only their difference).
PackedScore PositionOf(const Board& board, Colour c) {
    PackedScore sum = 0;
    for (PieceType t = Pawn; t <= King; ++t)
        for (BitMask b = board.Pieces(c, t); b;) {
            const int sq = PopLowest(b);
            sum += c == White ? -PsqTable[White][t][sq] : PsqTable[Black][t][sq];
        }
    return sum;
}

// Material, positional sum and imbalance, White minus Black: the part of the
// score that is known without any attack information.
template <bool Traced>
PackedScore LazyScore(EvalContext& context, const Board& board, const MaterialHashEntry* material) {
    if constexpr (Traced)
        for (Colour c : {Black, White}) {
            TraceTerm<Traced>(context, TermMaterial, c, board.colour[c].material);
            TraceTerm<Traced>(context, TermPosition, c, PositionOf(board, c));
        }
    return board.colour[White].material + board.psqSum - board.colour[Black].material +
           ImbalanceTerm<Traced>(context, board, material);
}

// ---------------------------------------------------------------- pawns
// The pawn entry of the board's pawn key (pawns.cpp). A traced evaluation
// computes the entry afresh into `scratch`.
template <bool Traced>
const PawnHashEntry& PawnEntry(EvalContext& context, const Board& board, PawnHashEntry& scratch) {
    if constexpr (Traced) {
        ComputePawnEntry<Traced>(context, board, scratch);
        return scratch;
    }
    PawnHashEntry& entry = context.pawnTable[board.pawnKey & context.pawnMask];
    if (!context.pawnTable.Matches(entry, board.pawnKey)) {
        entry.check = context.pawnTable.CheckOf(board.pawnKey);
        ComputePawnEntry<Traced>(context, board, entry);
    }
    return entry;
}

// ---------------------------------------------------------------- sums
// Knight, bishop, rook and queen terms of both colours, White minus Black.
template <bool Traced>
PackedScore PieceSum(EvalContext& context) {
    const PackedScore white = PieceTerms<Traced>(context, White);
    return white - PieceTerms<Traced>(context, Black);
}

// The side to move may have nothing left to move but its king, which has no
// safe square, and perhaps a lone rook that can keep checking: a stalemate
// trap. Then the score is cut to a 32nd, whatever the material says.
constexpr int StalemateTrapShift = 5;

bool StalemateTrap(const EvalContext& context) {
    const Board& board = *context.board;
    const Colour us = board.sideToMove;
    const Colour them = Opponent(us);
    const AttackBlock& own = context.side[us];
    const AttackBlock& other = context.side[them];
    if (own.safePushes || (own.pawnAttacks & board.colour[them].all)) return false;
    if (own.kingAttacks & context.empty & ~other.allAttacks) return false;
    if (!own.hasPieceAttacks) return true;
    return board.colour[us].count[Rook] == 1 && (own.rookAttacks & KingAttacks(board.kingSquare[them])) &&
           !(own.queenAttacks | own.bishopAttacks | own.knightAttacks);
}

// King scores from the pawn entry less the king danger (skipped when only the
// end game counts), then threats, weak pawns and passed pawns, White minus
// Black.
template <bool Traced>
PackedScore KingThreatAndPassedTerms(EvalContext& context, const PawnHashEntry& pawns, Phase phase) {
    PackedScore whiteKing = pawns.kingScore[White];
    PackedScore blackKing = pawns.kingScore[Black];
    if (phase.mode != PhaseMode::EndGameOnly) {
        whiteKing -= KingDanger<Traced>(context, Black, MgOf(whiteKing));
        blackKing -= KingDanger<Traced>(context, White, MgOf(blackKing));
    }
    PackedScore sum = whiteKing - blackKing;
    sum += Threats<Traced>(context, White);
    sum -= Threats<Traced>(context, Black);
    sum += WeakPawns<Traced>(context, White);
    sum -= WeakPawns<Traced>(context, Black);
    // Most positions have passers on one side at most.
    const Board& board = *context.board;
    if (pawns.passed & board.Pieces(White, Pawn)) sum += PassedPawns<Traced>(context, pawns, White);
    if (pawns.passed & board.Pieces(Black, Pawn)) sum -= PassedPawns<Traced>(context, pawns, Black);
    return sum;
}

// ---------------------------------------------------------------- Evaluate
// Ends a traced evaluation that stops before the terms.
template <bool Traced>
int Stop(EvalContext& context, TraceOutcome outcome, int score) {
    if constexpr (Traced) {
        context.trace->outcome = outcome;
        context.trace->score = score;
    }
    return score;
}

template <bool Traced>
int EvaluatePosition(EvalContext& context, int alpha, int beta) {
    const Board& board = *context.board;

    // The two per-thread entries are needed by nearly every call; start the
    // loads before anything else.
    if constexpr (!Traced) {
        context.pawnTable.Prefetch(board.pawnKey & context.pawnMask);
        context.materialTable.Prefetch(board.materialKey & context.materialMask);
    }

    // Game over: the status flags were computed with the position.
    if (board.flags & FlagCheckmate) return Stop<Traced>(context, TraceOutcome::Checkmate, -MateScore);
    if (board.flags & DrawFlags) return Stop<Traced>(context, TraceOutcome::Draw, 0);

    // Endgame rules either settle the score or fix its scaling.
    const MaterialHashEntry* material = nullptr;
    SpecialCaseOutcome rule;
    if constexpr (Traced) {
        rule = FindSpecialCase(*context.specialCases, board);
        context.trace->rule = rule.result;
    } else {
        material = &MaterialEntry(context, board);
        rule = CallSpecialCase(material->rule, board);
    }
    if (rule.result == ExactScore)
        return Stop<Traced>(context, TraceOutcome::ExactScore, ToSideToMove(rule.value, board.sideToMove));
    ScaleFactor scale = ScaleFactorOf(rule.result);

    context.lazyLow = LazyLowBound(alpha);
    context.lazyHigh = LazyHighBound(beta);
    const Phase phase = PhaseOf(board);

    // Far outside the window the rest of the terms cannot bring the score
    // back; a scaled ending is never cut short since its scale changes that.
    const PackedScore lazy = LazyScore<Traced>(context, board, material);
    uint64_t* cacheSlot = nullptr;
    if constexpr (!Traced) {
        if (rule.result == NoRule) {
            const int quick = ToSideToMove(TaperScore(lazy, phase), board.sideToMove);
            if (quick < context.lazyLow || quick > context.lazyHigh) return quick;
        }
        if (context.evalCache && context.evalCache->HasEntries()) {
            cacheSlot = context.evalCache->Slot(board.key);
            int16_t cached;
            if (EvalCache::Probe(cacheSlot, board.key, cached)) return cached;
        }
    }

    BuildAttackMapsBeforePawns(context);
    PawnHashEntry scratch;
    const PawnHashEntry& pawns = PawnEntry<Traced>(context, board, scratch);
    BuildAttackMapsAfterPawns(context);

    PackedScore sum = lazy + PieceSum<Traced>(context) + pawns.structure;
    const bool trapped = StalemateTrap(context);
    if (trapped) scale.shift = StalemateTrapShift;
    sum += KingThreatAndPassedTerms<Traced>(context, pawns, phase);

    const int whiteScore = TaperScore(sum, phase);
    int score = ToSideToMove(whiteScore, board.sideToMove);
    score = AddTempo(ScaleScore(score, scale));

    if constexpr (Traced) {
        EvalTrace& trace = *context.trace;
        trace.phase = phase;
        trace.nonPawnMaterial = board.colour[White].nonPawnMaterial + board.colour[Black].nonPawnMaterial;
        trace.scale = scale;
        trace.stalemateTrap = trapped;
        trace.whiteScore = whiteScore;
        trace.score = score;
    }
    if (cacheSlot) EvalCache::Store(cacheSlot, board.key, int16_t(score));
    return score;
}

}  // namespace

int Evaluate(EvalContext& context, int alpha, int beta) { return EvaluatePosition<false>(context, alpha, beta); }

int EvaluateTraced(EvalContext& context, EvalTrace& trace) {
    trace = EvalTrace();
    context.trace = &trace;
    const int score = EvaluatePosition<true>(context, MinusInfinity, PlusInfinity);
    context.trace = nullptr;
    return score;
}

}  // namespace NEngine
