// What a play folder says about its demo: read from untrusted bytes, written
// back the same.

#include <gtest/gtest.h>

#include <string>

#include "scene/demo_info.h"

namespace zor {
namespace {

DemoInfo parse(const std::string& text) {
    return parseDemoInfo({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

TEST(DemoInfo, ReadsItsKeysAndCleansWhatItCannotShow) {
    const DemoInfo info = parse("\xEF\xBB\xBFtitle:  Cubes in a room \r\nauthor:s\x01omeone\n"
                                "colour: red\nno colon here\ndescription: a \xFF\xFE b\n");
    EXPECT_EQ(info.title, "Cubes in a room");
    EXPECT_EQ(info.author, "s omeone");
    EXPECT_EQ(info.description, "a ?? b");
    EXPECT_EQ(parse(formatDemoInfo(info)), info);
    // A description with line breaks stays one line; an overlong one is cut
    // at a character's start, never inside a sequence.
    std::string longText(kMaxDemoInfoValue - 1, 'x');
    longText += "\xC3\xBC";  // two bytes that no longer fit
    EXPECT_EQ(cleanDemoInfoValue(longText), std::string(kMaxDemoInfoValue - 1, 'x'));
    EXPECT_EQ(cleanDemoInfoValue("one\ntwo"), "one two");
}

TEST(DemoInfo, TheWindowKeepsThePlayersTitleWithoutOne) {
    EXPECT_EQ(windowTitleOf(parse("")), "ZOR @ QUENT7");
    EXPECT_EQ(windowTitleOf(parse("author: someone\n")), "ZOR @ QUENT7");
    EXPECT_EQ(windowTitleOf(parse("title: K\xC3\xBC" "be\n")), "K\xC3\xBC" "be");
}

}  // namespace
}  // namespace zor
