// The end of a game as the protocol announces it, and games kept as PGN
// files ("saveboard", "loadboard").
#pragma once

#include <string>

#include "board/types.h"
#include "engine/engine.h"

namespace NEngine {

// Where "saveboard" and "loadboard" go without a file name.
extern const char* const DefaultGameFile;

// No sequence of legal moves can mate: bare kings, one minor piece in all,
// or bishops only, all on squares of one colour.
bool IsDeadPosition(const Board& board);

// The board's game-ending bits as the rules of chess see them. The board
// flags a wider set of material as insufficient (the search scores those
// positions as draws) and then skips the repetition, mate and stalemate
// tests; here such a position is a game that goes on, and those tests are
// made. A dead position not flagged by the board gets the material bit.
StatusFlags GameStatus(const Board& board);

// The result line for a status word (empty when the game goes on); mover
// is the colour of the side that made the last move.
std::string ResultLine(StatusFlags status, bool moverIsWhite);
// Writes the result line, when there is one, to the engine's output.
void GameResultText(Engine& engine, StatusFlags status, bool moverIsWhite);

// Appends the main board's game to the file; false when the file could
// not be written. Games already in the file are left as they are.
bool SaveBoard(Engine& engine, const std::string& file);
// Sets the main board to the first game of the file; false, with nothing
// changed, when the file cannot be opened or read or holds nothing.
bool LoadBoard(Engine& engine, const std::string& file);

}  // namespace NEngine
