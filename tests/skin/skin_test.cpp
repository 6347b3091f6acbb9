#include "platform/skin/skin.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QWidget>

#include "qtapp.h"

namespace {

QString TestSkin() {
    QFile file(QStringLiteral(":/res/SKINMAGIC/DEFAULT"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString SheetOfNewDialog() {
    QDialog dialog;
    dialog.ensurePolished();
    return dialog.styleSheet();
}

class Skin : public ::testing::Test {
protected:
    void TearDown() override { fwskin_Exit(); }
};

TEST_F(Skin, StartUpCallsSkinEveryDialogMadeAfterThem) {
    ASSERT_FALSE(TestSkin().isEmpty());
    EXPECT_EQ(fwskin_Init(nullptr, "SCRIBBLE", nullptr, nullptr), 1);
    EXPECT_EQ(fwskin_LoadSkinFromResource(nullptr, "DEFAULT", "SKINMAGIC"), 1);
    EXPECT_TRUE(SheetOfNewDialog().isEmpty()) << "skinned before the Dialog call";
    EXPECT_EQ(fwskin_SetWindowSkin("Dialog"), 1);
    EXPECT_EQ(SheetOfNewDialog(), TestSkin());

    // Only dialogs are dressed, and a dialog's own style sheet is left alone.
    QWidget plain;
    plain.ensurePolished();
    EXPECT_TRUE(plain.styleSheet().isEmpty());
    QDialog own;
    own.setStyleSheet(QStringLiteral("QDialog { background: red; }"));
    own.ensurePolished();
    EXPECT_EQ(own.styleSheet(), QStringLiteral("QDialog { background: red; }"));

    fwskin_Exit();
    EXPECT_TRUE(SheetOfNewDialog().isEmpty());
}

TEST_F(Skin, FailedCallsLeaveDialogsUnskinned) {
    // Out of order: nothing is loaded or applied before the library is initialised.
    EXPECT_EQ(fwskin_LoadSkinFromResource(nullptr, "DEFAULT", "SKINMAGIC"), 0);
    EXPECT_EQ(fwskin_SetWindowSkin("Dialog"), 0);
    EXPECT_EQ(fwskin_Init(nullptr, "SCRIBBLE", nullptr, nullptr), 1);
    // A skin resource that is missing, or empty.
    EXPECT_EQ(fwskin_LoadSkinFromResource(nullptr, "NOSUCH", "SKINMAGIC"), 0);
    EXPECT_EQ(fwskin_LoadSkinFromResource(nullptr, "EMPTY", "#10"), 0);
    EXPECT_EQ(fwskin_SetWindowSkin("Dialog"), 0);
    EXPECT_TRUE(SheetOfNewDialog().isEmpty());
    // Names are found without regard to case; other kinds of window are not skinned.
    EXPECT_EQ(fwskin_LoadSkinFromResource(nullptr, "default", "skinmagic"), 1);
    EXPECT_EQ(fwskin_SetWindowSkin("Frame"), 0);
    EXPECT_TRUE(SheetOfNewDialog().isEmpty());
    fwskin_Exit();
    fwskin_Exit();  // a second shutdown is harmless
}

}  // namespace
