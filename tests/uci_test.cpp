// The engine process and its UCI protocol as a front end sees them: the real
// binary driven through pipes. Each test is one engine process that goes
// through several topics in turn, since every process start costs a table
// allocation.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "session.h"

namespace NEngine {
namespace {

using Tests::EngineSession;
using Tests::LongWaitMs;
using Tests::MillisecondsSince;
using Tests::StartsWith;
using Clock = Tests::Clock;
using UciSession = EngineSession;

// The fields of an iteration's "info" line, all present in their order.
struct InfoLine {
    int depth = 0, seldepth = 0, currmoveNumber = 0;
    std::string score, currmove, firstMove;  // score: "cp N" or "mate N"
};

bool IsCoordinateMove(const std::string& t) {
    return (t.size() == 4 || (t.size() == 5 && std::string("qrbn").find(t[4]) != std::string::npos)) && t[0] >= 'a' &&
           t[0] <= 'h' && t[1] >= '1' && t[1] <= '8' && t[2] >= 'a' && t[2] <= 'h' && t[3] >= '1' && t[3] <= '8';
}

bool ParseInfo(const std::string& line, InfoLine& info) {
    std::istringstream in(line);
    const std::vector<std::string> w{std::istream_iterator<std::string>(in), {}};
    // Each word in its place: a keyword, a number (nullptr), or the score
    // kind and the move ("", checked below); the line's moves follow.
    const char* const fields[] = {"info", "depth", nullptr, "seldepth", nullptr, "score", "", nullptr, "time", nullptr,
                                  "nodes", nullptr, "nps", nullptr, "currmove", "", "currmovenumber", nullptr, "pv"};
    const auto number = [](const std::string& t) {
        return t != "-" && t.find_first_not_of("0123456789", t[0] == '-') == std::string::npos;
    };
    if (w.size() < 20) return false;
    for (int i = 0; i < 19; ++i)
        if (fields[i] ? *fields[i] && w[i] != fields[i] : !number(w[i])) return false;
    if ((w[6] != "cp" && w[6] != "mate") || !IsCoordinateMove(w[15]) ||
        !std::all_of(w.begin() + 19, w.end(), IsCoordinateMove))
        return false;
    info = {std::stoi(w[2]), std::stoi(w[4]), std::stoi(w[17]), w[6] + " " + w[7], w[15], w[19]};
    return true;
}

// The last iteration's info line of a search; depth 0 when there is none.
InfoLine LastInfo(const std::vector<std::string>& lines) {
    InfoLine last, info;
    for (const std::string& line : lines)
        if (ParseInfo(line, info)) last = info;
    return last;
}

// Whether a move from the start position's ranks was White's.
bool WhiteMoved(const std::string& move) { return move.size() >= 2 && (move[1] == '1' || move[1] == '2'); }

const std::string FoolsMate = "position startpos moves f2f3 e7e5 g2g4";

TEST(EngineProcess, QuitJunkAndEndOfInput) {
    std::string line;
    {
        // "quit" first: a clean exit without a word.
        UciSession engine;
        engine.Send("quit");
        EXPECT_EQ(engine.Wait(LongWaitMs), 0);
        EXPECT_FALSE(engine.ReadLine(line, 1000));
    }
    // Blank lines, whitespace, unknown words, a malformed position and a
    // number-less ping get no reply; all lines of one write are handled, a
    // carriage return is dropped and a last line without a line feed still
    // counts: the only output is the two answers to "isready". End of input
    // then ends the engine silently.
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
        "uciok",
    };
    EXPECT_EQ(engine.ReadUntil("uciok"), reply);
    // Without any "position" the engine plays from the start position.
    EXPECT_TRUE(WhiteMoved(engine.Go("go depth 3")));

    // 1.f3 e5 2.g4: Black mates at once, in coordinate text or SAN, and an
    // illegal move in the list is skipped.
    EXPECT_EQ(engine.BestAfter(FoolsMate), "d8h4");
    EXPECT_EQ(engine.BestAfter("position startpos moves f3 e5 g4"), "d8h4");
    EXPECT_EQ(engine.BestAfter("position startpos moves f2f3 e7e5 e7e5 g2g4"), "d8h4");
    // The word after "startpos" is skipped whatever it is: here f2f3, so
    // only g2g4 fits and Black is to move without the mate.
    const std::string skipped = engine.BestAfter("position startpos f2f3 e7e5 g2g4");
    EXPECT_FALSE(WhiteMoved(skipped)) << skipped;
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

    // Finished games answer the null move at once, without info lines.
    for (const char* go : {"go depth 3", "go movetime 100", "go wtime 1000 btime 1000", "go infinite"}) {
        std::vector<std::string> lines;
        engine.Send(FoolsMate + " d8h4");
        EXPECT_EQ(engine.Go(go, &lines), "0000") << go;
        EXPECT_TRUE(lines.empty()) << go;
    }
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
        {"7k/8/8/4K3/8/8/8/R7 w - - 0 1", "mate 3"},  {"r7/8/8/8/8/6k1/8/7K w - - 0 1", "mate -1"},
        {"7k/8/5K2/8/8/8/8/R7 b - - 0 1", "mate -2"}, {"5r2/8/8/8/8/5k2/8/6K1 w - - 0 1", "mate -3"},
    };
    for (const auto& [fen, score] : mates) {
        engine.Send(std::string("position fen ") + fen);
        engine.Go("go depth 10", &lines);
        EXPECT_EQ(LastInfo(lines).score, score) << fen;
    }
}

TEST(UciSession, GoLimitsStopAndQuit) {
    UciSession engine;
    ASSERT_TRUE(engine.Started());
    engine.Send("uci");
    ASSERT_FALSE(engine.ReadUntil("uciok").empty());
    engine.Send("setoption name Hash value 16");
    std::vector<std::string> lines;

    // Depth 1 is raised to 2.
    engine.Send("position startpos");
    EXPECT_FALSE(engine.Go("go depth 1", &lines).empty());
    EXPECT_EQ(LastInfo(lines).depth, 2);

    // A fixed move time is used up (the start position has no quick end).
    auto start = Clock::now();
    EXPECT_FALSE(engine.Go("go movetime 300").empty());
    EXPECT_GE(MillisecondsSince(start), 290);

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

    // "isready" during a search stops it: its best move first, then "readyok".
    engine.Send("go infinite");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    lines = engine.Sync();
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(StartsWith(lines.back(), "bestmove ")) << lines.back();

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

}  // namespace
}  // namespace NEngine
