// Knights, bishops, rooks and queens.
#include "eval/terms.h"

namespace NEngine {

template <bool Traced>
PackedScore PieceTerms(EvalContext& context, Colour c) {
    return context.side[c].score;
}

template PackedScore PieceTerms<false>(EvalContext&, Colour);
template PackedScore PieceTerms<true>(EvalContext&, Colour);

}  // namespace NEngine
