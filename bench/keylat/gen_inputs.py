#!/usr/bin/env python3
"""Generate the four key-latency inputs (same bytes for every editor).
usage: gen_inputs.py OUTDIR
  a.vornex  realistic source, exactly 32,766 bytes, ~400 brace blocks, CR LF
  b.vornex  16,383 '{' then 16,383 '}' on one line, no line break
  c.vornex  realistic source, 1 MiB (1,048,576 bytes)
  d.vornex  realistic source, 10 MiB (10,485,760 bytes)
  e.vornex  a.vornex on one line: every CR and LF replaced by a blank
Writes OUTDIR/meta.txt: name line col(1-based char column) byte_offset  -> caret target
(the middle line of the text, an instruction line, after its two-space indent)."""
import os, random, sys

INSTR = ["mov", "add", "sub", "cmp", "and", "or", "xor", "ld", "st", "jmp", "jz", "call"]

def realistic(size, seed):
    rnd = random.Random(seed)
    out, n, blk = [], 0, 0
    while n < size:
        lines = ["L%06d{" % blk]
        k = rnd.randint(3, 7)
        for _ in range(k):
            op = rnd.choice(INSTR)
            if op in ("jmp", "jz", "call"):
                lines.append("  %s L%06d" % (op, rnd.randint(0, blk + 50)))
            else:
                lines.append("  %s r%d, r%d" % (op, rnd.randint(0, 15), rnd.randint(0, 15)))
        if blk % 9 == 4:  # an occasional nested block
            lines.append("  inner%d{" % blk)
            lines.append("    nop")
            lines.append("  }")
        lines.append("}")
        chunk = "".join(l + "\r\n" for l in lines)
        out.append(chunk); n += len(chunk); blk += 1
    text = "".join(out)
    # cut to an exact size at a line boundary, pad the tail with a comment line
    cut = text.rfind("\r\n", 0, size - 8) + 2
    text = text[:cut]
    pad = size - len(text)
    text += ";" + "-" * (pad - 3) + "\r\n" if pad >= 3 else " " * pad
    assert len(text) == size, (len(text), size)
    return text.encode()

def caret_target(data):
    lines = data.split(b"\r\n")
    i = len(lines) // 2
    while not lines[i].startswith(b"  ") or lines[i].startswith(b"    "):
        i += 1
    off = sum(len(l) + 2 for l in lines[:i]) + 2
    return i + 1, 3, off

def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    files = {
        "a": realistic(32766, 1),
        "b": b"{" * 16383 + b"}" * 16383,
        "c": realistic(1 << 20, 3),
        "d": realistic(10 << 20, 4),
    }
    files["e"] = files["a"].replace(b"\r", b" ").replace(b"\n", b" ")
    with open(os.path.join(out, "meta.txt"), "w") as meta:
        for k, data in files.items():
            with open(os.path.join(out, k + ".vornex"), "wb") as f:
                f.write(data)
            if k in ("b", "e"):
                line, col, off = 1, 16384, 16383
            else:
                line, col, off = caret_target(data)
            blocks = data.count(b"{")
            meta.write("%s %d %d %d %d %d\n" % (k, line, col, off, len(data), blocks))
            print(k, len(data), "bytes", blocks, "'{'", "caret line", line, "col", col, "offset", off)

main()
