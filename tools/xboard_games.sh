#!/usr/bin/env bash
# Plays games between Tarnock and another xboard engine (or itself) under a
# real xboard front end running headless, then checks how every game ended
# and that the saved games read back.
#
#   tools/xboard_games.sh [--engine PROGRAM] [--opponent PROGRAM|self] [--games N] [--tc MIN:SEC]
#                         [--inc SEC] [--mps MOVES] [--fen FEN] [--out DIR]
#                         [-- XBOARD-OPTIONS...]
#
# Defaults: opponent /usr/games/fairymax, 4 games, 0:20 per
# game, no increment, sudden death (an increment makes xboard ignore --mps). Needs xboard and xvfb-run (Debian
# packages xboard and xvfb). Exit status 1 when a game ended abnormally
# (false claim, illegal move, time loss, lost connection, unfinished) or a
# saved game does not read back.
set -euo pipefail
cd "$(dirname "$0")/.."

engine=$(pwd)/build/tarnock
opponent=/usr/games/fairymax
games=4
tc=0:20
inc=
mps=0
fen=
out=
while [ $# -gt 0 ]; do
    case $1 in
        --engine) engine=$(realpath "$2"); shift 2 ;;
        --opponent) opponent=$2; shift 2 ;;
        --games) games=$2; shift 2 ;;
        --tc) tc=$2; shift 2 ;;
        --inc) inc=$2; shift 2 ;;
        --mps) mps=$2; shift 2 ;;
        --fen) fen=$2; shift 2 ;;
        --out) out=$2; shift 2 ;;
        --) shift; break ;;
        *) echo "unknown option $1" >&2; exit 2 ;;
    esac
done

[ -x "$engine" ] || { echo "build the engine first (cmake --build build)" >&2; exit 2; }
[ "$opponent" = self ] && opponent=$engine
xboard=$(command -v xboard || echo /usr/games/xboard)

out=${out:-$(mktemp -d /tmp/tarnock-xboard.XXXXXX)}
mkdir -p "$out"
out=$(cd "$out" && pwd)
rm -f "$out/games.pgn" "$out/xboard.debug"

# The opponent takes the first seat (Fairy-Max does not survive the second
# one under this xboard), the colours alternate from game to game. Each
# engine runs in a directory of its own (some write files there); no
# pondering, the machine is shared.
mkdir -p "$out/first" "$out/second"
args=(-fcp "$opponent" -fd "$out/first" -scp "$engine" -sd "$out/second"
      -mg "$games" -tc "$tc" -noGUI -xexit -xponder
      -saveGameFile "$out/games.pgn" -debug -nameOfDebugFile "$out/xboard.debug")
[ -n "$inc" ] && args+=(-inc "$inc")
[ "$mps" != 0 ] && args+=(-mps "$mps")
args+=("$@")  # after "--": passed to xboard as they are
if [ -n "$fen" ]; then
    echo "$fen" > "$out/start.fen"
    args+=(-lpf "$out/start.fen")
fi

echo "xboard: $games games, tc $tc, increment ${inc:-0} s, moves per session $mps; Tarnock against $opponent; files in $out"
# xboard keeps running when an engine crashes at the start of a game: a
# generous bound per game ends such a run (its games then count as faults).
IFS=: read -r minutes seconds <<< "$tc"
limit=$(( games * (6 * (10#$minutes * 60 + 10#${seconds:-0}) + 300) ))
timeout "$limit" xvfb-run -a "$xboard" "${args[@]}" > "$out/xboard.log" 2>&1 || true

# How each game ended, and whether the saved games read back.
python3 - "$out" "$games" "$engine" <<'EOF'
import re, subprocess, sys
out, games, engine = sys.argv[1], int(sys.argv[2]), sys.argv[3]
text = open(out + "/games.pgn", errors="replace").read()
records = [g for g in re.split(r"\n(?=\[Event )", text) if g.strip()]
bad = [r"[Ff]alse", r"[Ii]llegal", r"loses on time", r"[Tt]ime forfeit", r"crash", r"connection",
       r"[Ee]rror", r"exited", r"resign"]
failures = 0
score = {"Tarnock": 0.0}
for i, game in enumerate(records, 1):
    white = re.search(r'\[White "([^"]*)"\]', game).group(1)
    black = re.search(r'\[Black "([^"]*)"\]', game).group(1)
    result = re.search(r'\[Result "([^"]*)"\]', game).group(1)
    ending = re.findall(r"\{([^{}]*)\}\s*(?:1-0|0-1|1/2-1/2|\*)\s*$", game.strip())
    reason = ending[-1] if ending else "?"
    plies = len(re.findall(r"\b(?:[KQRBN]?[a-h]?[1-8]?x?[a-h][1-8](?:=[QRBN])?|O-O(?:-O)?)[+#]?", re.sub(r"\{[^}]*\}", "", game.split("\n\n", 1)[-1])))
    flag = any(re.search(p, reason) for p in bad) or result == "*"
    failures += flag
    print(f"game {i}: {white} - {black} {result} {{{reason}}} ({plies} plies){'  <-- FAULT' if flag else ''}")
    if result == "1/2-1/2":
        score["Tarnock"] += 0.5
    elif (result == "1-0") == ("tarnock" in white.lower()):
        score["Tarnock"] += 1
if len(records) != games:
    print(f"{len(records)} of {games} games were saved")
    failures += 1
print(f"Tarnock scored {score['Tarnock']} of {len(records)}")

# Every saved game must read back: load it into the engine and save it again.
for i, game in enumerate(records, 1):
    path = f"{out}/game{i}.pgn"
    open(path, "w").write(game.rstrip() + "\n")
    again = f"{out}/game{i}.again.pgn"
    subprocess.run([engine], input=f"loadboard {path}\nsaveboard {again}\nquit\n", text=True,
                   capture_output=True, timeout=60)
    try:
        written = open(again).read()
    except OSError:
        written = ""
    moves = lambda t: re.sub(r"\d+\.(\s*\.\.\.)?", " ", re.sub(r"\{[^}]*\}|\[[^\]]*\]|1-0|0-1|1/2-1/2|\*", " ", t)).split()
    original = moves(game.split("\n\n", 1)[-1])
    if moves(written) != original:
        print(f"game {i} does not read back: {len(moves(written))} of {len(original)} moves")
        failures += 1
print("all games ended normally and read back" if failures == 0 else f"{failures} fault(s)")
sys.exit(1 if failures else 0)
EOF
