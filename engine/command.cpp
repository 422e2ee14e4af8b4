#include "engine/command.h"

#include <mutex>

#include "board/notation.h"

namespace NEngine {

namespace {

bool IsSeparator(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }

std::string JoinTokens(std::vector<std::string>::const_iterator first,
                       std::vector<std::string>::const_iterator last) {
    std::string joined;
    for (auto it = first; it != last; ++it) {
        if (!joined.empty()) joined += ' ';
        joined += *it;
    }
    return joined;
}

// A piece letter and a square as typed in xboard edit mode, e.g. "Pe4".
bool IsPiecePlacement(const std::string& line) {
    return line.size() == 3 && IsAsciiLetter(line[0]) && IsAsciiLetter(line[1]) && IsAsciiDigit(line[2]);
}

CommandTable BuildCommandTable() {
    return CommandTable{
        {"xboard", CmdXboard},   {"option", CmdOption},     {"ping", CmdPing},
        {"new", CmdNew},         {"go", CmdGo},             {"undo", CmdUndo},
        {"remove", CmdRemove},   {"force", CmdForce},       {"st", CmdSt},
        {"sd", CmdSd},           {"post", CmdPost},         {"nopost", CmdNoPost},
        {"analyze", CmdAnalyze}, {"exit", CmdStop},         {"time", CmdTime},
        {"otim", CmdOtim},       {"level", CmdLevel},       {"memory", CmdMemory},
        {"saveboard", CmdSaveBoard}, {"loadboard", CmdLoadBoard}, {"edit", CmdEdit},
        {"#", CmdEditClear},     {"c", CmdEditColour},      {".", CmdEditDone},
        {"?", CmdMoveNow},       {"protover", CmdProtover}, {"setboard", CmdSetBoard},
        {"setb", CmdSetBoard},   {"quit", CmdQuit},         {"uci", CmdUci},
        {"setoption", CmdSetOption}, {"isready", CmdIsReady}, {"ucinewgame", CmdUciNewGame},
        {"position", CmdPosition}, {"stop", CmdStop},      {"ponderhit", CmdPonderHit},
    };
}

}  // namespace

const CommandTable& GetCommandTable() {
    // The input poll parses lines from inside a search as well, so the table
    // must be complete before anyone reads it, whoever asks first.
    static std::once_flag once;
    static CommandTable table;
    std::call_once(once, [] { table = BuildCommandTable(); });
    return table;
}

std::vector<std::string> SplitTokens(const std::string& line) {
    std::vector<std::string> tokens;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && IsSeparator(line[i])) ++i;
        const size_t start = i;
        while (i < line.size() && !IsSeparator(line[i])) ++i;
        if (i > start) tokens.emplace_back(line, start, i - start);
    }
    return tokens;
}

int32_t ParseInt(const std::string& token) {
    std::string lower = token;
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    }

    size_t i = 0;
    bool negative = false;
    if (i < lower.size() && (lower[i] == '+' || lower[i] == '-')) {
        negative = lower[i] == '-';
        ++i;
    }
    const size_t digitsStart = i;
    // Accumulate in 64 bits, stopping the growth once past the 32-bit range
    // so that long digit strings cannot overflow the accumulator.
    int64_t magnitude = 0;
    bool tooLarge = false;
    for (; i < lower.size() && IsAsciiDigit(lower[i]); ++i) {
        if (!tooLarge) {
            magnitude = magnitude * 10 + (lower[i] - '0');
            if (magnitude > int64_t(INT32_MAX) + 1) tooLarge = true;
        }
    }
    if (i > digitsStart && !tooLarge) {
        const int64_t value = negative ? -magnitude : magnitude;
        if (value >= INT32_MIN && value <= INT32_MAX) return int32_t(value);
    }

    if (lower == "true") return 1;
    return 0;  // "false", and everything that is neither number nor word
}

bool ParsePositionArgs(const std::vector<std::string>& args, Command& command) {
    if (args.empty()) return false;

    std::string fen;
    auto cursor = args.begin();
    if (*cursor == "startpos") {
        ++cursor;
    } else if (*cursor == "fen") {
        ++cursor;
        auto fenEnd = cursor;
        while (fenEnd != args.end() && *fenEnd != "moves") ++fenEnd;
        // An empty FEN would silently mean the start position; "fen" promises
        // a position of its own, so without one the line is dropped.
        if (fenEnd == cursor) return false;
        fen = JoinTokens(cursor, fenEnd);
        cursor = fenEnd;
    }
    // The word here is taken to be "moves" and skipped unread.
    if (cursor != args.end()) ++cursor;

    std::vector<std::string> moves(cursor, args.end());
    for (const std::string& move : moves) {
        if (ClassifyMoveText(move) == 0) return false;
    }
    command = Command{};
    command.code = CmdPosition;
    command.text = std::move(fen);
    command.args = std::move(moves);
    return true;
}

Command ParseSetOptionArgs(const std::vector<std::string>& args) {
    Command command;
    command.code = CmdSetOption;
    size_t i = 0;
    while (i < args.size()) {
        if (args[i] != "name") {
            ++i;
            continue;
        }
        // Option names may have several words ("Move Overhead").
        size_t j = i + 1;
        while (j < args.size() && args[j] != "value" && args[j] != "name") ++j;
        const std::string name = JoinTokens(args.begin() + long(i + 1), args.begin() + long(j));
        if (j + 1 < args.size() && args[j] == "value" && !name.empty()) {
            command.params[name] = ParseInt(args[j + 1]);
            j += 2;
        }
        i = j;
    }
    return command;
}

namespace {

enum class GoKey { Value, Flag, List, Unknown };

GoKey KindOfGoWord(const std::string& word) {
    static const char* const valueKeys[] = {"wtime", "btime", "winc", "binc", "movestogo",
                                            "depth", "nodes", "mate", "movetime"};
    for (const char* key : valueKeys)
        if (word == key) return GoKey::Value;
    if (word == "infinite" || word == "ponder") return GoKey::Flag;
    if (word == "searchmoves") return GoKey::List;
    return GoKey::Unknown;
}

// A go value: a number, read leniently, where a value too large for 32 bits
// is the largest there is (a node count of many billions is still a limit).
bool ReadGoValue(const std::string& token, int32_t& value) {
    const size_t digits = token.size() > 1 && (token[0] == '-' || token[0] == '+') ? 1 : 0;
    if (digits >= token.size() || !IsAsciiDigit(token[digits])) return false;
    value = ParseInt(token);
    size_t end = digits;
    while (end < token.size() && IsAsciiDigit(token[end])) ++end;
    if (value == 0 && token.find_first_not_of('0', digits) < end)
        value = token[0] == '-' ? INT32_MIN : INT32_MAX;
    return true;
}

}  // namespace

Command ParseGoUciArgs(const std::vector<std::string>& args) {
    Command command;
    command.code = CmdGoUci;
    size_t i = 0;
    while (i < args.size()) {
        const std::string& word = args[i++];
        switch (KindOfGoWord(word)) {
            case GoKey::Flag:
                (word == "infinite" ? command.infinite : command.ponder) = true;
                break;
            case GoKey::Value:
                // The next word is the value whatever it is, so "infinite"
                // in a value's place is no flag; a word that is not a
                // number leaves the key out.
                if (i < args.size()) {
                    int32_t value = 0;
                    if (ReadGoValue(args[i], value)) command.params.emplace(word, value);  // first value wins
                    ++i;
                }
                break;
            case GoKey::List:
                for (; i < args.size() && KindOfGoWord(args[i]) == GoKey::Unknown; ++i)
                    if (ClassifyMoveText(args[i]) == 1) command.args.push_back(args[i]);
                break;
            case GoKey::Unknown:
                // Its value, if it has one, goes with it.
                while (i < args.size() && KindOfGoWord(args[i]) == GoKey::Unknown) ++i;
                break;
        }
    }
    return command;
}

Command ParseCommand(const std::string& line, bool uciMode) {
    Command command;
    std::vector<std::string> tokens = SplitTokens(line);
    if (tokens.empty()) return command;

    const CommandTable& table = GetCommandTable();
    const auto found = table.find(tokens.front());
    if (found == table.end()) {
        if (IsPiecePlacement(line)) {
            command.code = CmdPlacePiece;
            command.text = line;
        } else if (ClassifyMoveText(line) != 0) {
            command.code = CmdMove;
            command.text = line;
        }
        return command;
    }

    CommandCode code = found->second;
    tokens.erase(tokens.begin());
    if (code == CmdGo && uciMode) code = CmdGoUci;

    switch (code) {
        case CmdPosition:
            if (!ParsePositionArgs(tokens, command)) command = Command{};
            return command;
        case CmdSetBoard:
            if (tokens.size() < 2) return command;
            command.code = CmdSetBoard;
            command.text = JoinTokens(tokens.begin(), tokens.end());
            return command;
        case CmdOption:
            command.code = CmdOption;
            return command;
        case CmdPing:
        case CmdMemory:
        case CmdProtover:
        case CmdSt:
        case CmdSd:
        case CmdTime:
        case CmdOtim:
        case CmdLevel:
            if (tokens.empty()) return command;
            command.code = code;
            command.number = ParseInt(tokens.front());
            return command;
        case CmdSetOption:
            return ParseSetOptionArgs(tokens);
        case CmdGoUci:
            return ParseGoUciArgs(tokens);
        default:
            command.code = code;
            command.args = std::move(tokens);
            return command;
    }
}

}  // namespace NEngine
