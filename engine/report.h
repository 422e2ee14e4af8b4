// Protocol text of the search's reports: UCI "info" lines, xboard thinking
// and "stat01:" lines, and the "bestmove" line of an infinite search. Each
// function returns the line without its line feed, or empty text when
// nothing is to be written.
#pragma once

#include <cstdint>
#include <string>

#include "search/searcher.h"

namespace NEngine {

// "mate N" (moves, negative when the side to move is mated) or "cp N".
std::string UciScoreText(int score);

// After each accepted iteration.
std::string IterationReport(const SearchResult& result, bool uciMode);
// At the end of an infinite search: "bestmove ..." when a move was found.
std::string ResultReport(const SearchResult& result);
// After a root move of an infinite search, or on request; now is the
// clock reading (nanoseconds) that the xboard status line measures against.
std::string ProgressReport(const SearchData& data, bool uciMode, int64_t now);

}  // namespace NEngine
