// Moves as text: the coordinate form of both protocols and standard
// algebraic notation (SAN) for game records and GUIs.
#include "board/notation.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "board/board.h"

namespace NEngine {

const std::string NullMoveText = "0000";

namespace {

// Plain ASCII tests: the locale-aware <cctype> ones are undefined for the
// negative chars that arbitrary input bytes turn into.
bool IsFile(char c) { return c >= 'a' && c <= 'h'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsRankDigit(char c) { return c >= '1' && c <= '8'; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsPieceLetter(char c) { return c != '\0' && std::strchr("PNBRQK", c) != nullptr; }

// "PNBRQK" to piece types 1..6, anything else 0.
PieceType PieceOfLetter(char c) {
    switch (c) {
        case 'P': return Pawn;
        case 'N': return Knight;
        case 'B': return Bishop;
        case 'R': return Rook;
        case 'Q': return Queen;
        case 'K': return King;
        default: return NoPiece;
    }
}

constexpr char UpperPieceLetter[8] = {'?', 'P', 'N', 'B', 'R', 'Q', 'K', '?'};
constexpr char PromotionLetter[8] = {0, 0, 'n', 'b', 'r', 'q', 0, 0};

// SAN marks a move as a capture when it takes a piece on its target or is
// a pawn's en-passant capture; a knight stepping onto the empty en-passant
// square captures nothing.
bool CapturesForSan(const Board& board, Move move) {
    const int to = ToSquare(move);
    if (board.mailbox[to] != 0) return true;
    return TypeOf(board.mailbox[FromSquare(move)]) == Pawn && board.epSquare > 0 && to == board.epSquare;
}

// Status word after the move, for the check and mate suffix. The move is made
// on a copy whose history holds only the reversible stretch the repetition
// test reads, so the caller's history is never written and a game near the
// history bound still gets its suffix.
StatusFlags FlagsAfterMove(const Board& board, Move move) {
    HistoryEntry history[256 + 2];
    Board copy = board;
    int kept = std::min<int>(board.ply, board.halfmoveClock + 1);
    if (kept < 0 || board.ply > HistorySize || board.history == nullptr) kept = 0;
    if (kept > 0) std::memcpy(history, board.history + (board.ply - kept), sizeof(HistoryEntry) * kept);
    copy.history = history;
    copy.ply = kept;
    MakeMove(copy, move);
    UpdateMateFlags(copy);
    return copy.flags;
}

}  // namespace

// From file, from rank, to file, to rank and a lower-case promotion letter;
// a move that goes nowhere is the null move on the wire.
std::string MoveToText(Move move, bool withPrefix) {
    const int from = FromSquare(move);
    const int to = ToSquare(move);
    std::string text = withPrefix ? "move " : "";
    if (from == to) return text + NullMoveText;
    text += char('a' + FileOf(from));
    text += char('1' + RankOf(from));
    text += char('a' + FileOf(to));
    text += char('1' + RankOf(to));
    if (const char letter = PromotionLetter[PromotionOf(move)]) text += letter;
    return text;
}

// Decides from the first few characters only, so that the parser can tell a
// move line from a command word without a board.
int ClassifyMoveText(const std::string& text) {
    const size_t n = text.size();
    if (n < 2) return 0;
    const char* s = text.c_str();  // NUL past the end makes s[n] safe to test
    if (n >= 4 && IsFile(s[0]) && IsDigit(s[1]) && IsFile(s[2]) && IsDigit(s[3])) return 1;
    if (n == 2) return IsFile(s[0]) && (IsFile(s[1]) || IsDigit(s[1])) ? 2 : 0;
    // The null move's text is listed as a move; checked before the letter
    // test below, which would otherwise turn it away.
    if (text == NullMoveText) return 2;
    if (!IsLetter(s[0]) || !(IsLetter(s[1]) || IsDigit(s[1]) || s[1] == '-')) return 0;
    // A piece letter, then a disambiguation, a capture or the target square.
    if (IsPieceLetter(s[0])) {
        const char a = s[1], b = s[2];
        if (IsFile(a) && (IsDigit(b) || b == 'x' || IsFile(b))) return 2;
        if (IsDigit(a) && (IsFile(b) || b == 'x')) return 2;
        if (a == 'x' && IsFile(b)) return 2;
    }
    if (text.find("O-O") != std::string::npos) return 2;
    if (IsFile(s[0]) && (IsDigit(s[1]) || s[1] == 'x')) return 2;
    return 0;
}

Move TextToMove(const Board& board, const std::string& text) {
    if (text.empty()) return NullMove;
    const int kind = ClassifyMoveText(text);
    if (kind == 0) return NullMove;
    if (kind == 2) return SanToMove(board, text);
    // Digits 0 and 9 pass the classification but name no square.
    if (!IsRankDigit(text[1]) || !IsRankDigit(text[3])) return NullMove;
    const int from = (text[1] - '1') * 8 + (text[0] - 'a');
    const int to = (text[3] - '1') * 8 + (text[2] - 'a');
    int promotion = 0;
    if (text.size() >= 5) {
        switch (text[4]) {
            case 'b': promotion = Bishop; break;
            case 'n': promotion = Knight; break;
            case 'r': promotion = Rook; break;
            case 'q': promotion = Queen; break;
            default: break;
        }
    }
    // Full legality (pins, checks) is the caller's test.
    const PieceCode piece = board.mailbox[from];
    if (piece == 0 || ColourOf(piece) != board.sideToMove) return NullMove;
    const Move move = MakeMoveCode(from, to, promotion);
    return IsPseudoLegal(board, move) ? move : NullMove;
}

std::string MoveToSan(const Board& board, Move move) {
    move &= MoveMask;
    if (move == NullMove) return NullMoveText;
    const int from = FromSquare(move);
    const int to = ToSquare(move);
    const PieceType type = TypeOf(board.mailbox[from]);
    const bool capture = CapturesForSan(board, move);

    // Count the legal moves of the same piece type that reach the same square
    // with the same promotion, and which of them share the from file or rank.
    bool legal = false;
    StatusFlags after = 0;
    int rivals = 0, sameFile = 0, sameRank = 0;
    ForEachLegalMove(board, [&](Move m) {
        if (SameMove(m, move)) {
            legal = true;
            after = FlagsAfterMove(board, m);
        }
        if (ToSquare(m) == to && TypeOf(board.mailbox[FromSquare(m)]) == type &&
            PromotionOf(m) == PromotionOf(move)) {
            ++rivals;
            sameFile += FileOf(FromSquare(m)) == FileOf(from);
            sameRank += RankOf(FromSquare(m)) == RankOf(from);
        }
        return false;
    });
    if (!legal) return std::string();

    // The from square is written only as far as it tells the rivals apart;
    // a pawn capture always names its file.
    std::string san;
    if (type == King && std::abs(FileOf(to) - FileOf(from)) == 2) {
        san = to > from ? "O-O" : "O-O-O";
    } else {
        if (type != Pawn) san += UpperPieceLetter[type];
        if (rivals > 1 || (type == Pawn && capture)) {
            const char file = char('a' + FileOf(from));
            const char rank = char('1' + RankOf(from));
            if (sameFile < 2) {
                san += file;
            } else if (sameRank < 2) {
                san += rank;
            } else {
                san += file;
                san += rank;
            }
        }
        if (capture) san += 'x';
        san += char('a' + FileOf(to));
        san += char('1' + RankOf(to));
        if (PromotionOf(move) != NoPiece) {
            san += '=';
            san += UpperPieceLetter[PromotionOf(move)];
        }
    }
    if (after & FlagCheckmate) {
        san += '#';
    } else if (after & FlagCheck) {
        san += '+';
    }
    return san;
}

Move SanToMove(const Board& board, const std::string& text) {
    if (text.empty() || text == NullMoveText) return NullMove;
    const size_t n = text.size();
    // Reads past the end give NUL, which matches no test below.
    auto at = [&](size_t i) { return i < n ? text[i] : '\0'; };

    PieceType type = Pawn;
    size_t p = 0;
    bool hasFile = false, hasRank = false, capture = false;
    int fromFile = 0, fromRank = 0, to = 0;
    PieceType promotion = NoPiece;

    const bool castling = !IsPieceLetter(text[0]) && text.find("O-O") != std::string::npos;
    if (castling) {
        const int king = KingHome[board.sideToMove];
        type = King;
        hasFile = hasRank = true;
        fromFile = FileOf(king);
        fromRank = RankOf(king);
        to = text.find("O-O-O") != std::string::npos ? king - 2 : king + 2;
    } else {
        if (IsPieceLetter(text[0])) {
            type = PieceOfLetter(text[0]);
            p = 1;
        }
        // Optional from file, from rank or both, recognised by what follows.
        const char a = at(p), b = at(p + 1), c = at(p + 2);
        if (IsDigit(a) && (IsFile(b) || b == 'x')) {
            hasRank = true;
            fromRank = a - '1';
            p += 1;
        } else if (IsFile(a) && (IsFile(b) || b == 'x')) {
            hasFile = true;
            fromFile = a - 'a';
            p += 1;
        } else if (IsFile(a) && IsDigit(b) && (IsFile(c) || c == 'x')) {
            hasFile = hasRank = true;
            fromFile = a - 'a';
            fromRank = b - '1';
            p += 2;
        }
        if (at(p) == 'x') {
            capture = true;
            ++p;
        }
        if (n < p + 2 || !IsFile(at(p)) || !IsRankDigit(at(p + 1))) return NullMove;
        to = (at(p + 1) - '1') * 8 + (at(p) - 'a');
        p += 2;
        char letter = 0;
        if (at(p) == '=' && IsLetter(at(p + 1))) {
            letter = at(p + 1);
        } else if (at(p) != '\0' && std::strchr("NBRQ", at(p)) != nullptr) {
            letter = at(p);
        }
        if (letter != 0) {
            promotion = PieceOfLetter(letter);
            if (promotion < Knight || promotion > Queen) return NullMove;
        }
        // Whatever follows ('+', '#', annotations) does not change the move.
    }

    // The first legal move in generation order that fits every written part.
    Move found = NullMove;
    ForEachLegalMove(board, [&](Move m) {
        const int from = FromSquare(m);
        if (ToSquare(m) != to || PromotionOf(m) != promotion) return false;
        if (TypeOf(board.mailbox[from]) != type) return false;
        if (CapturesForSan(board, m) != capture) return false;
        if (hasFile && FileOf(from) != fromFile) return false;
        if (hasRank && RankOf(from) != fromRank) return false;
        found = m & MoveMask;
        return true;
    });
    return found;
}

}  // namespace NEngine
