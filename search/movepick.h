// Staged move pickers: hand the search one legal move at a time, best guess
// first, generating each class of moves only when the previous class is used
// up. A move that passes the exchange test (or the hash move) is returned
// with the SafeMark set; moves that fail it are deferred to the end without
// the mark. Pickers live on the searching thread's stack, one per node, and
// return 0 when exhausted.
#pragma once

#include "board/types.h"
#include "search/movelist.h"

namespace NEngine {

// Evasions for a side in check: hash move, captures of the checker and king
// captures (MVV-LVA), killer, king steps and blocks (History), then the
// deferred moves. The quiescence variant has no killer, no exchange test and
// no deferral: every legal evasion is returned in list order.
class EvasionPicker {
public:
    EvasionPicker() = default;
    EvasionPicker(const Board& board, const History& history, Move hashMove, Move killer,
                  bool quiescence = false) {
        Init(board, history, hashMove, killer, quiescence);
    }
    void Init(const Board& board, const History& history, Move hashMove, Move killer, bool quiescence);
    Move NextMove();

private:
    enum Stage : uint8_t {
        HashStage,
        GenerateCapturesStage,
        CapturesStage,
        KillerStage,
        GenerateQuietsStage,
        QuietsStage,
        DeferredCapturesStage,
        DeferredQuietsStage,
        DoneStage
    };
    const Board* board_ = nullptr;
    const History* history_ = nullptr;
    Stage stage_ = DoneStage;
    bool quiescence_ = false;
    Move hashMove_ = 0;
    Move killer_ = 0;
    BitMask between_ = 0;    // squares between own king and the checker
    Colour opponent_ = 0;
    BitMask occupied_ = 0;
    FixedMoveList<EvasionCapacity> captures_;
    FixedMoveList<EvasionCapacity> quiets_;
    FixedMoveList<EvasionCapacity> deferredCaptures_;
    FixedMoveList<EvasionCapacity> deferredQuiets_;
};

// Main search picker. Not in check: hash move, safe captures and promotions
// (MVV-LVA), killer, safe quiet moves (History), then the losing captures
// and the losing quiet moves. In check it hands out its evasion picker's
// moves.
class MovePicker {
public:
    MovePicker(const Board& board, const History& history, Move hashMove, Move killer);
    Move NextMove();

private:
    enum Stage : uint8_t {
        HashStage,
        GenerateTacticalStage,
        TacticalStage,
        KillerStage,
        GenerateQuietStage,
        QuietStage,
        DeferredCapturesStage,
        DeferredQuietsStage,
        EvasionStage,
        DoneStage
    };
    const Board& board_;
    const History& history_;
    Stage stage_;
    Move hashMove_;
    Move killer_;
    FixedMoveList<TacticalCapacity> tactical_;
    FixedMoveList<QuietCapacity> quiet_;
    FixedMoveList<TacticalCapacity> deferredCaptures_;
    FixedMoveList<QuietCapacity> deferredQuiets_;
    EvasionPicker evasions_;
};

// Quiescence picker. Not in check: hash move, then every legal capture and
// promotion in MVV-LVA order without the SafeMark (the quiescence search
// applies the exchange test itself), then checks: at depth 0 or above the
// quiet checks, below 0 at most one forcing check. In check: the quiescence
// variant of the evasion picker. `depth` is the quiescence depth (in
// sixteenths of a ply; only its sign matters here).
class QuiescencePicker {
public:
    QuiescencePicker(const Board& board, const History& history, Move hashMove, int depth);
    // threshold and nothingSearched are passed to FindForcingCheck.
    Move NextMove(int threshold, bool nothingSearched);

private:
    enum Stage : uint8_t {
        HashStage,
        GenerateTacticalStage,
        TacticalStage,
        GenerateChecksStage,
        ChecksStage,
        EvasionStage,
        DoneStage
    };
    const Board& board_;
    const History& history_;
    Stage stage_;
    Move hashMove_;
    int depth_;
    FixedMoveList<TacticalCapacity> tactical_;
    FixedMoveList<CheckCapacity> checks_;
    EvasionPicker evasions_;
};

// Whether a move from the transposition table or a killer slot can be handed
// out in this position: pseudo-legal and legal (self-contained test when in
// check, where the generator-move test does not apply).
bool IsPlayableMove(const Board& board, Move move);

}  // namespace NEngine
