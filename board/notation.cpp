// Moves as text: the coordinate form of both protocols and standard
// algebraic notation (SAN) for game records and GUIs.
#include "board/notation.h"

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

}  // namespace

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
    const PieceCode piece = board.mailbox[from];
    if (piece == 0 || ColourOf(piece) != board.sideToMove) return NullMove;
    const Move move = MakeMoveCode(from, to, promotion);
    return IsPseudoLegal(board, move) ? move : NullMove;
}

}  // namespace NEngine
