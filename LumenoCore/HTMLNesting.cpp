#include "HTMLNesting.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

namespace lumeno::HTMLNesting {

namespace {

constexpr std::size_t npos = std::string_view::npos;

// --- Tags --------------------------------------------------------------------------

// The tags the tree builder treats apart. Every other tag the parser knows by
// name gets an id of its own after these, and all names it does not know
// share one id, as they do in the parser, where an end tag of any unknown
// name closes an open element of any unknown name.
enum Tag : std::uint16_t {
    A, Address, AnnotationXml, Applet, Area, Article, Aside, B, Base, Basefont, Bgsound, Big, Blockquote, Body, Br,
    Button, Caption, Center, Code, Col, Colgroup, Dd, Desc, Details, Dir, Div, Dl, Dt, Em, Embed, Fieldset,
    Figcaption, Figure, Font, Footer, ForeignObject, Form, Frame, Frameset, H1, H2, H3, H4, H5, H6, Head, Header,
    Hgroup, Hr, Html, I, Iframe, Image, Img, Input, Isindex, Keygen, Li, Link, Listing, Main, Malignmark, Marquee,
    Math, Menu, Menuitem, Meta, Mglyph, Mi, Mn, Mo, Ms, Mtext, Nav, Nobr, Noembed, Noframes, Noscript, Object, Ol,
    Optgroup, Option, P, Param, Plaintext, Pre, Rb, Rp, Rt, Rtc, Ruby, S, Script, Section, Select, Small, Source, Span,
    Strike, Strong, Style, Sub, Summary, Sup, Svg, Table, Tbody, Td, Template, Textarea, Tfoot, Th, Thead, Title, Tr,
    Track, Tt, U, Ul, Var, Wbr, Xmp,
    kNamedTags
};

constexpr const char* namedTags[kNamedTags] = {
    "a", "address", "annotation-xml", "applet", "area", "article", "aside", "b", "base", "basefont", "bgsound", "big",
    "blockquote", "body", "br", "button", "caption", "center", "code", "col", "colgroup", "dd", "desc", "details",
    "dir", "div", "dl", "dt", "em", "embed", "fieldset", "figcaption", "figure", "font", "footer", "foreignobject",
    "form", "frame", "frameset", "h1", "h2", "h3", "h4", "h5", "h6", "head", "header", "hgroup", "hr", "html", "i",
    "iframe", "image", "img", "input", "isindex", "keygen", "li", "link", "listing", "main", "malignmark", "marquee",
    "math", "menu", "menuitem", "meta", "mglyph", "mi", "mn", "mo", "ms", "mtext", "nav", "nobr", "noembed",
    "noframes", "noscript", "object", "ol", "optgroup", "option", "p", "param", "plaintext", "pre", "rb", "rp", "rt",
    "rtc", "ruby", "s", "script", "section", "select", "small", "source", "span", "strike", "strong", "style", "sub",
    "summary", "sup", "svg", "table", "tbody", "td", "template", "textarea", "tfoot", "th", "thead", "title", "tr",
    "track", "tt", "u", "ul", "var", "wbr", "xmp",
};

// Known to the parser, with no rule of their own.
constexpr const char* otherKnownTags[] = {
    "abbr", "acronym", "audio", "bdi", "bdo", "blink", "canvas", "cite", "data", "datalist", "del", "dfn", "ins",
    "kbd", "label", "legend", "map", "mark", "meter", "multicol", "nextid", "output", "progress", "q", "samp",
    "spacer", "time", "video",
};

constexpr std::uint16_t kUnknown = kNamedTags + sizeof otherKnownTags / sizeof *otherKnownTags;
constexpr std::uint16_t kTagCount = kUnknown + 1;

std::uint16_t lookUpTag(std::string_view lowerName)
{
    static const std::unordered_map<std::string_view, std::uint16_t> byName = [] {
        std::unordered_map<std::string_view, std::uint16_t> map;
        for (std::uint16_t i = 0; i < kNamedTags; ++i)
            map.emplace(namedTags[i], i);
        std::uint16_t id = kNamedTags;
        for (const char* name : otherKnownTags)
            map.emplace(name, id++);
        return map;
    }();
    const auto it = byName.find(lowerName);
    return it == byName.end() ? kUnknown : it->second;
}

enum Namespace : std::uint8_t { HTMLNamespace, SVGNamespace, MathMLNamespace };

// Tag sets, as bit masks over the named tags.
struct TagSet {
    std::uint64_t bits[2] = {0, 0};
    constexpr TagSet(std::initializer_list<Tag> tags)
    {
        for (Tag t : tags)
            bits[t / 64] |= std::uint64_t(1) << (t % 64);
    }
    constexpr bool has(std::uint16_t t) const { return t < kNamedTags && (bits[t / 64] >> (t % 64) & 1); }
};
static_assert(kNamedTags <= 128);

// The "special" category of the HTML elements.
constexpr TagSet specialTags{
    Address, Applet, Area, Article, Aside, Base, Basefont, Bgsound, Blockquote, Body, Br, Button, Caption, Center, Col,
    Colgroup, Menuitem, Dd, Details, Dir, Div, Dl, Dt, Embed, Fieldset, Figcaption, Figure, Footer, Form, Frame,
    Frameset, H1, H2, H3, H4, H5, H6, Head, Header, Hgroup, Hr, Html, Iframe, Img, Input, Isindex, Li, Link, Listing,
    Marquee, Menu, Meta, Nav, Noembed, Noframes, Noscript, Object, Ol, P, Param, Plaintext, Pre, Script, Section,
    Select, Style, Summary, Table, Tbody, Td, Template, Textarea, Tfoot, Th, Thead, Title, Tr, Ul, Wbr, Xmp};
// Start tags that close an open p first.
constexpr TagSet closesParagraph{Address, Article, Aside, Blockquote, Center, Details, Dir, Div, Dl, Fieldset,
                                 Figcaption, Figure, Footer, Header, Hgroup, Main, Menu, Nav, Ol, P, Section, Summary,
                                 Ul};
// End tags closing an element in scope, with everything above it.
constexpr TagSet closedInScope{Address, Article, Aside, Blockquote, Button, Center, Details, Dir, Div, Dl, Fieldset,
                               Figcaption, Figure, Footer, Header, Hgroup, Listing, Main, Menu, Nav, Ol, Pre,
                               Section, Summary, Ul};
constexpr TagSet formattingTags{A, B, Big, Code, Em, Font, I, Nobr, S, Small, Strike, Strong, Tt, U};
// Elements that open nothing.
constexpr TagSet voidTags{Area, Base, Basefont, Bgsound, Br, Col, Embed, Frame, Hr, Image, Img, Input, Isindex, Keygen,
                          Link, Menuitem, Meta, Param, Source, Track, Wbr};
// Start tags after which the active formatting elements are reconstructed.
constexpr TagSet noReconstruction{Address, Article, Aside, Blockquote, Center, Details, Dir, Div, Dl, Fieldset,
                                  Figcaption, Figure, Footer, Header, Hgroup, Main, Menu, Nav, Ol, P, Section,
                                  Summary, Ul, Template, Rb, Rtc,
                                  H1, H2, H3, H4, H5, H6, Pre, Listing, Form, Li, Dd, Dt, Plaintext, Table, Hr, Param,
                                  Source, Track, Textarea, Iframe, Noembed, Rp, Rt, Base, Basefont, Bgsound, Menuitem,
                                  Link, Meta, Noframes, Script, Style, Title, Html, Body, Frameset, Caption, Col,
                                  Colgroup, Frame, Head, Tbody, Td, Tfoot, Th, Thead, Tr, Isindex,
                                  // these reconstruct at a later step of their own
                                  A, Nobr, Option, Optgroup, Button, Xmp};
// Start tags that leave foreign content.
constexpr TagSet breakoutTags{B, Big, Blockquote, Body, Br, Center, Code, Dd, Div, Dl, Dt, Em, Embed, H1, H2, H3, H4,
                              H5, H6, Head, Hr, I, Img, Li, Listing, Menu, Meta, Nobr, Ol, P, Pre, Ruby, S, Small,
                              Span, Strong, Strike, Sub, Sup, Table, Tt, U, Ul, Var};
constexpr TagSet headings{H1, H2, H3, H4, H5, H6};
constexpr TagSet tableSections{Tbody, Thead, Tfoot};
constexpr TagSet tableStructure{Caption, Col, Colgroup, Tbody, Td, Tfoot, Th, Thead, Tr};

// What the tokenizer does after a start tag.
enum class Content { Markup, RawText, ScriptData, PlainText };

// --- The stack of open elements ------------------------------------------------

enum class Mode { Body, Table, TableBody, Row, Cell, Caption, ColumnGroup, Select, SelectInTable, Template };

struct Open {
    std::uint16_t tag;
    Namespace ns;
    bool htmlIntegration;  // an annotation-xml holding HTML
    std::uint64_t name;    // hash of the lower-cased name, for foreign end tags
    std::uint32_t context; // index of the nearest table or select element at or below, or none
    std::int32_t formatting = -1; // its entry in the list of active formatting elements
    Mode templateMode = Mode::Template; // for a template: how its content is read
    std::uint32_t level = 0;            // its depth in the tree
    bool leaving = false;               // marked for removal by the adoption agency
};

constexpr std::uint32_t noContext = 0xFFFFFFFF;
constexpr std::uint16_t marker = 0xFFFF;

struct FormattingEntry {
    std::uint16_t tag;    // `marker` for a scope marker
    std::int32_t element; // index in the stack, -1 once the element is closed
    std::uint64_t attributes = 0;
};

struct StartTag {
    std::uint16_t tag;
    std::uint64_t name;
    bool selfClosing = false;
    bool fontAttribute = false; // color, face or size
    bool htmlEncoding = false;  // encoding="text/html" or "application/xhtml+xml"
    std::uint64_t attributes = 0; // the attributes as a set, for telling formatting elements apart
    bool hiddenInput = false;     // type="hidden"
};

class Gauge {
public:
    explicit Gauge(Nesting limits) : limits_(limits), openCount_(kTagCount, 0) {}

    Nesting measured() const { return {deepest_, recreated_}; }
    bool overLimit() const { return deepest_ > limits_.depth || recreated_ > limits_.recreated; }
    bool inForeignContent() const { return !stack_.empty() && stack_.back().ns != HTMLNamespace; }

    Content startTag(const StartTag& t);
    void endTag(std::uint16_t tag, std::uint64_t name);
    void text(bool whitespaceOnly);

private:
    // html and body are always open below the stack kept here.
    static constexpr std::size_t implied = 2;

    bool isHTML(const Open& e, std::uint16_t tag) const { return e.ns == HTMLNamespace && e.tag == tag; }
    bool isSpecial(const Open& e) const
    {
        if (e.ns == HTMLNamespace)
            return specialTags.has(e.tag);
        if (e.ns == MathMLNamespace)
            return e.tag == Mi || e.tag == Mo || e.tag == Mn || e.tag == Ms || e.tag == Mtext || e.tag == AnnotationXml;
        return e.tag == ForeignObject || e.tag == Desc;
    }
    bool isScopeBoundary(const Open& e) const
    {
        if (e.ns == HTMLNamespace)
            return e.tag == Applet || e.tag == Caption || e.tag == Table || e.tag == Td || e.tag == Th
                   || e.tag == Marquee || e.tag == Object || e.tag == Template;
        if (e.ns == MathMLNamespace)
            return e.tag == Mi || e.tag == Mo || e.tag == Mn || e.tag == Ms || e.tag == Mtext || e.tag == AnnotationXml;
        return e.tag == ForeignObject || e.tag == Desc || e.tag == Title;
    }
    bool isMathMLTextIntegrationPoint(const Open& e) const
    {
        return e.ns == MathMLNamespace
               && (e.tag == Mi || e.tag == Mo || e.tag == Mn || e.tag == Ms || e.tag == Mtext);
    }
    bool isHTMLIntegrationPoint(const Open& e) const
    {
        return (e.ns == SVGNamespace && (e.tag == ForeignObject || e.tag == Desc || e.tag == Title))
               || e.htmlIntegration;
    }

    Mode mode() const;
    std::uint32_t contextBelow(std::size_t index) const { return index == 0 ? noContext : stack_[index - 1].context; }
    void setContext(std::size_t index);

    void push(std::uint16_t tag, Namespace ns = HTMLNamespace, std::uint64_t name = 0, bool htmlIntegration = false);
    void pop();
    void popTo(std::size_t index); // pops the element at index too
    void popUntil(std::uint16_t tag);
    void remove(std::size_t index);
    void reindex(std::size_t from, std::size_t to);

    enum class Scope { General, ListItem, Button, Table, Select };
    std::size_t findInScope(std::uint16_t tag, Scope scope) const;

    void openTemplate()
    {
        push(Template);
        insertMarker();
    }
    void pushFormatting(std::uint16_t tag, std::uint64_t attributes);
    // A marker belongs to the element just opened (a cell, caption, template,
    // applet, marquee or object) and knows when it closes.
    void insertMarker()
    {
        formatting_.push_back({marker, static_cast<std::int32_t>(stack_.size() - 1)});
        stack_.back().formatting = static_cast<std::int32_t>(formatting_.size() - 1);
    }
    void clearFormattingToMarker();
    void removeFormatting(std::size_t entry);
    std::size_t lastFormattingEntry(std::uint16_t tag, bool* behindClosedMarker = nullptr) const;
    void reconstructFormatting();
    void adoptionAgency(std::uint16_t tag, bool endTag);
    void closeOrdinary(std::uint16_t tag);

    void closeParagraph();
    bool closeCell(); // false when no cell is open in table scope
    void closeListItem(bool item);

    Content startInBody(const StartTag& t);
    Content startInTable(const StartTag& t, Mode m);
    void endInBody(std::uint16_t tag);
    void endInTable(std::uint16_t tag, Mode m);

    Nesting limits_;
    std::size_t deepest_ = implied;
    std::size_t recreated_ = 0;
    std::vector<Open> stack_;
    std::vector<std::uint32_t> openCount_; // open HTML elements by tag
    std::vector<FormattingEntry> formatting_;
    bool formOpen_ = false;
    // Framesets nest only in a document that starts with one, where
    // everything else is ignored. They are counted apart, as if that were
    // always so, while the rest is counted as if it never were.
    std::size_t framesets_ = 0;
};

Mode Gauge::mode() const
{
    if (stack_.empty() || stack_.back().context == noContext)
        return Mode::Body;
    const std::uint32_t at = stack_.back().context;
    switch (stack_[at].tag) {
    case Td:
    case Th:
        return Mode::Cell;
    case Tr:
        return Mode::Row;
    case Tbody:
    case Thead:
    case Tfoot:
        return Mode::TableBody;
    case Caption:
        return Mode::Caption;
    case Colgroup:
        return Mode::ColumnGroup;
    case Select: {
        const std::uint32_t below = contextBelow(at);
        return below != noContext && stack_[below].tag != Select && stack_[below].tag != Template ? Mode::SelectInTable
                                                                                                  : Mode::Select;
    }
    case Template:
        return stack_[at].templateMode;
    default:
        return Mode::Table;
    }
}

void Gauge::setContext(std::size_t index)
{
    Open& e = stack_[index];
    static constexpr TagSet contexts{Table, Tbody, Thead, Tfoot, Tr, Td, Th, Caption, Colgroup, Select, Template};
    e.context = e.ns == HTMLNamespace && contexts.has(e.tag) ? static_cast<std::uint32_t>(index) : contextBelow(index);
}

// An element removed from the middle of the stack (a form, an a) stays an
// ancestor of those above it, so the tree can be deeper than the stack; the
// depth is the greater of the two.
void Gauge::push(std::uint16_t tag, Namespace ns, std::uint64_t name, bool htmlIntegration)
{
    const std::uint32_t level = (stack_.empty() ? implied : stack_.back().level) + 1;
    stack_.push_back({tag, ns, htmlIntegration, name, noContext});
    stack_.back().level = level;
    setContext(stack_.size() - 1);
    if (ns == HTMLNamespace)
        ++openCount_[tag];
    deepest_ = std::max({deepest_, stack_.size() + implied, std::size_t(level)});
}

void Gauge::pop()
{
    const Open& e = stack_.back();
    if (e.formatting >= 0)
        formatting_[static_cast<std::size_t>(e.formatting)].element = -1;
    if (e.ns == HTMLNamespace)
        --openCount_[e.tag];
    stack_.pop_back();
}

void Gauge::popTo(std::size_t index)
{
    while (stack_.size() > index)
        pop();
}

void Gauge::popUntil(std::uint16_t tag)
{
    while (!stack_.empty()) {
        const bool last = isHTML(stack_.back(), tag);
        pop();
        if (last)
            return;
    }
}

// Fixes the links and contexts of the elements at indices [from, to).
void Gauge::reindex(std::size_t from, std::size_t to)
{
    for (std::size_t i = from; i < to; ++i) {
        setContext(i);
        if (stack_[i].formatting >= 0)
            formatting_[static_cast<std::size_t>(stack_[i].formatting)].element = static_cast<std::int32_t>(i);
    }
}

void Gauge::remove(std::size_t index)
{
    Open& e = stack_[index];
    if (e.formatting >= 0)
        formatting_[static_cast<std::size_t>(e.formatting)].element = -1;
    if (e.ns == HTMLNamespace)
        --openCount_[e.tag];
    stack_.erase(stack_.begin() + static_cast<std::ptrdiff_t>(index));
    reindex(index, stack_.size());
}

std::size_t Gauge::findInScope(std::uint16_t tag, Scope scope) const
{
    if (openCount_[tag] == 0 && scope != Scope::Select)
        return npos;
    for (std::size_t i = stack_.size(); i-- > 0;) {
        const Open& e = stack_[i];
        if (isHTML(e, tag))
            return i;
        switch (scope) {
        case Scope::General:
            if (isScopeBoundary(e))
                return npos;
            break;
        case Scope::ListItem:
            if (isScopeBoundary(e) || isHTML(e, Ol) || isHTML(e, Ul))
                return npos;
            break;
        case Scope::Button:
            if (isScopeBoundary(e) || isHTML(e, Button))
                return npos;
            break;
        case Scope::Table:
            if (isHTML(e, Table) || isHTML(e, Template))
                return npos;
            break;
        case Scope::Select:
            if (!(isHTML(e, Optgroup) || isHTML(e, Option)))
                return npos;
            break;
        }
    }
    return npos;
}

// --- Active formatting elements --------------------------------------------------
//
// After the last marker the list holds at most three entries with the same
// tag and attributes (the "Noah's ark" clause). Attributes are compared by a
// hash of their names and raw values: values that differ only in how they are
// written count as different, which keeps more entries, so more elements are
// re-created and counted.

void Gauge::pushFormatting(std::uint16_t tag, std::uint64_t attributes)
{
    std::size_t same = 0, earliest = npos;
    for (std::size_t i = formatting_.size(); i-- > 0 && formatting_[i].tag != marker;) {
        if (formatting_[i].tag == tag && formatting_[i].attributes == attributes) {
            ++same;
            earliest = i;
        }
    }
    if (same >= 3)
        removeFormatting(earliest);
    push(tag);
    formatting_.push_back({tag, static_cast<std::int32_t>(stack_.size() - 1), attributes});
    stack_.back().formatting = static_cast<std::int32_t>(formatting_.size() - 1);
}

void Gauge::removeFormatting(std::size_t entry)
{
    if (formatting_[entry].element >= 0)
        stack_[static_cast<std::size_t>(formatting_[entry].element)].formatting = -1;
    formatting_.erase(formatting_.begin() + static_cast<std::ptrdiff_t>(entry));
    for (std::size_t j = entry; j < formatting_.size(); ++j) {
        if (formatting_[j].element >= 0)
            stack_[static_cast<std::size_t>(formatting_[j].element)].formatting = static_cast<std::int32_t>(j);
    }
}

void Gauge::clearFormattingToMarker()
{
    while (!formatting_.empty()) {
        const FormattingEntry entry = formatting_.back();
        if (entry.element >= 0)
            stack_[static_cast<std::size_t>(entry.element)].formatting = -1;
        formatting_.pop_back();
        if (entry.tag == marker)
            return;
    }
}

std::size_t Gauge::lastFormattingEntry(std::uint16_t tag, bool* behindClosedMarker) const
{
    for (std::size_t i = formatting_.size(); i-- > 0;) {
        if (formatting_[i].tag == marker) {
            if (behindClosedMarker)
                *behindClosedMarker = formatting_[i].element < 0;
            return npos;
        }
        if (formatting_[i].tag == tag)
            return i;
    }
    if (behindClosedMarker)
        *behindClosedMarker = false;
    return npos;
}

// Closed formatting elements after the last marker are opened again, each a
// new element.
void Gauge::reconstructFormatting()
{
    if (formatting_.empty() || formatting_.back().tag == marker || formatting_.back().element >= 0)
        return;
    std::size_t first = formatting_.size() - 1;
    while (first > 0 && formatting_[first - 1].tag != marker && formatting_[first - 1].element < 0)
        --first;
    for (std::size_t i = first; i < formatting_.size(); ++i) {
        push(formatting_[i].tag);
        ++recreated_;
        formatting_[i].element = static_cast<std::int32_t>(stack_.size() - 1);
        stack_.back().formatting = static_cast<std::int32_t>(i);
    }
}

// The end tag of a formatting element (the adoption agency). Without a
// special element above it, the element closes with everything above. With
// one, the parser moves the element to just inside that block; between the
// two, the other elements leave the stack, except formatting elements: the
// nearest three stay as they are, those past them stay on the stack but
// leave the list of active formatting elements. Then it tries again, at most
// eight times. With no such formatting element, an end tag is an ordinary
// one, and a start tag (a second nobr) changes nothing; so does an end tag
// whose search stops at the marker of an element already closed (the parser
// leaves such markers behind where a template closes a cell).
void Gauge::adoptionAgency(std::uint16_t tag, bool endTag)
{
    for (int round = 0; round < 8; ++round) {
        bool behindClosedMarker = false;
        const std::size_t entry = lastFormattingEntry(tag, &behindClosedMarker);
        if (entry == npos) {
            if (round == 0 && endTag && !behindClosedMarker)
                closeOrdinary(tag);
            return;
        }
        if (formatting_[entry].element < 0) {
            removeFormatting(entry);
            return;
        }
        const auto at = static_cast<std::size_t>(formatting_[entry].element);
        std::size_t furthestBlock = npos;
        for (std::size_t i = stack_.size(); i-- > at + 1;) {
            if (isScopeBoundary(stack_[i]))
                return; // not in scope
            if (isSpecial(stack_[i]))
                furthestBlock = i;
        }
        if (furthestBlock == npos) {
            popTo(at);
            removeFormatting(entry);
            return;
        }
        int counter = 0;
        for (std::size_t i = furthestBlock; i-- > at + 1;) {
            Open& e = stack_[i];
            e.leaving = e.formatting < 0;
            if (++counter > 3 && e.formatting >= 0)
                removeFormatting(static_cast<std::size_t>(e.formatting));
            else if (e.formatting >= 0)
                ++recreated_; // cloned in place
        }
        const Open moved = stack_[at];
        std::size_t w = at;
        for (std::size_t r = at + 1; r <= furthestBlock; ++r) {
            if (stack_[r].leaving)
                openCount_[stack_[r].tag] -= stack_[r].ns == HTMLNamespace;
            else
                stack_[w++] = stack_[r];
        }
        stack_[w++] = moved;
        ++recreated_;
        for (std::size_t r = furthestBlock + 1; r < stack_.size(); ++r)
            stack_[w++] = stack_[r];
        stack_.resize(w);
        reindex(at, stack_.size());
        for (std::size_t i = at; i < stack_.size(); ++i)
            stack_[i].level = (i == 0 ? implied : stack_[i - 1].level) + 1;
    }
}

// An end tag with no rule of its own closes the nearest open element of its
// name, unless a special element stands above that.
void Gauge::closeOrdinary(std::uint16_t tag)
{
    if (openCount_[tag] == 0)
        return;
    for (std::size_t i = stack_.size(); i-- > 0;) {
        const Open& e = stack_[i];
        if (isHTML(e, tag)) {
            popTo(i);
            return;
        }
        if (isSpecial(e))
            return;
    }
}

// --- Implied end tags ------------------------------------------------------------

void Gauge::closeParagraph()
{
    const std::size_t p = findInScope(P, Scope::Button);
    if (p != npos)
        popTo(p);
}

bool Gauge::closeCell()
{
    std::size_t cell = findInScope(Td, Scope::Table);
    if (cell == npos)
        cell = findInScope(Th, Scope::Table);
    if (cell == npos)
        return false;
    popTo(cell);
    clearFormattingToMarker();
    return true;
}

// An li closes the open li, a dd or dt the open dd or dt, unless a special
// element other than address, div and p stands between.
void Gauge::closeListItem(bool item)
{
    if (item ? openCount_[Li] == 0 : openCount_[Dd] + openCount_[Dt] == 0)
        return;
    for (std::size_t i = stack_.size(); i-- > 0;) {
        const Open& e = stack_[i];
        if (item ? isHTML(e, Li) : (isHTML(e, Dd) || isHTML(e, Dt))) {
            popTo(i);
            return;
        }
        if (isSpecial(e) && !isHTML(e, Address) && !isHTML(e, Div) && !isHTML(e, P))
            return;
    }
}

// --- Tokens ------------------------------------------------------------------------

void Gauge::text(bool whitespaceOnly)
{
    if (inForeignContent())
        return;
    switch (mode()) {
    case Mode::Body:
    case Mode::Cell:
    case Mode::Caption:
    case Mode::Template:
        reconstructFormatting();
        break;
    case Mode::Table:
    case Mode::TableBody:
    case Mode::Row:
        if (!whitespaceOnly)
            reconstructFormatting();
        break;
    default:
        break;
    }
}

Content Gauge::startTag(const StartTag& t)
{
    if (t.tag == Frameset) {
        ++framesets_;
        deepest_ = std::max(deepest_, framesets_ + 1);
    }
    if (inForeignContent()) {
        const Open& top = stack_.back();
        const bool htmlRules = (isMathMLTextIntegrationPoint(top) && t.tag != Mglyph && t.tag != Malignmark)
                               || (top.ns == MathMLNamespace && top.tag == AnnotationXml && t.tag == Svg)
                               || isHTMLIntegrationPoint(top);
        if (!htmlRules) {
            if (breakoutTags.has(t.tag) || (t.tag == Font && t.fontAttribute)) {
                do {
                    pop();
                } while (!stack_.empty() && stack_.back().ns != HTMLNamespace
                         && !isMathMLTextIntegrationPoint(stack_.back()) && !isHTMLIntegrationPoint(stack_.back()));
            } else {
                const Namespace ns = top.ns;
                if (!t.selfClosing)
                    push(t.tag, ns, t.name, ns == MathMLNamespace && t.tag == AnnotationXml && t.htmlEncoding);
                return Content::Markup;
            }
        }
    }
    // Each pass either handles the tag or closes an element and goes round
    // again, so this ends.
    while (true) {
        const Mode m = mode();
        switch (m) {
        case Mode::Select:
        case Mode::SelectInTable:
            if (m == Mode::SelectInTable && (t.tag == Caption || t.tag == Table || tableStructure.has(t.tag))
                && t.tag != Col && t.tag != Colgroup) {
                popUntil(Select);
                continue;
            }
            if (t.tag == Option || t.tag == Optgroup) {
                if (isHTML(stack_.back(), Option))
                    pop();
                if (t.tag == Optgroup && isHTML(stack_.back(), Optgroup))
                    pop();
                push(t.tag);
                return Content::Markup;
            }
            if (t.tag == Select) {
                popUntil(Select);
                return Content::Markup;
            }
            if (t.tag == Input || t.tag == Keygen || t.tag == Textarea) {
                if (findInScope(Select, Scope::Select) == npos)
                    return Content::Markup;
                popUntil(Select);
                continue;
            }
            if (t.tag == Script) {
                push(Script);
                return Content::ScriptData;
            }
            if (t.tag == Template) {
                openTemplate();
                return Content::Markup;
            }
            return Content::Markup; // everything else is ignored
        case Mode::Cell:
        case Mode::Caption:
            if (tableStructure.has(t.tag)) {
                if (m == Mode::Cell) {
                    if (!closeCell())
                        return Content::Markup;
                } else {
                    if (findInScope(Caption, Scope::Table) == npos)
                        return Content::Markup;
                    popUntil(Caption);
                    clearFormattingToMarker();
                }
                continue;
            }
            return startInBody(t);
        case Mode::ColumnGroup:
            if (t.tag == Col)
                return Content::Markup;
            if (t.tag == Template) {
                openTemplate();
                return Content::Markup;
            }
            if (!isHTML(stack_.back(), Colgroup))
                return Content::Markup;
            pop();
            continue;
        case Mode::Template: {
            static constexpr TagSet headTags{Base, Basefont, Bgsound, Link, Meta, Noframes, Script, Style, Template,
                                             Title};
            if (headTags.has(t.tag))
                return startInBody(t);
            Mode& contentMode = stack_[stack_.back().context].templateMode;
            if (t.tag == Caption || t.tag == Colgroup || tableSections.has(t.tag))
                contentMode = Mode::Table;
            else if (t.tag == Col)
                contentMode = Mode::ColumnGroup;
            else if (t.tag == Tr)
                contentMode = Mode::TableBody;
            else if (t.tag == Td || t.tag == Th)
                contentMode = Mode::Row;
            else
                contentMode = Mode::Body;
            continue;
        }
        case Mode::Table:
        case Mode::TableBody:
        case Mode::Row: {
            const Content c = startInTable(t, m);
            if (c != static_cast<Content>(-1))
                return c;
            continue;
        }
        case Mode::Body:
            return startInBody(t);
        }
    }
}

// Returns Content(-1) when it closed something and the tag is to be handled
// again.
Content Gauge::startInTable(const StartTag& t, Mode m)
{
    constexpr auto again = static_cast<Content>(-1);
    const std::uint32_t context = stack_.back().context;
    switch (t.tag) {
    case Caption:
    case Colgroup:
    case Col:
    case Tbody:
    case Thead:
    case Tfoot:
        if (m == Mode::Table) {
            popTo(context + 1);
            if (t.tag == Caption) {
                push(Caption);
                insertMarker();
            } else {
                push(t.tag == Col ? std::uint16_t(Colgroup) : t.tag);
            }
            return Content::Markup;
        }
        if (stack_[context].tag == Template)
            return Content::Markup;
        popTo(context); // the tr or the table section
        return again;
    case Tr:
    case Td:
    case Th:
        if (m == Mode::Table) {
            popTo(context + 1);
            push(Tbody);
            return again;
        }
        if (m == Mode::TableBody) {
            popTo(context + 1);
            push(Tr);
            return t.tag == Tr ? Content::Markup : again;
        }
        if (t.tag == Tr) {
            if (stack_[context].tag == Template)
                return Content::Markup;
            popTo(context);
            return again;
        }
        popTo(context + 1);
        push(t.tag);
        insertMarker();
        return Content::Markup;
    case Table: {
        const std::size_t table = findInScope(Table, Scope::Table);
        if (table == npos)
            return Content::Markup;
        popTo(table);
        return again;
    }
    case Style:
        push(Style);
        return Content::RawText;
    case Script:
        push(Script);
        return Content::ScriptData;
    case Template:
        openTemplate();
        return Content::Markup;
    case Input:
        if (t.hiddenInput)
            return Content::Markup;
        return startInBody(t);
    case Form:
        return Content::Markup;
    default:
        return startInBody(t); // foster-parented
    }
}

Content Gauge::startInBody(const StartTag& t)
{
    const std::uint16_t tag = t.tag;
    if (!noReconstruction.has(tag))
        reconstructFormatting();
    if (closesParagraph.has(tag)) {
        closeParagraph();
        push(tag);
        return Content::Markup;
    }
    if (headings.has(tag)) {
        closeParagraph();
        if (!stack_.empty() && stack_.back().ns == HTMLNamespace && headings.has(stack_.back().tag))
            pop();
        push(tag);
        return Content::Markup;
    }
    if (formattingTags.has(tag)) {
        if (tag == A && lastFormattingEntry(A) != npos) {
            adoptionAgency(A, false);
            if (const std::size_t e = lastFormattingEntry(A); e != npos) {
                const std::int32_t element = formatting_[e].element;
                removeFormatting(e);
                if (element >= 0)
                    remove(static_cast<std::size_t>(element));
            }
        }
        if (tag == A || tag == Nobr)
            reconstructFormatting();
        if (tag == Nobr && findInScope(Nobr, Scope::General) != npos) {
            adoptionAgency(Nobr, false);
            reconstructFormatting();
        }
        pushFormatting(tag, t.attributes);
        return Content::Markup;
    }
    if (voidTags.has(tag)) {
        if (tag == Hr || tag == Isindex)
            closeParagraph();
        return Content::Markup;
    }
    switch (tag) {
    case Html:
    case Body:
    case Head:
    case Frameset:
    case Caption:
    case Col:
    case Colgroup:
    case Tbody:
    case Td:
    case Tfoot:
    case Th:
    case Thead:
    case Tr:
        return Content::Markup; // ignored here
    case Pre:
    case Listing:
        closeParagraph();
        push(tag);
        return Content::Markup;
    case Form:
        // Forms do not nest, except inside a template.
        if (formOpen_ && openCount_[Template] == 0)
            return Content::Markup;
        closeParagraph();
        push(Form);
        if (openCount_[Template] == 0)
            formOpen_ = true;
        return Content::Markup;
    case Li:
    case Dd:
    case Dt:
        closeListItem(tag == Li);
        closeParagraph();
        push(tag);
        return Content::Markup;
    case Plaintext:
        closeParagraph();
        push(Plaintext);
        return Content::PlainText;
    case Button:
        if (findInScope(Button, Scope::General) != npos)
            popUntil(Button);
        reconstructFormatting();
        push(Button);
        return Content::Markup;
    case Applet:
    case Marquee:
    case Object:
        push(tag);
        insertMarker();
        return Content::Markup;
    case Table:
        // In a document without a doctype (the usual clipboard) a table does
        // not close an open p; it is left open here either way.
        push(Table);
        return Content::Markup;
    case Textarea:
    case Title:
        push(tag);
        return Content::RawText;
    case Xmp:
        closeParagraph();
        reconstructFormatting();
        push(Xmp);
        return Content::RawText;
    case Iframe:
    case Noembed:
    case Noframes:
    case Style:
        push(tag);
        return Content::RawText;
    case Script:
        push(Script);
        return Content::ScriptData;
    case Select:
        push(Select);
        return Content::Markup;
    case Template:
        openTemplate();
        return Content::Markup;
    case Option:
    case Optgroup:
        if (!stack_.empty() && isHTML(stack_.back(), Option))
            pop();
        reconstructFormatting();
        push(tag);
        return Content::Markup;
    case Rb:
    case Rtc:
    case Rp:
    case Rt:
        if (findInScope(Ruby, Scope::General) != npos) {
            static constexpr TagSet impliedByBase{Dd, Dt, Li, Option, Optgroup, P, Rb, Rp, Rt, Rtc};
            static constexpr TagSet impliedByText{Dd, Dt, Li, Option, Optgroup, P, Rb, Rp, Rt};
            const TagSet& implied = tag == Rb || tag == Rtc ? impliedByBase : impliedByText;
            while (!stack_.empty() && stack_.back().ns == HTMLNamespace && implied.has(stack_.back().tag))
                pop();
        }
        push(tag);
        return Content::Markup;
    case Math:
    case Svg:
        if (!t.selfClosing)
            push(tag, tag == Math ? MathMLNamespace : SVGNamespace, t.name);
        return Content::Markup;
    default:
        push(tag);
        return Content::Markup;
    }
}

void Gauge::endTag(std::uint16_t tag, std::uint64_t name)
{
    if (inForeignContent()) {
        for (std::size_t i = stack_.size(); i-- > 0;) {
            if (stack_[i].ns == HTMLNamespace)
                break; // handled below by the rules of the current mode
            if (stack_[i].name == name) {
                popTo(i);
                return;
            }
        }
    }
    if (tag == Frameset && framesets_ > 0)
        --framesets_;
    if (tag == Template) {
        if (openCount_[Template] > 0) {
            popUntil(Template);
            clearFormattingToMarker();
        }
        return;
    }
    const Mode m = mode();
    switch (m) {
    case Mode::Template:
        return; // other end tags are ignored there
    case Mode::Select:
    case Mode::SelectInTable:
        if (m == Mode::SelectInTable && (tag == Caption || tag == Table || tableSections.has(tag) || tag == Tr
                                         || tag == Td || tag == Th)) {
            if (findInScope(tag, Scope::Table) != npos) {
                popUntil(Select);
                endTag(tag, name);
            }
            return;
        }
        if (tag == Option) {
            if (isHTML(stack_.back(), Option))
                pop();
        } else if (tag == Optgroup) {
            if (isHTML(stack_.back(), Option) && stack_.size() >= 2 && isHTML(stack_[stack_.size() - 2], Optgroup))
                pop();
            if (isHTML(stack_.back(), Optgroup))
                pop();
        } else if (tag == Select) {
            if (findInScope(Select, Scope::Select) != npos)
                popUntil(Select);
        } else if (tag == Script && isHTML(stack_.back(), Script)) {
            pop();
        }
        return;
    case Mode::Cell:
        if (tag == Td || tag == Th) {
            if (findInScope(tag, Scope::Table) != npos) {
                popUntil(tag);
                clearFormattingToMarker();
            }
            return;
        }
        if (tag == Table || tableSections.has(tag) || tag == Tr) {
            if (findInScope(tag, Scope::Table) != npos) {
                closeCell();
                endTag(tag, name);
            }
            return;
        }
        if (tag == Body || tag == Caption || tag == Col || tag == Colgroup || tag == Html)
            return;
        return endInBody(tag);
    case Mode::Caption:
        if (tag == Caption || tag == Table) {
            if (findInScope(Caption, Scope::Table) != npos) {
                popUntil(Caption);
                clearFormattingToMarker();
                if (tag == Table)
                    endTag(tag, name);
            }
            return;
        }
        if (tag == Body || tag == Col || tag == Colgroup || tag == Html || tableSections.has(tag) || tag == Td
            || tag == Th || tag == Tr)
            return;
        return endInBody(tag);
    case Mode::ColumnGroup:
        if (tag == Col || !isHTML(stack_.back(), Colgroup))
            return;
        pop();
        if (tag != Colgroup)
            endTag(tag, name);
        return;
    case Mode::Table:
    case Mode::TableBody:
    case Mode::Row:
        return endInTable(tag, m);
    case Mode::Body:
        return endInBody(tag);
    }
}

void Gauge::endInTable(std::uint16_t tag, Mode m)
{
    const std::uint32_t context = stack_.back().context;
    if (m == Mode::Row && (tag == Tr || tag == Table || tableSections.has(tag))) {
        if (findInScope(tableSections.has(tag) ? tag : std::uint16_t(Tr), Scope::Table) == npos)
            return;
        popTo(context); // the tr
        if (tag != Tr)
            endInTable(tag, mode());
        return;
    }
    if (m == Mode::TableBody && (tableSections.has(tag) || tag == Table)) {
        if (tableSections.has(tag) ? findInScope(tag, Scope::Table) == npos
                                   : (findInScope(Tbody, Scope::Table) == npos && findInScope(Thead, Scope::Table) == npos
                                      && findInScope(Tfoot, Scope::Table) == npos))
            return;
        popTo(context); // the section
        if (tag == Table)
            endInTable(tag, mode());
        return;
    }
    if (tag == Table) {
        if (findInScope(Table, Scope::Table) != npos)
            popUntil(Table);
        return;
    }
    if (tag == Body || tag == Caption || tag == Col || tag == Colgroup || tag == Html || tableSections.has(tag)
        || tag == Td || tag == Th || tag == Tr)
        return;
    endInBody(tag); // foster-parented
}

void Gauge::endInBody(std::uint16_t tag)
{
    if (closedInScope.has(tag) || tag == Dd || tag == Dt) {
        if (findInScope(tag, Scope::General) != npos)
            popUntil(tag);
        return;
    }
    if (formattingTags.has(tag)) {
        adoptionAgency(tag, true);
        return;
    }
    switch (tag) {
    case Body:
    case Html:
        return;
    case Br:
        reconstructFormatting();
        return;
    case Form: {
        if (!formOpen_)
            return;
        formOpen_ = false;
        const std::size_t form = findInScope(Form, Scope::General);
        if (form != npos)
            remove(form);
        return;
    }
    case P:
        closeParagraph(); // without one, an empty p opens and closes
        return;
    case Li:
        if (findInScope(Li, Scope::ListItem) != npos)
            popUntil(Li);
        return;
    case H1:
    case H2:
    case H3:
    case H4:
    case H5:
    case H6:
        for (std::size_t i = stack_.size(); i-- > 0;) {
            const Open& e = stack_[i];
            if (e.ns == HTMLNamespace && headings.has(e.tag)) {
                popTo(i);
                return;
            }
            if (isScopeBoundary(e))
                return;
        }
        return;
    case Applet:
    case Marquee:
    case Object:
        if (findInScope(tag, Scope::Table) != npos) {
            popUntil(tag);
            clearFormattingToMarker();
        }
        return;
    default:
        closeOrdinary(tag);
        return;
    }
}

// --- Tokenizer ---------------------------------------------------------------------

inline bool isTagSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }
inline bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
inline char toLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

struct TagToken {
    std::uint16_t tag = kUnknown;
    std::uint64_t name = 0;
    std::string lowerName;
    StartTag start;
    std::size_t end = npos; // just after the ">"; npos when the input ends first
};

bool equalsLower(std::string_view s, std::size_t begin, std::size_t end, std::string_view lower)
{
    if (end - begin != lower.size())
        return false;
    for (std::size_t i = 0; i < lower.size(); ++i) {
        if (toLower(s[begin + i]) != lower[i])
            return false;
    }
    return true;
}

// A tag from its name (at i, a letter) to its ">": the tag-name, attribute
// and self-closing states of the tokenizer. A ">" inside a quoted value does
// not end the tag; a "/" ends it as self-closing only right before ">".
void readTag(std::string_view s, std::size_t i, TagToken& token)
{
    token.lowerName.clear();
    std::uint64_t hash = 1469598103934665603ull;
    while (i < s.size() && !isTagSpace(s[i]) && s[i] != '/' && s[i] != '>') {
        const char c = toLower(s[i++]);
        if (token.lowerName.size() < 32)
            token.lowerName += c;
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
    token.name = hash;
    token.tag = token.lowerName.size() < 32 ? lookUpTag(token.lowerName) : kUnknown;
    token.start = {token.tag, hash};
    const bool wantAttributes =
        token.tag == Font || token.tag == AnnotationXml || token.tag == Input || formattingTags.has(token.tag);

    enum { BeforeName, Name, AfterName, BeforeValue, Unquoted, AfterQuoted, SelfClosing } state = BeforeName;
    std::size_t nameBegin = 0, nameEnd = 0;
    auto attribute = [&](std::size_t valueBegin, std::size_t valueEnd) {
        if (!wantAttributes)
            return;
        std::uint64_t h = 1469598103934665603ull;
        for (std::size_t k = nameBegin; k < nameEnd; ++k)
            h = (h ^ static_cast<unsigned char>(toLower(s[k]))) * 1099511628211ull;
        h = (h ^ '=') * 1099511628211ull;
        for (std::size_t k = valueBegin; k < valueEnd; ++k)
            h = (h ^ static_cast<unsigned char>(s[k])) * 1099511628211ull;
        token.start.attributes += h * 0x9E3779B97F4A7C15ull + 1; // a sum: order does not matter
        if (token.tag == Font
            && (equalsLower(s, nameBegin, nameEnd, "color") || equalsLower(s, nameBegin, nameEnd, "face")
                || equalsLower(s, nameBegin, nameEnd, "size")))
            token.start.fontAttribute = true;
        if (token.tag == AnnotationXml && equalsLower(s, nameBegin, nameEnd, "encoding")
            && (equalsLower(s, valueBegin, valueEnd, "text/html")
                || equalsLower(s, valueBegin, valueEnd, "application/xhtml+xml")))
            token.start.htmlEncoding = true;
        if (token.tag == Input && equalsLower(s, nameBegin, nameEnd, "type")
            && equalsLower(s, valueBegin, valueEnd, "hidden"))
            token.start.hiddenInput = true;
    };
    while (i < s.size()) {
        const char c = s[i];
        switch (state) {
        case BeforeName:
            if (isTagSpace(c)) {
                ++i;
            } else if (c == '/') {
                state = SelfClosing;
                ++i;
            } else if (c == '>') {
                token.end = i + 1;
                return;
            } else {
                nameBegin = i++; // "=" here starts a name too
                state = Name;
            }
            break;
        case Name:
            if (isTagSpace(c) || c == '/' || c == '>' || c == '=') {
                nameEnd = i;
                if (c == '=') {
                    state = BeforeValue;
                    ++i;
                } else {
                    attribute(i, i);
                    state = AfterName;
                }
            } else {
                ++i;
            }
            break;
        case AfterName:
            if (isTagSpace(c)) {
                ++i;
            } else if (c == '/') {
                state = SelfClosing;
                ++i;
            } else if (c == '=') {
                state = BeforeValue;
                ++i;
            } else if (c == '>') {
                token.end = i + 1;
                return;
            } else {
                nameBegin = i++;
                state = Name;
            }
            break;
        case BeforeValue:
            if (isTagSpace(c)) {
                ++i;
            } else if (c == '"' || c == '\'') {
                const std::size_t close = s.find(c, i + 1);
                if (close == npos)
                    return;
                attribute(i + 1, close);
                i = close + 1;
                state = AfterQuoted;
            } else if (c == '>') {
                attribute(i, i);
                token.end = i + 1;
                return;
            } else {
                state = Unquoted;
                const std::size_t valueBegin = i;
                while (i < s.size() && !isTagSpace(s[i]) && s[i] != '>')
                    ++i;
                attribute(valueBegin, i);
            }
            break;
        case Unquoted:
            state = BeforeName; // stopped at a space or ">"
            break;
        case AfterQuoted:
            if (isTagSpace(c)) {
                state = BeforeName;
                ++i;
            } else if (c == '/') {
                state = SelfClosing;
                ++i;
            } else if (c == '>') {
                token.end = i + 1;
                return;
            } else {
                state = BeforeName;
            }
            break;
        case SelfClosing:
            if (c == '>') {
                token.start.selfClosing = true;
                token.end = i + 1;
                return;
            }
            state = BeforeName;
            break;
        }
    }
}

// Where raw text or RCDATA ends: the start of "</name" followed by a space,
// "/" or ">", in any case.
std::size_t findEndTag(std::string_view s, std::size_t from, std::string_view lowerName)
{
    while (true) {
        const std::size_t lt = s.find("</", from);
        if (lt == npos)
            return npos;
        const std::size_t after = lt + 2 + lowerName.size();
        if (after < s.size() && equalsLower(s, lt + 2, after, lowerName)
            && (isTagSpace(s[after]) || s[after] == '/' || s[after] == '>'))
            return lt;
        from = lt + 2;
    }
}

bool matchesScriptWord(std::string_view s, std::size_t at)
{
    const std::size_t after = at + 6;
    return after < s.size() && equalsLower(s, at, after, "script")
           && (isTagSpace(s[after]) || s[after] == '/' || s[after] == '>');
}

// Where script data ends: the script data, escaped ("<!--" ... "-->") and
// double-escaped ("<script" inside an escaped part) states, in which a
// "</script" closes the double escape instead of the script.
std::size_t findScriptEnd(std::string_view s, std::size_t i)
{
    enum { Data, Escaped, DoubleEscaped } state = Data;
    int dashes = 0;
    while (i < s.size()) {
        const char c = s[i];
        if (c == '-') {
            ++dashes;
            ++i;
            continue;
        }
        if (c == '>' && dashes >= 2 && state != Data) {
            state = Data;
            dashes = 0;
            ++i;
            continue;
        }
        dashes = 0;
        if (c != '<') {
            ++i;
            continue;
        }
        if (state == Data && s.compare(i, 4, "<!--") == 0) {
            state = Escaped;
            dashes = 2; // "<!-->" ends the escape at once
            i += 4;
            continue;
        }
        if (i + 1 < s.size() && s[i + 1] == '/' && matchesScriptWord(s, i + 2)) {
            if (state != DoubleEscaped)
                return i;
            state = Escaped;
            i += 8;
            continue;
        }
        if (state == Escaped && matchesScriptWord(s, i + 1)) {
            state = DoubleEscaped;
            i += 7;
            continue;
        }
        ++i;
    }
    return npos;
}

// The end of a comment that starts with "<!--" at i: "-->", "--!>", or the
// abrupt "<!-->" and "<!--->".
std::size_t commentEnd(std::string_view s, std::size_t i)
{
    std::size_t j = i + 4;
    if (s.compare(j, 1, ">") == 0)
        return j + 1;
    if (s.compare(j, 2, "->") == 0)
        return j + 2;
    while (true) {
        const std::size_t dashes = s.find("--", j);
        if (dashes == npos)
            return npos;
        std::size_t k = dashes + 2;
        while (k < s.size() && s[k] == '-')
            ++k;
        if (k < s.size() && s[k] == '>')
            return k + 1;
        if (s.compare(k, 2, "!>") == 0)
            return k + 2;
        j = k;
    }
}

bool isWhitespaceOnly(std::string_view s)
{
    return std::all_of(s.begin(), s.end(), [](char c) { return isTagSpace(c); });
}

} // namespace

Nesting measure(std::string_view html, Nesting limits)
{
    Gauge gauge(limits);
    TagToken token;
    std::size_t i = 0;
    while (i < html.size() && !gauge.overLimit()) {
        const void* hit = std::memchr(html.data() + i, '<', html.size() - i);
        const std::size_t lt = hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - html.data()) : html.size();
        if (lt > i)
            gauge.text(isWhitespaceOnly(html.substr(i, lt - i)));
        if (lt + 1 >= html.size())
            break;
        const char next = html[lt + 1];
        if (isAsciiLetter(next)) {
            token = TagToken{};
            readTag(html, lt + 1, token);
            if (token.end == npos)
                break; // the input ends inside the tag, which is dropped
            i = token.end;
            const Content content = gauge.startTag(token.start);
            if (content == Content::PlainText)
                break;
            if (content == Content::Markup)
                continue;
            const std::size_t close = content == Content::ScriptData ? findScriptEnd(html, i)
                                                                     : findEndTag(html, i, token.lowerName);
            if (close == npos)
                break;
            i = close; // raw text belongs to its element; the end tag is read next
        } else if (next == '/') {
            if (lt + 2 >= html.size())
                break;
            if (isAsciiLetter(html[lt + 2])) {
                token = TagToken{};
                readTag(html, lt + 2, token);
                if (token.end == npos)
                    break;
                gauge.endTag(token.tag, token.name);
                i = token.end;
            } else if (html[lt + 2] == '>') {
                i = lt + 3;
            } else {
                const std::size_t gt = html.find('>', lt + 2);
                i = gt == npos ? html.size() : gt + 1; // a bogus comment
            }
        } else if (next == '!') {
            std::size_t end;
            if (html.compare(lt, 4, "<!--") == 0) {
                end = commentEnd(html, lt);
            } else if (gauge.inForeignContent() && html.compare(lt, 9, "<![CDATA[") == 0) {
                end = html.find("]]>", lt + 9);
                if (end != npos)
                    end += 3;
            } else {
                end = html.find('>', lt + 2); // a doctype or a bogus comment
                if (end != npos)
                    end += 1;
            }
            if (end == npos)
                break;
            i = end;
        } else if (next == '?') {
            const std::size_t gt = html.find('>', lt + 2);
            if (gt == npos)
                break;
            i = gt + 1;
        } else {
            gauge.text(false); // a "<" that starts nothing
            i = lt + 1;
        }
    }
    return gauge.measured();
}

} // namespace lumeno::HTMLNesting
