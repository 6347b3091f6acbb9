#include "platform/qt/dialogtemplate.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>

#include <vector>

#include "widgets/test_resources.h"

namespace {

using win::DialogItem;
using win::DialogTemplate;
using win::DWORD;

struct Expected {
    int id;
    const char* className;
    const char* text;
    win::WORD bitmap;
    DWORD style;
    QRect rect;
};

void ExpectItems(const std::vector<DialogItem>& items, const std::vector<Expected>& expected) {
    ASSERT_EQ(items.size(), expected.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "control " << i << ", id " << expected[i].id);
        EXPECT_EQ(items[i].id, expected[i].id);
        EXPECT_EQ(items[i].className, QString::fromLatin1(expected[i].className));
        EXPECT_EQ(items[i].text, QString::fromLatin1(expected[i].text));
        EXPECT_EQ(items[i].bitmap, expected[i].bitmap);
        EXPECT_EQ(items[i].style, expected[i].style);
        EXPECT_EQ(items[i].exStyle, 0u);
        EXPECT_EQ(items[i].rect, expected[i].rect);
    }
}

class DialogTemplates : public testing::Test {
protected:
    static void SetUpTestSuite() { InitTestResources(); }
};

TEST_F(DialogTemplates, ConsoleTemplateHoldsEveryControlInTabOrder) {
    QString error;
    const std::optional<DialogTemplate> console = win::LoadDialogTemplate(102, &error);
    ASSERT_TRUE(console) << error.toStdString();
    EXPECT_EQ(console->style, 0x90CA08C8u);
    EXPECT_EQ(console->exStyle, 0x00040200u);
    EXPECT_EQ(console->size, QSize(281, 246));
    EXPECT_EQ(console->caption, QStringLiteral("Fleetwing"));
    EXPECT_TRUE(console->hasFont);
    EXPECT_EQ(console->fontName, QStringLiteral("MS Shell Dlg"));
    EXPECT_EQ(console->pointSize, 8);
    EXPECT_EQ(console->weight, 0);
    EXPECT_FALSE(console->italic);
    ExpectItems(console->items,
                {
                    {1001, "button", "ACCELLERATE!", 0, 0x50013023, {16, 62, 142, 29}},
                    {1007, "button", "&Quit", 0, 0x50010300, {164, 62, 102, 29}},
                    {-1, "static", "Network Adapter", 0, 0x50020000, {16, 116, 56, 8}},
                    {-1, "button", "Settings", 0, 0x50000007, {8, 47, 263, 85}},
                    {-1, "button", "Statistics", 0, 0x50000007, {8, 135, 263, 98}},
                    {1024, "static", "", 0, 0x5082000C, {38, 149, 229, 44}},
                    {1025, "static", "Static", 0, 0x50020002, {11, 148, 26, 8}},
                    {1027, "static", "Static", 0, 0x50020002, {13, 167, 24, 8}},
                    {1026, "static", "Static", 0, 0x50020002, {13, 186, 24, 8}},
                    {1028, "combobox", "", 0, 0x50210002, {74, 115, 192, 68}},
                    {1030, "button", "Run", 0, 0x50010000, {230, 98, 36, 13}},
                    {1034, "combobox", "", 0, 0x50210002, {47, 98, 178, 130}},
                    {1035, "static", "", 174, 0x5000030E, {14, 10, 253, 36}},
                    {1036, "static", "", 175, 0x5000000E, {176, 199, 91, 28}},
                    {1037, "static", "", 0, 0x50000007, {13, 211, 39, 16}},
                    {-1, "static", "P2P Run:", 0, 0x50020000, {16, 99, 29, 8}},
                });
}

TEST_F(DialogTemplates, AboutTemplateHoldsItsThreeControls) {
    QString error;
    const std::optional<DialogTemplate> about = win::LoadDialogTemplate(100, &error);
    ASSERT_TRUE(about) << error.toStdString();
    EXPECT_EQ(about->style, 0x80C800C8u);
    EXPECT_EQ(about->exStyle, 0x208u);
    EXPECT_EQ(about->size, QSize(185, 70));
    EXPECT_EQ(about->caption, QStringLiteral("Fleetwing"));
    EXPECT_EQ(about->fontName, QStringLiteral("MS Shell Dlg"));
    EXPECT_EQ(about->pointSize, 8);
    ASSERT_EQ(about->items.size(), 3u);
    EXPECT_EQ(about->items[0].id, 1);
    EXPECT_EQ(about->items[0].className, QStringLiteral("button"));
    EXPECT_EQ(about->items[0].text, QStringLiteral("&OK"));
    EXPECT_EQ(about->items[0].style, 0x50030300u);
    EXPECT_EQ(about->items[0].rect, QRect(68, 49, 50, 18));
    EXPECT_EQ(about->items[1].id, -1);
    EXPECT_EQ(about->items[1].text, QStringLiteral("Version 3.7.0"));
    EXPECT_EQ(about->items[1].style, 0x50020201u);
    EXPECT_EQ(about->items[1].rect, QRect(0, 14, 184, 11));
    EXPECT_EQ(about->items[2].id, -1);
    EXPECT_EQ(about->items[2].className, QStringLiteral("static"));
    EXPECT_EQ(about->items[2].style, 0x50020001u);
    EXPECT_EQ(about->items[2].rect, QRect(0, 29, 184, 16));
    EXPECT_FALSE(about->items[2].text.isEmpty());
}

TEST_F(DialogTemplates, OptionalFieldsAndNumberForms) {
    const std::optional<DialogTemplate> controls = win::LoadDialogTemplate(900);
    ASSERT_TRUE(controls);
    EXPECT_EQ(controls->exStyle, 0u);  // absent
    EXPECT_EQ(controls->fontName, QStringLiteral("DejaVu Sans"));
    EXPECT_EQ(controls->pointSize, 10);
    EXPECT_EQ(controls->weight, 700);
    EXPECT_TRUE(controls->italic);
    ASSERT_EQ(controls->items.size(), 23u);
    EXPECT_EQ(controls->items[2].className, QStringLiteral("Button"));  // kept as written
    EXPECT_EQ(controls->items[9].style, 0x50000002u);                   // given as a decimal number
    EXPECT_TRUE(controls->items[11].text.isEmpty());                    // no text given
    EXPECT_EQ(controls->items[13].bitmap, 910);

    // A template without a font.
    const std::optional<DialogTemplate> bare =
        win::ParseDialogTemplate(R"({"style": 0, "size": [1, 2], "caption": "", "controls": []})");
    ASSERT_TRUE(bare);
    EXPECT_FALSE(bare->hasFont);
    EXPECT_TRUE(bare->items.empty());
}

// A dialog with one control, for cases about the control.
QByteArray WithControl(const char* control) {
    return QByteArray(
               R"({"style": "0x80C800C8", "size": [100, 50], "caption": "c", "controls": [)") +
           control + "]}";
}

TEST_F(DialogTemplates, MalformedTemplatesAreRefusedWithTheirFault) {
    // The base of the control cases is itself well formed.
    ASSERT_TRUE(win::ParseDialogTemplate(
        WithControl(R"({"id": 1, "class": "button", "style": 0, "rect": [0, 0, 1, 1]})")));

    struct Case {
        QByteArray json;
        const char* fault;  // what the reason names
    };
    const Case cases[] = {
        {"", "not JSON"},
        {"{\"style\": 0, ", "not JSON"},
        {"[1, 2]", "not a JSON object"},
        {R"({"size": [1, 1], "caption": "", "controls": []})", "dialog.style"},
        {R"({"style": "0xZZ", "size": [1, 1], "caption": "", "controls": []})", "dialog.style"},
        {R"({"style": "0x100000000", "size": [1, 1], "caption": "", "controls": []})",
         "dialog.style"},
        {R"({"style": -1, "size": [1, 1], "caption": "", "controls": []})", "dialog.style"},
        {R"({"style": 0, "exStyle": true, "size": [1, 1], "caption": "", "controls": []})",
         "dialog.exStyle"},
        {R"({"style": 0, "caption": "", "controls": []})", "dialog.size"},
        {R"({"style": 0, "size": [281], "caption": "", "controls": []})", "dialog.size"},
        {R"({"style": 0, "size": [281, 246.5], "caption": "", "controls": []})", "dialog.size[1]"},
        {R"({"style": 0, "size": [-1, 246], "caption": "", "controls": []})", "dialog.size[0]"},
        {R"({"style": 0, "size": [1, 1], "controls": []})", "dialog.caption"},
        {R"({"style": 0, "size": [1, 1], "caption": 5, "controls": []})", "dialog.caption"},
        {R"({"style": 0, "size": [1, 1], "caption": "", "font": 8, "controls": []})",
         "dialog.font"},
        {R"({"style": 0, "size": [1, 1], "caption": "", "font": {"name": "X"}, "controls": []})",
         "dialog.font.pointSize"},
        {R"({"style": 0, "size": [1, 1], "caption": "", "font": {"name": "", "pointSize": 8},
             "controls": []})",
         "dialog.font.name"},
        {R"({"style": 0, "size": [1, 1], "caption": "",
             "font": {"name": "X", "pointSize": 8, "weight": 1001}, "controls": []})",
         "dialog.font.weight"},
        {R"({"style": 0, "size": [1, 1], "caption": ""})", "dialog.controls"},
        {R"({"style": 0, "size": [1, 1], "caption": "", "controls": {}})", "dialog.controls"},
        {WithControl("7"), "controls[0]"},
        {WithControl(R"({"class": "button", "style": 0, "rect": [0, 0, 1, 1]})"), "controls[0].id"},
        {WithControl(R"({"id": -2, "class": "button", "style": 0, "rect": [0, 0, 1, 1]})"),
         "controls[0].id"},
        {WithControl(R"({"id": 65536, "class": "button", "style": 0, "rect": [0, 0, 1, 1]})"),
         "controls[0].id"},
        {WithControl(R"({"id": 1, "style": 0, "rect": [0, 0, 1, 1]})"), "controls[0].class"},
        {WithControl(R"({"id": 1, "class": "", "style": 0, "rect": [0, 0, 1, 1]})"),
         "controls[0].class"},
        {WithControl(R"({"id": 1, "class": "button", "rect": [0, 0, 1, 1]})"), "controls[0].style"},
        {WithControl(R"({"id": 1, "class": "button", "style": 0})"), "controls[0].rect"},
        {WithControl(R"({"id": 1, "class": "button", "style": 0, "rect": [0, 0, 1]})"),
         "controls[0].rect"},
        {WithControl(R"({"id": 1, "class": "button", "style": 0, "rect": [0, 0, -1, 1]})"),
         "controls[0].rect[2]"},
        {WithControl(R"({"id": 1, "class": "button", "style": 0, "rect": [40000, 0, 1, 1]})"),
         "controls[0].rect[0]"},
        {WithControl(R"({"id": 1, "class": "button", "style": 0, "rect": [0, 0, 1, 1],
                         "text": 5})"),
         "controls[0].text"},
        {WithControl(R"({"id": 1, "class": "static", "style": 14, "rect": [0, 0, 1, 1],
                         "bitmap": 0})"),
         "controls[0].bitmap"},
        {WithControl(R"({"id": 1, "class": "static", "style": 14, "rect": [0, 0, 1, 1],
                         "text": "a", "bitmap": 174})"),
         "both a text and a bitmap"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json.toStdString());
        QString error;
        EXPECT_FALSE(win::ParseDialogTemplate(c.json, &error));
        EXPECT_TRUE(error.contains(QLatin1String(c.fault))) << error.toStdString();
    }
}

TEST_F(DialogTemplates, MissingOrDamagedResourcesGiveNothing) {
    struct Case {
        win::WORD id;
        const char* fault;
    };
    const Case cases[] = {
        {4242, "no dialog template 4242"},
        {901, "not JSON"},           // cut off
        {902, "controls[0].class"},  // a control without class
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        QString error;
        EXPECT_FALSE(win::LoadDialogTemplate(c.id, &error));
        EXPECT_TRUE(error.contains(QLatin1String(c.fault))) << error.toStdString();
    }
    // Without a place for the reason.
    EXPECT_FALSE(win::LoadDialogTemplate(901));
}

}  // namespace
