// Staged perft: the pickers' moves compared with the legal moves, node by
// node, and counted over a tree.
#include "search/staged_perft.h"

#include <memory>

#include "board/board.h"
#include "search/movegen.h"
#include "search/movepick.h"
#include "search/tt.h"

namespace NEngine {

namespace {

// The legal moves the pickers should produce, from the board's own
// generator and its self-contained legality test.
int StagedMoves(const Board& board, Move (&moves)[256]) {
    int n = 0;
    ForEachLegalMove(board, [&](Move m) {
        if (IsStagedMove(board, m) && n < 256) moves[n++] = m;
        return false;
    });
    return n;
}

// xorshift64*: small, fast and the same everywhere.
struct Random {
    uint64_t state;
    uint64_t Next() {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        return state * 0x2545F4914F6CDD1DULL;
    }
    int Below(int n) { return int(Next() % uint64_t(n)); }
};

struct StagedWalk {
    History history;
    Random random;
    Move sibling[64] = {};  // first move picked at the previous node of each ply
    uint64_t badNodes = 0;

    uint64_t Walk(Board& board, int depth, int ply) {
        Move legal[256];
        const int n = StagedMoves(board, legal);
        auto drawn = [&]() -> Move { return n ? legal[random.Below(n)] : Move(0); };

        // A sibling's move stands for a table move of another position that
        // happens to pass the table's own test. One that is legal here but
        // outside the staged set (a knight promotion without check) would
        // rightly be handed out and is not used.
        const Move other = ply < 64 ? sibling[ply] : 0;
        bool otherFits = other && PassesHashMoveTest(board, other);
        if (otherFits && IsPseudoLegal(board, other) && IsLegalMove(board, other)) {
            otherFits = false;
            for (int i = 0; i < n; ++i) otherFits |= legal[i] == other;
        }
        Move hash = 0, killer = 0;
        switch (random.Below(6)) {
            case 0: break;
            case 1: hash = otherFits ? other : 0; break;
            default: hash = drawn(); break;
        }
        switch (random.Below(5)) {
            case 0: break;
            case 1: killer = hash; break;
            case 2: killer = other; break;
            default: killer = drawn(); break;
        }

        // Moves handed out that are not expected here (illegal, outside the
        // staged set, or repeated) are counted but never made, so that any
        // fault shows in the leaf count as well as in badNodes.
        MovePicker picker(board, history, hash, killer);
        Move picked[256];
        int count = 0, unexpected = 0;
        while (const Move m = picker.NextMove()) {
            const Move plain = m & MoveMask;
            bool known = false, repeated = false;
            for (int i = 0; i < n; ++i) known |= legal[i] == plain;
            for (int i = 0; i < count; ++i) repeated |= picked[i] == plain;
            if (!known || repeated) {
                if (++unexpected > 256) break;  // a picker that never ends
                continue;
            }
            picked[count++] = plain;
        }
        if (unexpected || count != n) ++badNodes;
        if (ply < 64 && count) sibling[ply] = picked[0];

        if (depth <= 1) return uint64_t(count + unexpected);
        uint64_t leaves = uint64_t(unexpected);
        for (int i = 0; i < count; ++i) {
            MakeMove(board, picked[i]);
            leaves += Walk(board, depth - 1, ply + 1);
            UnmakeMove(board, picked[i]);
        }
        return leaves;
    }
};

}  // namespace

bool IsStagedMove(const Board& board, Move move) {
    switch (PromotionOf(move)) {
        case Rook:
        case Bishop: return false;
        case Knight: return KnightWouldCheck(board, ToSquare(move));
        default: return true;
    }
}

uint64_t ReferencePerft(Board& board, int depth) {
    Move moves[256];
    const int n = StagedMoves(board, moves);
    if (depth <= 1) return depth == 1 ? uint64_t(n) : 1;
    uint64_t leaves = 0;
    for (int i = 0; i < n; ++i) {
        MakeMove(board, moves[i]);
        leaves += ReferencePerft(board, depth - 1);
        UnmakeMove(board, moves[i]);
    }
    return leaves;
}

StagedPerftResult StagedPerft(Board& board, int depth, uint64_t seed) {
    auto walk = std::make_unique<StagedWalk>();
    walk->random.state = seed ? seed : 0x9E3779B97F4A7C15ULL;
    // Scattered History scores, so that quiet moves get sorted for real.
    for (Colour c : {Black, White})
        for (int from = 0; from < 64; ++from)
            for (int to = 0; to < 64; ++to) walk->history.Set(c, from, to, walk->random.Below(2001) - 1000);
    StagedPerftResult result;
    if (depth <= 0) {
        result.leaves = 1;
        return result;
    }
    result.leaves = walk->Walk(board, depth, 0);
    result.badNodes = walk->badNodes;
    return result;
}

uint64_t StagedPerftLeaves(Board& board, int depth) {
    return StagedPerft(board, depth, board.key ^ uint64_t(depth)).leaves;
}

}  // namespace NEngine
