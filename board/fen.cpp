// FEN reading and writing. Reading is tolerant of spacing and missing
// trailing fields, and refuses anything that would leave the Board
// inconsistent or let later code index outside its tables.
#include <cctype>
#include <cstring>
#include <regex>
#include <string>

#include "board/board.h"

namespace NEngine {

const std::string StartFen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

namespace {

// Placement, blanks, rest of the text.
const std::regex& PositionPattern() {
    static const std::regex pattern(R"(([a-h1-8pnbrqkPNBRQK/]*)([ \t]+)([bwKQkqa-h0-9 \t\-]*))",
                                    std::regex::ECMAScript);
    return pattern;
}

// Side, castling, en passant, halfmove clock, full-move number (odd groups).
const std::regex& RestPattern() {
    static const std::regex pattern(
        R"(([bw]+)([ \t]+)?([\-KQkq]+)?([ \t]+)?([\-a-h\d]+)?([ \t]*)?([\d]*)?([ \t]*)?([\d]*)?)",
        std::regex::ECMAScript);
    return pattern;
}

// Both patterns are compiled during static initialisation, before main.
[[maybe_unused]] const bool PatternsReady = (PositionPattern(), RestPattern(), true);

// Far longer than any real FEN; bounds the regular-expression matcher's
// recursion, which grows with the length of the text it consumes.
constexpr size_t MaxFenLength = 512;

// Decimal digits to a value; false when it does not fit 32 bits.
bool ReadNumber(const std::string& digits, uint32_t& value) {
    uint64_t v = 0;
    for (const char ch : digits) {
        v = v * 10 + uint64_t(ch - '0');
        if (v > 0xFFFFFFFFull) return false;
    }
    value = uint32_t(v);
    return true;
}

int PieceTypeOfLetter(char upper) {
    const char* const letters = "PNBRQK";
    const char* const found = std::strchr(letters, upper);
    return upper && found ? int(found - letters) + 1 : 0;
}

// Material a game can reach: at most 16 men and 8 pawns a side, and no more
// extra pieces than missing pawns. This also bounds move lists and sums.
bool PlausibleMaterial(const ColourBlock& side) {
    int men = 0;
    for (int t = Pawn; t <= King; ++t) men += side.count[t];
    const int pawns = side.count[Pawn];
    auto extra = [&](PieceType t, int usual) { return side.count[t] > usual ? side.count[t] - usual : 0; };
    const int promoted = extra(Knight, 2) + extra(Bishop, 2) + extra(Rook, 2) + extra(Queen, 1);
    return men <= 16 && pawns <= 8 && promoted <= 8 - pawns;
}

}  // namespace

bool SetFromFen(const std::string& text, Board& board) {
    if (!board.history) return false;
    std::string fen = text.empty() ? StartFen : text;
    ResetBoard(board);

    const char* const blanks = " \t\r\n\v\f";
    const size_t first = fen.find_first_not_of(blanks);
    if (first == std::string::npos) return false;
    fen = fen.substr(first, fen.find_last_not_of(blanks) - first + 1);
    if (fen.size() > MaxFenLength) fen.resize(MaxFenLength);

    std::smatch position;
    if (!std::regex_search(fen, position, PositionPattern())) return false;
    const std::string placement = position[1].str();
    const std::string rest = position[3].str();

    // Eight rank texts, rank 8 first.
    size_t start = 0;
    for (int rank = 7; rank >= 0; --rank) {
        if (start > placement.size()) return false;
        size_t end = placement.find('/', start);
        if (end == std::string::npos) end = placement.size();
        int file = 0;
        for (size_t i = start; i < end && file <= 7; ++i) {
            const char ch = placement[i];
            if (ch >= '0' && ch <= '9') {
                file += ch - '0';
            } else if (std::isalpha(static_cast<unsigned char>(ch))) {
                const int type = PieceTypeOfLetter(char(std::toupper(static_cast<unsigned char>(ch))));
                if (!type) return false;
                const Colour c = std::isupper(static_cast<unsigned char>(ch)) ? White : Black;
                // Refused before the sums can overflow: no side has more than 16 men.
                if (__builtin_popcountll(board.colour[c].all) >= 16) return false;
                AddPiece(board, c, PieceType(type), rank * 8 + file);
                file += 1;
            }
        }
        start = end + 1;
    }
    if (board.colour[Black].count[King] != 1 || board.colour[White].count[King] != 1) return false;
    if ((board.colour[Black].pieces[Pawn] | board.colour[White].pieces[Pawn]) & 0xFF000000000000FFull) return false;
    if (!PlausibleMaterial(board.colour[Black]) || !PlausibleMaterial(board.colour[White])) return false;

    std::smatch fields;
    if (!std::regex_search(rest, fields, RestPattern())) return false;
    const std::string side = fields[1].str();
    const std::string castling = fields[3].str();
    const std::string enPassant = fields[5].str();
    const std::string halfmove = fields[7].str();
    const std::string fullmove = fields[9].str();

    if (side[0] == 'w') {
        board.sideToMove = White;
    } else {
        board.sideToMove = Black;
        board.key ^= SideKey;
    }
    const Colour us = board.sideToMove;
    const Colour them = Opponent(us);

    for (const char ch : castling) {
        int bit;
        switch (ch) {
        case 'K': bit = 2; break;
        case 'Q': bit = 3; break;
        case 'k': bit = 0; break;
        case 'q': bit = 1; break;
        default: continue;
        }
        // A right whose king or rook is not at home is dropped silently.
        const Colour c = Colour(bit >> 1);
        if (board.kingSquare[c] != KingHome[c] || board.mailbox[RookHome[bit]] != MakeCode(c, Rook)) continue;
        if (board.castling & (1 << bit)) continue;
        board.castling |= CastlingRights(1 << bit);
        board.key ^= CastlingKey[bit];
        board.pawnKey ^= CastlingKey[bit];
    }

    if (enPassant.size() >= 2 && enPassant[0] != '-') {
        const int file = enPassant[0] - 'a';
        const int rank = enPassant[1] - '1';
        // The target lies on the sixth rank with White to move, the third with Black.
        if (file < 0 || file > 7 || rank != (us == White ? 5 : 2)) return false;
        const int sq = rank * 8 + file;
        const int pawn = us == White ? sq - 8 : sq + 8;
        if (board.mailbox[pawn] != MakeCode(them, Pawn) || board.mailbox[sq] != 0) return false;
        board.epSquare = int8_t(sq);
        board.key ^= PieceKeyOf(sq, them, 0);
    }

    if (!halfmove.empty()) {
        uint32_t clock;
        if (!ReadNumber(halfmove, clock)) return false;
        board.halfmoveClock = uint8_t(clock > 255 ? 255 : clock);
    }
    if (!fullmove.empty()) {
        uint32_t number;
        if (!ReadNumber(fullmove, number)) return false;
        // 0 reads like a missing number; anything the history cannot hold is refused.
        if (number > 0) {
            const int64_t ply = 2 * int64_t(number) - (us == White ? 2 : 1);
            if (ply >= HistorySize) return false;
            board.fullmoveNumber = number;
            board.ply = int32_t(ply);
            if (board.halfmoveClock > board.ply) board.halfmoveClock = uint8_t(board.ply);
        }
    }

    // The plies before the set-up have no real entries: clear them so the
    // repetition search finds nothing there and readers can tell where the
    // game starts (an entry with no move and no flags).
    std::memset(static_cast<void*>(board.history), 0, sizeof(HistoryEntry) * size_t(board.ply));
    return ComputeStatus(board);
}

std::string ToFen(const Board& board) {
    std::string fen;
    for (int rank = 7; rank >= 0; --rank) {
        int run = 0;
        for (int file = 0; file < 8; ++file) {
            const PieceCode code = board.mailbox[rank * 8 + file];
            if (!code) {
                run += 1;
                continue;
            }
            if (run) fen += char('0' + run);
            run = 0;
            const char letter = " PNBRQK "[TypeOf(code)];
            fen += ColourOf(code) == White ? letter : char(std::tolower(letter));
        }
        if (run) fen += char('0' + run);
        if (rank) fen += '/';
    }
    fen += board.sideToMove == White ? " w " : " b ";

    if (!board.castling) fen += '-';
    const int order[4] = {2, 3, 0, 1};  // K, Q, k, q
    for (const int bit : order) {
        if (!(board.castling & (1 << bit))) continue;
        const Colour c = Colour(bit >> 1);
        if (TypeOf(board.mailbox[KingHome[c]]) != King || TypeOf(board.mailbox[RookHome[bit]]) != Rook) return "";
        fen += "kqKQ"[bit];
    }

    fen += ' ';
    if (board.epSquare > 0) {
        const int sq = board.epSquare;
        const int pawn = board.sideToMove == White ? sq - 8 : sq + 8;
        if (sq > 63 || pawn < 0 || pawn > 63 || board.mailbox[pawn] != MakeCode(Opponent(board.sideToMove), Pawn))
            return "";
        fen += char('a' + FileOf(sq));
        fen += char('1' + RankOf(sq));
    } else {
        fen += '-';
    }
    fen += ' ' + std::to_string(board.halfmoveClock) + ' ' + std::to_string(board.fullmoveNumber);
    return fen;
}

}  // namespace NEngine
