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

// What every picker keeps: the position, the ordering table, the stage and
// the hash move. The stages of all pickers are numbered here in one order;
// each picker walks its own subset of them.
class PickerCore {
protected:
    enum Stage : uint8_t {
        HashStage,
        GenerateTacticalStage,
        TacticalStage,
        KillerStage,
        GenerateQuietStage,
        QuietStage,
        GenerateChecksStage,
        ChecksStage,
        DeferredStage,
        EvasionStage,
        DoneStage
    };
    // Takes the position and the hash move, which has to pass the full
    // playability test; starts at the hash move or at the first generation.
    void Start(const Board& board, const History& history, Move hashMove);
    // The quiet stage and the deferred stage after it: the quiet moves other
    // than the hash move and the killer (losing ones put aside when
    // `exchangeTest`), then everything put aside, in the order it came.
    Move QuietThenDeferred(MoveList& quiets, Move killer, MoveList& deferred, bool exchangeTest);

    const Board* board_ = nullptr;
    const History* history_ = nullptr;
    Stage stage_ = DoneStage;
    Move hashMove_ = 0;
};

// Evasions for a side in check: hash move, captures of the checker and king
// captures (MVV-LVA), killer, king steps and blocks (History), then the
// deferred moves. The quiescence variant has no killer, no exchange test and
// no deferral: every legal evasion is returned in list order.
class EvasionPicker : private PickerCore {
public:
    EvasionPicker() = default;
    EvasionPicker(const Board& board, const History& history, Move hashMove, Move killer,
                  bool quiescence = false) {
        Init(board, history, hashMove, killer, quiescence);
    }
    void Init(const Board& board, const History& history, Move hashMove, Move killer, bool quiescence);
    Move NextMove();

private:
    bool quiescence_ = false;
    Move killer_ = 0;
    BitMask between_ = 0;    // squares between own king and the checker
    FixedMoveList<EvasionCapacity> captures_;
    FixedMoveList<EvasionCapacity> quiets_;
    // Losing captures, then losing quiet moves: the captures are all walked
    // before the first quiet move arrives.
    FixedMoveList<2 * EvasionCapacity> deferred_;
};

// Main search picker. Not in check: hash move, safe captures and promotions
// (MVV-LVA), killer, safe quiet moves (History), then the losing captures
// and the losing quiet moves. In check it hands out its evasion picker's
// moves.
class MovePicker : private PickerCore {
public:
    MovePicker(const Board& board, const History& history, Move hashMove, Move killer);
    Move NextMove();

private:
    Move killer_;
    FixedMoveList<TacticalCapacity> tactical_;
    FixedMoveList<QuietCapacity> quiet_;
    FixedMoveList<TacticalCapacity + QuietCapacity> deferred_;  // as in the evasion picker
    EvasionPicker evasions_;
};

// Quiescence picker. Not in check: hash move, then every legal capture and
// promotion in MVV-LVA order without the SafeMark (the quiescence search
// applies the exchange test itself), then checks: at depth 0 or above the
// quiet checks, below 0 at most one forcing check. In check: the quiescence
// variant of the evasion picker. `depth` is the quiescence depth (in
// sixteenths of a ply; only its sign matters here).
class QuiescencePicker : private PickerCore {
public:
    QuiescencePicker(const Board& board, const History& history, Move hashMove, int depth);
    // threshold and nothingSearched are passed to FindForcingCheck.
    Move NextMove(int threshold, bool nothingSearched);

private:
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
