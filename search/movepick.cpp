// Staged pickers: one switch per NextMove call, each stage falling through
// to the next when its list is used up.
#include "search/movepick.h"

#include "board/attacks.h"
#include "board/board.h"
#include "search/movegen.h"
#include "search/see.h"

namespace NEngine {

namespace {

// A killer comes from a sibling position. It is only tried as a quiet move:
// no promotion, empty destination, not an en-passant capture.
bool QuietKillerShape(const Board& board, Move killer) {
    const int to = ToSquare(killer);
    if (PromotionOf(killer) || board.mailbox[to]) return false;
    return !(TypeOf(board.mailbox[FromSquare(killer)]) == Pawn && board.epSquare > 0 && to == board.epSquare);
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

// ---------------------------------------------------------------- evasions

void EvasionPicker::Init(const Board& board, const History& history, Move hashMove, Move killer,
                         bool quiescence) {
    board_ = &board;
    history_ = &history;
    quiescence_ = quiescence;
    hashMove_ = hashMove & MoveMask;
    if (hashMove_ && !IsPlayableMove(board, hashMove_)) hashMove_ = 0;
    killer_ = quiescence ? 0 : killer & MoveMask;
    if (SameMove(killer_, hashMove)) killer_ = 0;
    const Colour us = board.sideToMove;
    opponent_ = Opponent(us);
    occupied_ = board.Occupied();
    between_ = (board.flags & FlagDoubleCheck) ? 0 : Between(board.kingSquare[us], board.checkerSquare);
    captures_.Clear();
    quiets_.Clear();
    deferredCaptures_.Clear();
    deferredQuiets_.Clear();
    stage_ = hashMove_ ? HashStage : GenerateCapturesStage;
}

Move EvasionPicker::NextMove() {
    const Board& board = *board_;
    switch (stage_) {
        case HashStage:
            stage_ = GenerateCapturesStage;
            return hashMove_ | SafeMark;

        case GenerateCapturesStage:
            GenerateCheckerCaptures(board, captures_);
            GenerateKingCaptures(board, captures_);
            stage_ = CapturesStage;
            [[fallthrough]];
        case CapturesStage:
            while (MoveNode* node = captures_.Next()) {
                const Move move = node->move;
                if (SameMove(move, hashMove_) || !IsLegal(board, move)) continue;
                if (quiescence_) return move;
                if (SeeAtLeast(board, move, 0)) return node->move = move | SafeMark;
                deferredCaptures_.Append(move);
            }
            stage_ = KillerStage;
            [[fallthrough]];
        case KillerStage:
            stage_ = GenerateQuietsStage;
            if (killer_) {
                const int from = FromSquare(killer_);
                if (QuietKillerShape(board, killer_) && IsPseudoLegal(board, killer_) &&
                    (from == board.kingSquare[board.sideToMove] || (between_ & Bit(ToSquare(killer_)))) &&
                    IsLegal(board, killer_))
                    return killer_ | SafeMark;
                // Not handed out here: let the quiet walk treat it normally.
                killer_ = 0;
            }
            [[fallthrough]];
        case GenerateQuietsStage:
            GenerateKingSteps(board, *history_, quiets_);
            GenerateBlocks(board, *history_, quiets_);
            stage_ = QuietsStage;
            [[fallthrough]];
        case QuietsStage:
            while (MoveNode* node = quiets_.Next()) {
                const Move move = node->move;
                if (SameMove(move, hashMove_) || SameMove(move, killer_) || !IsLegal(board, move)) continue;
                if (quiescence_) return move;
                if (SeeAtLeast(board, move, 0)) return node->move = move | SafeMark;
                deferredQuiets_.Append(move);
            }
            deferredCaptures_.Rewind();
            stage_ = DeferredCapturesStage;
            [[fallthrough]];
        case DeferredCapturesStage:
            if (MoveNode* node = deferredCaptures_.Next()) return node->move;
            deferredQuiets_.Rewind();
            stage_ = DeferredQuietsStage;
            [[fallthrough]];
        case DeferredQuietsStage:
            if (MoveNode* node = deferredQuiets_.Next()) return node->move;
            stage_ = DoneStage;
            [[fallthrough]];
        case DoneStage:
            break;
    }
    return 0;
}

// ---------------------------------------------------------------- main search

MovePicker::MovePicker(const Board& board, const History& history, Move hashMove, Move killer)
    : board_(board), history_(history), hashMove_(hashMove & MoveMask), killer_(killer & MoveMask) {
    if (SameMove(killer_, hashMove_)) killer_ = 0;
    if (board.InCheck()) {
        evasions_.Init(board, history, hashMove_, killer_, false);
        stage_ = EvasionStage;
        return;
    }
    if (hashMove_ && !IsPlayableMove(board, hashMove_)) hashMove_ = 0;
    stage_ = hashMove_ ? HashStage : GenerateTacticalStage;
}

Move MovePicker::NextMove() {
    switch (stage_) {
        case HashStage:
            stage_ = GenerateTacticalStage;
            return hashMove_ | SafeMark;

        case GenerateTacticalStage:
            GenerateTactical(board_, tactical_);
            stage_ = TacticalStage;
            [[fallthrough]];
        case TacticalStage:
            while (MoveNode* node = tactical_.Next()) {
                const Move move = node->move;
                if (SameMove(move, hashMove_)) continue;
                if (SameMove(move, killer_)) killer_ = 0;
                if (!IsLegal(board_, move)) continue;
                if (SeeAtLeast(board_, move, 0)) return node->move = move | SafeMark;
                deferredCaptures_.Append(move);
            }
            stage_ = KillerStage;
            [[fallthrough]];
        case KillerStage:
            stage_ = GenerateQuietStage;
            if (killer_) {
                if (QuietKillerShape(board_, killer_) && IsPseudoLegal(board_, killer_) && IsLegal(board_, killer_) &&
                    SeeAtLeast(board_, killer_, 0))
                    return killer_ | SafeMark;
                // A killer that loses material (or does not fit) is not lost:
                // the quiet walk defers it like any other losing move.
                killer_ = 0;
            }
            [[fallthrough]];
        case GenerateQuietStage:
            GenerateQuiet(board_, history_, quiet_);
            stage_ = QuietStage;
            [[fallthrough]];
        case QuietStage:
            while (MoveNode* node = quiet_.Next()) {
                const Move move = node->move;
                if (SameMove(move, hashMove_) || SameMove(move, killer_) || !IsLegal(board_, move)) continue;
                if (SeeAtLeast(board_, move, 0)) return node->move = move | SafeMark;
                deferredQuiets_.Append(move);
            }
            deferredCaptures_.Rewind();
            stage_ = DeferredCapturesStage;
            [[fallthrough]];
        case DeferredCapturesStage:
            if (MoveNode* node = deferredCaptures_.Next()) return node->move;
            deferredQuiets_.Rewind();
            stage_ = DeferredQuietsStage;
            [[fallthrough]];
        case DeferredQuietsStage:
            if (MoveNode* node = deferredQuiets_.Next()) return node->move;
            stage_ = DoneStage;
            [[fallthrough]];
        case DoneStage:
            break;
        case EvasionStage:
            return evasions_.NextMove();
    }
    return 0;
}

// ---------------------------------------------------------------- quiescence

QuiescencePicker::QuiescencePicker(const Board& board, const History& history, Move hashMove, int depth)
    : board_(board), history_(history), hashMove_(hashMove & MoveMask), depth_(depth) {
    if (board.InCheck()) {
        evasions_.Init(board, history, hashMove_, 0, true);
        stage_ = EvasionStage;
        return;
    }
    if (hashMove_ && !IsPlayableMove(board, hashMove_)) hashMove_ = 0;
    stage_ = hashMove_ ? HashStage : GenerateTacticalStage;
}

Move QuiescencePicker::NextMove(int threshold, bool nothingSearched) {
    switch (stage_) {
        case HashStage:
            stage_ = GenerateTacticalStage;
            return hashMove_ | SafeMark;

        case GenerateTacticalStage:
            GenerateTactical(board_, tactical_);
            stage_ = TacticalStage;
            [[fallthrough]];
        case TacticalStage:
            while (MoveNode* node = tactical_.Next())
                if (!SameMove(node->move, hashMove_) && IsLegal(board_, node->move)) return node->move;
            stage_ = GenerateChecksStage;
            [[fallthrough]];
        case GenerateChecksStage:
            if (depth_ < 0)
                FindForcingCheck(board_, checks_, threshold, nothingSearched);
            else
                GenerateQuietChecks(board_, history_, checks_);
            stage_ = ChecksStage;
            [[fallthrough]];
        case ChecksStage:
            while (MoveNode* node = checks_.Next())
                if (!SameMove(node->move, hashMove_) && IsLegal(board_, node->move)) return node->move;
            stage_ = DoneStage;
            [[fallthrough]];
        case DoneStage:
            break;
        case EvasionStage:
            return evasions_.NextMove();
    }
    return 0;
}

}  // namespace NEngine
