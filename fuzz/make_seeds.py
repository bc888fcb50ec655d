#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets: small, deterministic inputs of
each kind the targets read.

  text      terminal captures: colour codes, glyph-led status lines, box
            tables, hard-wrapped paragraphs, numbered diffs under tool
            headers, field lines, quote bars, CR LF and lone CR line ends
  html      clipboard HTML with and without block elements
  settings  settings files: our keys, every value type, comments, mistakes

usage: make_seeds.py OUTPUT_DIR
Writes OUTPUT_DIR/KIND/NNN for each kind, replacing what was there.
"""
import os
import random
import shutil
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "bench"))
import gen_terminal as term  # noqa: E402

ESC = "\x1b"
MAX_SEED = 4096


def text_seeds(rng):
    makers = [lambda: term.paragraph(rng, 80), lambda: term.paragraph(rng, 40), lambda: term.status_line(rng),
              lambda: term.box_table(rng), lambda: term.numbered_diff(rng), lambda: term.fields(rng)]
    seeds = []
    # One of each piece alone, then mixtures of two to four.
    for make in makers:
        for _ in range(3):
            seeds.append("\n".join(make()))
    for _ in range(40):
        seeds.append("\n".join(line for _ in range(rng.randint(2, 4)) for line in rng.choice(makers)()))
    # Shapes the pieces above do not make.
    word = lambda: rng.choice(term.WORDS)
    seeds += [
        "\r\n".join(term.paragraph(rng, 60)),
        "\r".join(term.paragraph(rng, 60)),
        f"{ESC}]0;title\x07{ESC}]8;;file:///tmp/x{ESC}\\link{ESC}]8;;{ESC}\\ {ESC}[?25l{ESC}[2K{ESC}7{ESC}(B done",
        "\n".join("\u258e " + " ".join(word() for _ in range(8)) for _ in range(5)),
        "\n".join("    " + " ".join(word() for _ in range(12)) for _ in range(6)),
        "\u23fa\n    next line\n\u25d0\u25d3 Thinking\n  \u25cf " + word(),
        "Bash(ls -la)\n\u23bf  total 3\n     1  a\n     2  b\n... +12 lines\nBash(make)\n",
        "```\n   1  int x;\n```\n```sh\nBash(x)\ny\n```\n",
        "1. " + " ".join(word() for _ in range(20)) + "\n   " + " ".join(word() for _ in range(6)) + "\n- item\n# Heading\n| a | b |",
        "Name: build Status: ok Owner: " + word() + "\nStatus: failed\nBuild id: 42 Name: x",
        "M-^@M-^Ztext\ufffd\u0085more\u2028line\u2029end\x0b\x0c",
        "\u2554\u2550\u2550\u2566\u2550\u2550\u2557\n\u2551 a\u2551 b\u2551\n\u2551 1\u2551 2\u2551\n\u255a\u2550\u2550\u2569\u2550\u2550\u255d",
        "e\u0301\u0301 \U0001F469\u200d\U0001F4bb \U0001F1E9\U0001F1EA \u1100\u1161\u11a8 \u4e2d\u6587\n  1 \u0301 x",
    ]
    return [s.encode("utf-8")[:MAX_SEED] for s in seeds]


def html_seeds(rng):
    blocks = ["ul", "ol", "li", "h1", "h3", "h6", "table", "thead", "tbody", "tr", "td", "th", "pre", "blockquote",
              "dl", "dt", "dd"]
    inline = ["p", "div", "span", "b", "i", "a", "code", "em", "strong", "br", "link", "track", "preview", "thumb", "h7"]
    seeds = []
    for _ in range(40):
        parts = ['<meta charset="utf-8">'] if rng.random() < 0.5 else []
        for _ in range(rng.randint(1, 6)):
            tag = rng.choice(inline + (blocks if rng.random() < 0.5 else []))
            if rng.random() < 0.3:
                tag = tag.upper()
            attrs = rng.choice(["", ' class="x"', " id='y'", " href=https://example.org"])
            parts.append(f"<{tag}{attrs}>{' '.join(rng.choice(term.WORDS) for _ in range(4))}</{tag}>")
        seeds.append("".join(parts))
    seeds += ["<!-- <table> -->", "<script>var s = '<li>';</script>", "< ul>", "<li\u0301>", "<bloc\u212aquote>",
              "text <tr", "<ul_x><h1-a><pre\u00ad>", "&lt;ul&gt;"]
    return [s.encode("utf-8")[:MAX_SEED] for s in seeds]


def settings_seeds(rng):
    keys = ["shortcutMode", "shortcutKeyCode", "shortcutModifiers", "replaceEmDash", "hasCompletedOnboarding"]
    values = ['"specialHotKey"', '"overridePasteCommand"', '"OverridePasteCommand"', '" specialHotKey"', "9", "11",
              '"11"', "1179648", "1048576", "-1", "true", "false", '"true"', '"caf\\u00e9 \\"q\\" \\\\ \\n\\t"', '""',
              "9223372036854775807", "-9223372036854775808"]
    header = ("# Lumeno settings, one per line: name = value.\n"
              '# Values: true or false, a decimal integer, or "text" in double quotes.\n')
    seeds = [header]
    for _ in range(30):
        lines = [header] if rng.random() < 0.5 else []
        for _ in range(rng.randint(1, 6)):
            key = rng.choice(keys + ["unknown.key-1"])
            sep = rng.choice([" = ", "=", " \t= ", "  =  "])
            lines.append(f"{rng.choice(['', '  '])}{key}{sep}{rng.choice(values)}\n")
        if rng.random() < 0.2:
            lines.append(rng.choice(["\n", "   \n", "# a comment\n"]))
        seeds.append("".join(lines).replace("\n", "\r\n") if rng.random() < 0.1 else "".join(lines))
    seeds += ['a = "cut off', "a = yes", "a = 1 2", "= 1", "a = \"\\uD800\"", "a = 99999999999999999999",
              'shortcutKeyCode = "11"\nshortcutKeyCode = 12']
    return [s.encode("utf-8")[:MAX_SEED] for s in seeds]


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = sys.argv[1]
    rng = random.Random(6)
    for kind, make in [("text", text_seeds), ("html", html_seeds), ("settings", settings_seeds)]:
        folder = os.path.join(out, kind)
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        for i, seed in enumerate(make(rng)):
            with open(os.path.join(folder, f"{i:03d}"), "wb") as f:
                f.write(seed)


if __name__ == "__main__":
    main()
