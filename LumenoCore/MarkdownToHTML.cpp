#include "MarkdownToHTML.h"

#include "Lines.h"
#include "Unicode.h"

#include <cmark.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <vector>

namespace lumeno::MarkdownToHTML {

namespace {

using unicode::Cluster;
using unicode::clusterAt;

constexpr std::string_view fence = "```";
constexpr std::size_t npos = std::string_view::npos;

// --- Escaping ------------------------------------------------------------------

struct Span {
    std::size_t begin, end;
};

// fencedRe "```.*?```" (dot matches line separators): from three backticks to
// the nearest three after them, across lines.
std::vector<Span> findFencedSpans(std::string_view text)
{
    std::vector<Span> spans;
    std::size_t from = 0;
    while (true) {
        const std::size_t open = text.find(fence, from);
        if (open == npos)
            break;
        const std::size_t close = text.find(fence, open + fence.size());
        if (close == npos)
            break; // no later opening finds a close either
        spans.push_back({open, close + fence.size()});
        from = close + fence.size();
    }
    return spans;
}

// inlineCodeRe "`[^`\n]+`", run over the text as the fenced pass leaves it:
// there each fenced span is a placeholder, which holds neither a backtick nor
// a "\n", so here it counts as one ordinary character.
std::vector<Span> findInlineSpans(std::string_view text, const std::vector<Span>& fenced)
{
    std::vector<Span> spans;
    std::size_t f = 0; // the next fenced span
    std::size_t i = 0;
    while (i < text.size()) {
        if (f < fenced.size() && i == fenced[f].begin) {
            i = fenced[f++].end;
            continue;
        }
        if (text[i] != '`') {
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        std::size_t g = f;
        while (j < text.size()) {
            if (g < fenced.size() && j == fenced[g].begin) {
                j = fenced[g++].end;
                continue;
            }
            if (text[j] == '`' || text[j] == '\n')
                break;
            ++j;
        }
        if (j < text.size() && text[j] == '`') {
            if (j == i + 1) {
                ++i; // "``": nothing between, try from the second backtick
                continue;
            }
            spans.push_back({i, j + 1});
            i = j + 1;
            f = g;
            continue;
        }
        // A line break or the end: no backtick lies between, so no match
        // starts before j.
        i = j;
        f = g;
    }
    return spans;
}

// --- List preparation ------------------------------------------------------------

// numberedItemRe "^(\d+)\.\s": digits from the first column, a period, one
// white-space character. Gives where the digits and the match end.
bool matchNumberedItem(std::string_view line, std::size_t* digitsEnd = nullptr, std::size_t* matchEnd = nullptr)
{
    std::size_t i = 0;
    while (i < line.size()) {
        const Cluster c = clusterAt(line, i);
        if (!unicode::isDecimalDigit(c.first))
            break;
        i = c.end;
    }
    if (i == 0 || i >= line.size())
        return false;
    const Cluster dot = clusterAt(line, i);
    if (!dot.is('.') || dot.end >= line.size())
        return false;
    const Cluster space = clusterAt(line, dot.end);
    if (!unicode::isWhiteSpace(space.first))
        return false;
    if (digitsEnd)
        *digitsEnd = i;
    if (matchEnd)
        *matchEnd = space.end;
    return true;
}

// bulletItemRe "^\s*[-*]\s"
bool isBulletItem(std::string_view line)
{
    std::size_t i = 0;
    while (i < line.size()) {
        const Cluster c = clusterAt(line, i);
        if (!unicode::isWhiteSpace(c.first))
            break;
        i = c.end;
    }
    if (i >= line.size())
        return false;
    const Cluster marker = clusterAt(line, i);
    if (!(marker.is('-') || marker.is('*')) || marker.end >= line.size())
        return false;
    return unicode::isWhiteSpace(clusterAt(line, marker.end).first);
}

// An item of a list nested under another: spaces or tabs, then a numbered or
// bullet item. «   - apt» under «1. Install» is what a nested HTML list
// becomes.
bool isNestedListLine(std::string_view line)
{
    std::size_t i = 0;
    while (i < line.size()) {
        const Cluster c = clusterAt(line, i);
        if (!(c.is(' ') || c.is('\t')))
            break;
        i = c.end;
    }
    if (i == 0)
        return false;
    const std::string_view rest = line.substr(i);
    return matchNumberedItem(rest) || isBulletItem(rest);
}

bool startsWithFence(std::string_view line)
{
    std::size_t i = 0;
    for (int n = 0; n < 3; ++n) {
        if (i >= line.size())
            return false;
        const Cluster c = clusterAt(line, i);
        if (!c.is('`'))
            return false;
        i = c.end;
    }
    return true;
}

// --- Pipe tables -------------------------------------------------------------------

bool startsWithPipe(std::string_view s) { return !s.empty() && clusterAt(s, 0).is('|'); }

bool isPipeLine(std::string_view line) { return startsWithPipe(unicode::trim(line)); }

// Splits at every "|" that is a character of its own; empty pieces count.
std::vector<std::string_view> splitAtPipes(std::string_view s)
{
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    for (std::size_t i = 0; i < s.size();) {
        const Cluster c = clusterAt(s, i);
        if (c.is('|')) {
            pieces.push_back(s.substr(start, i - start));
            start = c.end;
        }
        i = c.end;
    }
    pieces.push_back(s.substr(start));
    return pieces;
}

bool isSeparatorRow(std::string_view line)
{
    const std::string_view trimmed = unicode::trim(line);
    if (!startsWithPipe(trimmed))
        return false;
    bool anyPiece = false;
    for (const std::string_view piece : splitAtPipes(trimmed)) {
        if (piece.empty())
            continue;
        anyPiece = true;
        const std::string_view cell = unicode::trim(piece);
        if (cell.empty())
            return false;
        for (std::size_t i = 0; i < cell.size();) {
            const Cluster c = clusterAt(cell, i);
            if (!(c.is('-') || c.is(':') || c.is(' ')))
                return false;
            i = c.end;
        }
    }
    return anyPiece;
}

std::vector<std::string_view> parseCells(std::string_view line)
{
    std::string_view t = unicode::trim(line);
    if (startsWithPipe(t))
        t.remove_prefix(clusterAt(t, 0).end);
    if (!t.empty()) {
        const std::size_t last = unicode::lastClusterStart(t);
        if (clusterAt(t, last).is('|'))
            t.remove_suffix(t.size() - last);
    }
    std::vector<std::string_view> cells = splitAtPipes(t);
    for (auto& cell : cells)
        cell = unicode::trim(cell);
    return cells;
}

// Cell text goes into the markup as it is, except that a "<" or ">" still
// raw there (inside a code span, which escaping leaves alone) would be live
// markup: it is escaped here. "&" stays, so text escaped before is unchanged.
void appendCell(std::string& out, std::string_view tag, std::string_view cell)
{
    out += '<';
    out += tag;
    out += '>';
    for (const char c : cell) {
        if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else
            out += c;
    }
    out += "</";
    out += tag;
    out += '>';
}

std::string pipeTableToHTML(const LineList& lines, std::size_t first, std::size_t end)
{
    std::string html = "<table>\n<thead>\n<tr>";
    for (const std::string_view cell : parseCells(lines[first]))
        appendCell(html, "th", cell);
    html += "</tr>\n</thead>\n";
    if (end - first > 2) {
        html += "<tbody>\n";
        for (std::size_t i = first + 2; i < end; ++i) {
            html += "<tr>";
            for (const std::string_view cell : parseCells(lines[i]))
                appendCell(html, "td", cell);
            html += "</tr>\n";
        }
        html += "</tbody>\n";
    }
    html += "</table>";
    return html;
}

std::string convertPipeTablesToHTML(std::string_view text)
{
    LineList lines = splitLines(text);
    LineList out;
    out.reserve(lines.size());
    for (std::size_t i = 0; i < lines.size();) {
        if (isPipeLine(lines[i]) && i + 1 < lines.size() && isSeparatorRow(lines[i + 1])) {
            std::size_t end = i + 2;
            while (end < lines.size() && isPipeLine(lines[end]))
                ++end;
            out.push_back(pipeTableToHTML(lines, i, end));
            i = end;
        } else {
            out.push_back(std::move(lines[i]));
            ++i;
        }
    }
    return joinLines(out);
}

// --- Rendering ---------------------------------------------------------------------

std::optional<std::string> renderWithCmark(const std::string& markdown)
{
    constexpr int options = CMARK_OPT_SMART | CMARK_OPT_UNSAFE;
    // cmark is handed a C string: what follows a NUL is not part of it.
    const std::size_t length = std::min(markdown.find('\0'), markdown.size());
    cmark_node* document = cmark_parse_document(markdown.data(), length, options);
    if (!document)
        return std::nullopt;
    char* rendered = cmark_render_html(document, options);
    if (!rendered) {
        cmark_node_free(document);
        return std::nullopt;
    }
    std::string html(rendered);
    std::free(rendered);
    cmark_node_free(document);
    if (!unicode::isValidUtf8(html))
        return std::nullopt;
    return html;
}

// liRe "<li>(.*?)</li>" (dot matches line separators): each item up to the
// first "</li>" after it, with "<br />" and "<br>" inside turned into spaces.
// One forward pass; the matches never overlap.
std::string joinListItemLines(const std::string& html)
{
    constexpr std::string_view open = "<li>", close = "</li>";
    std::string out;
    out.reserve(html.size());
    std::size_t copied = 0;
    while (true) {
        const std::size_t start = html.find(open, copied);
        if (start == npos)
            break;
        const std::size_t body = start + open.size();
        const std::size_t stop = html.find(close, body);
        if (stop == npos)
            break; // no later item finds a close either
        out.append(html, copied, body - copied);
        // Replacing "<br />" by a space cannot form a new "<br>", so both
        // replacements fit in one scan.
        for (std::size_t i = body; i < stop;) {
            if (html.compare(i, 6, "<br />") == 0 && i + 6 <= stop) {
                out += ' ';
                i += 6;
            } else if (html.compare(i, 4, "<br>") == 0 && i + 4 <= stop) {
                out += ' ';
                i += 4;
            } else {
                out += html[i++];
            }
        }
        out += close;
        copied = stop + close.size();
    }
    out.append(html, copied, npos);
    return out;
}

} // namespace

std::string escapeHTMLTags(std::string_view text)
{
    const std::vector<Span> fenced = findFencedSpans(text);
    const std::vector<Span> inlineSpans = findInlineSpans(text, fenced);

    // Every protected span goes back exactly as it was taken out, the fenced
    // ones inside inline spans included; so the result is the text with "<"
    // and ">" escaped outside the protected spans.
    std::vector<Span> protectedSpans;
    protectedSpans.reserve(fenced.size() + inlineSpans.size());
    std::size_t f = 0;
    for (const Span& span : inlineSpans) {
        for (; f < fenced.size() && fenced[f].begin < span.begin; ++f)
            protectedSpans.push_back(fenced[f]);
        while (f < fenced.size() && fenced[f].end <= span.end)
            ++f; // a placeholder inside the inline span
        protectedSpans.push_back(span);
    }
    for (; f < fenced.size(); ++f)
        protectedSpans.push_back(fenced[f]);

    std::string out;
    out.reserve(text.size() + text.size() / 16);
    std::size_t i = 0;
    auto escapeUpTo = [&](std::size_t end) {
        for (; i < end; ++i) {
            const char c = text[i];
            if (c == '<')
                out += "&lt;";
            else if (c == '>')
                out += "&gt;";
            else
                out += c;
        }
    };
    for (const Span& span : protectedSpans) {
        escapeUpTo(span.begin);
        out.append(text.substr(span.begin, span.end - span.begin));
        i = span.end;
    }
    escapeUpTo(text.size());
    return out;
}

std::string prepareListsForMarkdown(std::string_view text)
{
    const LineList lines = splitLines(text);
    const std::size_t n = lines.size();

    // The nearest-neighbour searches skip blank lines and nested list lines.
    std::vector<char> numbered(n), skipped(n);
    for (std::size_t i = 0; i < n; ++i) {
        numbered[i] = matchNumberedItem(lines[i]);
        skipped[i] = !numbered[i] && (unicode::isBlank(lines[i]) || isNestedListLine(lines[i]));
    }
    std::vector<char> numberedBefore(n), numberedAfter(n);
    for (std::size_t i = 0, last = npos; i < n; ++i) {
        numberedBefore[i] = last != npos && numbered[last];
        if (!skipped[i])
            last = i;
    }
    for (std::size_t i = n, next = npos; i-- > 0;) {
        numberedAfter[i] = next != npos && numbered[next];
        if (!skipped[i])
            next = i;
    }

    LineList out;
    out.reserve(n + n / 8);
    auto lastIsText = [&] { return !out.empty() && !unicode::isBlank(out.back()); };
    bool inFence = false;
    for (std::size_t i = 0; i < n; ++i) {
        const std::string& line = lines[i];
        if (startsWithFence(line)) {
            out.push_back(line);
            inFence = !inFence;
            continue;
        }
        if (inFence) {
            out.push_back(line);
            continue;
        }
        std::size_t digitsEnd, matchEnd;
        if (numbered[i] && matchNumberedItem(line, &digitsEnd, &matchEnd)) {
            if (numberedBefore[i] || numberedAfter[i]) {
                if (lastIsText() && !matchNumberedItem(out.back()) && !isNestedListLine(out.back()))
                    out.emplace_back();
                out.push_back(line);
            } else {
                // A lone numbered line keeps its empty line even after a
                // nested list, or cmark would fold it into the nested item.
                if (lastIsText())
                    out.emplace_back();
                std::string escaped(line, 0, digitsEnd);
                escaped += "\\. ";
                escaped.append(line, matchEnd, npos);
                out.push_back(std::move(escaped));
            }
            continue;
        }
        if (isBulletItem(line)) {
            if (lastIsText() && !isBulletItem(out.back()) && !isNestedListLine(out.back())
                && !(isNestedListLine(line) && matchNumberedItem(out.back())))
                out.emplace_back();
            out.push_back(line);
            continue;
        }
        out.push_back(line);
    }
    return joinLines(out);
}

std::string textToHTML(std::string_view markdown)
{
    const std::string escaped = escapeHTMLTags(markdown);
    const std::string withTables = convertPipeTablesToHTML(escaped);
    const std::string prepared = prepareListsForMarkdown(withTables);
    std::optional<std::string> html = renderWithCmark(prepared);
    if (!html)
        html = "<p>" + prepared + "</p>";
    return joinListItemLines(*html);
}

} // namespace lumeno::MarkdownToHTML
