#include "MarkdownToHTML.h"

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

// Walks the lines of a text (the Line list) without storing them.
class LineCursor {
public:
    explicit LineCursor(std::string_view text, std::size_t start = 0) : text_(text) { load(start); }
    bool done() const { return done_; }
    std::string_view line() const { return line_; }
    std::size_t start() const { return start_; }
    // Where the line ends: its "\n", or the end of the text.
    std::size_t end() const { return start_ + line_.size(); }
    bool hasNext() const { return end() < text_.size(); }
    void next()
    {
        if (hasNext())
            load(end() + 1);
        else
            done_ = true;
    }

private:
    void load(std::size_t start)
    {
        start_ = start;
        const std::size_t end = text_.find('\n', start);
        line_ = text_.substr(start, end == npos ? npos : end - start);
    }

    std::string_view text_, line_;
    std::size_t start_ = 0;
    bool done_ = false;
};

// Builds a text line by line, joined with "\n", and keeps its last line at
// hand.
class LineWriter {
public:
    explicit LineWriter(std::size_t capacity) { text_.reserve(capacity); }
    void add(std::string_view line)
    {
        if (count_++)
            text_ += '\n';
        lastStart_ = text_.size();
        text_ += line;
    }
    bool empty() const { return count_ == 0; }
    std::string_view last() const { return std::string_view(text_).substr(lastStart_); }
    std::string take() { return std::move(text_); }

private:
    std::string text_;
    std::size_t count_ = 0, lastStart_ = 0;
};

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

// Escaping as one forward pass. The protected spans go back exactly as they
// were taken out, the fenced ones inside inline spans included; so the result
// is the text with "<" and ">" escaped outside the protected spans, and the
// placeholders never need to exist.
class TagEscaper {
public:
    explicit TagEscaper(std::string_view text) : text_(text)
    {
        const std::vector<Span> fenced = findFencedSpans(text);
        const std::vector<Span> inlineSpans = findInlineSpans(text, fenced);
        spans_.reserve(fenced.size() + inlineSpans.size());
        std::size_t f = 0;
        for (const Span& span : inlineSpans) {
            for (; f < fenced.size() && fenced[f].begin < span.begin; ++f)
                spans_.push_back(fenced[f]);
            while (f < fenced.size() && fenced[f].end <= span.end)
                ++f; // a placeholder inside the inline span
            spans_.push_back(span);
        }
        for (; f < fenced.size(); ++f)
            spans_.push_back(fenced[f]);
    }

    // Appends the escaped text from where the last call stopped up to `end`.
    void append(std::string& out, std::size_t end)
    {
        while (at_ < end) {
            while (next_ < spans_.size() && spans_[next_].end <= at_)
                ++next_;
            if (next_ < spans_.size() && spans_[next_].begin <= at_) {
                const std::size_t stop = std::min(spans_[next_].end, end);
                out.append(text_, at_, stop - at_); // protected
                at_ = stop;
                continue;
            }
            const std::size_t stop = std::min(next_ < spans_.size() ? spans_[next_].begin : end, end);
            std::size_t i = at_;
            while (i < stop) {
                std::size_t tag = i;
                while (tag < stop && text_[tag] != '<' && text_[tag] != '>')
                    ++tag;
                out.append(text_, i, tag - i);
                if (tag == stop)
                    break;
                out += text_[tag] == '<' ? "&lt;" : "&gt;";
                i = tag + 1;
            }
            at_ = stop;
        }
    }

    // Leaves out text up to `end` (it was written another way).
    void skip(std::size_t end) { at_ = std::max(at_, end); }

private:
    std::string_view text_;
    std::vector<Span> spans_;
    std::size_t next_ = 0, at_ = 0;
};

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

void appendEscapedAngleBrackets(std::string& out, std::string_view text)
{
    for (const char c : text) {
        if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else
            out += c;
    }
}

// Cell text goes into the markup as it is, except that a "<" or ">" still
// raw there (inside a code span, which escaping leaves alone) would be live
// markup: it is escaped here. "&" stays, so text escaped before is unchanged.
void appendCell(std::string& out, std::string_view tag, std::string_view cell)
{
    out += '<';
    out += tag;
    out += '>';
    appendEscapedAngleBrackets(out, cell);
    out += "</";
    out += tag;
    out += '>';
}

void pipeTableToHTML(const std::vector<std::string_view>& lines, std::string& html)
{
    html += "<table>\n<thead>\n<tr>";
    for (const std::string_view cell : parseCells(lines[0]))
        appendCell(html, "th", cell);
    html += "</tr>\n</thead>\n";
    if (lines.size() > 2) {
        html += "<tbody>\n";
        for (std::size_t i = 2; i < lines.size(); ++i) {
            html += "<tr>";
            for (const std::string_view cell : parseCells(lines[i]))
                appendCell(html, "td", cell);
            html += "</tr>\n";
        }
        html += "</tbody>\n";
    }
    html += "</table>";
}

// Finds the table runs of a text and writes their markup to out; what lies
// between them is written by between(out, end), up to `end`, and the text is
// handed back whole (false) when it holds no table.
template <typename Between>
bool convertPipeTablesToHTML(std::string_view text, std::string& out, Between& between)
{
    bool any = false;
    std::vector<std::string_view> run;
    for (LineCursor cursor(text); !cursor.done();) {
        if (!isPipeLine(cursor.line()) || !cursor.hasNext()) {
            cursor.next();
            continue;
        }
        LineCursor below(text, cursor.end() + 1);
        if (!isSeparatorRow(below.line())) {
            cursor.next();
            continue;
        }
        run.assign({cursor.line(), below.line()});
        while (below.hasNext()) {
            LineCursor following(text, below.end() + 1);
            if (!isPipeLine(following.line()))
                break;
            run.push_back(following.line());
            below = following;
        }
        if (!any)
            out.reserve(text.size() + text.size() / 4);
        any = true;
        between(out, cursor.start());
        pipeTableToHTML(run, out);
        between.skip(below.end()); // the line feed after the run stays
        cursor = below;
        cursor.next();
    }
    if (any)
        between(out, text.size());
    return any;
}

// The Part's two steps in one pass: escaping, then the tables of the escaped
// text. The runs are the same either way (escaping touches no "|", "-", ":"
// or space), and a cell ends with every "<" and ">" escaped either way.
std::string escapeTagsAndConvertTables(std::string_view markdown)
{
    struct Between {
        TagEscaper escaper;
        void operator()(std::string& out, std::size_t end) { escaper.append(out, end); }
        void skip(std::size_t end) { escaper.skip(end); }
    } between{TagEscaper(markdown)};
    std::string out;
    if (!convertPipeTablesToHTML(markdown, out, between)) {
        out.reserve(markdown.size() + markdown.size() / 16);
        between(out, markdown.size());
    }
    return out;
}

// --- Rendering ---------------------------------------------------------------------

// liRe "<li>(.*?)</li>" (dot matches line separators): each item up to the
// first "</li>" after it, with "<br />" and "<br>" inside turned into spaces.
// One forward pass; the matches never overlap. Replacing "<br />" by a space
// cannot form a new "<br>", so both replacements fit in one scan.
std::string joinListItemLines(std::string_view html)
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
        std::size_t i = body;
        while (true) {
            const std::size_t br = html.substr(0, stop).find("<br", i);
            if (br == npos)
                break;
            const std::size_t length = html.compare(br, 6, "<br />") == 0 ? 6 : html.compare(br, 4, "<br>") == 0 ? 4 : 0;
            if (length == 0 || br + length > stop) {
                out.append(html, i, br + 3 - i);
                i = br + 3;
                continue;
            }
            out.append(html, i, br - i);
            out += ' ';
            i = br + length;
        }
        out.append(html, i, stop - i);
        out += close;
        copied = stop + close.size();
    }
    out.append(html, copied, npos);
    return out;
}


// The length of the table markup pipeTableToHTML writes, when `text` starts
// with it, else 0. Cells hold no "<", ">" or line feed there, so the markup
// is recognised by its form alone.
std::size_t generatedTableLength(std::string_view text)
{
    std::size_t at = 0;
    const auto take = [&](std::string_view part) {
        if (text.compare(at, part.size(), part) != 0)
            return false;
        at += part.size();
        return true;
    };
    const auto takeRow = [&](std::string_view open, std::string_view close) {
        if (!take("<tr>"))
            return false;
        while (take(open)) {
            const std::size_t end = text.find_first_of("<>\n", at);
            if (end == npos)
                return false;
            at = end;
            if (!take(close))
                return false;
        }
        return take("</tr>\n");
    };
    if (!take("<table>\n<thead>\n") || !takeRow("<th>", "</th>") || !take("</thead>\n"))
        return 0;
    if (take("<tbody>\n")) {
        while (text.compare(at, 4, "<tr>") == 0) {
            if (!takeRow("<td>", "</td>"))
                return 0;
        }
        if (!take("</tbody>\n"))
            return 0;
    }
    return take("</table>") ? at : 0;
}

// Escaping leaves every "<" of the text escaped but inside code spans and
// fences as the escaping patterns find them; where cmark reads such a span
// differently (four backticks against three, or a span on the line after a
// table, inside the table's HTML block), its content would reach the HTML
// flavour as live markup. So the only raw HTML let through is the table
// markup made here; any other raw HTML in the document shows as text.
void neutraliseForeignHTML(cmark_node* document)
{
    cmark_iter* iter = cmark_iter_new(document);
    std::string safe;
    for (cmark_event_type event; (event = cmark_iter_next(iter)) != CMARK_EVENT_DONE;) {
        if (event != CMARK_EVENT_ENTER)
            continue;
        cmark_node* node = cmark_iter_get_node(iter);
        const cmark_node_type type = cmark_node_get_type(node);
        if (type != CMARK_NODE_HTML_INLINE && type != CMARK_NODE_HTML_BLOCK)
            continue;
        const char* literal = cmark_node_get_literal(node);
        const std::string_view raw = literal ? literal : "";
        safe.clear();
        std::size_t copied = 0;
        for (std::size_t i = raw.find_first_of("<>"); i != npos; i = raw.find_first_of("<>", i)) {
            if (type == CMARK_NODE_HTML_BLOCK) {
                if (const std::size_t table = generatedTableLength(raw.substr(i))) {
                    i += table;
                    continue;
                }
            }
            safe.append(raw, copied, i - copied);
            safe += raw[i] == '<' ? "&lt;" : "&gt;";
            copied = ++i;
        }
        if (copied == 0)
            continue;
        safe.append(raw, copied, npos);
        cmark_node_set_literal(node, safe.c_str());
    }
    cmark_iter_free(iter);
}

// cmark's rendering, with the list-item clean-up done on its buffer.
std::optional<std::string> renderWithCmark(const std::string& markdown)
{
    constexpr int options = CMARK_OPT_SMART | CMARK_OPT_UNSAFE;
    // cmark is handed a C string: what follows a NUL is not part of it.
    const std::size_t length = std::min(markdown.find('\0'), markdown.size());
    cmark_node* document = cmark_parse_document(markdown.data(), length, options);
    if (!document)
        return std::nullopt;
    neutraliseForeignHTML(document);
    char* rendered = cmark_render_html(document, options);
    if (!rendered) {
        cmark_node_free(document);
        return std::nullopt;
    }
    cmark_node_free(document);
    const std::string_view html(rendered);
    std::optional<std::string> cleaned;
    if (unicode::isValidUtf8(html))
        cleaned = joinListItemLines(html);
    std::free(rendered);
    return cleaned;
}

} // namespace

std::string escapeHTMLTags(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    TagEscaper(text).append(out, text.size());
    return out;
}

namespace {

// The list preparation on a text it may hand back unchanged, which is the
// usual case for Markdown from the HTML road.
std::string prepareLists(std::string text)
{
    // The nearest-neighbour searches skip blank lines and nested list lines.
    std::vector<char> numbered, skipped;
    for (LineCursor line(text); !line.done(); line.next()) {
        numbered.push_back(matchNumberedItem(line.line()));
        skipped.push_back(!numbered.back() && (unicode::isBlank(line.line()) || isNestedListLine(line.line())));
    }
    const std::size_t n = numbered.size();
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

    // First what becomes of each line: an empty line in front of it, its
    // period escaped. The last line written is all the decisions look at.
    enum : char { Keep = 0, Gap = 1, Escape = 2 };
    std::vector<char> change(n, Keep);
    bool changed = false;
    std::optional<std::string_view> last; // none before the first line
    constexpr std::string_view escapedLine = "3\\. x"; // stands for any escaped line
    auto lastIsText = [&] { return last && !unicode::isBlank(*last); };
    bool inFence = false;
    std::size_t i = 0;
    for (LineCursor cursor(text); !cursor.done(); cursor.next(), ++i) {
        const std::string_view line = cursor.line();
        if (startsWithFence(line)) {
            inFence = !inFence;
        } else if (!inFence && numbered[i]) {
            if (numberedBefore[i] || numberedAfter[i]) {
                if (lastIsText() && !matchNumberedItem(*last) && !isNestedListLine(*last))
                    change[i] |= Gap;
            } else {
                // A lone numbered line keeps its empty line even after a
                // nested list, or cmark would fold it into the nested item.
                if (lastIsText())
                    change[i] |= Gap;
                change[i] |= Escape;
            }
        } else if (!inFence && isBulletItem(line)) {
            if (lastIsText() && !isBulletItem(*last) && !isNestedListLine(*last)
                && !(isNestedListLine(line) && matchNumberedItem(*last)))
                change[i] |= Gap;
        }
        changed |= change[i] != Keep;
        last = change[i] & Escape ? escapedLine : line;
    }
    if (!changed)
        return text;

    LineWriter out(text.size() + text.size() / 16);
    std::string escaped;
    i = 0;
    for (LineCursor cursor(text); !cursor.done(); cursor.next(), ++i) {
        const std::string_view line = cursor.line();
        if (change[i] & Gap)
            out.add({});
        if (change[i] & Escape) {
            std::size_t digitsEnd, matchEnd;
            matchNumberedItem(line, &digitsEnd, &matchEnd);
            escaped.assign(line.substr(0, digitsEnd));
            escaped += "\\. ";
            escaped += line.substr(matchEnd);
            out.add(escaped);
        } else {
            out.add(line);
        }
    }
    return out.take();
}

} // namespace

std::string prepareListsForMarkdown(std::string_view text) { return prepareLists(std::string(text)); }

std::string textToHTML(std::string_view markdown)
{
    // Text from outside may hold ill-formed UTF-8; it is read with U+FFFD.
    if (!unicode::isValidUtf8(markdown)) {
        const std::string valid = unicode::toValidUtf8(markdown);
        return textToHTML(valid);
    }
    const std::string prepared = prepareLists(escapeTagsAndConvertTables(markdown));
    std::optional<std::string> html = renderWithCmark(prepared);
    return html ? std::move(*html) : joinListItemLines("<p>" + prepared + "</p>");
}

} // namespace lumeno::MarkdownToHTML
