#!/usr/bin/env python3
"""Plays games between two UCI engine processes under a real clock.

Every move an engine sends is checked against this script's own move
generator before it is played, every game is ended by the rules (mate,
stalemate, repetition, fifty moves, bare material) or by a ply limit, and a
clock that runs out loses the game. Standard library only.

    python3 tools/match.py --engine build/tarnock --games 4 --time 10 --inc 0.1
    python3 tools/match.py --games 2 --time 5 --moves 20   # 20 moves in 5 s, repeating
"""

import argparse
import subprocess
import sys
import time

FILES = "abcdefgh"
KNIGHT_STEPS = [(1, 2), (2, 1), (2, -1), (1, -2), (-1, -2), (-2, -1), (-2, 1), (-1, 2)]
KING_STEPS = [(1, 0), (1, 1), (0, 1), (-1, 1), (-1, 0), (-1, -1), (0, -1), (1, -1)]
ROOK_DIRS = [(1, 0), (-1, 0), (0, 1), (0, -1)]
BISHOP_DIRS = [(1, 1), (1, -1), (-1, 1), (-1, -1)]
START_FEN = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"

# Short openings so that the games differ; each is played with both colours.
OPENINGS = ["e2e4 e7e5", "d2d4 d7d5", "c2c4 e7e5", "e2e4 c7c5", "g1f3 d7d5", "d2d4 g8f6", "e2e4 e7e6", "b1c3 c7c5"]


def square_name(sq):
    return FILES[sq % 8] + str(sq // 8 + 1)


def square_of(name):
    return (int(name[1]) - 1) * 8 + FILES.index(name[0])


class Position:
    """A chess position with just enough rules to judge the engines' moves."""

    def __init__(self, fen=START_FEN):
        placement, side, castling, ep, half, full = fen.split()
        self.board = ["."] * 64
        for rank_index, row in enumerate(placement.split("/")):
            file = 0
            for ch in row:
                if ch.isdigit():
                    file += int(ch)
                else:
                    self.board[(7 - rank_index) * 8 + file] = ch
                    file += 1
        self.white = side == "w"
        self.castling = "" if castling == "-" else castling
        self.ep = None if ep == "-" else square_of(ep)
        self.halfmove = int(half)
        self.fullmove = int(full)

    def copy(self):
        other = Position.__new__(Position)
        other.board = self.board[:]
        other.white, other.castling, other.ep = self.white, self.castling, self.ep
        other.halfmove, other.fullmove = self.halfmove, self.fullmove
        return other

    @staticmethod
    def own(piece, white):
        return piece != "." and piece.isupper() == white

    def attacked(self, sq, by_white):
        """Whether the side by_white attacks square sq."""
        f, r = sq % 8, sq // 8
        pawn, knight, king = ("P", "N", "K") if by_white else ("p", "n", "k")
        bishops, rooks = ("BQ", "RQ") if by_white else ("bq", "rq")
        pr = r - 1 if by_white else r + 1
        for df in (-1, 1):
            if 0 <= f + df < 8 and 0 <= pr < 8 and self.board[pr * 8 + f + df] == pawn:
                return True
        for steps, piece in ((KNIGHT_STEPS, knight), (KING_STEPS, king)):
            for df, dr in steps:
                if 0 <= f + df < 8 and 0 <= r + dr < 8 and self.board[(r + dr) * 8 + f + df] == piece:
                    return True
        for dirs, pieces in ((BISHOP_DIRS, bishops), (ROOK_DIRS, rooks)):
            for df, dr in dirs:
                nf, nr = f + df, r + dr
                while 0 <= nf < 8 and 0 <= nr < 8:
                    p = self.board[nr * 8 + nf]
                    if p != ".":
                        if p in pieces:
                            return True
                        break
                    nf, nr = nf + df, nr + dr
        return False

    def king_square(self, white):
        return self.board.index("K" if white else "k")

    def in_check(self):
        return self.attacked(self.king_square(self.white), not self.white)

    def pseudo_moves(self):
        moves = []
        white = self.white
        for sq, piece in enumerate(self.board):
            if not self.own(piece, white):
                continue
            f, r = sq % 8, sq // 8
            kind = piece.upper()
            if kind == "P":
                step = 1 if white else -1
                last = 7 if white else 0
                promos = "qrbn"
                one = sq + 8 * step
                if 0 <= one < 64 and self.board[one] == ".":
                    for p in (promos if one // 8 == last else [""]):
                        moves.append((sq, one, p))
                    two = one + 8 * step
                    if r == (1 if white else 6) and self.board[two] == ".":
                        moves.append((sq, two, ""))
                for df in (-1, 1):
                    if 0 <= f + df < 8 and 0 <= r + step < 8:
                        to = (r + step) * 8 + f + df
                        target = self.board[to]
                        if (target != "." and not self.own(target, white)) or to == self.ep:
                            for p in (promos if to // 8 == last else [""]):
                                moves.append((sq, to, p))
            elif kind in "NK":
                for df, dr in (KNIGHT_STEPS if kind == "N" else KING_STEPS):
                    if 0 <= f + df < 8 and 0 <= r + dr < 8:
                        to = (r + dr) * 8 + f + df
                        if not self.own(self.board[to], white):
                            moves.append((sq, to, ""))
            else:
                dirs = {"B": BISHOP_DIRS, "R": ROOK_DIRS, "Q": BISHOP_DIRS + ROOK_DIRS}[kind]
                for df, dr in dirs:
                    nf, nr = f + df, r + dr
                    while 0 <= nf < 8 and 0 <= nr < 8:
                        to = nr * 8 + nf
                        if self.own(self.board[to], white):
                            break
                        moves.append((sq, to, ""))
                        if self.board[to] != ".":
                            break
                        nf, nr = nf + df, nr + dr
        # Castling: rights, empty path, king not passing through check.
        home = 4 if white else 60
        if self.board[home] == ("K" if white else "k") and not self.attacked(home, not white):
            for right, rook_sq, path, passes in (("K", 7, [5, 6], [5, 6]), ("Q", 0, [1, 2, 3], [3, 2])):
                right = right if white else right.lower()
                base = 0 if white else 56
                if right in self.castling and self.board[base + rook_sq] == ("R" if white else "r"):
                    if all(self.board[base + s] == "." for s in path) and not any(
                        self.attacked(base + s, not white) for s in passes
                    ):
                        moves.append((home, base + passes[-1], ""))
        return moves

    def play(self, move):
        """The position after a pseudo-legal move."""
        frm, to, promo = move
        nxt = self.copy()
        piece = nxt.board[frm]
        capture = nxt.board[to] != "."
        nxt.board[frm] = "."
        if piece in "Pp" and to == self.ep:
            nxt.board[to + (-8 if self.white else 8)] = "."
            capture = True
        if piece in "Kk" and abs(to - frm) == 2:
            rook_from, rook_to = (frm + 3, frm + 1) if to > frm else (frm - 4, frm - 1)
            nxt.board[rook_to] = nxt.board[rook_from]
            nxt.board[rook_from] = "."
        nxt.board[to] = (promo.upper() if self.white else promo) if promo else piece
        nxt.ep = (frm + to) // 2 if piece in "Pp" and abs(to - frm) == 16 else None
        for sq, rights in ((4, "KQ"), (60, "kq"), (0, "Q"), (7, "K"), (56, "q"), (63, "k")):
            if frm == sq or to == sq:
                nxt.castling = "".join(c for c in nxt.castling if c not in rights)
        nxt.halfmove = 0 if capture or piece in "Pp" else self.halfmove + 1
        if not self.white:
            nxt.fullmove += 1
        nxt.white = not self.white
        return nxt

    def legal_moves(self):
        result = []
        for move in self.pseudo_moves():
            after = self.play(move)
            if not after.attacked(after.king_square(self.white), after.white):
                result.append(move)
        return result

    def key(self):
        return ("".join(self.board), self.white, self.castling, self.ep)

    def bare_material(self):
        rest = sorted(p for p in self.board if p not in ".Kk")
        return rest in ([], ["N"], ["B"], ["n"], ["b"])


def move_text(move):
    return square_name(move[0]) + square_name(move[1]) + move[2]


class Game:
    """A game from a start position: where it stands, the moves played in
    coordinate text, and how often each position has occurred."""

    def __init__(self, fen=START_FEN):
        self.position = Position(fen)
        self.moves = []
        self.seen = {self.position.key(): 1}

    def play(self, text):
        """Plays the move given in coordinate text; False when it is not legal."""
        move = next((m for m in self.position.legal_moves() if move_text(m) == text), None)
        if move is None:
            return False
        self.position = self.position.play(move)
        self.moves.append(text)
        self.seen[self.position.key()] = self.seen.get(self.position.key(), 0) + 1
        return True

    def end(self):
        """What ends the game by the rules of moves: "checkmate", "stalemate",
        "fifty moves", "repetition"; None while it goes on."""
        if not self.position.legal_moves():
            return "checkmate" if self.position.in_check() else "stalemate"
        if self.position.halfmove >= 100:
            return "fifty moves"
        if self.seen[self.position.key()] >= 3:
            return "repetition"
        return None


def best_move(lines):
    """The move of a search's last line, "bestmove MOVE ..."; empty when none."""
    words = lines[-1].split()
    return words[1] if len(words) > 1 else ""


class Engine:
    def __init__(self, path, name, hash_mb, threads):
        self.name = name
        self.proc = subprocess.Popen(
            [path], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, bufsize=1
        )
        self.send("uci")
        self.wait_for("uciok")
        self.send("setoption name Hash value %d" % hash_mb)
        self.send("setoption name Threads value %d" % threads)
        self.sync()

    def send(self, line):
        self.proc.stdin.write(line + "\n")
        self.proc.stdin.flush()

    def read_line(self):
        line = self.proc.stdout.readline()
        if not line:
            raise RuntimeError("%s closed its output" % self.name)
        return line.rstrip("\n")

    def wait_for(self, prefix):
        # Blocks until the line comes or the output closes; a slow answer
        # is judged afterwards by the caller's clock.
        lines = []
        while True:
            line = self.read_line()
            lines.append(line)
            if line.startswith(prefix):
                return lines

    def sync(self):
        self.send("isready")
        self.wait_for("readyok")

    def new_game(self):
        self.send("ucinewgame")
        self.sync()

    def close(self):
        try:
            self.send("quit")
            self.proc.wait(timeout=10)
        except Exception:
            self.proc.kill()
        return self.proc.returncode


def play_game(white, black, opening, args, stats):
    game = Game()
    for text in opening.split():
        game.play(text)
    clocks = {True: args.time * 1000.0, False: args.time * 1000.0}
    inc = args.inc * 1000.0
    for engine in (white, black):
        engine.new_game()
    while True:
        position, moves = game.position, game.moves
        reason = game.end()
        if reason == "checkmate":
            return ("0-1" if position.white else "1-0"), reason, moves
        if reason:
            return "1/2-1/2", reason, moves
        if position.bare_material():
            return "1/2-1/2", "insufficient material", moves
        if len(moves) >= args.max_plies:
            return "1/2-1/2", "ply limit", moves

        engine = white if position.white else black
        engine.send("position startpos moves " + " ".join(moves) if moves else "position startpos")
        go = "go wtime %d btime %d" % (clocks[True], clocks[False])
        if inc > 0:
            go += " winc %d binc %d" % (inc, inc)
        own_moves = len(moves) // 2
        if args.moves:
            go += " movestogo %d" % (args.moves - own_moves % args.moves)
        start = time.monotonic()
        engine.send(go)
        lines = engine.wait_for("bestmove")
        spent = (time.monotonic() - start) * 1000.0
        stats["moves"] += 1
        stats["max_share"] = max(stats["max_share"], spent / clocks[position.white])
        stats["max_ms"] = max(stats["max_ms"], spent)
        stats["info"] += sum(1 for l in lines if l.startswith("info "))
        clocks[position.white] -= spent
        if args.verbose:
            print("  %s: %s -> %s, %.0f ms spent, %.0f ms left"
                  % (engine.name, go, lines[-1], spent, clocks[position.white]))
        stats["min_clock"] = min(stats["min_clock"], clocks[position.white])
        if clocks[position.white] < 0:
            return ("0-1" if position.white else "1-0"), "%s lost on time" % engine.name, moves
        clocks[position.white] += inc
        if args.moves and (own_moves + 1) % args.moves == 0:
            clocks[position.white] += args.time * 1000.0  # the next session's time

        text = best_move(lines)
        if not game.play(text):
            return ("0-1" if position.white else "1-0"), "%s played illegal %r" % (engine.name, text), moves


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--engine", default="build/tarnock", help="first engine binary")
    parser.add_argument("--engine2", help="second engine binary (default: the first)")
    parser.add_argument("--games", type=int, default=4)
    parser.add_argument("--time", type=float, default=10.0, help="seconds per side")
    parser.add_argument("--inc", type=float, default=0.0, help="increment per move, seconds")
    parser.add_argument("--moves", type=int, default=0, help="moves per session (0: the whole game)")
    parser.add_argument("--hash", type=int, default=16)
    parser.add_argument("--threads", type=int, default=1)
    parser.add_argument("--verbose", action="store_true", help="print every move with its clock")
    parser.add_argument("--max-plies", type=int, default=300)
    args = parser.parse_args()

    first = Engine(args.engine, "engine A", args.hash, args.threads)
    second = Engine(args.engine2 or args.engine, "engine B", args.hash, args.threads)
    stats = {"moves": 0, "max_share": 0.0, "max_ms": 0.0, "min_clock": float("inf"), "info": 0}
    score = {first.name: 0.0, second.name: 0.0}
    faults = 0
    for game in range(args.games):
        opening = OPENINGS[(game // 2) % len(OPENINGS)]
        white, black = (first, second) if game % 2 == 0 else (second, first)
        result, reason, moves = play_game(white, black, opening, args, stats)
        if "illegal" in reason or "on time" in reason:
            faults += 1
        if result == "1-0":
            score[white.name] += 1
        elif result == "0-1":
            score[black.name] += 1
        else:
            score[white.name] += 0.5
            score[black.name] += 0.5
        print("game %d: %s (white) - %s (black) %s, %s, %d plies [%s]"
              % (game + 1, white.name, black.name, result, reason, len(moves), opening), flush=True)
    codes = (first.close(), second.close())
    print("score: %s %.1f - %.1f %s" % (first.name, score[first.name], score[second.name], second.name))
    print("moves searched: %d, info lines: %d, longest move: %.0f ms, largest share of the clock: %.1f%%, "
          "lowest clock left: %.0f ms" % (stats["moves"], stats["info"], stats["max_ms"],
                                           100 * stats["max_share"], stats["min_clock"]))
    print("exit codes: %s, illegal moves or time losses: %d" % (codes, faults))
    return 1 if faults or any(codes) else 0


if __name__ == "__main__":
    sys.exit(main())
