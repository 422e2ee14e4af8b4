// Moves as text (coordinate form and standard algebraic notation) and PGN.
#pragma once

#include <iosfwd>
#include <string>

#include "board/types.h"

namespace NEngine {

extern const std::string NullMoveText;  // "0000"

// Coordinate form ("e2e4", "e7e8q"); with prefix, "move e2e4".
std::string MoveToText(Move move, bool withPrefix = false);
// 0 not a move, 1 coordinate form, 2 standard algebraic notation.
int ClassifyMoveText(const std::string& text);
// 0 when the text names no pseudo-legal move of the side to move.
Move TextToMove(const Board& board, const std::string& text);
// Empty when the move is not legal.
std::string MoveToSan(const Board& board, Move move);
Move SanToMove(const Board& board, const std::string& text);

// Writes the game that led to the board, from its starting position.
void WritePgn(const Board& board, std::ostream& out);
// Sets the board to the position after the first game of the stream.
void ReadPgn(Board& board, std::istream& in);

}  // namespace NEngine
