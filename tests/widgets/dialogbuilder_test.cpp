#include "platform/widgets/dialogbuilder.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/widgets/dialogunits.h"
#include "widgets/offscreen_app.h"

namespace {

using win::GetDlgItem;

// The dialog's controls from the top of the stack down.
std::vector<QWidget*> Stack(QWidget* dialog) {
    std::vector<QWidget*> controls;
    const QObjectList& children = dialog->children();
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        auto* control = qobject_cast<QWidget*>(*it);
        if (control != nullptr && control->property(win::kControlIdProperty).isValid()) {
            controls.push_back(control);
        }
    }
    return controls;
}

// The identifier of the dialog's control that holds the widget (a combo box's line edit
// belongs to its combo box).
int ControlOf(QWidget* dialog, QWidget* widget) {
    while (widget != nullptr && widget->parentWidget() != dialog) {
        widget = widget->parentWidget();
    }
    return widget != nullptr ? win::GetDlgCtrlID(widget) : 0;
}

// The controls that focus visits when the user presses Tab again and again from the first.
std::vector<int> TabWalk(QDialog& dialog, int first, int presses) {
    GetDlgItem(&dialog, first)->setFocus(Qt::TabFocusReason);
    std::vector<int> visited;
    for (int i = 0; i < presses; ++i) {
        QWidget* focus = dialog.focusWidget();
        visited.push_back(ControlOf(&dialog, focus));
        if (focus == nullptr) {
            break;
        }
        QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
        QApplication::sendEvent(focus, &tab);
    }
    return visited;
}

QRect Pixels(const QRect& dialogUnits, const QDialog& dialog) {
    return win::DialogUnitsToPixels(dialogUnits, win::BaseUnits(dialog.font()));
}

// The control as the class it should be; a control of another class ends the test as failed.
template <typename T>
T* As(QWidget* control) {
    auto* typed = qobject_cast<T*>(control);
    if (typed == nullptr) {
        throw std::logic_error(std::string("control ") +
                               std::to_string(win::GetDlgCtrlID(control)) + " is a " +
                               (control != nullptr ? control->metaObject()->className() : "null") +
                               ", not a " + T::staticMetaObject.className());
    }
    return typed;
}

// What a control of the console should be: its class and the checks peculiar to it.
struct ConsoleControl {
    int id;
    const char* className;
    const char* text;  // its text, or null for controls without one
    std::function<void(QWidget*)> check;
};

void ExpectText(QWidget* control, const char* text) {
    const QString expected = QString::fromLatin1(text);
    if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        EXPECT_EQ(button->text(), expected);
    } else if (auto* label = qobject_cast<QLabel*>(control)) {
        EXPECT_EQ(label->text(), expected);
    } else if (auto* box = qobject_cast<QGroupBox*>(control)) {
        EXPECT_EQ(box->title(), expected);
    } else {
        ADD_FAILURE() << "no text on " << control->metaObject()->className();
    }
}

Qt::Alignment AlignmentOf(QWidget* control) {
    auto* label = qobject_cast<QLabel*>(control);
    return label != nullptr ? label->alignment() : Qt::Alignment();
}

TEST(DialogBuilder, ConsoleTemplateMakesEveryControlInPlace) {
    const std::optional<win::DialogTemplate> console = win::LoadDialogTemplate(102);
    ASSERT_TRUE(console);
    QDialog dialog;
    ASSERT_TRUE(win::BuildDialog(&dialog, 102));

    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Fleetwing"));
    EXPECT_EQ(dialog.font().family(), QApplication::font().family());
    EXPECT_EQ(dialog.font().pointSize(), 8);
    const QSize client = Pixels(QRect(0, 0, 281, 246), dialog).size();
    EXPECT_EQ(dialog.size(), client);
    EXPECT_EQ(dialog.minimumSize(), client);
    EXPECT_EQ(dialog.maximumSize(), client);
    const Qt::WindowFlags flags = dialog.windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowTitleHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowSystemMenuHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(dialog.windowType(), Qt::Dialog);

    const auto rightAligned = [](QWidget* c) {
        EXPECT_EQ(AlignmentOf(c), Qt::AlignRight | Qt::AlignTop);
    };
    const auto leftText = [](QWidget* c) {
        EXPECT_EQ(AlignmentOf(c), Qt::AlignLeft | Qt::AlignTop);
        EXPECT_TRUE(As<QLabel>(c)->wordWrap());
    };
    const auto editableCombo = [](QWidget* c) { EXPECT_TRUE(As<QComboBox>(c)->isEditable()); };
    const auto boxed = [](QWidget* c) {
        EXPECT_EQ(As<QLabel>(c)->frameShape(), QFrame::Box);
        EXPECT_TRUE(As<QLabel>(c)->text().isEmpty());
    };
    const auto plainButton = [](QWidget* c) {
        EXPECT_FALSE(As<QPushButton>(c)->isCheckable());
        EXPECT_FALSE(As<QPushButton>(c)->isDefault());
    };
    const std::vector<ConsoleControl> expected = {
        {1001, "QPushButton", "ACCELLERATE!",
         [](QWidget* c) { EXPECT_TRUE(As<QPushButton>(c)->isCheckable()); }},
        {1007, "QPushButton", "&Quit", plainButton},
        {-1, "QLabel", "Network Adapter", leftText},
        {-1, "QGroupBox", "Settings", {}},
        {-1, "QGroupBox", "Statistics", {}},
        {1024, "QLabel", nullptr, boxed},
        {1025, "QLabel", "Static", rightAligned},
        {1027, "QLabel", "Static", rightAligned},
        {1026, "QLabel", "Static", rightAligned},
        {1028, "QComboBox", nullptr, editableCombo},
        {1030, "QPushButton", "Run", plainButton},
        {1034, "QComboBox", nullptr, editableCombo},
        {1035, "QLabel", nullptr, [](QWidget* c) { EXPECT_EQ(AlignmentOf(c), Qt::AlignCenter); }},
        {1036, "QLabel", nullptr,
         [](QWidget* c) { EXPECT_EQ(AlignmentOf(c), Qt::AlignLeft | Qt::AlignTop); }},
        {1037, "QLabel", nullptr, boxed},
        {-1, "QLabel", "P2P Run:", leftText},
    };

    const std::vector<QWidget*> stack = Stack(&dialog);
    ASSERT_EQ(stack.size(), expected.size());
    ASSERT_EQ(console->items.size(), expected.size());
    for (std::size_t i = 0; i < stack.size(); ++i) {
        QWidget* control = stack[i];
        const ConsoleControl& want = expected[i];
        SCOPED_TRACE(testing::Message() << "control " << i << ", id " << want.id);
        EXPECT_EQ(win::GetDlgCtrlID(control), want.id);
        EXPECT_STREQ(control->metaObject()->className(), want.className);
        if (want.text != nullptr) {
            ExpectText(control, want.text);
        }
        if (want.check) {
            want.check(control);
        }
        if (want.id != -1) {
            EXPECT_EQ(GetDlgItem(&dialog, want.id), control);
            EXPECT_EQ(control->objectName(), QStringLiteral("ctrl%1").arg(want.id));
        }
        EXPECT_TRUE(control->isEnabled());
        EXPECT_TRUE(control->isVisibleTo(&dialog));

        QRect geometry = Pixels(console->items[i].rect, dialog);
        if (auto* combo = qobject_cast<QComboBox*>(control)) {
            geometry.setHeight(combo->sizeHint().height());
        }
        auto* label = qobject_cast<QLabel*>(control);
        if (want.id == 1036 && label != nullptr && !label->pixmap().isNull()) {
            geometry.setSize(label->pixmap().size());
        }
        EXPECT_EQ(control->geometry(), geometry);
    }

    // The taller drop-down list shows more items.
    EXPECT_GT(As<QComboBox>(GetDlgItem(&dialog, 1034))->maxVisibleItems(),
              As<QComboBox>(GetDlgItem(&dialog, 1028))->maxVisibleItems());

    // A control without identifier is found as the first of them in the template.
    EXPECT_EQ(GetDlgItem(&dialog, -1), stack[2]);
    EXPECT_EQ(GetDlgItem(&dialog, 9999), nullptr);
    EXPECT_EQ(GetDlgItem(nullptr, 1001), nullptr);

    // Clicks reach the buttons and the banner through the group boxes; the plain statics and
    // the group boxes let them through to the dialog.
    const auto centre = [&](int id) { return GetDlgItem(&dialog, id)->geometry().center(); };
    EXPECT_EQ(dialog.childAt(centre(1001)), GetDlgItem(&dialog, 1001));
    EXPECT_EQ(dialog.childAt(centre(1030)), GetDlgItem(&dialog, 1030));
    EXPECT_EQ(dialog.childAt(centre(1035)), GetDlgItem(&dialog, 1035));
    EXPECT_EQ(dialog.childAt(centre(1024)), nullptr);
    EXPECT_EQ(dialog.childAt(stack[3]->geometry().topLeft() + QPoint(2, 30)), nullptr);

    dialog.show();
    QApplication::processEvents();
    EXPECT_EQ(TabWalk(dialog, 1001, 6), (std::vector<int>{1001, 1007, 1028, 1030, 1034, 1001}));
}

TEST(DialogBuilder, AboutTemplateMakesAStayOnTopBoxWithItsOkButton) {
    QDialog dialog;
    ASSERT_TRUE(win::BuildDialog(&dialog, 100));
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Fleetwing"));
    EXPECT_EQ(dialog.size(), Pixels(QRect(0, 0, 185, 70), dialog).size());
    const Qt::WindowFlags flags = dialog.windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));

    auto* ok = As<QPushButton>(GetDlgItem(&dialog, 1));
    EXPECT_EQ(ok->text(), QStringLiteral("&OK"));
    EXPECT_EQ(ok->shortcut(), QKeySequence(Qt::ALT | Qt::Key_O));  // the mnemonic
    EXPECT_EQ(ok->geometry(), Pixels(QRect(68, 49, 50, 18), dialog));

    const std::vector<QWidget*> stack = Stack(&dialog);
    ASSERT_EQ(stack.size(), 3u);
    EXPECT_EQ(stack[0], ok);
    auto* version = As<QLabel>(stack[1]);
    EXPECT_EQ(version->text(), QStringLiteral("Version 3.7.0"));
    EXPECT_EQ(version->alignment(), Qt::AlignHCenter | Qt::AlignVCenter);
    EXPECT_FALSE(version->wordWrap());
    EXPECT_EQ(version->geometry(), Pixels(QRect(0, 14, 184, 11), dialog));
    auto* maker = As<QLabel>(stack[2]);
    EXPECT_EQ(maker->alignment(), Qt::AlignHCenter | Qt::AlignTop);
    EXPECT_EQ(maker->geometry(), Pixels(QRect(0, 29, 184, 16), dialog));
}

TEST(DialogBuilder, EveryKindOfControlFollowsItsStyle) {
    QDialog dialog;
    ASSERT_TRUE(win::BuildDialog(&dialog, 900));
    EXPECT_TRUE(dialog.windowFlags().testFlag(Qt::FramelessWindowHint));  // no caption style
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Every kind of control"));
    EXPECT_EQ(dialog.font().families().value(0), QStringLiteral("DejaVu Sans"));
    EXPECT_EQ(dialog.font().pointSize(), 10);
    EXPECT_TRUE(dialog.font().bold());
    EXPECT_TRUE(dialog.font().italic());
    const auto item = [&](int id) { return GetDlgItem(&dialog, id); };
    ASSERT_EQ(Stack(&dialog).size(), 23u);

    // Buttons.
    auto* ok = As<QPushButton>(item(1));
    EXPECT_TRUE(ok->isDefault());
    EXPECT_FALSE(ok->isCheckable());
    EXPECT_FALSE(item(2)->isEnabled());
    auto* check = As<QCheckBox>(item(10));
    EXPECT_EQ(check->text(), QStringLiteral("&Check"));
    EXPECT_FALSE(check->isTristate());
    EXPECT_TRUE(As<QPushButton>(item(11))->isCheckable());
    auto* radio = As<QRadioButton>(item(12));
    EXPECT_EQ(radio->focusPolicy(), Qt::ClickFocus);  // no tab stop
    EXPECT_EQ(As<QGroupBox>(GetDlgItem(&dialog, -1))->title(), QStringLiteral("Group"));

    // Texts: a mnemonic leads to the next control, unless the style says '&' is a character.
    auto* name = As<QLabel>(item(20));
    EXPECT_EQ(name->buddy(), item(30));
    EXPECT_EQ(name->textFormat(), Qt::PlainText);
    EXPECT_EQ(As<QLabel>(item(23))->buddy(), nullptr);
    EXPECT_EQ(As<QLabel>(item(21))->alignment(), Qt::AlignHCenter | Qt::AlignTop);
    EXPECT_EQ(As<QLabel>(item(22))->alignment(), Qt::AlignRight | Qt::AlignTop);
    auto* noWrap = As<QLabel>(item(52));
    EXPECT_FALSE(noWrap->wordWrap());
    EXPECT_EQ(noWrap->frameShape(), QFrame::Box);  // its border style

    // Edits and combo boxes.
    auto* edit = As<QLineEdit>(item(30));
    EXPECT_EQ(edit->text(), QStringLiteral("typed"));
    EXPECT_TRUE(edit->hasFrame());
    EXPECT_FALSE(As<QLineEdit>(item(33))->hasFrame());
    EXPECT_TRUE(item(33)->isHidden());
    EXPECT_FALSE(As<QComboBox>(item(31))->isEditable());
    auto* editable = As<QComboBox>(item(32));
    EXPECT_TRUE(editable->isEditable());
    EXPECT_EQ(editable->currentText(), QStringLiteral("edit me"));
    EXPECT_EQ(editable->geometry().topLeft(), Pixels(QRect(100, 100, 50, 60), dialog).topLeft());
    EXPECT_EQ(editable->width(), Pixels(QRect(100, 100, 50, 60), dialog).width());
    EXPECT_EQ(editable->height(), editable->sizeHint().height());

    // Bitmaps: one sized to its picture, one centred in its own rectangle, two missing.
    auto* sized = As<QLabel>(item(40));
    EXPECT_EQ(sized->pixmap().size(), QSize(5, 3));
    EXPECT_EQ(sized->geometry(),
              QRect(Pixels(QRect(160, 10, 30, 30), dialog).topLeft(), QSize(5, 3)));
    auto* centred = As<QLabel>(item(41));
    EXPECT_EQ(centred->pixmap().size(), QSize(4, 2));
    EXPECT_EQ(centred->alignment(), Qt::AlignCenter);
    EXPECT_EQ(centred->geometry(), Pixels(QRect(160, 45, 30, 20), dialog));
    for (int missing : {42, 43}) {
        SCOPED_TRACE(missing);
        EXPECT_TRUE(As<QLabel>(item(missing))->pixmap().isNull());
        EXPECT_TRUE(As<QLabel>(item(missing))->text().isEmpty());
    }
    EXPECT_EQ(item(42)->geometry(), Pixels(QRect(160, 70, 20, 20), dialog));

    // Frames and rectangles.
    auto* frame = As<QLabel>(item(50));
    EXPECT_EQ(frame->frameShape(), QFrame::Box);
    EXPECT_EQ(frame->palette().color(QPalette::WindowText),
              dialog.palette().color(QPalette::Shadow));
    auto* rect = As<QLabel>(item(51));
    EXPECT_TRUE(rect->autoFillBackground());
    EXPECT_EQ(rect->palette().color(QPalette::Window), dialog.palette().color(QPalette::Light));

    // Only a static with the notify style takes clicks; of two overlapping controls the first
    // in the template is on top.
    EXPECT_EQ(dialog.childAt(item(41)->geometry().center()), item(41));
    EXPECT_EQ(dialog.childAt(item(50)->geometry().center()), nullptr);
    EXPECT_EQ(dialog.childAt(item(60)->geometry().center()), item(60));
    EXPECT_EQ(GetDlgItem(&dialog, 1), ok);

    // Tab passes over the disabled button, the radio button without tab stop and the hidden
    // edit.
    dialog.show();
    QApplication::processEvents();
    EXPECT_EQ(TabWalk(dialog, 1, 9), (std::vector<int>{1, 10, 11, 30, 31, 32, 60, 61, 1}));
}

TEST(DialogBuilder, ReplacementWidgetIsFoundByItsIdentifier) {
    QDialog dialog;
    ASSERT_TRUE(win::BuildDialog(&dialog, 102));
    QWidget* placeholder = GetDlgItem(&dialog, 1024);
    auto* replacement = new QWidget(&dialog);
    EXPECT_EQ(win::GetDlgCtrlID(replacement), 0);
    win::SetDlgCtrlID(replacement, 2000);
    EXPECT_EQ(win::GetDlgCtrlID(replacement), 2000);
    EXPECT_EQ(GetDlgItem(&dialog, 2000), replacement);
    EXPECT_EQ(GetDlgItem(&dialog, 1024), placeholder);
    EXPECT_EQ(win::GetDlgCtrlID(nullptr), 0);
}

TEST(DialogBuilder, MissingOrBadTemplatesLeaveTheDialogAsItWas) {
    EXPECT_FALSE(win::BuildDialog(nullptr, 102));
    EXPECT_FALSE(win::BuildDialog(nullptr, win::DialogTemplate{}));
    // No such template, one cut short, one with a control without class, one with a class
    // that is not offered.
    for (const win::WORD id : std::initializer_list<win::WORD>{4242, 901, 902, 903}) {
        SCOPED_TRACE(id);
        QDialog dialog;
        dialog.setWindowTitle(QStringLiteral("before"));
        const Qt::WindowFlags flags = dialog.windowFlags();
        EXPECT_FALSE(win::BuildDialog(&dialog, id));
        EXPECT_TRUE(Stack(&dialog).empty());
        EXPECT_TRUE(dialog.findChildren<QWidget*>().isEmpty());
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("before"));
        EXPECT_EQ(dialog.windowFlags(), flags);
        EXPECT_EQ(dialog.maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
    }
}

}  // namespace
