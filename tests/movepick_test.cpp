// Generators, pickers and the exchange test: the moves each hands out
// against brute force, the order rules of the stages, hash moves and
// killers, forcing checks and known exchanges.
#include "search/movegen.h"
#include "search/movepick.h"
#include "search/see.h"
#include "search/staged_perft.h"
#include "support.h"

using namespace NEngine;
using namespace NEngine::Tests;

namespace {

// The moves of a list in its order, the search's marks dropped.
std::vector<Move> Chain(MoveList& list) {
    std::vector<Move> moves;
    list.Rewind();
    while (MoveNode* n = list.Next()) moves.push_back(n->move & MoveMask);
    list.Rewind();
    return moves;
}

std::vector<Move> Sorted(std::vector<Move> v) {
    for (Move& m : v) m &= MoveMask;
    std::ranges::sort(v);
    return v;
}

bool NoDuplicates(const std::vector<Move>& v) {
    const std::vector<Move> sorted = Sorted(v);
    return std::ranges::adjacent_find(sorted) == sorted.end();
}

bool ScoresDescend(MoveList& list) {
    list.Rewind();
    int32_t last = INT32_MAX;
    while (MoveNode* n = list.Next()) {
        if (n->score > last) return false;
        last = n->score;
    }
    return true;
}

std::vector<Move> LegalOnly(const Board& board, const std::vector<Move>& moves) {
    std::vector<Move> legal;
    for (Move m : moves)
        if (IsLegalMove(board, m)) legal.push_back(m);
    return Sorted(legal);
}

bool IsCapture(const Board& b, Move m) {
    return b.mailbox[ToSquare(m)] ||
           (TypeOf(b.mailbox[FromSquare(m)]) == Pawn && b.epSquare > 0 && ToSquare(m) == b.epSquare);
}

// Legal moves without rook and bishop promotions and without knight
// promotions whose knight would not attack the king: what pickers produce.
std::vector<Move> StagedLegal(const Board& board) {
    std::vector<Move> moves;
    for (Move m : LegalMoves(board))
        if (PromotionOf(m) == 0 || PromotionOf(m) == Queen ||
            (PromotionOf(m) == Knight && KnightWouldCheck(board, ToSquare(m))))
            moves.push_back(m);
    return Sorted(moves);
}

// The staged legal moves split as the stages see them: captures and
// promotions, quiet moves, and the quiet moves that check (castling aside).
struct MoveClasses {
    std::vector<Move> tactical, quiet, checks;
};
MoveClasses Classify(Board& b) {
    MoveClasses classes;
    for (Move m : StagedLegal(b)) {
        if (IsCapture(b, m) || PromotionOf(m)) {
            classes.tactical.push_back(m);
            continue;
        }
        classes.quiet.push_back(m);
        const bool castling = TypeOf(b.mailbox[FromSquare(m)]) == King && std::abs(ToSquare(m) - FromSquare(m)) == 2;
        MakeMove(b, m);
        const bool check = b.InCheck();
        UnmakeMove(b, m);
        if (check && !castling) classes.checks.push_back(m);
    }
    return classes;
}

std::unique_ptr<History> ScatteredHistory() {
    auto h = std::make_unique<History>();
    Random random(7);
    for (Colour c : {Black, White})
        for (int f = 0; f < 64; ++f)
            for (int t = 0; t < 64; ++t) h->Set(c, f, t, int32_t(random.Below(400)) - 200);
    return h;
}

// Every move a picker hands out, marks kept; a picker that never ends is cut.
template <typename Next>
std::vector<Move> Drain(Next next) {
    std::vector<Move> moves;
    while (const Move m = next()) {
        moves.push_back(m);
        if (moves.size() > 300) break;
    }
    return moves;
}
std::vector<Move> Drain(QuiescencePicker& p) { return Drain([&] { return p.NextMove(0, true); }); }
std::vector<Move> Picked(const Board& b, const History& history, Move hash, Move killer) {
    MovePicker picker(b, history, hash, killer);
    return Drain([&] { return picker.NextMove(); });
}

int IndexOf(const std::vector<Move>& moves, Move m) {
    const auto at = std::ranges::find_if(moves, [m](Move n) { return SameMove(n, m); });
    return at == moves.end() ? -1 : int(at - moves.begin());
}

int Marked(const std::vector<Move>& moves) {
    return int(std::ranges::count_if(moves, [](Move m) { return (m & SafeMark) != 0; }));
}

}  // namespace

// Generators and pickers against brute force: the board generator's legal
// moves, classified by hand, over the perft suite and positions reached by
// random play from it.
TEST(MoveGen, GeneratorsAndPickersMatchBruteForce) {
    const auto history = ScatteredHistory();
    int quiet = 0, withChecks = 0, evasions = 0, doubles = 0;
    Random random(99);
    for (const std::string& fen : VariedFens()) {
        auto record = NewBoard(fen);
        Board& b = record->board;
        // The full list is the board generator's, in check or not.
        FixedMoveList<FullCapacity> full;
        GenerateAll(b, full);
        EXPECT_EQ(Sorted(Chain(full)), Sorted(Generated(b))) << fen;
        EXPECT_TRUE(NoDuplicates(Chain(full))) << fen;
        if (b.flags & FlagCheckmate) continue;

        // The main picker: every move once, whatever the hash move and killer.
        const std::vector<Move> legal = StagedLegal(b);
        const auto pick = [&] { return legal.empty() || !random.Below(3) ? 0 : legal[random.Below(legal.size())]; };
        const auto all = Picked(b, *history, pick(), pick());
        EXPECT_EQ(Sorted(all), legal) << fen;
        EXPECT_TRUE(NoDuplicates(all)) << fen;

        if (b.InCheck()) {
            ++evasions;
            FixedMoveList<EvasionCapacity> captures, quiets;
            GenerateCheckerCaptures(b, captures);
            GenerateKingCaptures(b, captures);
            GenerateKingSteps(b, *history, quiets);
            GenerateBlocks(b, *history, quiets);
            std::vector<Move> evading = Chain(captures);
            const std::vector<Move> q = Chain(quiets);
            evading.insert(evading.end(), q.begin(), q.end());
            EXPECT_EQ(LegalOnly(b, evading), legal) << fen;
            EXPECT_TRUE(NoDuplicates(evading)) << fen;
            EXPECT_TRUE(ScoresDescend(captures) && ScoresDescend(quiets)) << fen;
            for (Move m : q) EXPECT_FALSE(IsCapture(b, m)) << fen;
            if (b.flags & FlagDoubleCheck) {
                ++doubles;
                for (Move m : evading) EXPECT_EQ(FromSquare(m), b.kingSquare[b.sideToMove]) << fen;
            }
            // Quiescence in check: every evasion, none with the mark.
            QuiescencePicker picker(b, *history, 0, -16);
            const auto moves = Drain(picker);
            EXPECT_EQ(Sorted(moves), legal) << fen;
            EXPECT_EQ(Marked(moves), 0) << fen;
            continue;
        }

        ++quiet;
        const MoveClasses want = Classify(b);
        const std::vector<Move>& tactical = want.tactical;
        const std::vector<Move>& checks = want.checks;
        FixedMoveList<TacticalCapacity> tacticalList;
        FixedMoveList<QuietCapacity> quietList;
        FixedMoveList<CheckCapacity> checkList;
        GenerateTactical(b, tacticalList);
        GenerateQuiet(b, *history, quietList);
        GenerateQuietChecks(b, *history, checkList);
        const auto t = Chain(tacticalList), q = Chain(quietList), c = Chain(checkList);
        EXPECT_EQ(LegalOnly(b, t), tactical) << fen;
        EXPECT_EQ(LegalOnly(b, q), want.quiet) << fen;
        EXPECT_EQ(LegalOnly(b, c), checks) << fen;
        EXPECT_TRUE(NoDuplicates(t) && NoDuplicates(q) && NoDuplicates(c)) << fen;
        for (const auto* moves : {&t, &q, &c})
            for (Move m : *moves) EXPECT_TRUE(IsPseudoLegal(b, m)) << fen << " " << m;
        // Ordering: MVV-LVA for captures, History for quiet moves.
        EXPECT_TRUE(ScoresDescend(tacticalList) && ScoresDescend(quietList) && ScoresDescend(checkList)) << fen;
        tacticalList.Rewind();
        while (MoveNode* n = tacticalList.Next()) EXPECT_EQ(n->score, CaptureScore(b, n->move)) << fen;
        withChecks += !checks.empty();

        // Depth 0: the captures and promotions first, then the quiet checks.
        QuiescencePicker atZero(b, *history, 0, 0);
        const auto moves = Drain(atZero);
        std::vector<Move> both = tactical;
        both.insert(both.end(), checks.begin(), checks.end());
        ASSERT_EQ(Sorted(moves), Sorted(both)) << fen;
        EXPECT_EQ(Marked(moves), 0) << fen;
        EXPECT_EQ(Sorted({moves.begin(), moves.begin() + tactical.size()}), Sorted(tactical)) << fen;

        // Below 0: the same captures and at most one of the quiet checks,
        // the forcing one.
        QuiescencePicker below(b, *history, 0, -16);
        const auto fewer = Drain(below);
        ASSERT_GE(fewer.size(), tactical.size()) << fen;
        ASSERT_LE(fewer.size(), tactical.size() + 1) << fen;
        EXPECT_EQ(Sorted({fewer.begin(), fewer.begin() + tactical.size()}), Sorted(tactical)) << fen;
        if (fewer.size() > tactical.size()) {
            EXPECT_GE(IndexOf(checks, fewer.back()), 0) << fen;
        }

        // A hash move comes first with the mark, and only once.
        if (legal.empty()) continue;
        const Move hash = legal[random.Below(legal.size())];
        QuiescencePicker hashed(b, *history, hash, 0);
        const auto withIt = Drain(hashed);
        ASSERT_FALSE(withIt.empty());
        EXPECT_EQ(withIt[0], hash | SafeMark) << fen;
        if (IndexOf(both, hash) < 0) both.push_back(hash);
        EXPECT_EQ(Sorted(withIt), Sorted(both)) << fen;
    }
    // Each branch was really exercised.
    EXPECT_GT(quiet, 400);
    EXPECT_GT(withChecks, 50);
    EXPECT_GT(evasions, 20);
    EXPECT_GT(doubles, 0);
}

TEST(MoveGen, ForcingChecks) {
    // The back-rank mate is forcing whatever the flag says; a knight check
    // forking the queen is only the fallback when nothing was searched, and
    // not above the queen's value.
    auto mate = NewBoard("6k1/5ppp/8/8/8/8/5PPP/R5K1 w - - 0 1");
    FixedMoveList<CheckCapacity> l1, l2, l3, l4;
    FindForcingCheck(mate->board, l1, 0, false);
    EXPECT_EQ(Chain(l1), (std::vector<Move>{Coord("a1a8")}));
    auto fork = NewBoard("4k3/8/8/1q6/4N3/8/8/4K3 w - - 0 1");
    FindForcingCheck(fork->board, l2, 0, false);
    EXPECT_TRUE(Chain(l2).empty());
    FindForcingCheck(fork->board, l3, 0, true);
    EXPECT_EQ(Chain(l3), (std::vector<Move>{Coord("e4d6")}));
    FindForcingCheck(fork->board, l4, 1091, true);
    EXPECT_TRUE(Chain(l4).empty());

    // Safety is judged on the board after the check: the rook on a1 sees
    // through the square the queen leaves and takes on a8, so the mate on d8
    // is the forcing check.
    auto xray = NewBoard("6k1/5ppp/8/Q7/8/8/7K/r7 w - - 0 1");
    FixedMoveList<CheckCapacity> l5;
    FindForcingCheck(xray->board, l5, 0, false);
    ASSERT_EQ(Chain(l5), (std::vector<Move>{Coord("a5d8")}));
    MakeMove(xray->board, Coord("a5d8"));
    EXPECT_TRUE(LegalMoves(xray->board).empty());

    // Pawn pushes that check and fork the king and a rook: single and
    // double push, each only a fallback (the king has room to step aside).
    for (const auto& [fen, push] : {std::pair{"8/8/3k1r2/8/4P3/8/8/K7 w - - 0 1", "e4e5"},
                                    std::pair{"8/8/8/3k1r2/8/8/4P3/K7 w - - 0 1", "e2e4"}}) {
        auto r = NewBoard(fen);
        FixedMoveList<CheckCapacity> fallback, forcingOnly;
        FindForcingCheck(r->board, fallback, 0, true);
        EXPECT_EQ(Chain(fallback), (std::vector<Move>{Coord(push)})) << fen;
        FindForcingCheck(r->board, forcingOnly, 0, false);
        EXPECT_TRUE(Chain(forcingOnly).empty()) << fen;
    }
}

// Equal MVV-LVA scores keep the insertion rule: pawns are visited from a1 up,
// a tie with the tail goes behind it, a tie with the head goes in front.
TEST(MoveGen, TacticalTiesFollowGenerationOrder) {
    auto r = NewBoard("4k3/8/8/n1p1n3/1P1P4/8/8/4K3 w - - 0 1");
    FixedMoveList<TacticalCapacity> list;
    GenerateTactical(r->board, list);
    EXPECT_EQ(Chain(list), (std::vector<Move>{Coord("d4e5"), Coord("b4a5"), Coord("b4c5"), Coord("d4c5")}));
}

// Every insert is bound-checked: a full list refuses moves and keeps its own.
TEST(MoveList, FullListRefusesMoves) {
    FixedMoveList<3> list;
    EXPECT_TRUE(list.InsertSorted(1, 5) && list.InsertSorted(2, 9) && list.Append(3));
    EXPECT_FALSE(list.InsertSorted(4, 7));
    EXPECT_FALSE(list.Append(5));
    EXPECT_EQ(Chain(list), (std::vector<Move>{2, 1, 3}));
}

TEST(MovePicker, StageOrder) {
    // Qxa4 wins a knight, Qxd5 loses the queen to c6, Qg4 hangs it to f5.
    auto r = NewBoard("4k3/8/2p5/3p1p2/n7/8/8/3QK3 w - - 0 1");
    const Board& b = r->board;
    const auto history = ScatteredHistory();
    const Move win = Coord("d1a4"), losingCapture = Coord("d1d5"), losingQuiet = Coord("d1g4");

    const auto moves = Picked(b, *history, 0, 0);
    EXPECT_EQ(moves[0], win | SafeMark);
    // Losing moves come last, the capture before the quiet move, unmarked.
    const int lc = IndexOf(moves, losingCapture), lq = IndexOf(moves, losingQuiet);
    EXPECT_EQ(Marked(moves), lc);
    EXPECT_EQ(moves[lc], losingCapture);
    EXPECT_EQ(lq, int(moves.size()) - 1);
    EXPECT_EQ(moves[lq], losingQuiet);

    // The killer comes right after the good captures; a killer that is a
    // capture here is handed out once, as a capture; a losing killer is
    // deferred like any losing quiet move.
    const Move killer = Coord("d1d3");
    EXPECT_EQ(Picked(b, *history, 0, killer)[1], killer | SafeMark);
    const auto ck = Picked(b, *history, 0, win);
    EXPECT_EQ(ck[0], win | SafeMark);
    EXPECT_EQ(Sorted(ck), StagedLegal(b));
    EXPECT_EQ(Picked(b, *history, 0, losingQuiet).back(), losingQuiet);

    // The hash move comes first, once; a killer equal to it is dropped.
    const auto h = Picked(b, *history, killer, killer | SafeMark);
    EXPECT_EQ(h[0], killer | SafeMark);
    EXPECT_EQ(h[1], win | SafeMark);
    EXPECT_EQ(Sorted(h), StagedLegal(b));

    // In check: the hash move, then captures, then the killer.
    auto check = NewBoard("4k3/8/8/8/8/8/4r3/R3K2R w KQ - 0 1");
    const auto e = Picked(check->board, *history, Coord("e1f1"), Coord("e1d1"));
    const auto marked = [](const char* text) { return Move(Coord(text) | SafeMark); };
    EXPECT_EQ(e, (std::vector<Move>{marked("e1f1"), marked("e1e2"), marked("e1d1")}));
}

// The perft tool's staged count walks the pickers with make and unmake; the
// pickers themselves are judged above, the walk here on castling, en
// passant and promotions.
TEST(StagedPerft, AgreesWithTheLegalCount) {
    auto record = NewBoard("r3k2r/1P4P1/8/3pP3/8/5n2/1p4p1/R3K2R w KQkq d6 0 1");
    const StagedPerftResult staged = StagedPerft(record->board, Sanitized ? 2 : 3, 1);
    EXPECT_EQ(staged.leaves, ReferencePerft(record->board, Sanitized ? 2 : 3));
    EXPECT_EQ(staged.badNodes, 0u);
    EXPECT_EQ(ToFen(record->board), "r3k2r/1P4P1/8/3pP3/8/5n2/1p4p1/R3K2R w KQkq d6 0 1");  // tree walked back
}

// The exchange test on positions whose outcome is worked out by hand: the
// largest threshold each move passes, and the one above it that fails.
TEST(See, ThresholdsOnKnownExchanges) {
    const struct {
        const char* fen;
        const char* move;
        int passes;  // largest threshold that passes; passes + 1 must fail
        const char* why;
    } cases[] = {
        {"4k3/8/8/3p4/4P3/8/8/4K3 w - - 0 1", "e4d5", 85, "free pawn"},
        {"4k3/8/2p5/3n4/8/4N3/8/4K3 w - - 0 1", "e3d5", 0, "knight for knight"},
        {"3rk3/8/8/3p4/8/8/3R4/3RK3 w - - 0 1", "d2d5", 85, "rook battery wins the pawn"},
        {"3rk3/3r4/8/3p4/8/8/3R4/3RK3 w - - 0 1", "d2d5", 85 - 545, "defending battery holds"},
        {"4k3/4p3/8/8/1B6/Q7/8/4K3 w - - 0 1", "b4e7", 85, "queen behind guards e7: king cannot take"},
        {"4k3/8/2p5/3p4/5N2/8/8/4K3 w - - 0 1", "f4d5", 85 - 355, "pawn takes the knight back"},
        {"4k3/8/2p5/3p4/B4N2/8/8/4K3 w - - 0 1", "f4d5", 85, "the recapturing pawn is pinned"},
        {"4r2k/8/8/2p5/1P2n3/8/5B2/4K3 w - - 0 1", "f2c5", 85 - 355, "recapture uncovers check: no retake"},
        {"r7/1P3k2/8/8/8/8/8/4K3 w - - 0 1", "b7b8q", -85, "promotes, queen lost to the rook"},
        {"4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1", "e5d6", 85, "en passant"},
        {"4k3/8/8/8/2p5/8/3N4/4K3 w - - 0 1", "d2b3", -355, "knight steps into a pawn"},
    };
    for (const auto& c : cases) {
        auto r = NewBoard(c.fen);
        const Move m = Coord(c.move);
        ASSERT_TRUE(IsPseudoLegal(r->board, m)) << c.fen << " " << c.move;
        EXPECT_TRUE(SeeAtLeast(r->board, m, c.passes)) << c.why;
        EXPECT_FALSE(SeeAtLeast(r->board, m, c.passes + 1)) << c.why;
        EXPECT_TRUE(SeeAtLeast(r->board, m | SafeMark, c.passes)) << c.why << ": the mark is ignored";
    }
}

TEST(See, ChecksLowerTheThreshold) {
    // A checking en passant is tested against 0 whatever the threshold.
    EXPECT_TRUE(SeeAtLeast(NewBoard("8/4k3/8/3pP3/8/8/8/4K3 w - d6 0 1")->board, Coord("e5d6"), 86));
    // A quiet move that uncovers a check passes whatever it hangs...
    EXPECT_TRUE(SeeAtLeast(NewBoard("4k3/8/1p6/8/4N3/8/8/4R1K1 w - - 0 1")->board, Coord("e4c5"), 2000));
    // ...but the same move without the rook behind loses the knight.
    EXPECT_FALSE(SeeAtLeast(NewBoard("4k3/8/1p6/8/4N3/8/8/5RK1 w - - 0 1")->board, Coord("e4c5"), 0));
    // A direct check that loses the piece still fails.
    auto hanging = NewBoard("4k3/8/8/8/8/8/8/R3K2b w - - 0 1");
    EXPECT_FALSE(SeeAtLeast(hanging->board, Coord("a1a8"), 0));
    EXPECT_TRUE(SeeAtLeast(hanging->board, Coord("a1a8"), -545));
}
