// Evaluate: the fixed sequence of steps every evaluation goes through. Each
// term has its own step function below; terms computed elsewhere are called
// from the step that owns them, so adding one does not reshape the sequence.
#include "eval/evaluate.h"

namespace NEngine {

EvalContext::EvalContext() : specialCases(&GlobalSpecialCaseTable()) {}

void AttachBoard(EvalContext& context, const Board& board, EvalCache* evalCache) {
    context.board = &board;
    context.evalCache = evalCache;
}

namespace {

// ---------------------------------------------------------------- material
// Pair bonuses, surpluses and exchange corrections by piece counts. Neutral
// until that term is written; cached per material key either way.
PackedScore ComputeImbalance(const Board&) { return 0; }

PackedScore ProbeMaterialTable(EvalContext& context, const Board& board) {
    MaterialHashEntry& entry = context.materialTable[board.materialKey & context.materialMask];
    if (!MaterialHashTable::Matches(entry, board.materialKey)) {
        entry.check = uint32_t(board.materialKey >> 32);
        entry.imbalance = ComputeImbalance(board);
    }
    return entry.imbalance;
}

// Material, positional sum and imbalance, White minus Black: the part of the
// score that is known without any attack information.
PackedScore LazyScore(EvalContext& context, const Board& board) {
    return board.colour[White].material + board.psqSum - board.colour[Black].material +
           ProbeMaterialTable(context, board);
}

// ---------------------------------------------------------------- pawns
// Pawn structure, both king scores and the passed set of one pawn key.
// Neutral until the pawn-structure term is written.
void ComputePawnEntry(const Board&, PawnHashEntry& entry) {
    entry.structure = 0;
    entry.kingScore[Black] = 0;
    entry.kingScore[White] = 0;
    entry.passed = 0;
}

const PawnHashEntry& ProbePawnTable(EvalContext& context, const Board& board) {
    PawnHashEntry& entry = context.pawnTable[board.pawnKey & context.pawnMask];
    if (!PawnHashTable::Matches(entry, board.pawnKey)) {
        entry.check = uint32_t(board.pawnKey >> 32);
        ComputePawnEntry(board, entry);
    }
    return entry;
}

// ---------------------------------------------------------------- attacks
// First half of the attack maps: occupancy, pawn and king attacks, king
// zones, mobility areas, pins. The per-piece accumulators start from zero.
void BuildAttackMapsBeforePawns(EvalContext& context, const Board& board) {
    context.occupied = board.Occupied();
    context.empty = ~context.occupied;
    for (AttackBlock& block : context.side) {
        block.score = 0;
        block.kingAttackers = 0;
        block.kingAttackWeight = 0;
        block.queenHitsZone = 0;
        block.discoveredCheck = 0;
        block.hasPieceAttacks = 0;
    }
}

// Second half: knight, bishop, rook and queen attacks of both colours into
// pieceAttacks and the per-colour unions.
void BuildAttackMapsAfterPawns(EvalContext&, const Board&) {}

// ---------------------------------------------------------------- sums
// Knight, bishop, rook and queen terms (White minus Black) plus the
// per-piece accumulators of the attack blocks.
PackedScore PieceTerms(EvalContext& context) {
    return context.side[White].score - context.side[Black].score;
}

// The side to move's stalemate trap (no safe moves left but a lone rook's
// checks) cuts the score to a 32nd; it reads the attack maps and returns
// the shift to use.
int StalemateTrapShift(const EvalContext&, int shift) { return shift; }

// King scores from the pawn entry less the king danger (skipped when only the
// end game counts), then threats, weak pawns and passed pawns, White minus
// Black.
PackedScore KingThreatAndPassedTerms(EvalContext&, const PawnHashEntry& pawns, Phase) {
    const PackedScore whiteKing = pawns.kingScore[White];
    const PackedScore blackKing = pawns.kingScore[Black];
    return whiteKing - blackKing;
}

}  // namespace

int Evaluate(EvalContext& context, int alpha, int beta) {
    const Board& board = *context.board;

    // The two per-thread entries are needed by nearly every call; start the
    // loads before anything else.
    context.pawnTable.Prefetch(board.pawnKey & context.pawnMask);
    context.materialTable.Prefetch(board.materialKey & context.materialMask);

    // Game over: the status flags were computed with the position.
    if (board.flags & FlagCheckmate) return -MateScore;
    if (board.flags & DrawFlags) return 0;

    // Endgame rules either settle the score or fix its scaling.
    const SpecialCaseOutcome rule = FindSpecialCase(*context.specialCases, board);
    if (rule.result == ExactScore) return ToSideToMove(rule.value, board.sideToMove);
    ScaleFactor scale = ScaleFactorOf(rule.result);

    context.lazyLow = LazyLowBound(alpha);
    context.lazyHigh = LazyHighBound(beta);
    const Phase phase = PhaseOf(board);

    // Far outside the window the rest of the terms cannot bring the score
    // back; a scaled ending is never cut short since its scale changes that.
    const PackedScore lazy = LazyScore(context, board);
    if (rule.result == NoRule) {
        const int quick = ToSideToMove(TaperScore(lazy, phase), board.sideToMove);
        if (quick < context.lazyLow || quick > context.lazyHigh) return quick;
    }

    uint64_t* cacheSlot = nullptr;
    if (context.evalCache && context.evalCache->HasEntries()) {
        cacheSlot = context.evalCache->Slot(board.key);
        int16_t cached;
        if (EvalCache::Probe(cacheSlot, board.key, cached)) return cached;
    }

    BuildAttackMapsBeforePawns(context, board);
    const PawnHashEntry& pawns = ProbePawnTable(context, board);
    BuildAttackMapsAfterPawns(context, board);

    PackedScore sum = lazy + PieceTerms(context) + pawns.structure;
    scale.shift = StalemateTrapShift(context, scale.shift);
    sum += KingThreatAndPassedTerms(context, pawns, phase);

    int score = ToSideToMove(TaperScore(sum, phase), board.sideToMove);
    score = AddTempo(ScaleScore(score, scale));

    if (cacheSlot) EvalCache::Store(cacheSlot, board.key, int16_t(score));
    return score;
}

}  // namespace NEngine
