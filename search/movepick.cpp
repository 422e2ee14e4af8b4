// Staged pickers: one switch per NextMove call, each stage falling through
// to the next when its list is used up.
#include "search/movepick.h"

#include "board/attacks.h"
#include "board/board.h"
#include "search/movegen.h"
#include "search/see.h"

namespace NEngine {

namespace {

// The next move of a generated list worth handing out, 0 when the list is
// used up. Repeats of the hash move or the killer and illegal moves are
// skipped. With a deferral list a move that fails the exchange test waits
// there, and a safe one comes with the SafeMark (kept in its node as well);
// without one every legal move comes as it is.
Move NextListed(const Board& board, MoveList& list, Move hashMove, Move killer, MoveList* deferred) {
    while (MoveNode* node = list.Next()) {
        const Move move = node->move;
        if (SameMove(move, hashMove) || SameMove(move, killer) || !IsLegal(board, move)) continue;
        if (!deferred) return move;
        if (SeeAtLeast(board, move, 0)) return node->move = move | SafeMark;
        deferred->Append(move);
    }
    return 0;
}

}  // namespace

// The hash move has only passed the table's plausibility test, and a 32-bit
// lock can match another position, so it gets the full test here: handing
// out an impossible move would corrupt the board.
bool IsPlayableMove(const Board& board, Move move) {
    move &= MoveMask;
    if (!move || !IsPseudoLegal(board, move)) return false;
    return board.InCheck() ? IsLegalMove(board, move) : IsLegal(board, move);
}

void PickerCore::Start(const Board& board, const History& history, Move hashMove) {
    board_ = &board;
    history_ = &history;
    hashMove_ = hashMove & MoveMask;
    if (hashMove_ && !IsPlayableMove(board, hashMove_)) hashMove_ = 0;
    stage_ = hashMove_ ? HashStage : GenerateTacticalStage;
}

Move PickerCore::QuietThenDeferred(MoveList& quiets, Move killer, MoveList& deferred, bool exchangeTest) {
    if (stage_ == QuietStage) {
        if (const Move move = NextListed(*board_, quiets, hashMove_, killer, exchangeTest ? &deferred : nullptr))
            return move;
        deferred.Rewind();
        stage_ = DeferredStage;
    }
    if (MoveNode* node = deferred.Next()) return node->move;
    stage_ = DoneStage;
    return 0;
}

// ---------------------------------------------------------------- evasions

void EvasionPicker::Init(const Board& board, const History& history, Move hashMove, Move killer,
                         bool quiescence) {
    quiescence_ = quiescence;
    killer_ = quiescence ? 0 : killer & MoveMask;
    if (SameMove(killer_, hashMove)) killer_ = 0;
    const int king = board.kingSquare[board.sideToMove];
    between_ = (board.flags & FlagDoubleCheck) ? 0 : Between(king, board.checkerSquare);
    captures_.Clear();
    quiets_.Clear();
    deferred_.Clear();
    Start(board, history, hashMove);
}

Move EvasionPicker::NextMove() {
    const Board& board = *board_;
    // The quiescence variant defers nothing and marks nothing.
    MoveList* const deferred = quiescence_ ? nullptr : &deferred_;
    switch (stage_) {
        case HashStage:
            stage_ = GenerateTacticalStage;
            return hashMove_ | SafeMark;

        case GenerateTacticalStage:
            GenerateCheckerCaptures(board, captures_);
            GenerateKingCaptures(board, captures_);
            stage_ = TacticalStage;
            [[fallthrough]];
        case TacticalStage:
            if (const Move move = NextListed(board, captures_, hashMove_, 0, deferred)) return move;
            stage_ = KillerStage;
            [[fallthrough]];
        case KillerStage:
            stage_ = GenerateQuietStage;
            if (killer_) {
                const int from = FromSquare(killer_);
                if (IsQuietMove(board, killer_) && IsPseudoLegal(board, killer_) &&
                    (from == board.kingSquare[board.sideToMove] || (between_ & Bit(ToSquare(killer_)))) &&
                    IsLegal(board, killer_))
                    return killer_ | SafeMark;
                // Not handed out here: let the quiet walk treat it normally.
                killer_ = 0;
            }
            [[fallthrough]];
        case GenerateQuietStage:
            GenerateKingSteps(board, *history_, quiets_);
            GenerateBlocks(board, *history_, quiets_);
            stage_ = QuietStage;
            [[fallthrough]];
        case QuietStage:
        case DeferredStage:
            return QuietThenDeferred(quiets_, killer_, deferred_, !quiescence_);
        default:
            break;
    }
    return 0;
}

// ---------------------------------------------------------------- main search

MovePicker::MovePicker(const Board& board, const History& history, Move hashMove, Move killer)
    : killer_(killer & MoveMask) {
    if (SameMove(killer_, hashMove)) killer_ = 0;
    if (board.InCheck()) {
        evasions_.Init(board, history, hashMove & MoveMask, killer_, false);
        stage_ = EvasionStage;
        return;
    }
    Start(board, history, hashMove);
}

Move MovePicker::NextMove() {
    if (stage_ == EvasionStage) return evasions_.NextMove();
    const Board& board = *board_;
    switch (stage_) {
        case HashStage:
            stage_ = GenerateTacticalStage;
            return hashMove_ | SafeMark;

        case GenerateTacticalStage:
            GenerateTactical(board, tactical_);
            stage_ = TacticalStage;
            [[fallthrough]];
        case TacticalStage:
            // The killer is not skipped here: it is only ever a quiet move.
            if (const Move move = NextListed(board, tactical_, hashMove_, 0, &deferred_)) return move;
            stage_ = KillerStage;
            [[fallthrough]];
        case KillerStage:
            stage_ = GenerateQuietStage;
            if (killer_) {
                if (IsQuietMove(board, killer_) && IsPseudoLegal(board, killer_) && IsLegal(board, killer_) &&
                    SeeAtLeast(board, killer_, 0))
                    return killer_ | SafeMark;
                // A killer that loses material (or does not fit) is not lost:
                // the quiet walk defers it like any other losing move.
                killer_ = 0;
            }
            [[fallthrough]];
        case GenerateQuietStage:
            GenerateQuiet(board, *history_, quiet_);
            stage_ = QuietStage;
            [[fallthrough]];
        case QuietStage:
        case DeferredStage:
            return QuietThenDeferred(quiet_, killer_, deferred_, true);
        default:
            break;
    }
    return 0;
}

// ---------------------------------------------------------------- quiescence

QuiescencePicker::QuiescencePicker(const Board& board, const History& history, Move hashMove, int depth)
    : depth_(depth) {
    if (board.InCheck()) {
        evasions_.Init(board, history, hashMove & MoveMask, 0, true);
        stage_ = EvasionStage;
        return;
    }
    Start(board, history, hashMove);
}

Move QuiescencePicker::NextMove(int threshold, bool nothingSearched) {
    if (stage_ == EvasionStage) return evasions_.NextMove();
    const Board& board = *board_;
    switch (stage_) {
        case HashStage:
            stage_ = GenerateTacticalStage;
            return hashMove_ | SafeMark;

        case GenerateTacticalStage:
            GenerateTactical(board, tactical_);
            stage_ = TacticalStage;
            [[fallthrough]];
        case TacticalStage:
            if (const Move move = NextListed(board, tactical_, hashMove_, 0, nullptr)) return move;
            stage_ = GenerateChecksStage;
            [[fallthrough]];
        case GenerateChecksStage:
            if (depth_ < 0)
                FindForcingCheck(board, checks_, threshold, nothingSearched);
            else
                GenerateQuietChecks(board, *history_, checks_);
            stage_ = ChecksStage;
            [[fallthrough]];
        case ChecksStage:
            if (const Move move = NextListed(board, checks_, hashMove_, 0, nullptr)) return move;
            stage_ = DoneStage;
            break;
        default:
            break;
    }
    return 0;
}

}  // namespace NEngine
