#!/usr/bin/env python3
"""Writes synthetic terminal captures of a given size: colour codes, glyph-led
status lines, box tables, paragraphs hard-wrapped at 80 and 120 columns,
numbered diffs under tool headers, key: value field lines, and non-ASCII text
with combining marks and CJK. Deterministic for a given seed.

usage: gen_terminal.py SIZE_BYTES OUTPUT [SEED]
"""
import random
import sys
import textwrap

ESC = "\x1b"
WORDS = ("the of and to in is that it for on with as was at by this be from or have an are "
         "which not but all were when we there can been has more if will one would about out "
         "buffer parser config request module thread socket render cache index value server "
         "résumé naïve café façade coöperate jalapeño Ångström").split()
CJK = "中文字符测试终端输出复制粘贴格式化表格"
MARKED = ["e\u0301", "a\u0308", "o\u0302", "n\u0303", "u\u0323\u0302"]
GLYPHS = ["⏺", "●", "◐", "◓", "▶", "►"]
TOOLS = ["Read", "Bash", "Update", "Edit", "Grep", "Write"]


def sentence(rng, n=None):
    n = n or rng.randint(6, 18)
    words = [rng.choice(WORDS) for _ in range(n)]
    if rng.random() < 0.15:
        words.insert(rng.randrange(len(words)), "".join(rng.choice(CJK) for _ in range(rng.randint(2, 6))))
    if rng.random() < 0.15:
        words.insert(rng.randrange(len(words)), "caf" + rng.choice(MARKED) + "s")
    s = " ".join(words)
    return s[0].upper() + s[1:] + rng.choice([".", ".", ".", ",", ":", "!"])


def colour(rng, text):
    return f"{ESC}[{rng.choice(['1', '32', '31', '1;33', '38;5;208'])}m{text}{ESC}[0m"


def paragraph(rng, width):
    text = " ".join(sentence(rng) for _ in range(rng.randint(2, 6)))
    return textwrap.wrap(text, width=width) + [""]


def status_line(rng):
    return [f"{rng.choice(GLYPHS)} {colour(rng, sentence(rng, 5))}", ""]


def box_table(rng):
    rows = rng.randint(2, 8)
    widths = [rng.randint(4, 12) for _ in range(rng.randint(2, 5))]
    def rule(l, m, r):
        return "  " + l + m.join("─" * (w + 2) for w in widths) + r
    def row(cells):
        return "  │" + "│".join(f" {c:<{w}} " for c, w in zip(cells, widths)) + "│"
    out = [rule("┌", "┬", "┐"), row([rng.choice(WORDS)[:w].capitalize() for w in widths]), rule("├", "┼", "┤")]
    for _ in range(rows):
        out.append(row([rng.choice(WORDS + ["42", "ok", "中文"])[:w] for w in widths]))
    out.append(rule("└", "┴", "┘"))
    return out + [""]


def numbered_diff(rng):
    tool = rng.choice(TOOLS)
    out = [f"⏺ {tool}(src/{rng.choice(WORDS)}.c)", f"  ⎿  Updated with {rng.randint(1, 9)} additions"]
    line = rng.randint(1, 900)
    for _ in range(rng.randint(3, 25)):
        sign = rng.choice(["  ", " -", " +", "  "])
        code = "    " * rng.randint(0, 3) + rng.choice(["int x = 1;", "return buf;", "if (n == 0)", "free(p);", "}"])
        out.append(f"     {line:>4}{sign} {code}")
        line += 1
    return out + [""]


def fields(rng):
    labels = ["Name", "Status", "Owner", "Build id", "Duration", "Exit code"]
    out = []
    for _ in range(rng.randint(2, 5)):
        a, b = rng.sample(labels, 2)
        if rng.random() < 0.3:
            out.append(f"{a}: {rng.choice(WORDS)} {b}: {rng.choice(WORDS)}")
        else:
            out.append(f"{a}: {rng.choice(WORDS)}")
    return out + [""]


def main():
    size = int(sys.argv[1])
    path = sys.argv[2]
    rng = random.Random(int(sys.argv[3]) if len(sys.argv) > 3 else 1)
    makers = [lambda: paragraph(rng, 80), lambda: paragraph(rng, 120), lambda: status_line(rng),
              lambda: box_table(rng), lambda: numbered_diff(rng), lambda: fields(rng)]
    written = 0
    with open(path, "w", encoding="utf-8", newline="") as f:
        while written < size:
            chunk = "\n".join(rng.choice(makers)()) + "\n"
            f.write(chunk)
            written += len(chunk.encode("utf-8"))


if __name__ == "__main__":
    main()
