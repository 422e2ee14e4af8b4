// Helpers of the evaluation tests: the colour flip of a position and a
// fixture with one shared context that evaluates and traces FEN positions.
#pragma once

#include <algorithm>
#include <cctype>
#include <sstream>
#include <string>
#include <vector>

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

// "d3 e4" -> the set of those squares; At("d3") -> the square.
inline BitMask Squares(const std::string& names) {
    std::istringstream in(names);
    BitMask set = 0;
    for (std::string name; in >> name;) set |= Bit((name[1] - '1') * 8 + (name[0] - 'a'));
    return set;
}
inline int At(const std::string& name) { return LowestSquare(Squares(name)); }

// A position and the value of one term for White and for Black.
struct TermCase {
    const char* what;
    const char* fen;
    EvalTerm term;
    PackedScore white, black;
};

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

    // Each case's term for both colours, and the same values with the sides
    // swapped in the colour twin.
    void CheckTerms(const std::vector<TermCase>& cases) {
        for (const TermCase& c : cases) {
            const EvalTrace t = Trace(c.fen);
            ASSERT_EQ(t.outcome, TraceOutcome::Full) << c.what;
            EXPECT_EQ(t.term[c.term][White], c.white) << c.what << ": " << TermNames[c.term];
            EXPECT_EQ(t.term[c.term][Black], c.black) << c.what << ": " << TermNames[c.term];
            const EvalTrace twin = Trace(FlipFen(c.fen));
            EXPECT_EQ(twin.term[c.term][Black], c.white) << c.what << " (twin)";
            EXPECT_EQ(twin.term[c.term][White], c.black) << c.what << " (twin)";
        }
    }
    const AttackBlock& Side(Colour c) const { return context_->side[c]; }

    EvalContext* context_ = nullptr;
    std::unique_ptr<BoardWithHistory> position_ = std::make_unique<BoardWithHistory>();
};

}  // namespace NEngine::Tests
