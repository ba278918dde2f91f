// The compiled dialog templates that ship in the module, field by field.
#include "resources/resource_ids.h"
#include "testbed/desktop/dialog_template.h"
#include "testbed/sim-platform/module_image.h"

#include <gtest/gtest.h>

namespace {

constexpr std::uint16_t STATIC_CLASS = 0x0082;
constexpr std::uint16_t GERMAN_GERMANY = 1031;

std::optional<sim::DialogTemplate> Shipped(int id) {
    return sim::ParseDialogResource(
        sim::ReadElfSection(SKARVEL_MODULE_IMAGE, sim::RESOURCE_SECTION), id);
}

void ExpectCommonHeader(const sim::DialogTemplate& dialog) {
    EXPECT_EQ(dialog.language, GERMAN_GERMANY);
    EXPECT_EQ(dialog.version, 1);
    EXPECT_EQ(dialog.signature, 0xFFFF);
    EXPECT_EQ(dialog.helpId, 0u);
    EXPECT_EQ(dialog.x, 0);
    EXPECT_EQ(dialog.y, 0);
    EXPECT_FALSE(dialog.hasMenu);
    EXPECT_FALSE(dialog.hasClass);
    EXPECT_EQ(dialog.typeface, "MS Sans Serif");
    EXPECT_EQ(dialog.pointSize, 8);
    EXPECT_EQ(dialog.weight, 0);
    EXPECT_EQ(dialog.italic, 0);
    EXPECT_EQ(dialog.charset, 1);
}

TEST(DialogTemplateTest, TriggerIsATinyTransparentPopupWithoutControls) {
    const auto trigger = Shipped(IDD_TRIGGER);
    ASSERT_TRUE(trigger.has_value()) << "template 101 missing from " << SKARVEL_MODULE_IMAGE;
    ExpectCommonHeader(*trigger);
    EXPECT_EQ(trigger->style, 0x80000040u); // WS_POPUP | DS_SETFONT, not visible
    EXPECT_EQ(trigger->extendedStyle, 0x00000020u);
    EXPECT_EQ(trigger->width, 5);
    EXPECT_EQ(trigger->height, 5);
    EXPECT_EQ(trigger->title, "");
    EXPECT_TRUE(trigger->items.empty());
}

struct Text {
    int x, y, width, height;
    std::uint32_t style, extendedStyle;
    std::string text;
};

TEST(DialogTemplateTest, UsageDialogHoldsTheSyntaxInSixStaticTexts) {
    const auto usage = Shipped(IDD_USAGE);
    ASSERT_TRUE(usage.has_value()) << "template 102 missing from " << SKARVEL_MODULE_IMAGE;
    ExpectCommonHeader(*usage);
    EXPECT_EQ(usage->style, 0x80C800C0u); // with a caption and a close box, not visible
    EXPECT_EQ(usage->extendedStyle, 0u);
    EXPECT_EQ(usage->width, 186);
    EXPECT_EQ(usage->height, 95);
    EXPECT_EQ(usage->title, "Skarvel Usage");

    const std::vector<Text> expected = {
        {5, 5, 170, 8, 0x50020000, 0, "Use the following option format in the command line:"},
        {5, 60, 135, 8, 0x50020000, 0, "-p ... pauses the simulation on startup"},
        {5, 70, 135, 8, 0x50020000, 0, "-e ... exits Orbiter after simulation shutdown"},
        {5, 80, 135, 8, 0x50020000, 0, "-x ... exits Orbiter, if scenario is not found"},
        {5, 15, 165, 15, 0x50020201, 0x00020000, "orbiter.exe [options] <scenario>"},
        {5, 35, 170, 25, 0x50020000, 0,
         "where <scenario> must be a relative or absolute path with or without the extension "
         "\"scn\", and [options] is one or more of the following:"},
    };
    ASSERT_EQ(usage->items.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const sim::DialogItem& item = usage->items[i];
        SCOPED_TRACE("control " + std::to_string(i + 1) + ": " + item.text);
        EXPECT_EQ(item.text, expected[i].text);
        EXPECT_EQ(item.x, expected[i].x);
        EXPECT_EQ(item.y, expected[i].y);
        EXPECT_EQ(item.width, expected[i].width);
        EXPECT_EQ(item.height, expected[i].height);
        EXPECT_EQ(item.style, expected[i].style);
        EXPECT_EQ(item.extendedStyle, expected[i].extendedStyle);
        EXPECT_EQ(item.id, -1);
        EXPECT_EQ(item.helpId, 0u);
        EXPECT_EQ(item.classOrdinal, STATIC_CLASS);
    }
}

TEST(DialogTemplateTest, MalformedResourcesAreRefused) {
    std::vector<unsigned char> res =
        sim::ReadElfSection(SKARVEL_MODULE_IMAGE, sim::RESOURCE_SECTION);
    ASSERT_FALSE(res.empty());
    EXPECT_FALSE(sim::ParseDialogResource(res, 103).has_value());
    // Cut short anywhere, the bytes never decode into a template read past their end.
    for (std::size_t size = 0; size < res.size(); size += 7) {
        const std::vector<unsigned char> cut(res.begin(), res.begin() + static_cast<long>(size));
        const auto usage = sim::ParseDialogResource(cut, IDD_USAGE);
        EXPECT_TRUE(!usage.has_value() || usage->items.size() == 6) << "cut at " << size;
    }
}

} // namespace
