// The static evaluation: a Board turned into one signed 16-bit score from the
// side to move's view, with a lazy exit against the caller's window, three
// caches (pawn structure and material per thread, final scores shared) and
// the endgame special cases.
#pragma once

#include <cstdint>

#include "board/types.h"
#include "eval/attack_maps.h"
#include "eval/caches.h"
#include "eval/endgame.h"
#include "eval/evalcache.h"

namespace NEngine {

struct EvalTrace;

// One per search thread. Copying a context copies both hash tables; the board
// and the shared cache are only pointed at and must be re-attached.
struct EvalContext {
    AttackBlock side[2] = {};         // Black's first; rebuilt by every full evaluation
    BitMask pieceAttacks[64] = {};    // attacks of the knight/bishop/rook/queen on each square
    BitMask occupied = 0;
    BitMask empty = 0;
    int32_t lazyLow = 0;              // lazy bounds of the current call
    int32_t lazyHigh = 0;
    const Board* board = nullptr;     // not owned
    PawnHashTable pawnTable;
    uint64_t pawnMask = PawnHashTable::Mask;
    MaterialHashTable materialTable;
    uint64_t materialMask = MaterialHashTable::Mask;
    EvalCache* evalCache = nullptr;   // shared by all threads, not owned; may be null
    // The endgame rules consulted; the program-wide table unless a test
    // substitutes its own (through UseSpecialCases).
    const SpecialCaseTable* specialCases;
    // Where a traced evaluation records its terms; the search never reads it.
    EvalTrace* trace = nullptr;

    EvalContext();
};

void AttachBoard(EvalContext& context, const Board& board, EvalCache* evalCache);

// Makes the context consult another table of endgame rules (tests), dropping
// the rules its material table has cached from the previous one.
void UseSpecialCases(EvalContext& context, const SpecialCaseTable& table);

// alpha and beta are the caller's window (16-bit scores). Returns the score
// for the side to move: -32000 when it is checkmated, 0 for a draw.
int Evaluate(EvalContext& context, int alpha, int beta);

// ---------------------------------------------------------------- arithmetic
// The evaluation's final steps work on signed 16-bit values and wrap.

constexpr int Tempo = 5;
constexpr int LazyMargin = 1200;

constexpr int Wrap16(int x) { return int16_t(uint16_t(unsigned(x) & 0xFFFFu)); }
constexpr int Negate16(int x) { return Wrap16(-x); }

// Lazy-exit bounds: a window edge in the mate range disables that side.
constexpr int LazyLowBound(int alpha) { return alpha < -31999 ? MinusInfinity : alpha - LazyMargin; }
constexpr int LazyHighBound(int beta) { return beta >= MateScore ? PlusInfinity : beta + LazyMargin; }

// Game phase from both sides' non-pawn material P: from 6490 the middle-game
// half alone counts, below 1801 the end-game half alone, in between the two
// are blended with weight w = P - 1800 on the middle game.
enum class PhaseMode : uint8_t { MiddleGameOnly, Tapered, EndGameOnly };
struct Phase {
    PhaseMode mode;
    int weight;  // middle-game weight out of PhaseSpan
};
constexpr int PhaseMiddleGameFrom = 6490;
constexpr int PhaseEndGameBelow = 1801;
constexpr int PhaseSpan = 4690;

constexpr Phase PhaseOf(int nonPawnMaterial) {
    const int w = nonPawnMaterial - 1800;
    const int weight = w < 0 ? 0 : w > PhaseSpan ? PhaseSpan : w;
    if (nonPawnMaterial >= PhaseMiddleGameFrom) return {PhaseMode::MiddleGameOnly, weight};
    if (nonPawnMaterial < PhaseEndGameBelow) return {PhaseMode::EndGameOnly, weight};
    return {PhaseMode::Tapered, weight};
}
inline Phase PhaseOf(const Board& board) {
    return PhaseOf(board.colour[White].nonPawnMaterial + board.colour[Black].nonPawnMaterial);
}

// Packed score to one value for the phase; the blend truncates toward zero.
constexpr int TaperScore(PackedScore score, Phase phase) {
    const int mg = MgOf(score);
    const int eg = EgOf(score);
    switch (phase.mode) {
        case PhaseMode::MiddleGameOnly: return Wrap16(mg);
        case PhaseMode::EndGameOnly: return Wrap16(eg);
        default: return Wrap16((mg * phase.weight + eg * (PhaseSpan - phase.weight)) / PhaseSpan);
    }
}

// White's view to the side to move's.
constexpr int ToSideToMove(int whiteScore, Colour sideToMove) {
    return sideToMove == White ? whiteScore : Negate16(whiteScore);
}

constexpr int ScaleScore(int x, ScaleFactor factor) { return Wrap16(x * factor.multiplier) >> factor.shift; }
constexpr int AddTempo(int x) { return Wrap16(x + Tempo); }

}  // namespace NEngine
