// The engine process and its UCI protocol as a front end sees them: the real
// binary driven through pipes. Each test is one engine process that goes
// through several topics in turn, since every process start costs a table
// allocation.
#include <iterator>

#include "session.h"

namespace NEngine::Tests {
namespace {

using UciSession = EngineSession;

// The handshake, and small tables: quick to start and to clear.
void StartUci(UciSession& engine) {
    ASSERT_TRUE(engine.Started());
    engine.Send("uci");
    ASSERT_FALSE(engine.ReadUntil("uciok").empty());
    engine.Send("setoption name Hash value 16");
}

// The fields of an iteration's "info" line, all present in their order.
struct InfoLine {
    int depth = 0, seldepth = 0, currmoveNumber = 0, hashfull = 0;
    long long nodes = 0;
    std::string score, currmove, firstMove;  // score: "cp N" or "mate N"
    std::string pv;                          // the moves, space-separated
};

bool ParseInfo(const std::string& line, InfoLine& info) {
    std::istringstream in(line);
    const std::vector<std::string> w{std::istream_iterator<std::string>(in), {}};
    // Each word in its place: a keyword, a number (nullptr), or the score
    // kind and the move ("", checked below); the line's moves follow.
    const char* const fields[] = {"info",     "depth",   nullptr, "seldepth", nullptr, "score",          "",
                                  nullptr,    "time",    nullptr, "nodes",    nullptr, "nps",            nullptr,
                                  "hashfull", nullptr,   "currmove", "",      "currmovenumber", nullptr, "pv"};
    constexpr int Fields = int(std::size(fields));
    const auto number = [](const std::string& t) {
        return t != "-" && t.find_first_not_of("0123456789", t[0] == '-') == std::string::npos;
    };
    if (int(w.size()) <= Fields) return false;
    for (int i = 0; i < Fields; ++i)
        if (fields[i] ? *fields[i] && w[i] != fields[i] : !number(w[i])) return false;
    if ((w[6] != "cp" && w[6] != "mate") || !IsCoordinateMove(w[17]) ||
        !std::all_of(w.begin() + Fields, w.end(), IsCoordinateMove))
        return false;
    info.depth = std::stoi(w[2]);
    info.seldepth = std::stoi(w[4]);
    info.score = w[6] + " " + w[7];
    info.nodes = std::stoll(w[11]);
    info.hashfull = std::stoi(w[15]);
    info.currmove = w[17];
    info.currmoveNumber = std::stoi(w[19]);
    info.firstMove = w[Fields];
    info.pv.clear();
    for (size_t i = Fields; i < w.size(); ++i) info.pv += (i > size_t(Fields) ? " " : "") + w[i];
    return true;
}

// The last iteration's info line of a search; depth 0 when there is none.
InfoLine LastInfo(const std::vector<std::string>& lines) {
    InfoLine last, info;
    for (const std::string& line : lines)
        if (ParseInfo(line, info)) last = info;
    return last;
}

const std::string FoolsMate = "position startpos moves f2f3 e7e5 g2g4";

// No banner at start-up. Blank lines, whitespace, unknown words, a malformed
// position and a number-less ping get no reply; all lines of one write are
// handled, a carriage return is dropped and a last line without a line feed
// still counts: the only output is the two answers to "isready". End of
// input then ends the engine silently, as "quit" does (the other tests end
// with it).
TEST(EngineProcess, JunkAndEndOfInput) {
    std::string line;
    UciSession engine;
    ASSERT_TRUE(engine.Write("\n   \t \n\r\nhello\nxyzzy 1 2\nQUIT\nposition\nposition fen\nping\nisready\r\nisready"));
    engine.CloseInput();
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(engine.ReadLine(line, LongWaitMs));
        EXPECT_EQ(line, "readyok");
    }
    EXPECT_EQ(engine.Wait(LongWaitMs), 0);
    EXPECT_FALSE(engine.ReadLine(line, 1000));
}

TEST(UciSession, HandshakePositionsOptionsAndInfo) {
    UciSession engine;
    ASSERT_TRUE(engine.Started());
    engine.Send("uci");
    const std::vector<std::string> reply = {
        "id name Tarnock",
        "id author the Tarnock developers",
        "option name Hash type spin default 256 min 1 max 1024",
        "option name Threads type spin default 1 min 1 max 4",
        "option name Ponder type check default false",
        "option name Move Overhead type spin default 50 min 0 max 5000",
        "uciok",
    };
    EXPECT_EQ(engine.ReadUntil("uciok"), reply);
    // Without any "position" the engine plays from the start position.
    EXPECT_TRUE(WhiteMove(engine.Go("go depth 3")));

    // 1.f3 e5 2.g4: Black mates at once, in coordinate text or SAN, and an
    // illegal move in the list (the pawn gone, the king's jump) is skipped
    // without a word.
    EXPECT_EQ(engine.BestAfter(FoolsMate), "d8h4");
    EXPECT_EQ(engine.BestAfter("position startpos moves f3 e5 g4"), "d8h4");
    engine.Send("position startpos moves f2f3 e7e5 e7e5 e1e3 g2g4");
    EXPECT_TRUE(engine.Sync().empty());
    EXPECT_EQ(engine.Go("go depth 4"), "d8h4");
    // The word after "startpos" is skipped whatever it is: here f2f3, so
    // only g2g4 fits and Black is to move without the mate.
    const std::string skipped = engine.BestAfter("position startpos f2f3 e7e5 g2g4");
    EXPECT_FALSE(WhiteMove(skipped)) << skipped;
    EXPECT_NE(skipped, "d8h4");
    // A word that is no move text drops the whole line: the mate set before stays.
    engine.Send(FoolsMate);
    EXPECT_EQ(engine.BestAfter("position startpos moves e2e4 hello"), "d8h4");

    // FEN positions, with moves; an illegal one changes nothing.
    EXPECT_EQ(engine.BestAfter("position fen 7k/8/5K2/8/8/8/8/R7 w - - 0 1 moves f6g6 h8g8"), "a1a8");
    engine.Send("position fen r7/8/8/8/8/6k1/8/7K b - - 0 1");
    EXPECT_EQ(engine.BestAfter("position fen 8/8/8/8/8/8/8/8 w - - 0 1"), "a8a1");

    // Values the engine refuses (Hash 1), clamps (Threads 9) or takes: every
    // search still answers with a move.
    for (const char* option : {"Hash value 1", "Threads value 9", "Hash value 2", "Threads value 2"}) {
        engine.Send(std::string("setoption name ") + option);
        EXPECT_TRUE(engine.Sync().empty()) << option;
        EXPECT_EQ(engine.BestAfter(FoolsMate, "go depth 5"), "d8h4") << option;
    }

    // Finished games answer the null move at once, without info lines; an
    // analysis answers when it is stopped.
    engine.Send(FoolsMate + " d8h4");
    for (const char* go : {"go depth 3", "go movetime 100", "go wtime 1000 btime 1000"}) {
        std::vector<std::string> lines;
        EXPECT_EQ(engine.Go(go, &lines), "0000") << go;
        EXPECT_TRUE(lines.empty()) << go;
    }
    engine.Send("go infinite");
    EXPECT_TRUE(engine.ReadUntil("bestmove", 300).empty());
    engine.Send("stop");
    EXPECT_EQ(engine.ReadUntil("bestmove"), Lines{"bestmove 0000"});
    EXPECT_EQ(engine.BestAfter("position fen 7k/5Q2/6K1/8/8/8/8/8 b - - 0 1", "go depth 3"), "0000");

    // Info lines: every field in order, one line per deeper iteration, the
    // reported move the line's first, the last line's move the best move.
    std::vector<std::string> lines;
    engine.Send("position startpos moves e2e4");
    const std::string best = engine.Go("go depth 5", &lines);
    int lastDepth = 0;
    for (const std::string& text : lines) {
        InfoLine info;
        ASSERT_TRUE(ParseInfo(text, info)) << text;
        EXPECT_GT(info.depth, lastDepth) << text;
        lastDepth = info.depth;
        EXPECT_GE(info.seldepth, 1) << text;
        EXPECT_TRUE(StartsWith(info.score, "cp ")) << text;
        EXPECT_GE(info.currmoveNumber, 1) << text;
        EXPECT_EQ(info.currmove, info.firstMove) << text;
    }
    EXPECT_EQ(lastDepth, 5);
    EXPECT_EQ(LastInfo(lines).firstMove, best);

    // Mate scores count moves, for either side to move and either colour.
    const std::pair<const char*, const char*> mates[] = {
        {"7k/8/6K1/8/8/8/8/R7 w - - 0 1", "mate 1"},  {"r7/8/8/8/8/5k2/8/7K b - - 0 1", "mate 2"},
        {"r7/8/8/8/8/6k1/8/7K w - - 0 1", "mate -1"}, {"7k/8/5K2/8/8/8/8/R7 b - - 0 1", "mate -2"},
    };
    for (const auto& [fen, score] : mates) {
        engine.Send(std::string("position fen ") + fen);
        engine.Go("go depth 10", &lines);
        EXPECT_EQ(LastInfo(lines).score, score) << fen;
    }
}

TEST(UciSession, GoLimitsStopAndQuit) {
    UciSession engine;
    StartUci(engine);
    std::vector<std::string> lines;

    // Depth 1 is raised to 2.
    engine.Send("position startpos");
    EXPECT_FALSE(engine.Go("go depth 1", &lines).empty());
    EXPECT_EQ(LastInfo(lines).depth, 2);

    // A fixed move time is used up but for the overhead (the start
    // position has no quick end).
    auto start = Clock::now();
    EXPECT_FALSE(engine.Go("go movetime 300").empty());
    EXPECT_GE(MillisecondsSince(start), 240);

    // One move to go: half of Black's clock less the overhead reserve.
    // Without moves to go, a fortieth: the count of the earlier command is
    // not kept. ("go" plays its move, so the position is sent again.)
    engine.Send("position startpos moves e2e4");
    start = Clock::now();
    engine.Go("go wtime 100 btime 2000 movestogo 1");
    const long long half = MillisecondsSince(start);
    EXPECT_GE(half, 960);
    engine.Send("position startpos moves e2e4");
    start = Clock::now();
    engine.Go("go wtime 100 btime 2000");
    EXPECT_LT(MillisecondsSince(start), half - 400);
    // Tiny clocks still give a move.
    EXPECT_EQ(engine.Go("go wtime 1 btime 1 movestogo 1").size(), 4u);

    // "infinite" anywhere at a key's place: no best move until "stop".
    engine.Send("position startpos");
    // A partial line is no input yet: the "stop" counts once it is complete.
    for (const char* go : {"go infinite", "go infinite depth 2", "go wtime 1000 infinite movetime 5"}) {
        engine.Send(go);
        engine.Write("sto");
        EXPECT_TRUE(engine.ReadUntil("bestmove", 300).empty()) << go;
        engine.Write("p\n");
        EXPECT_FALSE(engine.ReadUntil("bestmove").empty()) << go;
    }
    // In a value's place it is just a value (0): the limits of the earlier
    // command apply and the search ends by itself.
    engine.Go("go depth 3");
    EXPECT_FALSE(engine.Go("go wtime infinite", &lines).empty());
    EXPECT_EQ(LastInfo(lines).depth, 3);

    // Two commands in one write during a search: the first stops it, both
    // run after it in order.
    engine.Send("go infinite");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    engine.Write("position fen 7k/8/6K1/8/8/8/8/R7 w - - 0 1\ngo depth 3\n");
    EXPECT_FALSE(engine.ReadUntil("bestmove").empty());
    lines = engine.ReadUntil("bestmove");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "bestmove a1a8");

    // "quit" during a search: the search still ends with its best move.
    engine.Send("position startpos");
    engine.Send("go infinite");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    engine.Send("quit");
    EXPECT_FALSE(engine.ReadUntil("bestmove").empty());
    EXPECT_EQ(engine.Wait(LongWaitMs), 0);
}

// An info line without its timing ("time" and "nps" values), which alone
// may differ between two runs of the same search.
std::string WithoutTiming(const std::string& line) {
    std::istringstream in(line);
    std::string word, kept;
    for (bool skip = false; in >> word;) {
        if (!skip) kept += word + " ";
        skip = !skip && (word == "time" || word == "nps");
    }
    return kept;
}

const char* const BareKings = "position fen 8/8/8/8/8/8/k7/7K w - - 0 1";

TEST(UciSession, NodesMateDepthAndRootMoves) {
    UciSession engine;
    StartUci(engine);
    std::vector<std::string> lines, again;

    // A node limit gives the same search every time, and no iteration
    // counts more nodes than allowed.
    std::string first, second;
    for (auto* seen : {&lines, &again}) {
        engine.Send("ucinewgame");
        engine.Send("position startpos moves e2e4 c7c5");
        (seen == &lines ? first : second) = engine.Go("go nodes 20000", seen);
    }
    EXPECT_EQ(first, second);
    ASSERT_EQ(lines.size(), again.size());
    ASSERT_FALSE(lines.empty());
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(WithoutTiming(lines[i]), WithoutTiming(again[i]));
        InfoLine info;
        ASSERT_TRUE(ParseInfo(lines[i], info)) << lines[i];
        EXPECT_LE(info.nodes, 20000) << lines[i];
    }

    // Depths beyond the deepest iteration are the deepest, not the last
    // depth asked for (bare kings: every iteration is instant).
    for (const auto& [go, depth] : {std::pair{"go depth 3", 3}, {"go depth 40", 32}}) {
        engine.Send(BareKings);
        engine.Go(go, &lines);
        EXPECT_EQ(LastInfo(lines).depth, depth) << go;
    }

    // Each of these would run for ages if it kept the depth of 40 from the
    // command before: a mate limit alone, a clock after the root moves, a
    // depth behind unknown keys, empty or overdrawn clocks.
    engine.Send("position fen k7/8/2K5/8/8/8/8/7R w - - 0 1");
    engine.Go("go mate 2", &lines);
    EXPECT_EQ(LastInfo(lines).score, "mate 2");
    EXPECT_LT(LastInfo(lines).depth, 5);
    const std::pair<const char*, int> gos[] = {
        {"go searchmoves a2a3 h2h3 wtime 300 btime 300", 0},
        {"go foo 1 depth 2 bar baz", 2},
        {"go wtime 0 btime 0", 0},
    };
    for (const auto& [go, depth] : gos) {
        engine.Send(BareKings);
        engine.Go("go depth 40");
        engine.Send("position startpos");
        const std::string move = engine.Go(go, &lines);
        EXPECT_TRUE(WhiteMove(move)) << go << ": " << move;
        if (depth) {
            EXPECT_EQ(LastInfo(lines).depth, depth) << go;
        }
        if (StartsWith(go, "go searchmoves")) {
            EXPECT_TRUE(move == "a2a3" || move == "h2h3") << move;
            for (const std::string& line : lines) {
                InfoLine info;
                if (ParseInfo(line, info)) {
                    EXPECT_TRUE(info.firstMove == "a2a3" || info.firstMove == "h2h3") << line;
                }
            }
        }
    }
}

TEST(UciSession, ReadinessAnalysisPonderingAndShortClocks) {
    UciSession engine;
    StartUci(engine);
    std::vector<std::string> lines;
    const auto noBestMove = [](const std::vector<std::string>& seen) {
        return std::none_of(seen.begin(), seen.end(), [](const std::string& l) { return StartsWith(l, "bestmove"); });
    };

    // "isready" during a search is answered at once and the search goes on:
    // its best move comes after "stop" only.
    engine.Send("position startpos");
    engine.Send("go infinite");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    lines = engine.Sync();
    EXPECT_TRUE(noBestMove(lines));
    EXPECT_TRUE(engine.ReadUntil("bestmove", 300).empty());
    engine.Send("stop");
    EXPECT_FALSE(engine.ReadUntil("bestmove").empty());

    // An analysis of a mate in one runs through its last depth by itself,
    // then waits, still answering "isready", for "stop".
    engine.Send("position fen 7k/8/6K1/8/8/8/8/R7 w - - 0 1");
    engine.Send("go infinite");
    lines = engine.ReadUntil("info depth 32");
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(noBestMove(lines));
    EXPECT_TRUE(engine.Sync().empty());
    EXPECT_TRUE(engine.ReadUntil("bestmove", 300).empty());
    engine.Send("stop");
    lines = engine.ReadUntil("bestmove");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines.back(), "bestmove a1a8");

    // Pondering has no time limit until "ponderhit" (then the budget, 50 ms
    // here, runs from it) or "stop"; a pondering search that ends by itself
    // (a mate) keeps its move until the ponderhit.
    const std::pair<const char*, const char*> ponders[] = {{"startpos moves e2e4", "ponderhit"},
                                                          {"startpos moves e2e4", "stop"},
                                                          {"fen 7k/8/6K1/8/8/8/8/R7 w - - 0 1", "ponderhit"}};
    for (const auto& [position, end] : ponders) {
        engine.Send(std::string("position ") + position);
        engine.Send("go ponder wtime 2000 btime 2000");
        EXPECT_TRUE(engine.ReadUntil("bestmove", 500).empty()) << position << " " << end;
        engine.Send(end);
        lines = engine.ReadUntil("bestmove");
        ASSERT_FALSE(lines.empty()) << position << " " << end;
        if (StartsWith(position, "fen")) {
            EXPECT_EQ(lines.back(), "bestmove a1a8");
        }
    }

    // The move to ponder on is the second move of the principal variation.
    engine.Send("position startpos moves e2e4");
    std::string reply;
    const std::string best = engine.Go("go depth 6", &lines, &reply);
    const std::string pv = LastInfo(lines).pv;
    ASSERT_GT(pv.size(), 10u) << pv;
    EXPECT_EQ(best + " " + reply, pv.substr(0, 9));

    // Option names in any case: a small table fills up, a large one hardly.
    int hashfull[2] = {0, 0};
    for (int i = 0; i < 2; ++i) {
        engine.Send(i == 0 ? "setoption name hash value 2" : "setoption name HASH value 64");
        engine.Send("ucinewgame");
        engine.Send("position startpos");
        engine.Go("go depth 7", &lines);
        hashfull[i] = LastInfo(lines).hashfull;
    }
    EXPECT_GT(hashfull[0], 2 * hashfull[1] + 50);
    // A move overhead larger than the move time leaves almost nothing.
    engine.Send("setoption name move OVERHEAD value 5000");
    auto start = Clock::now();
    engine.Go("go movetime 3000");
    EXPECT_LT(MillisecondsSince(start), 2000);
    engine.Send("setoption name Move Overhead value 50");

    // Ten milliseconds on the clock: the move comes in time (the best of a
    // few tries, so that a busy machine does not decide it).
    long long fastest = LongWaitMs;
    for (int i = 0; i < 5; ++i) {
        engine.Send("position startpos moves e2e4");
        start = Clock::now();
        EXPECT_EQ(engine.Go("go wtime 10 btime 10").size(), 4u);
        fastest = std::min(fastest, MillisecondsSince(start));
    }
    EXPECT_LT(fastest, 50);
}

}  // namespace
}  // namespace NEngine::Tests
