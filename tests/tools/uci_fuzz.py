#!/usr/bin/env python3
"""Feeds an engine garbage and edge-case input over UCI and checks that it
never crashes, never hangs and never loses its state: random bytes, NUL
bytes, over-long lines, thousands of lines in one write, odd line ends,
commands with missing or extreme values, unknown commands and options,
mutated FENs and garbled move lists. After every refused FEN or move the
engine must still search the position it had; every "bestmove" is checked
for legality against Debian's stockfish ("go perft 1").

A heavy run for developers, not part of the test suite:

    tests/tools/uci_fuzz.py --engine build/tesk --seconds 600 --seed 1

Exit status 0 when no fault was found, 1 otherwise (the faulty input is
printed and kept in the log given with --log).
"""
import argparse
import os
import random
import re
import select
import subprocess
import sys
import time

FENS = [
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
    "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10",
    "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3",
    "8/P7/8/8/8/8/7k/K7 w - - 0 1",
    "7k/5Q2/6K1/8/8/8/8/8 b - - 0 1",        # stalemate
    "6rk/5Npp/8/8/8/8/8/6K1 b - - 0 1",       # mate
    "4k3/8/8/8/8/8/8/4K2R w K - 99 80",
    "4k3/8/8/8/8/8/4r3/4K3 w - - 0 1",        # one legal move... or two
]

WORDS = ["uci", "isready", "setoption", "name", "value", "ucinewgame", "position", "startpos", "fen", "moves",
         "go", "wtime", "btime", "winc", "binc", "movestogo", "depth", "nodes", "movetime", "infinite", "ponder",
         "ponderhit", "stop", "debug", "_show", "Hash", "Threads", "MultiPV", "Clear_Hash", "Ponder", "Contempt",
         "UCI_Elo", "UCI_LimitStrength", "Mtl_Knight", "Selectivity", "e2e4", "e7e5", "a7a8q", "e1g1", "-5", "0",
         "99999999999999999999", "-2147483648", "1e308", "nan", "true", "false", "searchmoves", "mate"]


class Fault(Exception):
    pass


class Engine:
    def __init__(self, command, log):
        self.command = command
        self.log = log
        self.start()

    def start(self):
        self.proc = subprocess.Popen(self.command, shell=True, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.STDOUT, bufsize=0)
        self.buf = b""

    def send(self, data):
        if isinstance(data, str):
            data = data.encode()
        if self.log:
            self.log.write(b"> " + data[:2000] + (b"...(%d bytes)" % len(data) if len(data) > 2000 else b"")
                           + b"\n")
        try:
            self.proc.stdin.write(data)
            self.proc.stdin.flush()
        except BrokenPipeError:
            raise Fault(f"engine gone (exit status {self.proc.wait()})")

    def readline(self, timeout):
        end = time.monotonic() + timeout
        while b"\n" not in self.buf:
            left = end - time.monotonic()
            if left <= 0:
                raise Fault(f"no answer within {timeout:.0f} s (hang)")
            r, _, _ = select.select([self.proc.stdout], [], [], left)
            if r:
                chunk = os.read(self.proc.stdout.fileno(), 65536)
                if not chunk:
                    raise Fault(f"engine gone (exit status {self.proc.wait()})")
                self.buf += chunk
        line, self.buf = self.buf.split(b"\n", 1)
        if self.log:
            self.log.write(b"< " + line + b"\n")
        return line.decode(errors="replace")

    def until(self, prefix, timeout):
        lines = []
        end = time.monotonic() + timeout
        while True:
            line = self.readline(max(0.0, end - time.monotonic()))
            lines.append(line)
            if line.startswith(prefix):
                return lines

    def drain(self, quiet=0.2):
        """Reads and drops what the engine prints until it stays quiet;
        returns what was dropped."""
        dropped = self.buf
        while True:
            r, _, _ = select.select([self.proc.stdout], [], [], quiet)
            if not r:
                self.buf = b""
                return dropped
            chunk = os.read(self.proc.stdout.fileno(), 65536)
            if not chunk:
                raise Fault(f"engine gone (exit status {self.proc.wait()})")
            dropped += chunk
            if self.log:
                self.log.write(b"< (drained) " + chunk[:2000] + b"\n")

    def ping(self, timeout=30):
        self.send("isready\n")
        return self.until("readyok", timeout)

    def close(self):
        try:
            self.proc.stdin.close()
            return self.proc.wait(timeout=30)
        except Exception:
            self.proc.kill()
            return None


class Referee:
    """Legal moves of a position, from stockfish's "go perft 1"."""

    def __init__(self, command):
        self.command = command
        self.e = Engine(command, None)
        self.e.send("uci\n")
        self.e.until("uciok", 10)

    def legal(self, position_cmd):
        try:
            self.e.send(position_cmd + "\ngo perft 1\n")
            moves = []
            for line in self.e.until("Nodes searched", 10):
                m = re.match(r"^([a-h][1-8][a-h][1-8][qrbn]?): 1$", line)
                if m:
                    moves.append(m.group(1))
            return moves
        except Fault:
            self.e.proc.kill()
            self.e = Engine(self.command, None)
            self.e.send("uci\n")
            self.e.until("uciok", 10)
            return None


def mutate(text, rng):
    s = list(text)
    for _ in range(rng.randint(1, 4)):
        op = rng.randrange(7)
        i = rng.randrange(len(s) + 1)
        if op == 0 and s:
            s[min(i, len(s) - 1)] = rng.choice("pnbrqkPNBRQK12345678/ -wbKQkqa-h0x9")
        elif op == 1:
            s.insert(i, rng.choice("pnbrqkPNBRQK12345678/ -wbKQkq0987"))
        elif op == 2 and s:
            del s[min(i, len(s) - 1)]
        elif op == 3:
            s = s[:i]
        elif op == 4:
            s = s + list(" " + rng.choice(["x", "99999", "-1", "e3", "KQkqKQkq", "w", "b", "0 0 0"]))
        elif op == 5 and len(s) > 2:
            j = rng.randrange(len(s))
            s[min(i, len(s) - 1)], s[j] = s[j], s[min(i, len(s) - 1)]
        else:
            s = s * 2
    return "".join(s)


def random_line(rng):
    kind = rng.randrange(6)
    if kind == 0:
        return bytes(rng.randrange(256) for _ in range(rng.randrange(1, 300)))
    if kind == 1:
        return " ".join(rng.choice(WORDS) for _ in range(rng.randrange(1, 12))).replace("Hash", "Hush").encode()
    if kind == 2:
        return (rng.choice(WORDS) + "\0" + rng.choice(WORDS)).encode()
    if kind == 3:
        name = rng.choice(WORDS)
        # A table of many gigabytes would take much of a shared machine's memory.
        value = rng.choice(["0", "1", "8", "-1", "abc"]) if name == "Hash" else rng.choice(WORDS)
        return ("setoption name " + name + " value " + value).encode()
    if kind == 4:
        return ("go " + " ".join(rng.choice(WORDS[10:20]) + " " + rng.choice(WORDS[-10:])
                                 for _ in range(rng.randrange(1, 4)))).encode()
    return rng.choice(WORDS).encode() * rng.randrange(1, 50)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--engine", default="build/tesk")
    ap.add_argument("--referee", default="/usr/games/stockfish")
    ap.add_argument("--seconds", type=float, default=120)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--log")
    args = ap.parse_args()
    rng = random.Random(args.seed)
    log = open(args.log, "wb") if args.log else None
    ref = Referee(args.referee)
    eng = Engine(args.engine, log)
    eng.send("uci\n")
    eng.until("uciok", 30)
    faults = 0
    rounds = 0
    known = FENS[0]  # the position the engine must have

    def settle():
        # Searches that garbage started ("go" lines held behind another
        # search start one after the other) may still run: stop them until
        # none answers, drop their output and undo the garbage's settings.
        for _ in range(20):
            eng.send("stop\n")
            lines = eng.ping()
            dropped = eng.drain(0.3)
            if not any(l.startswith("bestmove") for l in lines) and b"bestmove" not in dropped:
                break
        eng.send(b"setoption name Threads value 1\nsetoption name MultiPV value 1\n"
                 b"setoption name Hash value 16\nsetoption name UCI_LimitStrength value false\n")
        eng.ping()
        eng.drain()

    def check_search(expect_cmd, what, resend=True):
        if resend:
            settle()
            eng.send(expect_cmd + "\n")
        eng.ping()
        eng.drain()
        eng.send("go depth 2\n")
        lines = eng.until("bestmove", 60)
        move = lines[-1].split()[1] if len(lines[-1].split()) > 1 else ""
        legal = ref.legal(expect_cmd)
        if legal is None:
            return
        # "0000" only when there is no legal move: a fifty-move counter above
        # 100 is searched like any other position.
        if move == "0000" and not legal:
            return
        if move not in legal:
            raise Fault(f"{what}: bestmove {move} is not legal in [{expect_cmd}]")

    deadline = time.monotonic() + args.seconds
    while time.monotonic() < deadline:
        rounds += 1
        test = rng.randrange(10)
        try:
            if test == 0:  # a burst of garbage lines, then the engine must still answer
                data = b"\n".join(random_line(rng) for _ in range(rng.randrange(1, 40)))
                # Keep "quit" out: it would end the run.
                data = data.replace(b"quit", b"qu1t")
                eng.send(data + b"\n" + b"stop\n")
                eng.ping()
                eng.send(b"ucinewgame\nsetoption name Threads value 1\nsetoption name MultiPV value 1\n"
                         b"setoption name Hash value 16\nsetoption name UCI_LimitStrength value false\n")
                eng.send(f"position fen {known}\n")
                check_search(f"position fen {known}", "after garbage")
            elif test == 1:  # a refused or accepted FEN
                base = rng.choice(FENS)
                settle()
                eng.send(f"position fen {base}\n")
                known = base
                bad = mutate(base, rng)
                eng.ping()
                eng.send(f"position fen {bad}\n")
                lines = eng.ping()
                refused = any("FEN" in l or "fen" in l for l in lines if l.startswith("info string"))
                if not refused:
                    known = bad
                check_search(f"position fen {known}", f"after FEN [{bad}] ({'refused' if refused else 'taken'})",
                             resend=False)
            elif test == 2:  # garbled moves: the valid prefix stands
                base = rng.choice(FENS[:7])
                legal_path = []
                cmd = f"position fen {base}"
                for _ in range(rng.randrange(1, 8)):
                    legal = ref.legal(cmd + (" moves " + " ".join(legal_path) if legal_path else ""))
                    if not legal:
                        break
                    legal_path.append(rng.choice(legal))
                garbled = list(legal_path)
                k = rng.randrange(len(garbled) + 1)
                garbled.insert(k, mutate(rng.choice(legal_path or ["e2e4"]), rng).replace("\n", " "))
                tokens = " ".join(garbled).split()
                settle()
                eng.send(cmd + " moves " + " ".join(tokens) + "\n")
                lines = eng.ping()
                # The engine must make the moves up to the first illegal one and name that one.
                taken = []
                for t in tokens:
                    legal = ref.legal(cmd + (" moves " + " ".join(taken) if taken else ""))
                    if legal is None or t not in legal:
                        break
                    taken.append(t)
                if len(taken) < len(tokens) and not any(tokens[len(taken)] in l for l in lines):
                    raise Fault(f"moves [{' '.join(tokens)}]: the illegal {tokens[len(taken)]} was not reported")
                known_cmd = cmd + (" moves " + " ".join(taken) if taken else "")
                check_search(known_cmd, f"after moves [{' '.join(tokens)}]", resend=False)
                known = FENS[0]
                eng.send(f"position fen {known}\n")
            elif test == 3:  # over-long line
                n = rng.choice([4998, 4999, 5000, 5001, 70000, 1 << 20])
                body = ("position startpos moves " + "e2e4 " * (n // 5))[:n]
                end = rng.choice([b"\n", b"\r\n", b""])
                eng.send(body.encode() + end + b"\n")
                eng.send(f"position fen {known}\n")
                check_search(f"position fen {known}", f"after a line of {n} bytes")
            elif test == 4:  # thousands of lines in one write
                n = rng.randrange(1000, 6000)
                eng.send(b"isready\n" * n)
                got = 0
                while got < n:
                    line = eng.readline(60)
                    if line == "readyok":
                        got += 1
            elif test == 5:  # odd line ends
                eng.send(rng.choice([b"isready\r\n", b"isready\r", b"\r\r\n\n", b"isready\r\ngo depth 1\r\n",
                                     b"\risready\n", b"is\0ready\n"]))
                eng.send(b"\nstop\n")
                eng.ping()
                eng.send(f"position fen {known}\n")
                check_search(f"position fen {known}", "after odd line ends")
            elif test == 6:  # a search stopped by garbage, then "stop"
                settle()
                eng.send(f"position fen {known}\ngo infinite\n")
                time.sleep(rng.random() * 0.05)
                eng.send(random_line(rng).replace(b"quit", b"qu1t").replace(b"\n", b" ") + b"\nstop\n")
                eng.until("bestmove", 30)
                eng.ping()
            elif test == 7:  # options with extreme values, then a search
                settle()
                name = rng.choice(["Hash", "Threads", "MultiPV", "Contempt", "Selectivity", "MoveOverhead",
                                   "UCI_Elo", "Mtl_Knight", "PST_King", "SyzygyProbeDepth5", "OwnBook_Depth"])
                value = rng.choice(["-1", "0", "1", "99999999", "-99999999", "abc", "", "3,", ",7", "1e9",
                                    "9223372036854775808", "2,3,4", " 5 "])
                if name == "Hash" and value not in ("-1", "0", "1", "abc", "", ",7"):
                    value = "8"  # a 16 GB table would take much of a shared machine's memory
                eng.send(f"setoption name {name} value {value}\n")
                eng.ping()
                # Threads below 1 (or garbage) is raised to 1: the search below must still answer.
                eng.send(f"position fen {known}\n")
                check_search(f"position fen {known}", f"after setoption {name} = {value}", resend=False)
                eng.send(b"setoption name Threads value 1\nsetoption name MultiPV value 1\n"
                         b"setoption name Hash value 16\nsetoption name UCI_LimitStrength value false\n"
                         b"setoption name Mtl_Knight value 380,360\nsetoption name Contempt value 0\n"
                         b"setoption name Selectivity value 100\n")
            elif test == 8:  # ponder sequences
                settle()
                # Each "go" is complete in itself: limits that garbage left do not hold here.
                eng.send(f"position fen {known}\ngo ponder wtime 1000 btime 1000 movestogo 30\n")
                time.sleep(rng.random() * 0.05)
                eng.send(rng.choice([b"ponderhit\n", b"stop\n", b"ponderhit\nstop\n", b"stop\nponderhit\n"]))
                lines = eng.until("bestmove", 30)
                move = lines[-1].split()[1]
                legal = ref.legal(f"position fen {known}")
                if legal is not None and move not in legal and not (move == "0000" and not legal):
                    raise Fault(f"ponder: bestmove {move} is not legal in {known}")
                eng.ping()
            else:  # missing values
                eng.send(rng.choice([b"go wtime\n", b"setoption name\n", b"setoption\n", b"position fen\n",
                                     b"position startpos moves\n", b"position\n", b"go depth\n",
                                     b"setoption name Hash value\n", b"position fen moves e2e4\n",
                                     b"go movetime\n", b"go nodes\n", b"setoption value 3 name Hash\n"]))
                eng.send(b"stop\n")
                eng.ping()
                eng.send(b"stop\n")
                eng.send(f"position fen {known}\n")
                check_search(f"position fen {known}", "after missing values")
        except Fault as f:
            faults += 1
            print(f"round {rounds}, test {test}: FAULT: {f}", flush=True)
            if eng.proc.poll() is not None or "hang" in str(f):
                eng.proc.kill()
                eng = Engine(args.engine, log)
                eng.send("uci\n")
                eng.until("uciok", 30)
            known = FENS[0]
            eng.send(f"position fen {known}\n")
        if rounds % 50 == 0:
            print(f"{rounds} rounds, {faults} faults", flush=True)
    status = eng.close()
    if status != 0:
        faults += 1
        print(f"exit status at end of input: {status}")
    print(f"{rounds} rounds, {faults} faults")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
