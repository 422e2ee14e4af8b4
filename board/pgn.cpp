// PGN game records: writing the current game from its starting position and
// replaying the first game of a PGN text onto a board.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <istream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "board/board.h"
#include "board/notation.h"

namespace NEngine {

namespace {

bool IsDelimiter(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsTokenChar(char c) { return c != '\0' && std::strchr("123456789abcdefghkrq+-OxPNBRQKnul=#", c) != nullptr; }

// ---------------------------------------------------------------- writing

const char* ResultText(const Board& board) {
    if (board.flags & FlagCheckmate) return board.sideToMove == Black ? "1-0" : "0-1";
    if (board.flags & DrawFlags) return "1/2-1/2";
    return "*";
}

// UnmakeMove trusts its entry. Entries below a set-up position's ply were
// never written by this game (zeroed, or stale from an earlier one), so each
// entry is checked to describe a move that could have led here.
bool CanUnmake(const Board& board, const HistoryEntry& entry) {
    const Move move = entry.move & MoveMask;
    if (move == NullMove || (entry.moveFlags & MoveNullFlag)) return false;
    const int from = FromSquare(move), to = ToSquare(move);
    const Colour mover = Opponent(board.sideToMove);
    const PieceCode piece = board.mailbox[to];
    if (from == to || piece == 0 || ColourOf(piece) != mover || board.mailbox[from] != 0) return false;
    if (entry.capturedType > Queen) return false;
    const PieceType promotion = PromotionOf(move);
    if (promotion != NoPiece && (promotion < Knight || promotion > Queen || TypeOf(piece) != promotion)) return false;
    if ((entry.moveFlags & MoveEnPassant) && (TypeOf(piece) != Pawn || RankOf(to) != (mover == White ? 5 : 2)))
        return false;
    if (TypeOf(piece) == King && std::abs(FileOf(to) - FileOf(from)) == 2) {
        const int rook = to > from ? to - 1 : to + 1;
        if (from != KingHome[mover] || board.mailbox[rook] != MakeCode(mover, Rook)) return false;
    }
    // The saved state word must be one this side could have moved from.
    Board saved;
    std::memcpy(static_cast<void*>(&saved), &entry.state, sizeof(entry.state));
    return saved.sideToMove == mover && saved.epSquare < 64 && saved.castling <= AllCastling;
}

// ---------------------------------------------------------------- reading

// Collects the first game of a PGN text: tags are acted on as they come,
// move tokens are kept for replay once the game's end is known.
class PgnScanner {
public:
    explicit PgnScanner(Board& scratch) : board_(scratch) {}

    // False once the game has ended or a FEN tag failed; the caller stops reading.
    bool ScanLine(const std::string& line);

    bool fenFailed = false;
    bool positionSet = false;
    std::vector<std::string> tokens;

private:
    size_t ReadTag(const std::string& line, size_t i);
    size_t ReadToken(const std::string& line, size_t i);
    void ApplyFen();

    Board& board_;
    bool inComment_ = false;
    bool setUp_ = false;
    bool ended_ = false;
    std::string fen_;
    bool haveFen_ = false;
};

bool PgnScanner::ScanLine(const std::string& line) {
    const size_t n = line.size();
    // The line end itself counts as a delimiter after the last character.
    auto at = [&](size_t k) { return k < n ? line[k] : '\n'; };
    size_t i = 0;
    while (i < n && !ended_ && !fenFailed) {
        if (inComment_) {
            const size_t close = line.find('}', i);
            if (close == std::string::npos) return true;
            inComment_ = false;
            i = close + 1;
            continue;
        }
        const char c = line[i];
        if (c == '{') {
            inComment_ = true;
            ++i;
        } else if (c == '%') {
            return true;
        } else if (c == '.' || IsDelimiter(c)) {
            ++i;
        } else if (IsDigit(c)) {
            const char next = at(i + 1);
            if (IsDigit(next) || IsDelimiter(next) || next == '.') {
                // A move number: its digits and the character after them.
                while (i < n && IsDigit(line[i])) ++i;
                ++i;
            } else if (IsLetter(next)) {
                i = ReadToken(line, i);
            } else {
                ended_ = true;  // a result: 1-0, 0-1, 1/2-1/2
            }
        } else if (c == '*') {
            ended_ = true;
        } else if (c == '[') {
            i = ReadTag(line, i + 1);
        } else if (IsLetter(c)) {
            i = ReadToken(line, i);
        } else {
            ++i;  // annotations, variation brackets and other marks
        }
    }
    return !ended_ && !fenFailed;
}

size_t PgnScanner::ReadToken(const std::string& line, size_t i) {
    size_t end = i;
    while (end < line.size() && IsTokenChar(line[end])) ++end;
    if (end == i) return i + 1;  // a character outside the token set
    // Tokens past the history's room could never be applied.
    if (tokens.size() < size_t(HistorySize)) tokens.emplace_back(line, i, end - i);
    return end;
}

size_t PgnScanner::ReadTag(const std::string& line, size_t i) {
    const size_t n = line.size();
    const size_t nameStart = i;
    while (i < n && IsLetter(line[i])) ++i;
    const std::string name = line.substr(nameStart, i - nameStart);

    // The value sits between the next two double quotes; a tag closed
    // before any quote, or a line without one, has an empty value.
    std::string value;
    const size_t open = line.find('"', i);
    const size_t bracket = line.find(']', i);
    size_t resume = n;
    if (open != std::string::npos && (bracket == std::string::npos || open < bracket)) {
        const size_t close = line.find('"', open + 1);
        if (close == std::string::npos) {
            value = line.substr(open + 1);
        } else {
            value = line.substr(open + 1, close - open - 1);
            const size_t end = line.find(']', close + 1);
            resume = end == std::string::npos ? n : end + 1;
        }
    } else if (bracket != std::string::npos) {
        resume = bracket + 1;
    }

    // FEN counts only with SetUp "1", in either order (front ends write
    // FEN first, too); other tags carry nothing we use.
    if (name == "SetUp" && value == "1") {
        setUp_ = true;
        if (haveFen_) ApplyFen();
    } else if (name == "FEN") {
        fen_ = value;
        haveFen_ = true;
        if (setUp_) ApplyFen();
    }
    return resume;
}

void PgnScanner::ApplyFen() {
    if (positionSet || fenFailed) return;
    if (SetFromFen(fen_, board_)) {
        positionSet = true;
    } else {
        fenFailed = true;
    }
}

}  // namespace

// Tags, then one line per full move in SAN, then the result. Writing stops
// at a move that no longer fits the replayed position.
void WritePgn(const Board& board, std::ostream& out) {
    const char* result = ResultText(board);

    // A copy with a history of its own, walked back to the game's start.
    auto game = std::make_unique<BoardWithHistory>();
    Board& copy = game->board;
    CopyBoard(copy, board);
    int ply = board.ply;
    if (ply < 0 || board.history == nullptr) ply = 0;
    if (ply > HistorySize) ply = HistorySize;
    copy.ply = ply;
    if (ply > 0) std::memcpy(game->history, board.history, sizeof(HistoryEntry) * ply);

    // A set-up position's ply counts moves that were never made here, so the
    // walk ends at the first entry that does not lead back consistently.
    while (copy.ply > 0) {
        const HistoryEntry& entry = copy.history[copy.ply - 1];
        if (!CanUnmake(copy, entry)) break;
        const Board before = copy;
        UnmakeMove(copy, entry.move & MoveMask);
        if (ComputeBoardSums(copy).key != copy.key) {
            copy = before;
            break;
        }
    }
    std::vector<Move> moves;
    for (int i = copy.ply; i < ply; ++i) moves.push_back(game->history[i].move & MoveMask);
    // The start had a legal move, so a mate or stalemate mark on it can only
    // be the game's final status copied back into the saved state.
    copy.flags &= StatusFlags(~(FlagCheckmate | FlagStalemate));

    const std::string fen = ToFen(copy);
    if (!fen.empty() && fen != StartFen) {
        out << "[SetUp \"1\"] " << '\n';
        out << "[FEN \"" << fen << "\"]" << '\n';
    }
    out << "[Result \"" << result << "\"]" << '\n';

    // A game that starts with Black's move opens with "N.  ... ".
    bool first = true;
    for (const Move move : moves) {
        const std::string san = MoveToSan(copy, move);
        if (san.empty() || !IsLegalMove(copy, move) || HistoryFull(copy)) return;
        const bool white = copy.sideToMove == White;
        const uint32_t number = copy.fullmoveNumber;
        MakeMove(copy, move);
        if (white || first) {
            out << number << ". ";
            if (!white) out << " ... ";
        }
        first = false;
        out << san << (white ? ' ' : '\n');
    }
    out << result << '\n' << '\n';
}

void ReadPgn(Board& board, std::istream& in) {
    // The game is built on a scratch record and adopted only when it could be
    // set up, so a broken FEN tag leaves the caller's board as it was.
    auto game = std::make_unique<BoardWithHistory>();
    Board& scratch = game->board;
    PgnScanner scanner(scratch);
    std::string line;
    while (std::getline(in, line) && scanner.ScanLine(line)) {
    }
    if (scanner.fenFailed) return;
    if (!scanner.positionSet) SetFromFen(StartFen, scratch);

    // Replay up to the first token that is no legal move, or the history's end.
    for (const std::string& token : scanner.tokens) {
        if (HistoryFull(scratch)) break;
        const Move move = TextToMove(scratch, token);
        if (move == NullMove || !IsLegalMove(scratch, move)) break;
        MakeMove(scratch, move);
    }
    // Also after a token that could not be applied: the flags must show
    // whether the position reached is mate or stalemate.
    const int entries = std::min(scratch.ply, HistorySize);
    if (scratch.ply == entries) UpdateMateFlags(scratch);

    CopyBoard(board, scratch);
    if (board.history != nullptr && entries > 0)
        std::memcpy(board.history, game->history, sizeof(HistoryEntry) * entries);
}

}  // namespace NEngine
