// Helpers of the evaluation tests: the colour flip of a position and a
// fixture with one shared context that evaluates and traces FEN positions.
#pragma once

#include <algorithm>
#include <cctype>
#include <sstream>
#include <string>

#include "eval/evaluate.h"
#include "eval/trace.h"
#include "support.h"

namespace NEngine::Tests {

// The same position seen from the other side: ranks mirrored top to bottom,
// colours, side to move, castling rights and the en-passant rank swapped.
inline std::string FlipFen(const std::string& fen) {
    std::istringstream in(fen);
    std::string placement, side, castling, ep, counters, flipped, rights;
    in >> placement >> side >> castling >> ep;
    std::getline(in, counters);
    const auto swapCase = [](char c) { return std::isupper(c) ? char(std::tolower(c)) : char(std::toupper(c)); };
    std::transform(placement.begin(), placement.end(), placement.begin(), swapCase);
    std::stringstream rows(placement);
    for (std::string rank; std::getline(rows, rank, '/');) flipped = rank + (flipped.empty() ? "" : "/") + flipped;
    for (char right : std::string("KQkq"))
        if (castling.find(swapCase(right)) != std::string::npos) rights += right;
    if (ep != "-") ep[1] = char('1' + ('8' - ep[1]));
    return flipped + (side == "w" ? " b " : " w ") + (rights.empty() ? "-" : rights) + " " + ep + counters;
}

class EvalFixture : public ::testing::Test {
protected:
    void SetUp() override {
        InitEngineTables();
        static EvalContext shared;  // one for all tests: each context owns two large tables
        context_ = &shared;
        UseSpecialCases(*context_, GlobalSpecialCaseTable());
    }
    Board& Set(const std::string& fen) {
        EXPECT_TRUE(SetFromFen(fen, position_->board)) << fen;
        AttachBoard(*context_, position_->board, nullptr);
        return position_->board;
    }
    int Eval(const std::string& fen, int alpha = MinusInfinity, int beta = PlusInfinity) {
        Set(fen);
        return Evaluate(*context_, alpha, beta);
    }
    // Every term of a full evaluation. The rows must add up to the score the
    // search gets for the position, whatever the caches hold.
    EvalTrace Trace(const std::string& fen) {
        Set(fen);
        EvalTrace trace;
        const int traced = EvaluateTraced(*context_, trace);
        EXPECT_EQ(traced, trace.score) << fen;
        EXPECT_EQ(traced, Evaluate(*context_, MinusInfinity, PlusInfinity)) << fen;
        if (trace.outcome == TraceOutcome::Full) {
            EXPECT_EQ(TaperScore(trace.Total(), trace.phase), trace.whiteScore) << fen;
        }
        return trace;
    }

    EvalContext* context_ = nullptr;
    std::unique_ptr<BoardWithHistory> position_ = std::make_unique<BoardWithHistory>();
};

}  // namespace NEngine::Tests
