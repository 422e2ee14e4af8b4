// Pickers: the set of moves each hands out (against brute force), the order
// rules of the stages, hash moves and killers, and the staged perft.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "search/movepick.h"
#include "search/staged_perft.h"
#include "search_support.h"

using namespace NEngine;
using namespace NEngine::SearchTests;

namespace {

// Every move a picker hands out, marks kept.
template <typename Picker>
std::vector<Move> Drain(Picker& picker) {
    std::vector<Move> moves;
    while (const Move m = picker.NextMove()) {
        moves.push_back(m);
        if (moves.size() > 300) break;  // a picker that never ends
    }
    return moves;
}

std::vector<Move> DrainQuiescence(QuiescencePicker& picker, int threshold, bool nothingSearched) {
    std::vector<Move> moves;
    while (const Move m = picker.NextMove(threshold, nothingSearched)) {
        moves.push_back(m);
        if (moves.size() > 300) break;
    }
    return moves;
}

int IndexOf(const std::vector<Move>& moves, Move m) {
    for (size_t i = 0; i < moves.size(); ++i)
        if (SameMove(moves[i], m)) return int(i);
    return -1;
}

int Marked(const std::vector<Move>& moves) {
    return int(std::count_if(moves.begin(), moves.end(), [](Move m) { return (m & SafeMark) != 0; }));
}

}  // namespace

TEST(QuiescencePicker, HandsOutCapturesPromotionsAndChecks) {
    const auto history = ScatteredHistory();
    int quiet = 0, evasions = 0, withHash = 0;
    Random random(99);
    for (const std::string& fen : VariedFens()) {
        auto record = NewBoard(fen);
        Board& b = record->board;
        const std::vector<Move> legal = StagedLegal(b);
        if (b.InCheck()) {
            // Every evasion, none with the mark.
            ++evasions;
            QuiescencePicker picker(b, *history, 0, -16);
            const auto moves = DrainQuiescence(picker, 0, true);
            EXPECT_EQ(Sorted(moves), legal) << fen;
            EXPECT_EQ(Marked(moves), 0) << fen;
            EXPECT_TRUE(NoDuplicates(moves)) << fen;
            continue;
        }
        ++quiet;
        std::vector<Move> tactical, checks;
        for (Move m : legal) {
            if (IsCapture(b, m) || PromotionOf(m))
                tactical.push_back(m);
            else if (!IsCastling(b, m) && GivesCheck(b, m))
                checks.push_back(m);
        }
        // Depth 0: the captures and promotions first, then the quiet checks.
        QuiescencePicker atZero(b, *history, 0, 0);
        const auto moves = DrainQuiescence(atZero, 0, true);
        std::vector<Move> both = tactical;
        both.insert(both.end(), checks.begin(), checks.end());
        EXPECT_EQ(Sorted(moves), Sorted(both)) << fen;
        EXPECT_EQ(Marked(moves), 0) << fen;
        ASSERT_EQ(moves.size(), both.size()) << fen;
        EXPECT_EQ(Sorted({moves.begin(), moves.begin() + tactical.size()}), Sorted(tactical)) << fen;

        // Below 0: the same captures and at most one of the quiet checks.
        QuiescencePicker below(b, *history, 0, -16);
        const auto fewer = DrainQuiescence(below, 0, true);
        ASSERT_GE(fewer.size(), tactical.size()) << fen;
        ASSERT_LE(fewer.size(), tactical.size() + 1) << fen;
        EXPECT_EQ(Sorted({fewer.begin(), fewer.begin() + tactical.size()}), Sorted(tactical)) << fen;
        if (fewer.size() > tactical.size()) {
            EXPECT_GE(IndexOf(checks, fewer.back()), 0) << fen;
        }

        // A hash move comes first with the mark and only once.
        if (!legal.empty()) {
            ++withHash;
            const Move hash = legal[random.Below(legal.size())];
            QuiescencePicker hashed(b, *history, hash, 0);
            const auto withIt = DrainQuiescence(hashed, 0, true);
            ASSERT_FALSE(withIt.empty());
            EXPECT_EQ(withIt[0], hash | SafeMark) << fen;
            std::vector<Move> expected = both;
            if (IndexOf(expected, hash) < 0) expected.push_back(hash);
            EXPECT_EQ(Sorted(withIt), Sorted(expected)) << fen;
        }
    }
    EXPECT_GT(quiet, 400);
    EXPECT_GT(evasions, 20);
    EXPECT_GT(withHash, 400);
}

TEST(MovePicker, StageOrder) {
    // Qxa4 wins a knight, Qxd5 loses the queen to c6, Qg4 hangs it to f5.
    const std::string fen = "4k3/8/2p5/3p1p2/n7/8/8/3QK3 w - - 0 1";
    const auto history = ScatteredHistory();
    auto r = NewBoard(fen);
    const Board& b = r->board;
    const Move win = Coord("d1a4"), losingCapture = Coord("d1d5"), losingQuiet = Coord("d1g4");

    MovePicker plain(b, *history, 0, 0);
    const auto moves = Drain(plain);
    EXPECT_EQ(Sorted(moves), StagedLegal(b));
    EXPECT_EQ(moves[0], win | SafeMark);
    const int lc = IndexOf(moves, losingCapture), lq = IndexOf(moves, losingQuiet);
    ASSERT_GE(lc, 0);
    ASSERT_GE(lq, 0);
    // Losing moves come last, captures before quiet moves, without the mark.
    EXPECT_EQ(Marked(moves), lc);
    EXPECT_EQ(moves[lc], losingCapture);
    EXPECT_EQ(moves[lq], losingQuiet);
    EXPECT_GT(lq, lc);
    EXPECT_EQ(lq, int(moves.size()) - 1);

    // The killer comes right after the good captures...
    const Move killer = Coord("d1d3");
    MovePicker killed(b, *history, 0, killer);
    const auto k = Drain(killed);
    EXPECT_EQ(k[1], killer | SafeMark);
    EXPECT_EQ(Sorted(k), StagedLegal(b));
    // ...a killer that is a capture here is handed out once, as a capture...
    MovePicker captureKiller(b, *history, 0, win);
    const auto ck = Drain(captureKiller);
    EXPECT_EQ(Sorted(ck), StagedLegal(b));
    EXPECT_EQ(ck[0], win | SafeMark);
    // ...and a losing killer is deferred like any losing quiet move.
    MovePicker losingKiller(b, *history, 0, losingQuiet);
    const auto lk = Drain(losingKiller);
    EXPECT_EQ(Sorted(lk), StagedLegal(b));
    EXPECT_EQ(lk.back(), losingQuiet);

    // The hash move comes first, once; a killer equal to it is dropped.
    MovePicker hashed(b, *history, killer, killer | SafeMark);
    const auto h = Drain(hashed);
    EXPECT_EQ(h[0], killer | SafeMark);
    EXPECT_EQ(Sorted(h), StagedLegal(b));
    EXPECT_EQ(h[1], win | SafeMark);

    // Moves that do not fit the position are never handed out: a blocked
    // slider as hash move, the opponent's move as killer.
    MovePicker unfit(b, *history, Coord("d1d7"), Coord("e8e7"));
    EXPECT_EQ(Sorted(Drain(unfit)), StagedLegal(b));
}

TEST(MovePicker, EvasionsWithHashAndKiller) {
    const auto history = ScatteredHistory();
    // Black gives check with the rook on e2: Kxe2 wins it; Kd1 and Kf1 step
    // aside. A hash move that does not answer the check is refused.
    auto r = NewBoard("4k3/8/8/8/8/8/4r3/R3K2R w KQ - 0 1");
    const Board& b = r->board;
    ASSERT_TRUE(b.InCheck());
    MovePicker refused(b, *history, Coord("a1a8"), Coord("h1h8"));
    const auto moves = Drain(refused);
    EXPECT_EQ(Sorted(moves), StagedLegal(b));
    EXPECT_EQ(moves[0], Coord("e1e2") | SafeMark);

    MovePicker hashed(b, *history, Coord("e1f1"), Coord("e1d1"));
    const auto h = Drain(hashed);
    EXPECT_EQ(Sorted(h), StagedLegal(b));
    EXPECT_EQ(h[0], Coord("e1f1") | SafeMark);
    EXPECT_EQ(h[1], Coord("e1e2") | SafeMark);
    EXPECT_EQ(h[2], Coord("e1d1") | SafeMark);  // the killer, after the captures

    // Across the varied positions in check, with random hash moves and
    // killers, every staged legal move comes exactly once.
    Random random(5);
    for (const std::string& fen : VariedFens()) {
        auto record = NewBoard(fen);
        const Board& pos = record->board;
        if (!pos.InCheck()) continue;
        const std::vector<Move> legal = StagedLegal(pos);
        const Move hash = legal.empty() || !random.Below(3) ? 0 : legal[random.Below(legal.size())];
        const Move kill = legal.empty() || !random.Below(3) ? 0 : legal[random.Below(legal.size())];
        MovePicker p(pos, *history, hash, kill);
        const auto got = Drain(p);
        EXPECT_EQ(Sorted(got), legal) << fen;
        EXPECT_TRUE(NoDuplicates(got)) << fen;
    }
}

TEST(StagedPerft, AgreesWithTheLegalCount) {
#ifdef TARNOCK_SANITIZED
    const int extra = 0;
#else
    const int extra = 1;
#endif
    const struct {
        const char* fen;
        int depth;
    } cases[] = {
        {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", 2 + extra},
        {"8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1", 3 + extra},
        {"r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1", 2 + extra},
        {"rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8", 2 + extra},
        {"r3k2r/1P4P1/8/3pP3/8/5n2/1p4p1/R3K2R w KQkq d6 0 1", 2 + extra},
    };
    for (const auto& c : cases) {
        auto record = NewBoard(c.fen);
        const uint64_t reference = ReferencePerft(record->board, c.depth);
        for (uint64_t seed : {1u, 2u}) {
            const StagedPerftResult staged = StagedPerft(record->board, c.depth, seed);
            EXPECT_EQ(staged.leaves, reference) << c.fen;
            EXPECT_EQ(staged.badNodes, 0u) << c.fen;
        }
        EXPECT_EQ(ToFen(record->board), ToFen(NewBoard(c.fen)->board));  // tree walked back
    }
    // The reference drops rook and bishop promotions: fewer leaves than perft.
    auto promo = NewBoard("8/1P2k3/8/8/8/8/8/4K3 w - - 0 1");
    EXPECT_EQ(ReferencePerft(promo->board, 1), 5u + 1u);
}

// The perft tool's staged mode, single position and EPD forms.
TEST(StagedPerft, Tool) {
    auto run = [](const std::string& arguments, int& status) {
        const std::string command = std::string(TARNOCK_BIN_DIR) + "/tarnock-perft " + arguments + " 2>&1";
        std::string output;
        if (FILE* pipe = popen(command.c_str(), "r")) {
            char buffer[4096];
            size_t n;
            while ((n = fread(buffer, 1, sizeof(buffer), pipe)) > 0) output.append(buffer, n);
            status = pclose(pipe);
        }
        return output;
    };
    int status = -1;
    // Promotions everywhere: the staged count leaves out the underpromotions.
    std::string out = run("--staged 3 '8/PPPk4/8/8/8/8/4Kppp/8 w - - 0 1'", status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("perft 3 nodes 948 "), std::string::npos) << out;
    EXPECT_NE(out.find("1 passed, 0 failed"), std::string::npos) << out;

    const std::string epd = ::testing::TempDir() + "staged.epd";
    {
        std::ofstream file(epd);
        file << "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1 ;D1 48 ;D2 2039\n"
             << "n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1 ;D1 24 ;D2 496 ;D3 9483\n";
    }
    out = run("--staged --epd " + epd, status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("2 passed, 0 failed"), std::string::npos) << out;
    EXPECT_EQ(out.find("mismatch"), std::string::npos) << out;
}
