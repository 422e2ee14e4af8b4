// Report lines built from the search's records. They run once per iteration
// or root move, so a string stream and a board copy are cheap enough.
#include "engine/report.h"

#include <sstream>

#include "board/board.h"
#include "board/notation.h"

namespace NEngine {
namespace {

// Walks the principal variation on a copy of the root position, giving each
// move's text to emit, until a 0 move, a move that does not fit the
// position, an empty text or the limit.
template <typename TextOf, typename Emit>
void WalkPv(const Board& root, const Move* pv, int limit, TextOf textOf, Emit emit) {
    BoardWithHistory copy;
    CopyBoard(copy.board, root);
    for (int i = 0; i < limit && i < MaxPly; ++i) {
        const Move move = Move(pv[i] & MoveMask);
        if (move == 0 || HistoryFull(copy.board) || !IsPseudoLegal(copy.board, move)) break;
        const std::string text = textOf(copy.board, move);
        if (text.empty()) break;
        emit(text);
        MakeMove(copy.board, move);
    }
}

}  // namespace

std::string UciScoreText(int score) {
    // Winning: plies to mate rounded up to moves, so mate at ply 1 is
    // "mate 1". Losing: mated at ply 2p is "mate -p".
    if (score >= MateBound) return "mate " + std::to_string((MateScore - score + 1) / 2);
    if (score <= -MateBound) return "mate " + std::to_string((-score - MateScore) / 2);
    return "cp " + std::to_string(score);
}

std::string IterationReport(const SearchResult& result, bool uciMode) {
    if (result.bestMove == 0 || !SameMove(result.bestMove, result.pv[0])) return {};
    std::ostringstream line;
    const uint64_t nodes = result.totalNodes;
    if (uciMode) {
        line << "info depth " << result.depth << " seldepth " << result.pvLength << " score "
             << UciScoreText(result.score) << " time " << uint64_t(result.elapsed * 1000) << " nodes " << nodes
             << " nps " << uint64_t(double(nodes) / (result.elapsed + 0.001)) << " hashfull " << result.hashfull
             << " currmove "
             << MoveToText(Move(result.bestMove & MoveMask)) << " currmovenumber " << result.rootSearched + 1
             << " pv";
        WalkPv(
            result.root, result.pv, MaxPly, [](const Board&, Move m) { return MoveToText(m); },
            [&line](const std::string& text) { line << ' ' << text; });
    } else {
        // The thinking line keeps the raw score: front ends read it as such.
        line << result.depth << ' ' << result.score << ' ' << uint64_t(result.elapsed * 100) << ' ' << nodes;
        if (result.depth > 0) {
            WalkPv(
                result.root, result.pv, int(result.depth),
                [](const Board& board, Move m) { return MoveToSan(board, m); },
                [&line](const std::string& text) { line << ' ' << text; });
        }
    }
    return line.str();
}

std::string ResultReport(const SearchResult& result) {
    if (result.bestMove == 0) return {};
    return "bestmove " + MoveToText(Move(result.bestMove & MoveMask));
}

std::string ProgressReport(const SearchData& data, bool uciMode, int64_t now) {
    if (data.depth < 1) return {};
    const Move best = Move(data.bestMove & MoveMask);
    std::ostringstream line;
    if (uciMode) {
        const std::string text = best ? MoveToText(best) : std::string();
        if (text.empty()) return {};
        line << "info currmove " << text << " currmovenumber " << data.rootIndex + 1 << " nodes "
             << data.totalNodes << " depth " << data.depth;
    } else {
        const int64_t centiseconds = (now - data.startTime) / 10000000;
        line << "stat01: " << centiseconds << ' ' << data.totalNodes << ' ' << data.depth - 1 << ' '
             << data.rootCount - data.rootIndex << ' ' << data.rootCount;
        if (best != 0) {
            BoardWithHistory copy;
            CopyBoard(copy.board, data.root);
            if (IsPseudoLegal(copy.board, best) && IsLegalMove(copy.board, best)) {
                const std::string san = MoveToSan(copy.board, best);
                if (!san.empty()) line << ' ' << san;
            }
        }
    }
    return line.str();
}

}  // namespace NEngine
