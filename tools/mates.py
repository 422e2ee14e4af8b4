#!/usr/bin/env python3
"""Plays the basic mates against a defending engine: queen, rook, two bishops,
and bishop and knight against the bare king, from random starting positions.

The attacking engine must mate before the fifty-move rule (or a repetition,
a stalemate or a lost piece) draws the game. Both engines search a fixed
time per move; every move is checked with tools/match.py's move generator.
Standard library only.

    python3 tools/mates.py --engine build/tarnock --defender /usr/games/stockfish
    python3 tools/mates.py --material KBN --games 10 --movetime 500 --seed 7
    python3 tools/mates.py --fen "8/8/8/k7/8/8/5B2/4N1K1 w - - 0 1" --verbose
"""

import argparse
import os
import random
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from match import Engine, Game, Position, best_move  # noqa: E402

MATERIALS = ["KQ", "KR", "KBB", "KBN"]


def king_distance(a, b):
    return max(abs(a % 8 - b % 8), abs(a // 8 - b // 8))


def light(sq):
    return (sq % 8 + sq // 8) % 2 == 1


def fen_of(board, white_to_move):
    rows = []
    for rank in range(7, -1, -1):
        row, empty = "", 0
        for file in range(8):
            piece = board[rank * 8 + file]
            if piece == ".":
                empty += 1
                continue
            if empty:
                row += str(empty)
            row, empty = row + piece, 0
        rows.append(row + (str(empty) if empty else ""))
    return "/".join(rows) + (" w" if white_to_move else " b") + " - - 0 1"


def random_start(material, attacker_white, rng):
    """A legal position, the attacker to move, the defender neither in check
    nor able to take a piece, the attacker not stalemated."""
    while True:
        squares = rng.sample(range(64), len(material) + 1)
        # Placed as White's men first; the bare king is Black's.
        attacker = {sq: p for p, sq in zip(material, squares)}
        bare = squares[-1]
        if material == "KBB":
            bishops = [sq for sq, p in attacker.items() if p == "B"]
            if light(bishops[0]) == light(bishops[1]):
                continue
        king = next(sq for sq, p in attacker.items() if p == "K")
        if king_distance(king, bare) < 2:
            continue
        pieces = [sq for sq, p in attacker.items() if p != "K"]
        if any(king_distance(bare, sq) == 1 and king_distance(king, sq) > 1 for sq in pieces):
            continue  # a piece the bare king could take
        board = ["."] * 64
        for sq, p in attacker.items():
            board[sq] = p
        board[bare] = "k"
        position = Position(fen_of(board, True))
        if position.attacked(bare, True) or not position.legal_moves():
            continue
        if attacker_white:
            return fen_of(board, True)
        # The same start with the colours exchanged and the board turned.
        mirrored = ["."] * 64
        for sq, p in enumerate(board):
            if p != ".":
                mirrored[sq ^ 56] = p.lower() if p.isupper() else p.upper()
        return fen_of(mirrored, False)


def play(attacker, defender, fen, men, args):
    game = Game(fen)
    attacker_white = game.position.white
    for engine in (attacker, defender):
        engine.new_game()
    while True:
        position, moves = game.position, game.moves
        reason = game.end()
        if reason == "checkmate":
            return (True, "mate", moves) if position.white != attacker_white else (False, "attacker mated", moves)
        if reason:
            return False, reason, moves
        if sum(1 for p in position.board if p != ".") < men:
            return False, "piece lost", moves
        engine = attacker if position.white == attacker_white else defender
        engine.send("position fen %s%s" % (fen, " moves " + " ".join(moves) if moves else ""))
        engine.send("go nodes %d" % args.nodes if args.nodes else "go movetime %d" % args.movetime)
        text = best_move(engine.wait_for("bestmove"))
        if not game.play(text):
            return False, "%s played illegal %r" % (engine.name, text), moves


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--engine", default="build/tarnock", help="the attacking engine")
    parser.add_argument("--defender", default="/usr/games/stockfish", help="the defending engine")
    parser.add_argument("--material", choices=MATERIALS, action="append", help="only this material (repeatable)")
    parser.add_argument("--games", type=int, default=4, help="games per material")
    parser.add_argument("--movetime", type=int, default=300, help="milliseconds per move, both engines")
    parser.add_argument("--nodes", type=int, default=0,
                        help="nodes per move instead of the time, both engines (repeatable games on a busy machine)")
    parser.add_argument("--hash", type=int, default=16)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--fen", action="append", help="play this start instead (repeatable)")
    parser.add_argument("--verbose", action="store_true", help="print every game's moves")
    args = parser.parse_args()

    rng = random.Random(args.seed)
    attacker = Engine(args.engine, "attacker", args.hash, 1)
    defender = Engine(args.defender, "defender", args.hash, 1)
    failures = 0
    for fen in args.fen or []:
        men = sum(1 for ch in fen.split()[0] if ch.isalpha())
        mated, reason, moves = play(attacker, defender, fen, men, args)
        print("%s in %d moves from %s" % (reason, (len(moves) + 1) // 2, fen), flush=True)
        if args.verbose:
            print("  " + " ".join(moves))
        failures += 0 if mated else 1
    for material in [] if args.fen else args.material or MATERIALS:
        lengths = []
        for game in range(args.games):
            fen = random_start(material, game % 2 == 0, rng)
            mated, reason, moves = play(attacker, defender, fen, len(material) + 1, args)
            attacker_moves = (len(moves) + 1) // 2
            print("%s game %d: %s in %d moves from %s" % (material, game + 1, reason, attacker_moves, fen), flush=True)
            if args.verbose:
                print("  " + " ".join(moves))
            if mated:
                lengths.append(attacker_moves)
            else:
                failures += 1
        if lengths:
            print("%s: mated %d of %d, moves to mate average %.1f, longest %d"
                  % (material, len(lengths), args.games, sum(lengths) / len(lengths), max(lengths)), flush=True)
        else:
            print("%s: mated 0 of %d" % (material, args.games), flush=True)
    codes = (attacker.close(), defender.close())
    print("failures: %d, exit codes: %s" % (failures, codes))
    return 1 if failures or any(codes) else 0


if __name__ == "__main__":
    sys.exit(main())
