#include "HTMLToMarkdown.h"

#include "HTMLNesting.h"
#include "Lines.h"
#include "Unicode.h"
#include "Whitespace.h"

#include <gumbo.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <deque>
#include <memory>
#include <vector>

namespace lumeno::HTMLToMarkdown {

namespace {

// --- The document tree ---------------------------------------------------------

bool isElement(const GumboNode* node)
{
    return node->type == GUMBO_NODE_ELEMENT || node->type == GUMBO_NODE_TEMPLATE;
}

// Whitespace-only text and CDATA are text nodes too.
bool isText(const GumboNode* node)
{
    return node->type == GUMBO_NODE_TEXT || node->type == GUMBO_NODE_WHITESPACE || node->type == GUMBO_NODE_CDATA;
}

GumboTag tagOf(const GumboNode* node) { return node->v.element.tag; }

const GumboVector& childrenOf(const GumboNode* node) { return node->v.element.children; }

const GumboNode* childAt(const GumboNode* node, unsigned i)
{
    return static_cast<const GumboNode*>(childrenOf(node).data[i]);
}

std::string_view wholeText(const GumboNode* node) { return node->v.text.text; }

std::string_view attributeValue(const GumboNode* element, const char* name)
{
    const GumboAttribute* attribute = gumbo_get_attribute(&element->v.element.attributes, name);
    return attribute ? std::string_view(attribute->value) : std::string_view();
}

bool isHeading(GumboTag t) { return t >= GUMBO_TAG_H1 && t <= GUMBO_TAG_H6; }
bool isList(GumboTag t) { return t == GUMBO_TAG_UL || t == GUMBO_TAG_OL; }

// Elements before which the normalised text of an element gets a space.
bool isBlockLevel(GumboTag t)
{
    switch (t) {
    case GUMBO_TAG_HTML: case GUMBO_TAG_HEAD: case GUMBO_TAG_BODY: case GUMBO_TAG_FRAMESET: case GUMBO_TAG_SCRIPT:
    case GUMBO_TAG_NOSCRIPT: case GUMBO_TAG_STYLE: case GUMBO_TAG_META: case GUMBO_TAG_LINK: case GUMBO_TAG_TITLE:
    case GUMBO_TAG_FRAME: case GUMBO_TAG_NOFRAMES: case GUMBO_TAG_SECTION: case GUMBO_TAG_NAV: case GUMBO_TAG_ASIDE:
    case GUMBO_TAG_HGROUP: case GUMBO_TAG_HEADER: case GUMBO_TAG_FOOTER: case GUMBO_TAG_P: case GUMBO_TAG_H1:
    case GUMBO_TAG_H2: case GUMBO_TAG_H3: case GUMBO_TAG_H4: case GUMBO_TAG_H5: case GUMBO_TAG_H6: case GUMBO_TAG_UL:
    case GUMBO_TAG_OL: case GUMBO_TAG_PRE: case GUMBO_TAG_DIV: case GUMBO_TAG_BLOCKQUOTE: case GUMBO_TAG_HR:
    case GUMBO_TAG_ADDRESS: case GUMBO_TAG_FIGURE: case GUMBO_TAG_FIGCAPTION: case GUMBO_TAG_FORM:
    case GUMBO_TAG_FIELDSET: case GUMBO_TAG_INS: case GUMBO_TAG_DEL: case GUMBO_TAG_S: case GUMBO_TAG_DL:
    case GUMBO_TAG_DT: case GUMBO_TAG_DD: case GUMBO_TAG_LI: case GUMBO_TAG_TABLE: case GUMBO_TAG_CAPTION:
    case GUMBO_TAG_THEAD: case GUMBO_TAG_TFOOT: case GUMBO_TAG_TBODY: case GUMBO_TAG_COLGROUP: case GUMBO_TAG_COL:
    case GUMBO_TAG_TR: case GUMBO_TAG_TH: case GUMBO_TAG_TD: case GUMBO_TAG_VIDEO: case GUMBO_TAG_AUDIO:
    case GUMBO_TAG_CANVAS: case GUMBO_TAG_DETAILS: case GUMBO_TAG_MENU: case GUMBO_TAG_PLAINTEXT:
    case GUMBO_TAG_TEMPLATE: case GUMBO_TAG_ARTICLE: case GUMBO_TAG_MAIN: case GUMBO_TAG_SVG: case GUMBO_TAG_MATH:
        return true;
    default:
        return false;
    }
}

bool keepsWhitespace(const GumboNode* node)
{
    if (!node || !isElement(node))
        return false;
    const GumboTag t = tagOf(node);
    return t == GUMBO_TAG_PRE || t == GUMBO_TAG_PLAINTEXT || t == GUMBO_TAG_TITLE || t == GUMBO_TAG_TEXTAREA;
}

// Script and style contents are data, not text.
bool holdsData(const GumboNode* node)
{
    return node && isElement(node) && (tagOf(node) == GUMBO_TAG_SCRIPT || tagOf(node) == GUMBO_TAG_STYLE);
}

// Calls visit(node) for every node below root in document order, without
// recursion; visit returns false to skip the node's children.
template <typename Visit>
void walkDescendants(const GumboNode* root, Visit visit)
{
    std::vector<std::pair<const GumboNode*, unsigned>> path{{root, 0}};
    while (!path.empty()) {
        auto& [node, next] = path.back();
        if (next >= childrenOf(node).length) {
            path.pop_back();
            continue;
        }
        const GumboNode* child = childAt(node, next++);
        if (visit(child) && isElement(child) && childrenOf(child).length > 0)
            path.push_back({child, 0});
    }
}

// --- Text --------------------------------------------------------------------------

bool isAsciiRunSpace(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

// collapseRe "\s+" (ICU) replaced by " ", after "\n" by " ": every run of
// tab, LF, FF, CR and Unicode separators (the no-break space among them)
// becomes one space; nothing is trimmed.
void appendCollapsed(std::string& out, std::string_view text)
{
    bool inRun = false;
    for (std::size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        std::size_t length = 1;
        bool space;
        if (b < 0x80) {
            space = isAsciiRunSpace(b);
        } else {
            space = unicode::isIcuSpace(unicode::decodeAt(text, i, &length));
        }
        if (space) {
            if (!inRun)
                out += ' ';
            inRun = true;
        } else {
            out.append(text, i, length);
            inRun = false;
        }
        i += length;
    }
}

// The normalised text of an element: its descendant text nodes in order,
// white space collapsed except under pre, plaintext, title and textarea (the
// parent or the parent's parent), a space before each block-level element and
// br, trimmed at both ends.
std::string normalisedText(const GumboNode* element)
{
    std::string text;
    auto endsWithSpace = [&] { return !text.empty() && text.back() == ' '; };
    walkDescendants(element, [&](const GumboNode* node) {
        if (isElement(node)) {
            const GumboTag t = tagOf(node);
            if ((isBlockLevel(t) || t == GUMBO_TAG_BR) && !text.empty() && !endsWithSpace())
                text += ' ';
            return true;
        }
        if (!isText(node) || holdsData(node->parent))
            return false;
        const std::string_view whole = wholeText(node);
        if (keepsWhitespace(node->parent) || (node->parent && keepsWhitespace(node->parent->parent))) {
            text += whole;
            return false;
        }
        // Runs of space, tab, LF, FF and CR become one space, and none
        // follows a space already written; the no-break space is not one.
        for (const char c : whole) {
            if (!isAsciiRunSpace(static_cast<unsigned char>(c)))
                text += c;
            else if (!endsWithSpace())
                text += ' ';
        }
        return false;
    });
    return std::string(unicode::trimSpaceAndLineBreaks(text));
}

const GumboNode* firstDescendant(const GumboNode* element, GumboTag tag)
{
    const GumboNode* found = nullptr;
    walkDescendants(element, [&](const GumboNode* node) {
        if (found)
            return false;
        if (isElement(node) && tagOf(node) == tag)
            found = node;
        return !found;
    });
    return found;
}

bool isBlankText(std::string_view s) { return unicode::trimSpaceAndLineBreaks(s).empty(); }

// Whether the cluster c starting at s[at] is blank: all its code points are
// white space or line breaks.
bool isBlankCluster(std::string_view s, std::size_t at, const unicode::Cluster& c)
{
    return unicode::isWhiteSpace(c.first) && (c.single || isBlankText(s.substr(at, c.end - at)));
}

// --- Regions -----------------------------------------------------------------------
//
// A block quote trims its content and puts "> " in front of every line of it;
// a list item trims its text. Done where the rule finishes, that would copy
// the content once for every quote or item around it, which for deep nesting
// costs the depth times the output. Instead these rules mark their regions in
// the output (with NUL, which parsed text never holds) and one pass over the
// finished text trims them and writes the prefixes.

constexpr std::string_view quoteStart{"\0\1", 2}, quoteEnd{"\0\2", 2};
constexpr std::string_view trimStart{"\0\3", 2}, trimEnd{"\0\4", 2};

// The text with its regions resolved: the content of each region trimmed of
// white space and line breaks at both ends, and inside quotes every line
// (pieces between "\n") prefixed with "> " once for every quote it lies in.
// Regions hold text that is never blank ("> " or an item's marker), so the
// rules that test for blank content may see the marks and count them as text.
std::string resolveRegions(std::string marked)
{
    if (marked.find('\0') == std::string::npos)
        return marked;
    const std::string_view text = marked;
    struct Region {
        bool quote;
        bool started; // its first non-blank character has been written
    };
    std::vector<Region> regions;
    std::size_t quotes = 0; // started quote regions
    std::string out, pending;
    out.reserve(text.size() + text.size() / 4);

    auto startRegions = [&] {
        for (Region& r : regions) {
            if (r.started)
                continue;
            r.started = true;
            if (r.quote) {
                out += "> ";
                ++quotes;
            }
        }
    };
    auto flushPending = [&] {
        for (const char c : pending) {
            out += c;
            if (c == '\n') {
                for (std::size_t k = 0; k < quotes; ++k)
                    out += "> ";
            }
        }
        pending.clear();
    };

    for (std::size_t i = 0; i < text.size();) {
        if (text[i] == '\0' && i + 1 < text.size()) {
            const std::string_view mark = text.substr(i, 2);
            i += 2;
            if (mark == quoteStart || mark == trimStart) {
                if (!regions.empty()) {
                    startRegions();
                    flushPending();
                }
                regions.push_back({mark == quoteStart, false});
            } else if (!regions.empty()) {
                const Region r = regions.back();
                if (!r.started && r.quote)
                    out += "> "; // an empty quote is one empty line
                if (r.started && r.quote)
                    --quotes;
                pending.clear(); // trailing white space of the region
                regions.pop_back();
            }
            continue;
        }
        const unicode::Cluster c = unicode::clusterAt(text, i);
        const bool blank = isBlankCluster(text, i, c);
        if (regions.empty()) {
            out.append(text, i, c.end - i);
        } else if (blank) {
            if (regions.back().started)
                pending.append(text, i, c.end - i);
        } else {
            startRegions();
            flushPending();
            out.append(text, i, c.end - i);
        }
        i = c.end;
    }
    return out;
}

// --- The walk ----------------------------------------------------------------------
//
// Element rules nest as deep as the document. Each open rule is a frame on an
// explicit stack: the loop takes the top frame, lets it walk on to its next
// child (which may open a frame of its own) and, once its children are done,
// finishes it. Rules write straight into their parent's text and mend it
// when they finish (drop a "**" whose content stayed empty, say); only table
// cells collect their text apart.

enum class Rule {
    Children,      // processNode and inlineContent: the children, nothing around them
    Heading,
    Paragraph,
    Strong,
    Emphasis,
    Link,
    Section,       // div, section, article, main, figure, figcaption
    Blockquote,
    List,
    ListItem,      // processLI
    ItemParagraph, // a p directly in an li
    Table,         // processTable
    Cell,
};

struct Frame {
    Rule rule;
    const GumboNode* node;
    int listDepth;     // the depth the children are converted at
    bool inCell;       // inside a table cell, whose table has taken every row below
    std::string* out;  // where the element's Markdown goes
    std::size_t mark;  // where it starts in *out
    unsigned next = 0; // the next child to walk

    std::string_view href;          // Link
    bool ordered = false;           // List
    bool childList = false;         // List: a list directly inside another list
    int itemNumber = 0;             // List
    bool nestedLists = false;       // ListItem: walking its lists, after its text
    std::size_t textStart = 0;      // ListItem: where its text starts
    std::size_t blankUpTo = 0;      // ListItem: its text is blank up to here
    std::size_t nestedStart = 0;    // ListItem: where its lists start
    std::size_t paragraphStart = 0; // ItemParagraph: where its text starts

    // Table: the rows below it, the one being walked, the cells of that one
    // so far, the rows done. Cell: its text and its table.
    std::vector<const GumboNode*> rows;
    std::size_t row = 0;
    std::vector<std::string> cells;
    std::vector<std::vector<std::string>> grid;
    std::string cellText;
    Frame* table = nullptr;
};

class Converter {
public:
    // The children of the body at depth 0, regions resolved.
    std::string convertBody(const GumboNode* body)
    {
        std::string out;
        open(Rule::Children, body, 0, false, out);
        run();
        return resolveRegions(std::move(out));
    }

private:
    Frame& open(Rule rule, const GumboNode* node, int listDepth, bool inCell, std::string& out)
    {
        Frame& f = frames_.emplace_back();
        f.rule = rule;
        f.node = node;
        f.listDepth = listDepth;
        f.inCell = inCell;
        f.out = &out;
        f.mark = out.size();
        return f;
    }

    void run()
    {
        while (!frames_.empty()) {
            Frame& f = frames_.back();
            if (!advance(f)) {
                finish(f);
                frames_.pop_back();
            }
        }
    }

    // Walks f on to its next child that opens a frame; false once f has no
    // children left.
    bool advance(Frame& f)
    {
        switch (f.rule) {
        case Rule::List:
            return advanceList(f);
        case Rule::ListItem:
            return advanceItem(f);
        case Rule::Table:
            return advanceTable(f);
        default:
            break;
        }
        std::string& out = f.rule == Rule::Cell ? f.cellText : *f.out;
        while (f.next < childrenOf(f.node).length) {
            const GumboNode* child = childAt(f.node, f.next++);
            if (isText(child))
                appendCollapsed(out, wholeText(child));
            else if (isElement(child) && processElement(child, f.listDepth, f.inCell, out))
                return true;
        }
        return false;
    }

    // Converts an element into out at the given list depth. Returns true when
    // it opened a frame, which the loop goes on with.
    bool processElement(const GumboNode* element, int listDepth, bool inCell, std::string& out)
    {
        const GumboTag tag = tagOf(element);
        if (isHeading(tag)) {
            out += "\n\n";
            out.append(static_cast<std::size_t>(tag - GUMBO_TAG_H1 + 1), '#');
            out += ' ';
            const bool opened = openChildren(Rule::Heading, element, 0, inCell, out);
            if (!opened)
                out += "\n\n"; // the content is not tested for emptiness
            return opened;
        }
        switch (tag) {
        case GUMBO_TAG_P:
            return openWrapped(Rule::Paragraph, element, 0, inCell, out, "\n\n");
        case GUMBO_TAG_BR:
            out += '\n';
            return false;
        case GUMBO_TAG_STRONG:
        case GUMBO_TAG_B:
            return openWrapped(Rule::Strong, element, 0, inCell, out, "**");
        case GUMBO_TAG_EM:
        case GUMBO_TAG_I:
            return openWrapped(Rule::Emphasis, element, 0, inCell, out, "*");
        case GUMBO_TAG_CODE: {
            const std::string text = normalisedText(element);
            if (!text.empty()) {
                out += '`';
                out += text;
                out += '`';
            }
            return false;
        }
        case GUMBO_TAG_A: {
            const std::string_view href = attributeValue(element, "href");
            if (href.empty())
                return openChildren(Rule::Children, element, 0, inCell, out);
            if (!openWrapped(Rule::Link, element, 0, inCell, out, "["))
                return false;
            frames_.back().href = href;
            return true;
        }
        case GUMBO_TAG_IMG:
        case GUMBO_TAG_SCRIPT:
        case GUMBO_TAG_STYLE:
            return false;
        case GUMBO_TAG_UL:
        case GUMBO_TAG_OL:
            openList(element, listDepth, inCell, out, false);
            return true;
        case GUMBO_TAG_PRE: {
            const GumboNode* code = firstDescendant(element, GUMBO_TAG_CODE);
            out += "\n\n```\n";
            out += normalisedText(code ? code : element);
            out += "\n```\n\n";
            return false;
        }
        case GUMBO_TAG_TABLE:
            if (inCell)
                return false; // its rows are rows of the table around it
            openTable(element, out);
            return true;
        case GUMBO_TAG_BLOCKQUOTE:
            out += "\n\n";
            out += quoteStart;
            if (openChildren(Rule::Blockquote, element, listDepth, inCell, out))
                return true;
            finishBlockquote(out);
            return false;
        case GUMBO_TAG_DIV:
        case GUMBO_TAG_SECTION:
        case GUMBO_TAG_ARTICLE:
        case GUMBO_TAG_MAIN:
        case GUMBO_TAG_FIGURE:
        case GUMBO_TAG_FIGCAPTION:
            return openWrapped(Rule::Section, element, listDepth, inCell, out, "\n\n");
        default:
            return openChildren(Rule::Children, element, listDepth, inCell, out);
        }
    }

    // Opens a frame for an element's children; false when it has none.
    bool openChildren(Rule rule, const GumboNode* element, int listDepth, bool inCell, std::string& out)
    {
        if (childrenOf(element).length == 0)
            return false;
        open(rule, element, listDepth, inCell, out);
        return true;
    }

    // For the rules that drop empty content: writes what goes in front of
    // the content and opens the frame, or writes nothing when there are no
    // children.
    bool openWrapped(Rule rule, const GumboNode* element, int listDepth, bool inCell, std::string& out,
                     std::string_view opening)
    {
        if (childrenOf(element).length == 0)
            return false;
        open(rule, element, listDepth, inCell, out);
        out += opening;
        return true;
    }

    void finish(Frame& f)
    {
        std::string& out = *f.out;
        switch (f.rule) {
        case Rule::Children:
            break;
        case Rule::Heading:
            out += "\n\n";
            break;
        case Rule::Paragraph:
            // Blank means only horizontal white space here.
            if (unicode::isBlank(std::string_view(out).substr(f.mark + 2)))
                out.resize(f.mark);
            else
                out += "\n\n";
            break;
        case Rule::Strong:
            if (out.size() == f.mark + 2)
                out.resize(f.mark);
            else
                out += "**";
            break;
        case Rule::Emphasis:
            if (out.size() == f.mark + 1)
                out.resize(f.mark);
            else
                out += '*';
            break;
        case Rule::Link:
            if (out.size() == f.mark + 1) {
                out.resize(f.mark);
            } else {
                out += "](";
                out += f.href;
                out += ')';
            }
            break;
        case Rule::Section:
            if (isBlankFrom(out, f.mark + 2))
                out.resize(f.mark);
            else
                out += "\n\n";
            break;
        case Rule::Blockquote:
            finishBlockquote(out);
            break;
        case Rule::List:
            finishList(f);
            break;
        case Rule::ListItem:
            finishItem(f);
            break;
        case Rule::ItemParagraph:
            // The paragraph joins the item's text after one space, unless it
            // holds nothing.
            if (isBlankText(std::string_view(out).substr(f.paragraphStart)))
                out.resize(f.mark);
            break;
        case Rule::Table:
            finishTable(f);
            break;
        case Rule::Cell:
            finishCell(f);
            break;
        }
    }

    static void finishBlockquote(std::string& out)
    {
        out += quoteEnd;
        out += "\n\n";
    }

    // Whether out[from, end) is blank (white space and line breaks). Nested
    // sections would each scan the same leading blank run; the run found by
    // the last scan is skipped when a scan comes to its start.
    bool isBlankFrom(const std::string& out, std::size_t from)
    {
        auto isBlankAt = [&](std::size_t i, std::size_t* end) {
            const unicode::Cluster c = unicode::clusterAt(out, i);
            *end = c.end;
            return isBlankCluster(out, i, c);
        };
        std::size_t i = from, end;
        while (i < out.size()) {
            if (blankRun_.text == &out && i == blankRun_.from && blankRun_.to < out.size()
                && !isBlankAt(blankRun_.to, &end)) {
                i = blankRun_.to;
                break;
            }
            if (!isBlankAt(i, &end))
                break;
            i = end;
        }
        if (i < out.size())
            blankRun_ = {&out, from, i};
        return i >= out.size();
    }

    // --- Lists (processLI) ------------------------------------------------------
    //
    // An item's line comes first and its lists after it, whatever their order
    // among its children; so the item walks its children twice, first for its
    // text, then for its lists, and writes both straight into the output.

    // A list writes "\n", its items and "\n". Where every "\n" at the start
    // of its result goes (the first of an item's lists, a list standing
    // directly in a list), the first one is not written; a list in a list
    // also loses those at its end and ends in one "\n", when not empty.
    void openList(const GumboNode* element, int listDepth, bool inCell, std::string& out, bool skipLeadingFeed,
                  bool childList = false)
    {
        Frame& f = open(Rule::List, element, listDepth, inCell, out);
        f.ordered = tagOf(element) == GUMBO_TAG_OL;
        f.childList = childList;
        if (!skipLeadingFeed)
            out += '\n';
    }

    void finishList(Frame& f)
    {
        std::string& out = *f.out;
        out += '\n';
        if (f.childList) {
            while (out.size() > f.mark && out.back() == '\n')
                out.pop_back();
            if (out.size() > f.mark)
                out += '\n';
        }
    }

    bool advanceList(Frame& list)
    {
        std::string& items = *list.out;
        while (list.next < childrenOf(list.node).length) {
            const GumboNode* child = childAt(list.node, list.next++);
            if (!isElement(child))
                continue; // text between items is not looked at
            const GumboTag tag = tagOf(child);
            if (tag == GUMBO_TAG_LI) {
                std::string prefix(static_cast<std::size_t>(list.listDepth) * 3, ' ');
                prefix += list.ordered ? std::to_string(++list.itemNumber) + ". " : "- ";
                Frame& item = open(Rule::ListItem, child, list.listDepth, list.inCell, items);
                items += prefix;
                items += trimStart;
                item.textStart = item.blankUpTo = items.size();
                return true;
            }
            if (isList(tag)) {
                // A list standing directly in a list is converted one level
                // deeper, as if an item held it.
                openList(child, list.listDepth + 1, list.inCell, items, true, true);
                return true;
            }
            // any other element is skipped with everything inside it
        }
        return false;
    }

    bool advanceItem(Frame& item)
    {
        std::string& out = *item.out;
        while (true) {
            if (item.next >= childrenOf(item.node).length) {
                if (item.nestedLists)
                    return false;
                out += trimEnd;
                out += '\n';
                item.nestedLists = true;
                item.nestedStart = out.size();
                item.next = 0;
                continue;
            }
            const GumboNode* child = childAt(item.node, item.next++);
            const bool list = isElement(child) && isList(tagOf(child));
            if (item.nestedLists) {
                if (!list)
                    continue;
                // Lists that gave only line feeds so far leave nothing.
                if (out.size() > item.nestedStart && out[item.nestedStart] == '\n')
                    out.resize(item.nestedStart);
                openList(child, item.listDepth + 1, item.inCell, out, out.size() == item.nestedStart);
                return true;
            }
            if (list)
                continue;
            if (isText(child)) {
                appendCollapsed(out, wholeText(child));
            } else if (isElement(child) && tagOf(child) == GUMBO_TAG_P) {
                if (childrenOf(child).length == 0)
                    continue;
                Frame& p = open(Rule::ItemParagraph, child, 0, item.inCell, out);
                if (!isItemTextBlank(item))
                    out += ' ';
                p.paragraphStart = out.size();
                return true;
            } else if (isElement(child) && processElement(child, item.listDepth, item.inCell, out)) {
                return true;
            }
        }
    }

    // Whether the item's text so far is blank; each character is looked at
    // once, however many paragraphs ask.
    static bool isItemTextBlank(Frame& item)
    {
        const std::string& out = *item.out;
        item.blankUpTo = std::min(std::max(item.blankUpTo, item.textStart), out.size());
        while (item.blankUpTo < out.size()) {
            const unicode::Cluster c = unicode::clusterAt(out, item.blankUpTo);
            if (!isBlankCluster(out, item.blankUpTo, c))
                return false;
            item.blankUpTo = c.end;
        }
        return true;
    }

    static void finishItem(Frame& item)
    {
        std::string& out = *item.out;
        while (out.size() > item.nestedStart && out.back() == '\n')
            out.pop_back();
        if (out.size() > item.nestedStart)
            out += '\n';
    }

    // --- Tables (processTable) ----------------------------------------------------
    //
    // Every tr below the table is a row of it, those of nested tables
    // included; a table inside a cell therefore adds nothing to the cell's
    // text, or its rows would be written once for every table around them.

    void openTable(const GumboNode* table, std::string& out)
    {
        Frame& f = open(Rule::Table, table, 0, false, out);
        walkDescendants(table, [&](const GumboNode* node) {
            if (isElement(node) && tagOf(node) == GUMBO_TAG_TR)
                f.rows.push_back(node);
            return true;
        });
    }

    bool advanceTable(Frame& table)
    {
        while (table.row < table.rows.size()) {
            const GumboNode* tr = table.rows[table.row];
            while (table.next < childrenOf(tr).length) {
                const GumboNode* cell = childAt(tr, table.next++);
                if (!isElement(cell) || (tagOf(cell) != GUMBO_TAG_TD && tagOf(cell) != GUMBO_TAG_TH))
                    continue;
                // A cell writes nothing where the table does; its text goes to
                // its own buffer, then into the table's row.
                Frame& f = open(Rule::Cell, cell, 0, true, *table.out);
                f.table = &table;
                return true;
            }
            if (!table.cells.empty())
                table.grid.push_back(std::move(table.cells));
            table.cells.clear();
            ++table.row;
            table.next = 0;
        }
        return false;
    }

    // A cell's text on one line: every run of white space (ICU "\s", line
    // feeds included) one space, trimmed.
    static void finishCell(Frame& cell)
    {
        const std::string resolved = resolveRegions(cell.cellText);
        std::string text;
        text.reserve(resolved.size());
        appendCollapsed(text, resolved);
        cell.table->cells.emplace_back(unicode::trimSpaceAndLineBreaks(text));
    }

    static void finishTable(Frame& table)
    {
        if (table.grid.empty())
            return;
        std::size_t columns = 0;
        for (const auto& row : table.grid)
            columns = std::max(columns, row.size());
        std::string& out = *table.out;
        out += "\n\n";
        auto writeRow = [&](const std::vector<std::string>& cells) {
            out += "| ";
            for (std::size_t i = 0; i < columns; ++i) {
                if (i)
                    out += " | ";
                if (i < cells.size())
                    out += cells[i];
            }
            out += " |\n";
        };
        writeRow(table.grid.front());
        out += "| ";
        for (std::size_t i = 0; i < columns; ++i)
            out += i ? " | ---" : "---";
        out += " |\n";
        for (std::size_t r = 1; r < table.grid.size(); ++r)
            writeRow(table.grid[r]);
        out += '\n';
    }

    // Stable addresses: frames point at their parents' buffers.
    std::deque<Frame> frames_;
    struct {
        const std::string* text = nullptr;
        std::size_t from = 0, to = 0;
    } blankRun_;
};

// --- Parsing -------------------------------------------------------------------------

struct OutputDeleter {
    void operator()(GumboOutput* output) const { gumbo_destroy_output(&kGumboDefaultOptions, output); }
};

const GumboNode* findBody(const GumboOutput& output)
{
    const GumboNode* root = output.root;
    if (!root || !isElement(root))
        return nullptr;
    for (unsigned i = 0; i < childrenOf(root).length; ++i) {
        const GumboNode* child = childAt(root, i);
        if (isElement(child) && tagOf(child) == GUMBO_TAG_BODY)
            return child;
    }
    return nullptr;
}

void removeZeroWidthSpaces(std::string& s)
{
    static constexpr std::string_view zwsp = "\xE2\x80\x8B";
    std::size_t w = 0;
    for (std::size_t r = 0; r < s.size();) {
        if (s.compare(r, zwsp.size(), zwsp) == 0) {
            r += zwsp.size();
            continue;
        }
        s[w++] = s[r++];
    }
    s.resize(w);
}

} // namespace

std::size_t maxRecreatedElements(std::size_t htmlBytes) { return 16384 + htmlBytes / 16; }

namespace {

// Numeric character references beyond U+10FFFF stand for U+FFFD. The parser
// adds up their digits without checking for overflow, so such a reference
// can come out as a stray byte or swallow the text after it; they are
// rewritten to U+FFFD's own number before parsing. Nothing when none occurs.
std::optional<std::string> repairHugeReferences(std::string_view html)
{
    std::optional<std::string> out;
    std::size_t copied = 0;
    for (std::size_t amp = html.find("&#"); amp != std::string_view::npos; amp = html.find("&#", amp + 2)) {
        std::size_t i = amp + 2;
        const bool hex = i < html.size() && (html[i] == 'x' || html[i] == 'X');
        if (hex)
            ++i;
        const std::size_t digits = i;
        std::uint64_t value = 0;
        for (; i < html.size(); ++i) {
            const char c = html[i];
            int digit;
            if (c >= '0' && c <= '9')
                digit = c - '0';
            else if (hex && c >= 'a' && c <= 'f')
                digit = c - 'a' + 10;
            else if (hex && c >= 'A' && c <= 'F')
                digit = c - 'A' + 10;
            else
                break;
            value = std::min<std::uint64_t>(value * (hex ? 16 : 10) + static_cast<std::uint64_t>(digit), 0x110000);
        }
        if (i == digits || value <= 0x10FFFF)
            continue;
        if (!out)
            out.emplace().reserve(html.size());
        out->append(html, copied, digits - copied);
        out->append(hex ? "FFFD" : "65533");
        copied = i;
    }
    if (out)
        out->append(html, copied, std::string_view::npos);
    return out;
}

} // namespace

std::string convert(std::string_view html)
{
    // Text from outside may hold ill-formed UTF-8; it is read with U+FFFD.
    if (!unicode::isValidUtf8(html)) {
        const std::string valid = unicode::toValidUtf8(html);
        return convert(valid);
    }
    // A document the parser would build too deep, or inflate with re-created
    // elements, counts as one it fails on.
    const HTMLNesting::Nesting limits{maxNestingDepth, maxRecreatedElements(html.size())};
    const HTMLNesting::Nesting nesting = HTMLNesting::measure(html, limits);
    if (nesting.depth > limits.depth || nesting.recreated > limits.recreated)
        return std::string(html);

    const std::optional<std::string> repaired = repairHugeReferences(html);
    const std::string_view source = repaired ? std::string_view(*repaired) : html;
    GumboOptions options = kGumboDefaultOptions;
    options.max_errors = 0;
    const std::unique_ptr<GumboOutput, OutputDeleter> output(
        gumbo_parse_with_options(&options, source.data(), source.size()));
    if (!output)
        return std::string(html);
    const GumboNode* body = findBody(*output);
    if (!body)
        return std::string(html);

    std::string markdown = Converter().convertBody(body);
    removeZeroWidthSpaces(markdown);
    // The parser's text is UTF-8 but for defects like the one above; what
    // leaves here is valid whatever it let through.
    if (!unicode::isValidUtf8(markdown))
        markdown = unicode::toValidUtf8(markdown);
    return joinLines(Whitespace::normalizeWhitespace(splitLines(markdown)));
}

} // namespace lumeno::HTMLToMarkdown
