#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/Heap.h"
#include "engine/TextUtil.h"

using namespace KelpaEngine;

namespace {

// The text in a malloc block of exactly its size plus the NUL, so that the
// address sanitizer sees any read past the terminator.
struct ExactText {
    explicit ExactText(const std::string& s) : p(static_cast<char*>(std::malloc(s.size() + 1))) {
        std::memcpy(p, s.c_str(), s.size() + 1);
    }
    ~ExactText() { std::free(p); }
    ExactText(const ExactText&) = delete;
    ExactText& operator=(const ExactText&) = delete;
    char* p;
};

std::vector<std::string> split(const std::string& text, int32_t* count = nullptr) {
    ExactText t(text);
    LineList list;
    int32_t n = splitLines(&list, t.p);
    if (count) *count = n;
    std::vector<std::string> lines;
    EXPECT_EQ(n, list.count);
    for (int32_t i = 0; i < list.count; ++i) {
        EXPECT_NE(findHeader(list.lines[i]), nullptr);  // lines live on the engine heap
        lines.push_back(list.lines[i]);
    }
    freeLines(&list);
    EXPECT_EQ(list.count, 0);
    EXPECT_EQ(list.lines, nullptr);
    return lines;
}

TEST(Utf8, DecodesOneCodePointWithoutReadingPastTheText) {
    struct Case {
        const char* name;
        std::string bytes;
        uint32_t cp;
    } cases[] = {
        {"ascii", "A", 0x41},
        {"nul", std::string(), 0},
        {"two bytes", "\xC3\xA9", 0xE9},
        {"three bytes", "\xE3\x81\x82", 0x3042},
        {"four bytes", "\xF0\x9F\x98\x80", 0x1F600},
        {"highest two", "\xDF\xBF", 0x7FF},
        {"highest three", "\xEF\xBF\xBF", 0xFFFF},
        {"lone continuation", "\x80", 0},
        {"last continuation", "\xBF", 0},
        {"lead F8", "\xF8\x88\x80\x80\x80", 0},
        {"lead FF", "\xFF", 0},
        {"two cut by nul", "\xC3", 0},
        {"three cut by nul", "\xE3\x81", 0},
        {"four cut by nul", "\xF0\x9F\x98", 0},
        {"three cut by ascii", "\xE3\x81" "A", 0},
        {"three cut by line break", "\xE3\n\x82", 0},
        {"overlong two-byte", "\xC1\xBF", 0x7F},  // overlong forms decode to their value
        {"overlong nul", "\xC0\x80", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ExactText t(c.bytes);
        EXPECT_EQ(utf8Decode(t.p), c.cp);
        EXPECT_EQ(utf8Decode(reinterpret_cast<const unsigned char*>(t.p)), c.cp);
    }
    EXPECT_EQ(utf8Decode(static_cast<const char*>(nullptr)), 0u);
}

TEST(Utf8, LengthOfACodePoint) {
    struct Case {
        uint32_t cp;
        uint32_t length;
    } cases[] = {
        {0, 1},       {0x7F, 1},     {0x80, 2},      {0x7FF, 2},       {0x800, 3},
        {0x3042, 3},  {0xFFFF, 3},   {0x10000, 4},   {0x10FFFF, 4},    {0xFFFFFFFF, 4},
    };
    for (const Case& c : cases) EXPECT_EQ(utf8Length(c.cp), c.length) << std::hex << c.cp;
}

TEST(Utf8, WalkingByDecodedLengthStepsOverBadBytesOneAtATime) {
    ExactText t("a\xE3\x81\x82\x80\xF0\x9F\x98\x80\xFF" "b\xE3\x81");
    std::vector<uint32_t> cps;
    for (const char* p = t.p; *p; p += utf8Length(utf8Decode(p))) cps.push_back(utf8Decode(p));
    std::vector<uint32_t> want = {'a', 0x3042, 0, 0x1F600, 0, 'b', 0, 0};
    EXPECT_EQ(cps, want);
}

TEST(SplitLines, BreaksAndLines) {
    using L = std::vector<std::string>;
    struct Case {
        const char* name;
        std::string text;
        L lines;
    } cases[] = {
        {"empty text is one empty line", "", L{""}},
        {"no break is no line", "abc", L{}},
        {"text after the last break is dropped", "A\nB", L{"A"}},
        {"LF", "A\nB\n", L{"A", "B"}},
        {"CR", "A\rB\r", L{"A", "B"}},
        {"CRLF", "one\r\ntwo\r\nthree\r\n", L{"one", "two", "three"}},
        {"LFCR", "A\n\rB\n\r", L{"A", "B"}},
        {"LF LF", "A\n\nB\n", L{"A", "", "B"}},
        {"CR CR", "A\r\rB\r", L{"A", "", "B"}},
        {"CRLF then CR", "A\r\n\rB\n", L{"A", "", "B"}},  // a break pairs at most two bytes
        {"only breaks", "\n\r\n\r\n", L{"", "", ""}},
        {"leading break", "\nA\n", L{"", "A"}},
        {"many lines grow the list", std::string(9, '\n'), L(9, "")},
        {"multibyte", "\xE3\x81\x82\xE3\x81\x84\n\xF0\x9F\x98\x80\n", L{"\xE3\x81\x82\xE3\x81\x84", "\xF0\x9F\x98\x80"}},
        {"bad byte stays in its line", "A\x80" "B\nC\n", L{"A\x80" "B", "C"}},
        {"bad lead at the start", "\xFFX\nY\n", L{"\xFFX", "Y"}},
        {"cut sequence before a break", "\xE3\x81\nD\n", L{"\xE3\x81", "D"}},
        {"cut sequence at the end", "A\n\xE3\x81", L{"A"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int32_t n = -2;
        EXPECT_EQ(split(c.text, &n), c.lines);
        EXPECT_EQ(n, int32_t(c.lines.size()));
    }
}

TEST(SplitLines, BadArgumentsAndFreeing) {
    LineList list;
    list.count = 7;
    EXPECT_EQ(splitLines(&list, nullptr), -1);
    EXPECT_EQ(list.count, 0);
    EXPECT_EQ(list.lines, nullptr);
    EXPECT_EQ(splitLines(nullptr, "A\n"), -1);
    freeLines(&list);  // an empty list frees nothing
    freeLines(nullptr);

    HeapCounters before = heapCounters();
    ASSERT_EQ(splitLines(&list, "1\n2\n3\n4\n5\n6\n"), 6);
    EXPECT_GT(heapCounters().liveBlocks, before.liveBlocks);
    freeLines(&list);
    freeLines(&list);  // twice is harmless
    EXPECT_EQ(heapCounters().liveBlocks, before.liveBlocks);
}

TEST(EngineStrdup, CopiesOntoTheEngineHeap) {
    const char* texts[] = {"", "mekko.sav", "\xE3\x81\x82 text"};
    for (const char* text : texts) {
        char* copy = engineStrdup(text);
        ASSERT_NE(copy, nullptr);
        EXPECT_NE(copy, text);
        EXPECT_STREQ(copy, text);
        HeapBlockHeader* h = findHeader(copy);
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(h->size, std::strlen(text) + 1);
        engineFree(copy);
    }
    EXPECT_EQ(engineStrdup(nullptr), nullptr);
}

}  // namespace
