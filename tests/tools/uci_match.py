#!/usr/bin/env python3
"""Plays games between two UCI engines under a clock, as a match manager does,
and checks the engines' conduct: every move legal, no time forfeit, no crash,
no hang, well-formed "info" lines. A third engine process (Debian's stockfish
by default) referees: it lists the legal moves ("go perft 1") and gives the
position ("d") for the rules of mate, stalemate, repetition and fifty moves.

Example (10 s + 0.1 s, Tesk with 4 threads against itself with 1, ponder on):

    tests/tools/uci_match.py --engine1 "build/tesk" --threads1 4 \\
        --engine2 "build/tesk" --threads2 1 --games 10 --base 10 --inc 0.1 --ponder

A heavy run for developers, not part of the test suite. Exit status 0 when
every game ended by the rules of chess (or adjudication), 1 otherwise.
"""
import argparse
import collections
import re
import select
import subprocess
import sys
import time

INFO_PV = re.compile(
    r"^info (multipv \d+ )?depth \d+ seldepth -?\d+ score (cp -?\d+|mate -?\d+) time \d+ nodes \d+ "
    r"nps \d+ tbhits \d+ hashfull \d+ pv( [a-h][1-8][a-h][1-8][qrbn]?)+$")
INFO_OTHER = re.compile(
    r"^info (string .*|depth \d+ time \d+ nodes \d+ nps \d+ hashfull \d+|"
    r"currmove [a-h][1-8][a-h][1-8] currmovenumber \d+)$")
START = "startpos"
START_FEN = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"


def position_command(moves, use_fen, opening_fen=None):
    """The whole game each time, as interfaces send it: "position startpos
    moves ..." or "position fen <start> moves ..."."""
    if opening_fen:
        head = f"position fen {opening_fen}"
    elif use_fen:
        head = f"position fen {START_FEN}"
    else:
        head = f"position {START}"
    return f"{head} moves {' '.join(moves)}" if moves else head


class EngineError(Exception):
    pass


class Engine:
    def __init__(self, command, name, log):
        self.name = name
        self.log = log
        self.proc = subprocess.Popen(command, shell=True, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL, bufsize=0)
        self.buf = b""
        self.bad_info = []
        self.is_tesk = False  # the "info" lines are checked against Tesk's format

    def send(self, line):
        if self.log:
            self.log.write(f"{time.monotonic():.3f} >{self.name} {line}\n")
        try:
            self.proc.stdin.write((line + "\n").encode())
            self.proc.stdin.flush()
        except BrokenPipeError:
            raise EngineError(f"{self.name}: crashed (input closed)")

    def readline(self, timeout):
        end = time.monotonic() + timeout
        while b"\n" not in self.buf:
            left = end - time.monotonic()
            if left <= 0:
                raise EngineError(f"{self.name}: no answer within {timeout:.1f} s (hang)")
            r, _, _ = select.select([self.proc.stdout], [], [], left)
            if r:
                chunk = self.proc.stdout.read1(65536) if hasattr(self.proc.stdout, "read1") else \
                    self.proc.stdout.read(1)
                if not chunk:
                    raise EngineError(f"{self.name}: crashed (exit status {self.proc.wait()})")
                self.buf += chunk
        line, self.buf = self.buf.split(b"\n", 1)
        text = line.decode(errors="replace").rstrip("\r")
        if self.log:
            self.log.write(f"{time.monotonic():.3f} <{self.name} {text}\n")
        if text.startswith("id name Tesk"):
            self.is_tesk = True
        if self.is_tesk and text.startswith("info") and not (INFO_PV.match(text) or INFO_OTHER.match(text)):
            self.bad_info.append(text)
        return text

    def wait_for(self, prefix, timeout):
        end = time.monotonic() + timeout
        while True:
            line = self.readline(max(0.0, end - time.monotonic()))
            if line.startswith(prefix):
                return line

    def quit(self):
        try:
            self.send("quit")
            self.proc.wait(timeout=5)
        except Exception:
            self.proc.kill()
        return self.proc.returncode


class Referee:
    def __init__(self, command):
        self.e = Engine(command, "referee", None)
        self.e.send("uci")
        self.e.wait_for("uciok", 10)

    def examine(self, moves, fen=None):
        self.e.send(position_command(moves, False, fen))
        self.e.send("go perft 1")
        legal = []
        while True:
            line = self.e.readline(10)
            if line.startswith("Nodes searched"):
                break
            m = re.match(r"^([a-h][1-8][a-h][1-8][qrbn]?): 1$", line)
            if m:
                legal.append(m.group(1))
        self.e.send("d")
        fen = checkers = None
        while checkers is None:
            line = self.e.readline(10)
            if line.startswith("Fen: "):
                fen = line[5:]
            elif line.startswith("Checkers:"):
                checkers = line[9:].strip()
        return legal, fen, checkers != ""


def insufficient(fen):
    board = fen.split()[0]
    pieces = [c for c in board if c.isalpha() and c not in "kK"]
    return len(pieces) == 0 or (len(pieces) == 1 and pieces[0] in "nNbB")


def play_game(engines, referee, args, white, pondering, lowest, rng, game_no):
    """pondering[i]: the reply engine i ponders on, None when it does not;
    lowest[i]: the least time engine i has had left on its clock after a move."""
    clocks = [args.base, args.base]
    moves = []
    keys = collections.Counter()
    for i, e in enumerate(engines):
        if args.hash_cycle:
            sizes = [int(x) for x in args.hash_cycle.split(",")]
            e.send(f"setoption name Hash value {sizes[(game_no + i) % len(sizes)]}")
        e.send("ucinewgame")
        e.send("isready")
        e.wait_for("readyok", 30)
    # A few random opening moves make the games differ.
    opening = []
    for _ in range(args.random_plies):
        legal, _, _ = referee.examine(opening)
        if not legal:
            break
        opening.append(rng.choice(sorted(legal)))
    moves = list(opening)
    while True:
        legal, fen, in_check = referee.examine(moves)
        side = len(moves) % 2  # 0 white to move
        if not legal:
            return ("0-1" if side == 0 else "1-0") if in_check else "1/2-1/2", "mate" if in_check else "stalemate"
        parts = fen.split()
        keys[" ".join(parts[:4])] += 1
        if keys[" ".join(parts[:4])] >= 3:
            return "1/2-1/2", "repetition"
        if int(parts[4]) >= 100:
            return "1/2-1/2", "fifty moves"
        if insufficient(fen):
            return "1/2-1/2", "insufficient material"
        if len(moves) >= args.max_plies:
            return "1/2-1/2", "adjudicated (length)"

        who = white if side == 0 else 1 - white  # index of the engine to move
        e = engines[who]
        wt, bt = (clocks[white], clocks[1 - white])
        limit = args.limit1 if who == 0 else args.limit2
        go_clock = limit or \
            f"wtime {int(wt * 1000)} btime {int(bt * 1000)} winc {int(args.inc * 1000)} binc {int(args.inc * 1000)}"
        if args.moves_per_period and not limit:
            go_clock += f" movestogo {args.moves_per_period - (len(moves) // 2) % args.moves_per_period}"
        use_fen = args.fen_form and (len(moves) % 4 >= 2)  # both forms within one game
        last = moves[-1] if moves else None
        if pondering[who] is not None and pondering[who] == last:
            t0 = time.monotonic()
            e.send("ponderhit")
        else:
            if pondering[who] is not None:
                e.send("stop")
                e.wait_for("bestmove", 10)  # the ponder search's answer is not played
            e.send(position_command(moves, use_fen))
            t0 = time.monotonic()
            e.send("go " + go_clock)
        pondering[who] = None
        line = e.wait_for("bestmove", (args.move_wait if limit else clocks[who]) + args.grace)
        used = time.monotonic() - t0
        if limit:
            used = 0.0  # fixed limits: no clock
        clocks[who] -= used
        lowest[who] = min(lowest[who], clocks[who])
        if clocks[who] < 0:
            return ("0-1" if side == 0 else "1-0"), f"{e.name} lost on time ({-clocks[who] * 1000:.0f} ms over)"
        clocks[who] += args.inc
        if args.moves_per_period and (len(moves) // 2 + 1) % args.moves_per_period == 0 and side == 1:
            clocks[0] += args.base  # a new period for both clocks after black's last move of it
            clocks[1] += args.base
        words = line.split()
        move = words[1] if len(words) > 1 else "(none)"
        if move not in legal:
            return ("0-1" if side == 0 else "1-0"), f"{e.name} played the illegal move {move}"
        moves.append(move)
        if args.ponder and len(words) >= 4 and words[2] == "ponder":
            expected = words[3]
            e.send(position_command(moves + [expected], use_fen))
            wt, bt = (clocks[white], clocks[1 - white])
            e.send(f"go ponder wtime {int(wt * 1000)} btime {int(bt * 1000)} winc {int(args.inc * 1000)} "
                   f"binc {int(args.inc * 1000)}")
            pondering[who] = expected


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--engine1", default="build/tesk")
    p.add_argument("--engine2", default="build/tesk")
    p.add_argument("--threads1", type=int, default=1)
    p.add_argument("--threads2", type=int, default=1)
    p.add_argument("--hash", type=int, default=32)
    p.add_argument("--games", type=int, default=2)
    p.add_argument("--base", type=float, default=10.0, help="seconds on each clock")
    p.add_argument("--inc", type=float, default=0.1, help="increment per move in seconds")
    p.add_argument("--ponder", action="store_true")
    p.add_argument("--max-plies", type=int, default=400)
    p.add_argument("--grace", type=float, default=5.0, help="seconds past the clock before a hang is declared")
    p.add_argument("--referee", default="/usr/games/stockfish")
    p.add_argument("--log", help="file for the whole conversation")
    p.add_argument("--opt1", action="append", default=[], help="option Name=Value for engine 1 (repeatable)")
    p.add_argument("--opt2", action="append", default=[], help="option Name=Value for engine 2 (repeatable)")
    p.add_argument("--limit1", help='fixed "go" limit for engine 1 instead of the clock, e.g. "movetime 50"')
    p.add_argument("--limit2", help='fixed "go" limit for engine 2 instead of the clock, e.g. "depth 6"')
    p.add_argument("--move-wait", type=float, default=30.0, help="seconds a fixed-limit move may take")
    p.add_argument("--fen-form", action="store_true", help='send "position fen ... moves ..." for half the moves')
    p.add_argument("--random-plies", type=int, default=0, help="random opening plies before the engines play")
    p.add_argument("--hash-cycle", help="comma-separated Hash sizes set before each game in turn")
    p.add_argument("--seed", type=int, default=1)
    p.add_argument("--moves-per-period", type=int, default=0,
                   help="repeating time control: --base seconds for this many moves, sent as movestogo")
    args = p.parse_args()
    import random
    rng = random.Random(args.seed)

    log = open(args.log, "w") if args.log else None
    referee = Referee(args.referee)
    engines = []
    for i, (cmd, threads) in enumerate(((args.engine1, args.threads1), (args.engine2, args.threads2))):
        e = Engine(cmd, f"engine{i + 1}", log)
        e.send("uci")
        e.wait_for("uciok", 30)
        e.send(f"setoption name Threads value {threads}")
        e.send(f"setoption name Hash value {args.hash}")
        e.send(f"setoption name Ponder value {'true' if args.ponder else 'false'}")
        for opt in (args.opt1 if i == 0 else args.opt2):
            name, value = opt.split("=", 1)
            e.send(f"setoption name {name} value {value}")
        e.send("isready")
        e.wait_for("readyok", 30)
        engines.append(e)

    score = collections.Counter()
    lowest = [args.base, args.base]
    failures = 0
    for g in range(args.games):
        white = g % 2  # engine index playing white
        pondering = [None, None]
        try:
            result, reason = play_game(engines, referee, args, white, pondering, lowest, rng, g)
            for i, e in enumerate(engines):
                if pondering[i] is not None:  # the game is over: end the ponder search
                    e.send("stop")
                    e.wait_for("bestmove", 10)
        except EngineError as err:
            result, reason = "*", str(err)
        fault = result == "*" or "lost on time" in reason or "illegal" in reason
        failures += fault
        w = engines[white].name
        b = engines[1 - white].name
        print(f"game {g + 1}: {w} - {b} {result} ({reason})", flush=True)
        if result == "1-0":
            score[w] += 1
        elif result == "0-1":
            score[b] += 1
        elif result == "1/2-1/2":
            score[w] += 0.5
            score[b] += 0.5
        if result == "*":
            break
    for e in engines:
        if e.bad_info:
            failures += 1
            print(f"{e.name}: {len(e.bad_info)} malformed info lines, first: {e.bad_info[0]}")
        status = e.quit()
        if status not in (0, None):
            failures += 1
            print(f"{e.name}: exit status {status}")
    referee.e.quit()
    print(f"least time left after a move: engine1 {lowest[0] * 1000:.0f} ms, engine2 {lowest[1] * 1000:.0f} ms")
    print(f"score: engine1 {score['engine1']}, engine2 {score['engine2']}; faults: {failures}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
