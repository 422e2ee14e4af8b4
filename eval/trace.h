// The evaluation trace: every term of one evaluation, by colour, with the
// phase, the scaling and the final score, so that a person (tarnock-eval
// --trace) or a test can see where a score comes from.
//
// The search never traces. Each term function is a template on `Traced`;
// the search instantiates it with false, where the recording below compiles
// to nothing, and EvaluateTraced with true.
//
// How to add a term:
//   1. add an enumerator to EvalTerm (before TermCount) and its printed
//      name at the same place in TermNames (trace.cpp);
//   2. where the term's value is added, for colour c, also call
//      TraceTerm<Traced>(context, YourTerm, c, value) with c's own value
//      (positive when it is good for c); the trace's total is the sum of
//      White's rows minus the sum of Black's, like the evaluation.
// Values kept in the pawn and material tables are recorded by the code that
// computes the entry: a traced evaluation always recomputes both entries
// (and skips the lazy exit and the shared cache), so a cache hit never hides
// a term. The evaluation tests check that the rows add up to the score.
#pragma once

#include <cstdint>
#include <iosfwd>

#include "eval/evaluate.h"

namespace NEngine {

enum EvalTerm : uint8_t {
    TermMaterial,
    TermPosition,   // piece-square tables
    TermImbalance,  // piece pairs, surpluses, the exchange, rook against two minors
    // Knight, bishop, rook and queen terms.
    TermKnightMobility,
    TermBishopMobility,
    TermRookMobility,
    TermQueenMobility,
    TermOutposts,
    TermTropism,            // closeness of the pieces to their own king
    TermDiscoveredAttacks,  // a piece that uncovers an attack on the enemy king when it moves
    TermRelativePins,       // a piece shielding an own queen or rook from an enemy slider
    TermRookFiles,          // open and half-open files
    TermTrappedRooks,
    // King danger (each side's row: the danger to its own king), threats
    // and attacks on weak pawns.
    TermKingDanger,
    TermThreats,
    TermWeakPawns,
    // Pawn structure, each pawn by what it is.
    TermIsolatedPawns,
    TermBackwardPawns,
    TermUndefendedPawns,  // neither isolated nor backward, yet not defended by a pawn
    TermSupportedPawns,   // defended by a pawn, or with one beside it
    TermDoubledPawns,
    TermPawnLevers,
    // The king's pawns (middle game: shelter and storm; end game: distance).
    TermKingShelter,      // own pawns in front of the king, and an enemy pawn fixed right there
    TermPawnStorm,        // enemy pawns coming at the king
    TermKingPawnDistance,
    // Passed pawns: true passers' rank, connection and king distances, an
    // own piece on the stop square, the race for a free stop square (an
    // unstoppable pawn, or the king escort), the path ahead; candidates.
    TermPassedPawns,
    TermPasserBlocked,
    TermPasserRace,
    TermPasserPath,
    TermCandidatePassers,
    TermCount
};

// Printed names, indexed by EvalTerm.
extern const char* const TermNames[TermCount];

// How the evaluation ended.
enum class TraceOutcome : uint8_t {
    Full,        // every term computed
    Checkmate,   // the side to move is mated
    Draw,        // stalemate, repetition, fifty moves or insufficient material
    ExactScore,  // an endgame rule gave the score
};

// How the danger to one king was reached (the king of the colour it is
// filed under).
struct KingDangerTrace {
    bool computed = false;  // false when only the end game counts
    int shelter = 0;        // the king's shelter from the pawn entry
    uint32_t attackers = 0, attackWeight = 0;
    uint8_t safeChecks = 0;  // by checking piece: 1 knight, 2 bishop, 4 rook, 8 queen
    bool unsafeChecks = false, discovered = false, promotion = false;
    bool matingNet = false, pinnedPawn = false;
    int checkWeight = 0, base = 0, danger = 0;  // danger after the division with no attackers
    int d1 = 0, d2 = 0;                         // after the shelter (and the mating net)
    int flank = 0;                              // flank squares counted
    int result = 0;                             // what the king score loses
};
enum : uint8_t { KnightCheck = 1, BishopCheck = 2, RookCheck = 4, QueenCheck = 8 };

struct EvalTrace {
    PackedScore term[TermCount][2] = {};  // [term][colour], each colour's own value
    KingDangerTrace kingDanger[2];        // by the colour of the king in danger
    TraceOutcome outcome = TraceOutcome::Full;
    Phase phase = {};
    int nonPawnMaterial = 0;
    SpecialCaseResult rule = NoRule;
    ScaleFactor scale = {1, 0};  // after the stalemate-trap test
    bool stalemateTrap = false;
    int whiteScore = 0;  // the tapered sum, White's view, before scaling and tempo
    int score = 0;       // what Evaluate returns: the side to move's view

    // White's row minus Black's row of one term, and of all of them.
    PackedScore Net(EvalTerm t) const { return term[t][White] - term[t][Black]; }
    PackedScore Total() const;
};

// Records a term's value for colour c; nothing at all unless traced.
template <bool Traced>
inline void TraceTerm(EvalContext& context, EvalTerm t, Colour c, PackedScore value) {
    if constexpr (Traced) context.trace->term[t][c] += value;
}

// A full evaluation of the attached board with every term recorded; returns
// the score Evaluate would give with a full window and no cache.
int EvaluateTraced(EvalContext& context, EvalTrace& trace);

// The trace as a table: one row per term, mg and eg for White, Black and
// their difference, then the phase, the scaling and the score.
void PrintTrace(std::ostream& out, const EvalTrace& trace);

}  // namespace NEngine
