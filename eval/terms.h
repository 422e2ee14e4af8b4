// The steps of Evaluate that live in their own files, one file per chess
// idea. Only evaluate.cpp calls them, in the order written here. Terms are
// templates on `Traced` (see trace.h): the search uses the false instance.
// Every term is computed for one colour c in c's own view; Evaluate adds
// White's value and subtracts Black's.
#pragma once

#include "eval/evaluate.h"
#include "eval/trace.h"

namespace NEngine {

// attack_maps.cpp: the attack information all later terms read. The first
// part (pawns, kings, king zones, mobility areas, pins) comes before the
// pawn-table probe, the second (knights, bishops, rooks, queens) after it.
void BuildAttackMapsBeforePawns(EvalContext& context);
void BuildAttackMapsAfterPawns(EvalContext& context);

// pieces.cpp: knights, bishops, rooks and queens of colour c (outposts,
// tropism, discovered attacks, relative pins, king pressure, mobility, rook
// files, trapped rooks). Fills the rest of c's attack block as it goes.
template <bool Traced>
PackedScore PieceTerms(EvalContext& context, Colour c);

}  // namespace NEngine
