#!/usr/bin/env python3
"""Synthetic web HTML as browsers put it on the clipboard: a meta charset
prefix, then sections in nested divs with inline styles and spans: headings,
paragraphs with links, bold, italic and code, entities, no-break and
zero-width spaces, nested lists, tables, pre/code blocks and block quotes.
Deterministic for a given size.

usage: gen_html.py SIZE OUTPUT
"""
import random
import sys

WORDS = ("the quick brown fox jumps over lazy dog clipboard paste markdown render table list item value "
         "parser token stream buffer width height layout style font color café naïve über 中文 日本語 "
         "résumé Ωmega").split()


def words(rng, lo, hi):
    return " ".join(rng.choice(WORDS) for _ in range(rng.randint(lo, hi)))


def inline(rng, n):
    parts = []
    for _ in range(n):
        k = rng.random()
        if k < 0.45:
            parts.append(words(rng, 3, 12))
        elif k < 0.55:
            parts.append(f'<a href="https://example.com/docs/{rng.randint(1, 9999)}?ref=clip&amp;lang=en" '
                         f'style="color: rgb(9, 105, 218); text-decoration: none;">{words(rng, 1, 4)}</a>')
        elif k < 0.63:
            parts.append(f"<strong>{words(rng, 1, 3)}</strong>")
        elif k < 0.70:
            parts.append(f"<em>{words(rng, 1, 3)}</em>")
        elif k < 0.77:
            parts.append(f'<code style="padding: 0.2em 0.4em; background-color: rgba(175, 184, 193, 0.2);">'
                         f'{rng.choice(WORDS)}_{rng.randint(1, 99)}()</code>')
        elif k < 0.84:
            parts.append(rng.choice(["&amp; more", "a &lt; b &gt; c", "&quot;quoted&quot;", "&#8212; dash",
                                     "&copy; 2024", "caf&eacute;"]))
        elif k < 0.90:
            parts.append(f"{rng.choice(WORDS)}&nbsp;{rng.choice(WORDS)}\u00a0{rng.choice(WORDS)}")
        elif k < 0.95:
            parts.append(f"zero\u200bwidth{rng.choice(WORDS)}&#8203;")
        else:
            parts.append(f'<span style="color: rgb(31, 35, 40); font-weight: 600;">{words(rng, 2, 6)}</span>')
    return " ".join(parts)


def paragraph(rng):
    return (f'<p style="margin: 0px 0px 16px; line-height: 1.5; font-family: -apple-system, sans-serif;">'
            f'<span style="color: rgb(31, 35, 40);">{inline(rng, rng.randint(3, 8))}</span></p>')


def a_list(rng, depth=0):
    tag = rng.choice(["ul", "ol"])
    items = []
    for _ in range(rng.randint(2, 5)):
        body = inline(rng, rng.randint(1, 3))
        if rng.random() < 0.3:
            body = f"<p>{body}</p>"
        if depth < 3 and rng.random() < 0.35:
            body += a_list(rng, depth + 1)
        items.append(f'<li style="margin-top: 0.25em;">{body}</li>')
    return f'<{tag} style="padding-left: 2em; margin-bottom: 16px;">{"".join(items)}</{tag}>'


def table(rng):
    columns = rng.randint(2, 5)
    cell = 'style="padding: 6px 13px; border: 1px solid rgb(208, 215, 222);"'
    head = "".join(f"<th {cell}>{words(rng, 1, 2)}</th>" for _ in range(columns))
    rows = "".join("<tr>" + "".join(f"<td {cell}>{inline(rng, 1)}</td>" for _ in range(columns)) + "</tr>"
                   for _ in range(rng.randint(2, 8)))
    return (f'<table style="border-collapse: collapse; border-spacing: 0px;"><thead><tr>{head}</tr></thead>'
            f"<tbody>{rows}</tbody></table>")


def code_block(rng):
    lines = []
    for _ in range(rng.randint(3, 12)):
        indent = "    " * rng.randint(0, 2)
        lines.append(f'{indent}<span class="pl-k">if</span> {rng.choice(WORDS)} &lt; {rng.randint(0, 99)}: '
                     f'<span class="pl-en">{rng.choice(WORDS)}</span>(&quot;{words(rng, 1, 3)}&quot;)')
    return ('<div class="highlight"><pre style="padding: 16px; overflow: auto; background-color: rgb(246, 248, 250);">'
            f'<code class="language-python">{chr(10).join(lines)}\n</code></pre></div>')


def section(rng, n):
    level = rng.randint(2, 4)
    parts = [f'<h{level} style="font-weight: 600; margin-top: 24px;"><span>{n}. {words(rng, 2, 5)}</span></h{level}>']
    for _ in range(rng.randint(3, 7)):
        k = rng.random()
        if k < 0.45:
            parts.append(paragraph(rng))
        elif k < 0.65:
            parts.append(a_list(rng))
        elif k < 0.78:
            parts.append(table(rng))
        elif k < 0.90:
            parts.append(code_block(rng))
        else:
            parts.append(f'<blockquote style="padding: 0px 1em; border-left: 0.25em solid;">{paragraph(rng)}</blockquote>')
    return ('<div style="box-sizing: border-box;"><div class="markdown-body" style="font-size: 16px;">'
            f'<section>{"".join(parts)}</section></div></div>')


def main():
    size, path = int(sys.argv[1]), sys.argv[2]
    rng = random.Random(size)
    chunks = ["<meta charset='utf-8'>"]
    total = len(chunks[0])
    n = 0
    while total < size:
        n += 1
        chunk = section(rng, n)
        chunks.append(chunk)
        total += len(chunk.encode())
    with open(path, "w", encoding="utf-8") as out:
        out.write("".join(chunks))


if __name__ == "__main__":
    main()
