// Tests of the anchor walk of link extraction: the tags and the text left outside the anchors, and
// a bound on the work for pages of many anchors in the shapes that once made it quadratic.
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/StringBuffer.h"
#include "spider/AnchorScanner.h"

using namespace vantry;

namespace {

struct Walk {
    std::vector<std::string> tags;
    std::string rest;
    uint64_t examined = 0;
};

Walk WalkAnchors(const std::string &page) {
    StringBuffer text(page.c_str());
    AnchorScanner scanner(text);
    Walk walk;
    StringBuffer tag;
    while (scanner.NextTag(tag))
        walk.tags.push_back(tag.Text());
    walk.examined = scanner.BytesExamined();
    StringBuffer rest;
    scanner.TakeRest(rest);
    walk.rest = rest.Text();
    return walk;
}

std::string Repeat(int n, const std::function<std::string(int)> &piece) {
    std::string page;
    for (int i = 0; i < n; ++i)
        page += piece(i);
    return page;
}

} // namespace

TEST(AnchorScanner, TagsAndTheTextOutsideTheAnchors) {
    Walk w = WalkAnchors("<p>a<A HREF='/x'>X</A>b<a\thref=/y title=\"1>2\">Y</a></p><abbr>c</abbr>");
    EXPECT_EQ(w.tags, (std::vector<std::string>{"<A HREF='/x'", "<a\thref=/y title=\"1>2\""}));
    EXPECT_EQ(w.rest, "<p>ab</p><abbr>c</abbr>");
}

TEST(AnchorScanner, AnchorContentRunsToTheNextClosingTag) {
    // The second anchor lies inside the first one's content and is dropped with it.
    Walk nested = WalkAnchors("<a href=/1>one <a href=/2>two</a> tail");
    EXPECT_EQ(nested.tags, (std::vector<std::string>{"<a href=/1"}));
    EXPECT_EQ(nested.rest, " tail");
    // Without any "</a>" the scan stays after each tag, and stray closing tags are deleted.
    Walk open = WalkAnchors("<a href=/1>one <a href=/2>two</A>");
    EXPECT_EQ(open.tags.size(), 1u);
    Walk unclosed = WalkAnchors("x</a><a href=/1>one <a href=/2>two");
    EXPECT_EQ(unclosed.tags, (std::vector<std::string>{"<a href=/1", "<a href=/2"}));
    EXPECT_EQ(unclosed.rest, "xone two");
    // A tag without '>' runs to the end of the page.
    Walk cut = WalkAnchors("a<a href=/1 b <a href=/2");
    EXPECT_EQ(cut.tags, (std::vector<std::string>{"<a href=/1 b <a href=/2"}));
    EXPECT_EQ(cut.rest, "a");
}

// The work of a walk is bounded by a small multiple of the page's length whatever the anchors:
// without closing tags (every anchor once searched the rest of the page for one), with unbalanced
// quotes, with one closing tag at the very end, and well-formed.
TEST(AnchorScanner, WorkGrowsInProportionToThePage) {
    const std::vector<std::pair<const char *, std::function<std::string(int)>>> shapes = {
        {"unclosed", [](int i) { return "<a href=/p" + std::to_string(i) + ">text "; }},
        {"closed", [](int i) { return "<a href=/p" + std::to_string(i) + ">text</a> "; }},
        {"unbalanced quotes", [](int i) { return "<a href='/p" + std::to_string(i) + ">text "; }},
        {"mixed quotes", [](int i) { return "<A title=\"x\" href='/p" + std::to_string(i) + "\">t "; }},
        {"bare openings", [](int) { return std::string("<a\n"); }},
        {"closing tag at the end", [](int i) { return i == 0 ? "x" : "<a href=/p>t "; }},
    };
    for (const auto &[name, piece] : shapes) {
        for (int n : {5000, 20000}) {
            std::string page = Repeat(n, piece);
            if (std::string(name) == "closing tag at the end")
                page += "</a>";
            const Walk walk = WalkAnchors(page);
            EXPECT_LE(walk.examined, 4 * page.size()) << name << ", " << n << " anchors";
            EXPECT_GE(walk.examined, page.size()) << name << ", " << n << " anchors";
        }
    }
    EXPECT_EQ(WalkAnchors(Repeat(20000, shapes[0].second)).tags.size(), 20000u);
}
