// Game end and PGN files for the xboard side of the protocol.
#include "engine/game.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

#include "board/board.h"
#include "board/notation.h"

namespace NEngine {

const char* const DefaultGameFile = "game_001.pgn";

namespace {

// b1, d1, ..., a2, c2, ...: a1 is a dark square.
constexpr BitMask LightSquares = 0x55AA55AA55AA55AAull;

// Occurrences of the position within the reversible stretch, counted as the
// board's own draw test counts them (same side to move every second ply,
// back to the last irreversible move).
int RepetitionCount(const Board& board) {
    if (board.history == nullptr) return 1;
    int count = 1;
    const int limit = board.ply - board.halfmoveClock;
    for (int i = board.ply - 2; i >= limit && i >= 0 && count < 3; i -= 2) {
        const HistoryEntry& entry = board.history[i];
        if (entry.key == board.key) ++count;
        if (entry.moveFlags & MoveIrreversible) break;
    }
    return count;
}

}  // namespace

bool IsDeadPosition(const Board& board) {
    const ColourBlock& black = board.colour[Black];
    const ColourBlock& white = board.colour[White];
    const BitMask heavy = black.pieces[Pawn] | black.pieces[Rook] | black.pieces[Queen] | white.pieces[Pawn] |
                          white.pieces[Rook] | white.pieces[Queen];
    if (heavy) return false;
    const int knights = black.count[Knight] + white.count[Knight];
    const int bishops = black.count[Bishop] + white.count[Bishop];
    if (knights + bishops <= 1) return true;
    if (knights > 0) return false;
    // Bishops of one square colour never attack the other colour, and a
    // king on a square of that colour always has a neighbour of it.
    const BitMask all = black.pieces[Bishop] | white.pieces[Bishop];
    return (all & LightSquares) == 0 || (all & ~LightSquares) == 0;
}

StatusFlags GameStatus(const Board& board) {
    StatusFlags status = board.flags;
    // The fifty-move rule is the board's first draw test: where it holds,
    // it names the draw, dead material or not.
    if (status & FlagFiftyMoves) return status;
    if (IsDeadPosition(board)) return StatusFlags(status | FlagInsufficient);
    if (!(status & FlagInsufficient)) return status;
    // A mate is still possible here (two knights, knight against a minor
    // piece, bishops of both colours): the game goes on, and the tests the
    // board skipped after the material flag are made now.
    status = StatusFlags(status & ~FlagInsufficient);
    if (RepetitionCount(board) >= 3) status |= FlagRepetition;
    if (!ForEachLegalMove(board, [](Move) { return true; }))
        status |= (board.flags & FlagCheck) ? FlagCheckmate : FlagStalemate;
    return status;
}

std::string ResultLine(StatusFlags status, bool moverIsWhite) {
    // A mate outranks every draw; the material test comes before stalemate.
    if (status & FlagCheckmate) return moverIsWhite ? "1-0 {White}" : "0-1 {Black}";
    if (status & FlagInsufficient) return "1/2-1/2 {Draw by material insufficient}";
    if (status & FlagStalemate) return "1/2-1/2 {Stalemate}";
    if (status & FlagRepetition) return "1/2-1/2 {Draw by repetition}";
    if (status & FlagFiftyMoves) return "1/2-1/2 {Draw by fifty moves rule}";
    return {};
}

void GameResultText(Engine& engine, StatusFlags status, bool moverIsWhite) {
    const std::string line = ResultLine(status, moverIsWhite);
    if (!line.empty()) engine.WriteLine(line);
}

bool SaveBoard(Engine& engine, const std::string& file) {
    // The result tag follows the game as announced, not the board's wider
    // material flag.
    Board game = engine.MainBoard();
    game.flags = StatusFlags((game.flags & ~GameOverFlags) | (GameStatus(game) & GameOverFlags));
    std::ostringstream text;
    WritePgn(game, text);

    // A file whose last line lacks its line end would have the new game's
    // first tag glued to it: games are kept apart by an empty line.
    const char* separator = "";
    {
        std::ifstream existing(file, std::ios::binary | std::ios::ate);
        const std::streamoff size = existing ? std::streamoff(existing.tellg()) : 0;
        if (size > 0) {
            char tail[2] = {0, 0};
            const std::streamoff take = size >= 2 ? 2 : 1;
            existing.seekg(size - take);
            existing.read(tail + 2 - take, take);
            if (!existing) return false;  // unreadable: better not touch it
            if (tail[1] != '\n') separator = "\n\n";
            else if (tail[0] != '\n') separator = "\n";
        }
    }
    // Appending only: whatever happens to this write, earlier games stay.
    std::ofstream out(file, std::ios::binary | std::ios::app);
    if (!out) return false;
    out << separator << text.str();
    out.flush();
    return bool(out);
}

bool LoadBoard(Engine& engine, const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    // Read whole first: a directory opens but cannot be read, and must not
    // reset the board. A file that reads but holds no moves is a game
    // without moves: the start position.
    std::string text;
    {
        std::ostringstream content;
        char chunk[4096];
        while (in.read(chunk, sizeof chunk) || in.gcount() > 0) content.write(chunk, in.gcount());
        if (in.bad()) return false;
        text = content.str();
    }

    // A FEN tag that cannot be set up leaves the scratch copy as the game was.
    Board& main = engine.MainBoard();
    auto scratch = std::make_unique<BoardWithHistory>();
    CopyBoard(scratch->board, main);
    const int ply = std::min(std::max(main.ply, 0), HistorySize);
    if (ply > 0) std::memcpy(static_cast<void*>(scratch->history), main.history, sizeof(HistoryEntry) * ply);
    std::istringstream stream(text);
    ReadPgn(scratch->board, stream);
    // The search needs room for its own plies above the game's.
    if (scratch->board.ply > MaxGamePly) return false;

    // A fresh position (stop flags, move-ordering history, thread records)
    // that then takes the game with its moves.
    engine.SetPosition(std::string());
    CopyBoard(main, scratch->board);
    if (main.ply > 0)
        std::memcpy(static_cast<void*>(main.history), scratch->history, sizeof(HistoryEntry) * main.ply);
    return true;
}

}  // namespace NEngine
