// The xboard dialect: the engine process through pipes for the game flow
// (feature lines, force mode, refusals, result lines, analysis, SIGINT),
// and the engine object for what the board and the clock show directly
// (time controls, edit mode, PGN files).
#include <filesystem>
#include <fstream>

#include "engine/game.h"
#include "session.h"

namespace NEngine::Tests {
namespace {

// An xboard session: "ping" is the synchronisation point.
class XboardSession : public EngineSession {
public:
    XboardSession() {
        Send("xboard");
        Send("memory 4");  // small tables: quick to start and to clear
    }

    // The lines written before the answer to a "ping".
    Lines Ping() {
        const std::string pong = "pong " + std::to_string(++pings);
        Send("ping " + std::to_string(pings));
        Lines lines = ReadUntil(pong);
        EXPECT_FALSE(lines.empty()) << "no " << pong;
        if (!lines.empty()) lines.pop_back();
        return lines;
    }

    // Sends the lines, then the replies to all of them.
    Lines Replies(const Lines& lines) {
        for (const std::string& line : lines) Send(line);
        return Ping();
    }

    // Lines up to the engine's move: the move's text (empty when none came).
    std::string MoveAfter(const std::string& line, Lines* seen = nullptr) {
        Send(line);
        Lines lines = ReadUntil("move ");
        EXPECT_FALSE(lines.empty()) << "no move after " << line;
        if (lines.empty()) return {};
        const std::string move = lines.back().substr(5);
        lines.pop_back();
        if (seen) *seen = lines;
        return move;
    }

private:
    int pings = 0;
};

// Thinking lines: depth, score, centiseconds, nodes, then the moves in SAN.
bool IsThinkingLine(const std::string& line) {
    std::istringstream in(line);
    long long numbers[4];
    for (long long& n : numbers)
        if (!(in >> n)) return false;
    std::string move;
    return bool(in >> move) && numbers[0] >= 1 && numbers[2] >= 0 && numbers[3] >= 0;
}

TEST(XboardSession, FeaturesForceModeAndRefusals) {
    XboardSession engine;
    ASSERT_TRUE(engine.Started());
    EXPECT_EQ(engine.Replies({"protover 2"}), (Lines{"feature done=0", "feature setboard=1",
                                                     "feature myname=\"tarnock\" memory=1", "feature done=1"}));
    EXPECT_TRUE(engine.Replies({"protover 1"}).empty());

    // Force mode: moves are applied without a reply, "go" plays the side
    // to move and leaves force mode, so the next move is answered.
    engine.Send("sd 3");
    EXPECT_TRUE(engine.Replies({"new", "force", "e2e4", "e7e5"}).empty());
    Lines seen;
    const std::string first = engine.MoveAfter("go", &seen);
    EXPECT_FALSE(BlackMove(first)) << first;
    ASSERT_FALSE(seen.empty());
    for (const std::string& line : seen) EXPECT_TRUE(IsThinkingLine(line)) << line;
    EXPECT_FALSE(BlackMove(engine.MoveAfter("h7h6")));
    // "new" keeps force mode off and the engine plays Black after White's move.
    EXPECT_TRUE(BlackMove(engine.MoveAfter("new\ne2e4")));

    // Moves that do not fit are refused with the text as received; so are
    // moves of the side not to move. Three characters such as Nf3 are a
    // piece placement, which outside edit mode does nothing at all.
    EXPECT_EQ(engine.Replies({"new", "force", "e2e5", "e7e5", "Nf3", "Ke2"}),
              (Lines{"Illegal move: e2e5", "Illegal move: e7e5"}));
    // "new" keeps force mode; "undo" at the start does nothing; "undo" and
    // "remove" take back moves.
    engine.Send("new");
    engine.Send("undo");
    EXPECT_TRUE(engine.Replies({"e2e4", "e7e5", "g1f3", "remove", "e7e5"}).empty());
    EXPECT_EQ(engine.Replies({"undo", "undo", "undo", "e2e4"}), (Lines{}));

    // A set-up that fails refuses "go" and moves, also after other
    // commands, "new" among them, until a set-up succeeds.
    EXPECT_EQ(engine.Replies({"setboard 8/8/8/8/8/8/8/8 w - - 0 1"}), (Lines{"tellusererror Illegal position"}));
    EXPECT_EQ(engine.Replies({"go", "e7e5", "force", "undo", "e7e5", "go"}),
              (Lines{"Illegal move", "Illegal move", "Illegal move", "Illegal move"}));
    EXPECT_TRUE(engine.Replies({"setboard 7k/8/6K1/8/8/8/8/R7 w - - 0 1"}).empty());
    EXPECT_EQ(engine.MoveAfter("go"), "a1a8");
    engine.Replies({"setboard kings only"});
    EXPECT_EQ(engine.Replies({"setboard 7k/8/8/8/8/8/8/8 w - - 0 1", "e2e4"}),
              (Lines{"tellusererror Illegal position", "Illegal move"}));
    EXPECT_EQ(engine.Replies({"new", "go", "e2e4"}), (Lines{"Illegal move", "Illegal move"}));
    EXPECT_TRUE(engine.Replies({"setboard rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"}).empty());

    // "uci" makes "go" a UCI command; "xboard" brings the xboard one back.
    engine.Send("uci");
    EXPECT_FALSE(engine.ReadUntil("uciok").empty());
    engine.Send("xboard");
    EXPECT_FALSE(BlackMove(engine.MoveAfter("new\ngo")));
    engine.Send("quit");
    EXPECT_EQ(engine.Wait(LongWaitMs), 0);
}

// Result lines after a move of the user or of the engine, tested in the
// order mate, material, stalemate, repetition, fifty moves. Material the
// search scores as drawn but that can still mate plays on: only dead
// material ends the game.
TEST(XboardSession, ResultLinesEndTheGame) {
    XboardSession engine;
    ASSERT_TRUE(engine.Started());
    engine.Send("sd 3");
    const struct {
        const char* fen;  // nullptr: "new"
        Lines moves;
        bool force;
        const char* result;  // after the last move; nullptr: the game goes on
    } games[] = {
        // Fool's mate played by the user as Black.
        {nullptr, {"f2f3", "e7e5", "g2g4", "d8h4"}, true, "0-1 {Black}"},
        // A mate by the user is answered by the result alone.
        {"6k1/5ppp/8/8/8/8/8/R3K3 w - - 0 1", {"a1a8"}, false, "1-0 {White}"},
        // A stalemate and bare material at once: material first.
        {"k7/B1K5/8/8/8/8/8/8 w - - 0 1", {"a7b8"}, false, "1/2-1/2 {Draw by material insufficient}"},
        // The third occurrence of the start position.
        {nullptr, {"g1f3", "g8f6", "f3g1", "f6g8", "g1f3", "g8f6", "f3g1", "f6g8"}, true, "1/2-1/2 {Draw by repetition}"},
        // The hundredth reversible ply, no check.
        {"7k/8/8/8/8/8/R7/K7 w - - 99 80", {"a2b2"}, false, "1/2-1/2 {Draw by fifty moves rule}"},
        // Bare kings set up on the hundredth ply: the fifty-move rule is the
        // first draw the board tests, so it names the draw.
        {"7k/8/8/8/8/8/8/K7 w - - 100 80", {"a1a2"}, false, "1/2-1/2 {Draw by fifty moves rule}"},
        // Two knights mate, and stalemate, a bare king.
        {"k7/2K5/2N5/3N4/8/8/8/8 w - - 0 1", {"d5b6"}, true, "1-0 {White}"},
        {"k7/2K5/8/8/3N4/8/8/7N w - - 0 1", {"d4b5"}, true, "1/2-1/2 {Stalemate}"},
        // Knight against knight: moves go on ...
        {"4k3/8/8/3n4/8/8/4N3/4K3 w - - 0 1", {"e2c3", "d5f6", "c3e2"}, true, nullptr},
        // ... and repeat like any other position.
        {"4k3/8/8/3n4/8/8/4N3/4K3 w - - 0 1", {"e2c3", "d5f6", "c3e2", "f6d5", "e2c3", "d5f6", "c3e2", "f6d5"}, true,
         "1/2-1/2 {Draw by repetition}"},
        // Bare kings, bishops all of one colour; bishops of both colours play on.
        {"4k3/8/8/8/8/8/3r4/4K3 w - - 0 1", {"e1d2"}, true, "1/2-1/2 {Draw by material insufficient}"},
        {"4k3/8/8/8/8/2B5/3r4/B3K3 w - - 0 1", {"e1d2"}, true, "1/2-1/2 {Draw by material insufficient}"},
        {"4k3/8/8/3b4/8/2B5/3r4/4K3 w - - 0 1", {"e1d2"}, true, nullptr},
    };
    for (const auto& game : games) {
        engine.Send(game.fen ? std::string("setboard ") + game.fen : "new");
        if (game.force) engine.Send("force");
        ASSERT_TRUE(engine.Replies(Lines(game.moves.begin(), game.moves.end() - 1)).empty()) << game.moves.front();
        EXPECT_EQ(engine.Replies({game.moves.back()}), game.result ? Lines{game.result} : Lines{}) << game.moves.front();
        if (!game.result) continue;
        // The game is over: a move or "go" repeats the result, no move is made.
        engine.Send("force");
        EXPECT_EQ(engine.Replies({"e1e2", "go"}), (Lines{game.result, game.result})) << game.moves.front();
    }

    // The engine's own mate, stalemate (its only legal move) and capture
    // into a lone knight end the game; its capture into knight against
    // knight does not.
    const std::pair<const char*, Lines> own[] = {
        {"7k/8/6K1/8/8/8/8/R7 w - - 0 1", {"move a1a8", "1-0 {White}"}},
        {"8/1RQ5/k7/8/8/8/3q4/3K4 w - - 0 1", {"move d1d2", "1/2-1/2 {Stalemate}"}},
        {"4k3/8/8/8/8/2r5/4N3/4K3 w - - 0 1", {"move e2c3", "1/2-1/2 {Draw by material insufficient}"}},
        {"4k3/8/8/3n4/8/2r5/4N3/4K3 w - - 0 1", {"move e2c3"}},
    };
    for (const auto& [fen, tail] : own) {
        const Lines seen = engine.Replies({std::string("setboard ") + fen, "go"});
        ASSERT_GE(seen.size(), tail.size()) << fen;
        EXPECT_EQ(Lines(seen.end() - tail.size(), seen.end()), tail) << fen;
    }
    // Against the engine the moves go on both ways.
    EXPECT_FALSE(BlackMove(engine.MoveAfter("d5f6")));
    EXPECT_TRUE(engine.Ping().empty());
}

// Analysis runs until a command stops it: "." asks for a status line and
// lets it go on; "exit" and "?" end it; any other command ends it and is
// then carried out, a move as in a game.
TEST(XboardSession, AnalysisRunsUntilACommandStopsIt) {
    XboardSession engine;
    ASSERT_TRUE(engine.Started());
    engine.Send("new");
    engine.Send("post");
    engine.Send("analyze");
    ASSERT_FALSE(engine.ReadUntil("2 ").empty());
    engine.Send(".");
    Lines seen = engine.ReadUntil("stat01: ");
    ASSERT_FALSE(seen.empty());
    std::istringstream status(seen.back().substr(8));
    long long time = -1, nodes = -1, depth = -1, left = -1, total = -1;
    EXPECT_TRUE(status >> time >> nodes >> depth >> left >> total) << seen.back();
    EXPECT_EQ(total, 20);
    EXPECT_GE(left, 1);
    EXPECT_LE(left, 20);
    // Still analysing: deeper lines come.
    ASSERT_FALSE(engine.ReadUntil("4 ").empty());

    // A move ends the analysis with its best move, then is answered.
    engine.Send("sd 2");
    Lines lines = engine.ReadUntil("bestmove ");
    ASSERT_FALSE(lines.empty());
    EXPECT_FALSE(BlackMove(lines.back().substr(9))) << lines.back();
    EXPECT_TRUE(BlackMove(engine.MoveAfter("e2e4")));

    // "exit" and "?" end it for good: nothing comes until the next command.
    for (const char* stop : {"exit", "?"}) {
        engine.Send("analyze");
        ASSERT_FALSE(engine.ReadUntil("2 ").empty()) << stop;
        engine.Send(stop);
        lines = engine.ReadUntil("bestmove ");
        ASSERT_FALSE(lines.empty()) << stop;
        EXPECT_FALSE(BlackMove(lines.back().substr(9))) << stop;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        EXPECT_TRUE(engine.Ping().empty()) << stop;
    }
    // In force mode a move during analysis is made without a reply.
    engine.Send("force");
    engine.Send("analyze");
    ASSERT_FALSE(engine.ReadUntil("2 ").empty());
    engine.Send("g1f3");
    ASSERT_FALSE(engine.ReadUntil("bestmove ").empty());
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(engine.Ping().empty());
    EXPECT_TRUE(BlackMove(engine.MoveAfter("go")));
}

TEST(XboardSession, SigintIsIgnoredDuringAndAfterASearch) {
    XboardSession engine;
    ASSERT_TRUE(engine.Started());
    engine.Send("new");
    engine.Send("analyze");
    ASSERT_FALSE(engine.ReadUntil("3 ").empty());
    ASSERT_TRUE(engine.Signal(SIGINT));
    // The analysis goes on after the signal.
    ASSERT_FALSE(engine.ReadUntil("6 ").empty());
    engine.Send("exit");
    EXPECT_FALSE(engine.ReadUntil("bestmove ").empty());
    ASSERT_TRUE(engine.Signal(SIGINT));
    EXPECT_TRUE(engine.Ping().empty());
    engine.Send("sd 2");
    EXPECT_FALSE(BlackMove(engine.MoveAfter("new\ngo")));
    engine.Send("quit");
    EXPECT_EQ(engine.Wait(LongWaitMs), 0);
}

// ---------------------------------------------------------------- engine object

class XboardEngine : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        dir = std::filesystem::temp_directory_path() / ("tarnock-xboard-" + std::to_string(getpid()));
        std::filesystem::create_directories(dir);
    }
    void TearDown() override {
        EngineFixture::TearDown();
        std::filesystem::remove_all(dir);
    }
    std::string File(const char* name) { return (dir / name).string(); }
    std::string Contents(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::filesystem::path dir;
};

TEST_F(XboardEngine, TimeControlCommands) {
    // "time" is in centiseconds; "level" shares it among the session's moves.
    HandleAll({"level 40 5 0", "time 30000", "otim 100"});
    EXPECT_DOUBLE_EQ(Budget(), 300.0 / 40);
    // Sudden death: a fortieth. A clock at zero or below still gives a
    // short budget, not "no limit".
    HandleAll({"level 0 2 0", "time 12000"});
    EXPECT_DOUBLE_EQ(Budget(), 120.0 / 40);
    Handle("time -50");
    EXPECT_DOUBLE_EQ(Budget(), MinimumBudgetSeconds);
    // "st" in seconds per move, less the move overhead; "sd" a depth
    // without a budget.
    Handle("st 3");
    EXPECT_DOUBLE_EQ(Budget(), 3.0 - DefaultMoveOverheadMs / 1000.0);
    Handle("sd 5");
    EXPECT_EQ(Budget(), 0.0);
    EXPECT_EQ(engine->searcher.DepthLimit(), 5);
    // The clock comes before every move under both: the time per move
    // stays, within the clock, and so does the depth.
    Handle("st 3");
    Handle("time 4000");
    EXPECT_DOUBLE_EQ(Budget(), 3.0 - DefaultMoveOverheadMs / 1000.0);
    EXPECT_EQ(engine->searcher.DepthLimit(), 5);
    Handle("time 100");
    EXPECT_DOUBLE_EQ(Budget(), 1.0 - DefaultMoveOverheadMs / 1000.0);
    // "level" ends the time per move; "new" keeps the depth.
    HandleAll({"level 0 5 0", "new", "time 4000"});
    EXPECT_DOUBLE_EQ(Budget(), 1.0);
    EXPECT_EQ(engine->searcher.DepthLimit(), 5);
    // Zero and words mean nothing was given.
    HandleAll({"st 0", "sd 0", "sd x"});
    EXPECT_DOUBLE_EQ(Budget(), 1.0);
    EXPECT_EQ(Handle("memory 3"), "");
}

TEST_F(XboardEngine, EditModePlacesPiecesOnItsOwnBoard) {
    HandleAll({"edit", "#", "Ke1", "c", "ke8", "Pa7", "Rh8"});
    // Nothing changes until "."; the letter's case does not decide colour.
    EXPECT_EQ(Fen(), StartFen);
    EXPECT_EQ(Handle("."), "");
    EXPECT_EQ(Fen(), "4k2r/p7/8/8/8/8/8/4K3 w k - 0 1");

    // Pieces added to the current position; a placement on an occupied
    // square or off the board changes nothing; castling only where king
    // and rook stand at home.
    Handle("force");
    EXPECT_EQ(Handle("setboard 4k3/8/8/8/4P3/8/8/4K2R b K - 0 1"), "");
    HandleAll({"edit", "Nd4", "Pe4", "Qe1", "Bz9", "c", "Xa3", "qd5", "Ra8"});
    EXPECT_EQ(Handle("."), "");
    EXPECT_EQ(Fen(), "r3k3/8/8/3q4/3NP3/8/8/4K2R b Kq - 0 1");

    // A position without a king, or with the side not to move in check, is
    // refused until a good one comes.
    HandleAll({"edit", "#", "Ke1"});
    EXPECT_EQ(Handle("."), "tellusererror Illegal position\n");
    EXPECT_EQ(Handle("e2e4"), "Illegal move\n");
    HandleAll({"edit", "#", "Ke1", "c", "Ke8", "Qe2"});
    EXPECT_EQ(Handle("go"), "Illegal move\n");  // still editing
    EXPECT_EQ(Handle("."), "tellusererror Illegal position\n");
    HandleAll({"edit", "#", "Ke1", "Qe7", "c", "Kh8"});
    EXPECT_EQ(Handle("."), "");
    EXPECT_EQ(Fen(), "7k/4Q3/8/8/8/8/8/4K3 b - - 0 1");

    // Outside edit mode a placement neither places nor moves anything.
    HandleAll({"new", "force"});
    for (const char* line : {"Nf3", "ke4", "Pe3"}) EXPECT_EQ(Handle(line), "") << line;
    EXPECT_EQ(Fen(), StartFen);
}

TEST_F(XboardEngine, GamesSavedAppendedAndLoaded) {
    const std::string file = File("games.pgn");
    HandleAll({"new", "force", "e2e4", "e7e5", "g1f3"});
    const std::string first = Fen();
    Handle("saveboard " + file);
    // A set-up game, saved after the first one, Black to move first.
    const std::string start = "4k3/8/8/3n4/8/8/4N3/4K3 b - - 3 30";
    HandleAll({"setboard " + start, "d5f6", "e2c3"});
    const std::string second = Fen();
    EXPECT_EQ(Handle("saveboard " + file), "");
    EXPECT_EQ(Contents(file), "[Result \"*\"]\n1. e4 e5\n2. Nf3 *\n\n[SetUp \"1\"] \n[FEN \"" + start +
                                  "\"]\n[Result \"*\"]\n30.  ... Nf6\n31. Nc3 *\n\n");

    // The first game comes back with its moves: they can be taken back.
    Handle("loadboard " + file);
    EXPECT_EQ(Fen(), first);
    Handle("undo");
    EXPECT_EQ(Fen(), "rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq e6 0 2");

    // The set-up game alone in a file of its own, written without a line
    // end at its end by someone else first: both games stay readable.
    const std::string other = File("other.pgn");
    std::ofstream(other, std::ios::binary) << "[SetUp \"1\"]\n[FEN \"" << start << "\"]\n1... Nf6 2. Nc3 *";
    HandleAll({"setboard " + start, "d5f6", "e2c3", "d5e3"});
    Handle("saveboard " + other);
    Handle("new");
    Handle("loadboard " + other);
    EXPECT_EQ(Fen(), second);
    EXPECT_NE(Contents(other).find("*\n\n[SetUp"), std::string::npos);

    // Missing files and directories change nothing; a file that reads but
    // holds no moves is a game without moves. The default name is in the
    // working directory.
    HandleAll({"new", "e2e4"});
    const std::string kept = Fen();
    for (const std::string& name : {File("missing.pgn"), dir.string()}) {
        EXPECT_EQ(Handle("loadboard " + name), "");
        EXPECT_EQ(Fen(), kept) << name;
    }
    std::ofstream(File("empty.pgn"));
    EXPECT_EQ(Handle("loadboard " + File("empty.pgn")), "");
    EXPECT_EQ(Fen(), StartFen);
    HandleAll({"new", "e2e4"});
    Handle("saveboard " + (dir / "no" / "such.pgn").string());
    EXPECT_FALSE(std::filesystem::exists(dir / "no"));
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    HandleAll({"saveboard", "new", "loadboard"});
    std::filesystem::current_path(cwd);
    EXPECT_EQ(Fen(), kept);
    EXPECT_TRUE(std::filesystem::exists(dir / DefaultGameFile));
}

}  // namespace
}  // namespace NEngine::Tests
