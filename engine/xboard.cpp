#include "engine/xboard.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <string>

#include "board/board.h"
#include "board/notation.h"
#include "engine/game.h"

namespace NEngine {

namespace {

// Edit mode's piece letters; the case does not decide the colour.
const std::map<char, PieceType>& PieceLetters() {
    static const std::map<char, PieceType> letters = {
        {'p', Pawn}, {'n', Knight}, {'b', Bishop}, {'r', Rook}, {'q', Queen}, {'k', King},
    };
    return letters;
}

// "go" and moves are refused while the engine's position is not the one
// the front end shows: after a set-up that failed, or during edit mode.
bool Refused(const Engine& engine) { return !engine.positionValid || engine.editing; }

// The engine's move, and the result line when the move ends the game. A
// game already over gets its result line again instead of a move.
void PlayEngineMove(Engine& engine) {
    const Board& board = engine.MainBoard();
    const StatusFlags before = GameStatus(board);
    if (before & GameOverFlags) {
        GameResultText(engine, before, board.sideToMove != White);
        return;
    }
    const ThinkOutcome outcome = engine.Think(true);
    if (!outcome.done || outcome.text.empty()) return;
    engine.WriteLine(outcome.text);
    GameResultText(engine, GameStatus(engine.MainBoard()), outcome.moverIsWhite);
}

void HandleMove(Engine& engine, const Command& command) {
    if (Refused(engine)) {
        engine.WriteLine("Illegal move");
        return;
    }
    const UserMoveOutcome outcome = UserMove(engine, command);
    if (!outcome.done) {
        engine.WriteLine("Illegal move: " + command.text);
        return;
    }
    if (outcome.status & GameOverFlags) {
        GameResultText(engine, outcome.status, outcome.moverIsWhite);
        return;
    }
    if (engine.forceMode) return;
    PlayEngineMove(engine);
}

void TakeBack(Engine& engine, int moves) {
    if (engine.editing) return;
    Board& board = engine.MainBoard();
    for (int i = 0; i < moves && board.ply > 0; ++i) UnmakeMove(board, board.history[board.ply - 1].move & MoveMask);
}

void StartEdit(Engine& engine) {
    const Board& board = engine.MainBoard();
    if (!engine.editBoard) engine.editBoard = std::make_unique<BoardWithHistory>();
    CopyBoard(engine.editBoard->board, board);
    engine.editing = true;
    engine.editColour = White;
    engine.editSavedSide = board.sideToMove;
}

void PlacePiece(Engine& engine, const Command& command) {
    const std::string& text = command.text;
    if (text.size() != 3) return;
    const char letter = char(std::tolower(static_cast<unsigned char>(text[0])));
    const int file = std::tolower(static_cast<unsigned char>(text[1])) - 'a';
    const int rank = text[2] - '1';
    if (file < 0 || file > 7 || rank < 0 || rank > 7) return;
    const auto found = PieceLetters().find(letter);
    if (found == PieceLetters().end()) return;
    AddPiece(engine.editBoard->board, Colour(engine.editColour), found->second, rank * 8 + file);
}

// "." ends edit mode: the edited board becomes the position when it is a
// legal one, with a fresh game history; castling is assumed wherever king
// and rook stand on their home squares.
void FinishEdit(Engine& engine) {
    engine.editing = false;
    Board edited = engine.editBoard->board;
    edited.castling = 0;
    for (int bit = 0; bit < 4; ++bit) {
        const Colour c = Colour(bit >> 1);
        if (edited.mailbox[KingHome[c]] == MakeCode(c, King) && edited.mailbox[RookHome[bit]] == MakeCode(c, Rook))
            edited.castling |= CastlingRights(1 << bit);
    }
    edited.epSquare = -1;
    edited.halfmoveClock = 0;
    if (edited.fullmoveNumber < 1) edited.fullmoveNumber = 1;
    const std::string fen = ToFen(edited);
    engine.positionValid = 0;
    if (!fen.empty() && engine.SetPosition(fen)) {
        engine.positionValid = 1;
    } else {
        engine.WriteLine("tellusererror Illegal position");
    }
}

// "time" in centiseconds; a clock at or below zero is an empty one. Under
// "st" the time per move stays, bounded by the clock; under "sd" the depth
// stays as a limit of its own while the clock sets the budget.
void TakeClock(Engine& engine, int32_t centiseconds) {
    const double seconds = centiseconds > 0 ? centiseconds / 100.0 : 0.0;
    engine.SetClock(seconds);
    if (engine.stSeconds > 0) {
        // The budget keeps the move overhead back from it.
        engine.moveSeconds = std::max(std::min(engine.stSeconds, seconds), 0.1);
        engine.searcher.SetTimeBudget(engine.moveSeconds);
    }
    if (engine.sdPlies > 0) engine.searcher.SetDepthLimit(engine.sdPlies);
}

void SetBoard(Engine& engine, const Command& command) {
    engine.editing = false;
    engine.positionValid = 0;
    if (engine.SetPosition(command.text)) {
        engine.positionValid = 1;
    } else {
        engine.WriteLine("tellusererror Illegal position");
    }
}

}  // namespace

UserMoveOutcome UserMove(Engine& engine, const Command& command) {
    Board& board = engine.MainBoard();
    UserMoveOutcome outcome;
    const bool whiteToMove = board.sideToMove == White;
    const StatusFlags status = GameStatus(board);
    if (status & GameOverFlags) {
        // The game is over: the move is not made, its result stands.
        outcome.status = status;
        outcome.done = true;
        outcome.moverIsWhite = !whiteToMove;
        return outcome;
    }
    // A very long game keeps only the history the rules still read, so that
    // the search keeps its room.
    engine.KeepHistoryRoom();
    const Move move = TextToMove(board, command.text);
    if (move == NullMove || !IsLegalMove(board, move)) return outcome;
    MakeMove(board, move);
    UpdateMateFlags(board);
    engine.TimeBudget();
    outcome.status = GameStatus(board);
    outcome.done = true;
    outcome.moverIsWhite = whiteToMove;
    return outcome;
}

bool HandleXboardCommand(Engine& engine, const Command& command) {
    switch (command.code) {
        case CmdXboard:
            engine.reader.uciMode = false;
            engine.ClearTT();
            break;
        case CmdProtover:
            if (command.number >= 2) {
                engine.WriteLine("feature done=0");
                engine.WriteLine("feature setboard=1");
                engine.WriteLine("feature myname=\"tarnock\" memory=1");
                engine.WriteLine("feature done=1");
            }
            break;
        case CmdNew:
            engine.ClearTT();
            engine.SetPosition(std::string());
            // Force mode, the time controls (a depth limit among them) and
            // the refusal after a failed set-up stay: only a set-up that
            // succeeds ends the refusal.
            engine.editing = false;
            break;
        case CmdForce:
            engine.forceMode = 1;
            break;
        case CmdGo:
            if (Refused(engine)) {
                engine.WriteLine("Illegal move");
                break;
            }
            engine.forceMode = 0;
            PlayEngineMove(engine);
            break;
        case CmdMove:
            HandleMove(engine, command);
            break;
        case CmdPlacePiece:
            // Three characters such as Nf3 are a placement, never a move; out
            // of edit mode there is no board to place on, and the game's own
            // board must not gain pieces mid-game.
            if (engine.editing) PlacePiece(engine, command);
            break;
        case CmdUndo:
            TakeBack(engine, 1);
            break;
        case CmdRemove:
            TakeBack(engine, 2);
            break;
        case CmdSt:
            if (command.number > 0) {
                engine.SetMoveTime(command.number);
                engine.stSeconds = engine.moveSeconds;
            }
            break;
        case CmdSd:
            if (command.number > 0) {
                engine.SetFixedDepth(command.number);
                engine.sdPlies = engine.fixedDepth;
            }
            break;
        case CmdTime:
            TakeClock(engine, command.number);
            break;
        case CmdOtim:
            break;
        case CmdLevel:
            // Moves per session; the front end sends the clock itself with
            // "time" before every move.
            engine.SetSession(command.number > 0 ? command.number : 0);
            engine.stSeconds = 0;
            break;
        case CmdMemory:
            if (command.number >= 1) engine.SetHashSize(command.number);
            break;
        case CmdPing:
            engine.WriteLine("pong " + std::to_string(command.number));
            break;
        case CmdPost:
            engine.postFlag = 1;
            break;
        case CmdNoPost:
            engine.postFlag = 0;
            break;
        case CmdAnalyze:
            // Until "exit", "?" or any other command stops it; a command
            // that stopped it runs afterwards like any other.
            engine.Analyze();
            break;
        case CmdSetBoard:
            SetBoard(engine, command);
            break;
        case CmdEdit:
            StartEdit(engine);
            break;
        case CmdEditColour:
            if (engine.editing) engine.editColour = engine.editColour == White ? Black : White;
            break;
        case CmdEditClear:
            if (engine.editing) {
                ResetBoard(engine.editBoard->board);
                engine.editBoard->board.sideToMove = Colour(engine.editSavedSide);
            }
            break;
        case CmdEditDone:
            // Outside edit mode (and outside a search) there is nothing to finish.
            if (engine.editing) FinishEdit(engine);
            break;
        case CmdSaveBoard:
            SaveBoard(engine, command.args.empty() ? DefaultGameFile : command.args.front());
            break;
        case CmdLoadBoard:
            LoadBoard(engine, command.args.empty() ? DefaultGameFile : command.args.front());
            break;
        case CmdOption:
            break;
        default:
            return false;
    }
    return true;
}

}  // namespace NEngine
