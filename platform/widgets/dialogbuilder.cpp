#include "platform/widgets/dialogbuilder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVariant>

#include <algorithm>
#include <utility>
#include <vector>

#include "platform/widgets/bitmapresource.h"
#include "platform/widgets/dialogunits.h"
#include "platform/winstyles.h"

namespace win {

namespace {

enum class ControlClass { Button, Static, ComboBox, Edit, Unknown };

ControlClass ClassOf(const QString& name) {
    const std::pair<const char*, ControlClass> known[] = {
        {"button", ControlClass::Button},
        {"static", ControlClass::Static},
        {"combobox", ControlClass::ComboBox},
        {"edit", ControlClass::Edit},
    };
    for (const auto& [text, kind] : known) {
        if (name.compare(QLatin1String(text), Qt::CaseInsensitive) == 0) {
            return kind;
        }
    }
    return ControlClass::Unknown;
}

bool Has(DWORD style, DWORD bits) {
    return (style & bits) == bits;
}

// An '&' that is not doubled marks the next character as the mnemonic.
bool HasMnemonic(const QString& text) {
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == QLatin1Char('&')) {
            if (text[i + 1] != QLatin1Char('&')) {
                return true;
            }
            ++i;
        }
    }
    return false;
}

// The title bar and frame the window styles ask for.
Qt::WindowFlags WindowFlags(const DialogTemplate& dialog, Qt::WindowFlags current) {
    Qt::WindowFlags flags = (current & Qt::WindowType_Mask) | Qt::CustomizeWindowHint;
    if (Has(dialog.style, WS_CAPTION)) {
        flags |= Qt::WindowTitleHint;
        if (Has(dialog.style, WS_SYSMENU)) {
            flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
            if (Has(dialog.style, WS_MINIMIZEBOX)) {
                flags |= Qt::WindowMinimizeButtonHint;
            }
            if (Has(dialog.style, WS_MAXIMIZEBOX)) {
                flags |= Qt::WindowMaximizeButtonHint;
            }
        }
    } else {
        flags |= Qt::FramelessWindowHint;
    }
    if (Has(dialog.exStyle, WS_EX_TOPMOST)) {
        flags |= Qt::WindowStaysOnTopHint;
    }
    return flags;
}

// Makes the controls of one dialog, each from its template entry.
class ControlFactory {
public:
    ControlFactory(QWidget* dialog, QSize baseUnits) : dialog_(dialog), baseUnits_(baseUnits) {}

    QWidget* Make(const DialogItem& item) {
        QRect geometry = DialogUnitsToPixels(item.rect, baseUnits_);
        QWidget* control = nullptr;
        switch (ClassOf(item.className)) {
            case ControlClass::Button:
                control = Button(item);
                break;
            case ControlClass::Static:
                control = Static(item, geometry);
                break;
            case ControlClass::ComboBox:
                control = ComboBox(item, geometry);
                break;
            case ControlClass::Edit:
                control = Edit(item);
                break;
            case ControlClass::Unknown:
                return nullptr;
        }
        SetDlgCtrlID(control, item.id);
        control->setGeometry(geometry);
        control->setEnabled(!Has(item.style, WS_DISABLED));
        if (control->focusPolicy() != Qt::NoFocus) {
            control->setFocusPolicy(Has(item.style, WS_TABSTOP) ? Qt::StrongFocus : Qt::ClickFocus);
        }
        // Each control goes under those made before it, so the first is on top.
        control->lower();
        control->setVisible(Has(item.style, WS_VISIBLE));
        return control;
    }

private:
    QWidget* Button(const DialogItem& item) {
        const DWORD kind = item.style & BS_TYPEMASK;
        const bool pushLike = Has(item.style, BS_PUSHLIKE);
        switch (kind) {
            case BS_GROUPBOX: {
                auto* box = new QGroupBox(item.text, dialog_);
                box->setFocusPolicy(Qt::NoFocus);
                box->setAttribute(Qt::WA_TransparentForMouseEvents);
                return box;
            }
            case BS_CHECKBOX:
            case BS_AUTOCHECKBOX:
            case BS_3STATE:
            case BS_AUTO3STATE: {
                if (pushLike) {
                    return CheckablePushButton(item.text);
                }
                auto* box = new QCheckBox(item.text, dialog_);
                box->setTristate(kind == BS_3STATE || kind == BS_AUTO3STATE);
                return box;
            }
            case BS_RADIOBUTTON:
            case BS_AUTORADIOBUTTON: {
                if (pushLike) {
                    QPushButton* button = CheckablePushButton(item.text);
                    button->setAutoExclusive(true);
                    return button;
                }
                return new QRadioButton(item.text, dialog_);
            }
            default: {
                // Push buttons, default push buttons and owner-drawn buttons.
                auto* button = new QPushButton(item.text, dialog_);
                button->setDefault(kind == BS_DEFPUSHBUTTON);
                return button;
            }
        }
    }

    QPushButton* CheckablePushButton(const QString& text) {
        auto* button = new QPushButton(text, dialog_);
        button->setCheckable(true);
        return button;
    }

    QWidget* Static(const DialogItem& item, QRect& geometry) {
        auto* label = new QLabel(dialog_);
        label->setTextFormat(Qt::PlainText);
        const DWORD kind = item.style & SS_TYPEMASK;
        const bool centreImage = Has(item.style, SS_CENTERIMAGE);
        switch (kind) {
            case SS_LEFT:
            case SS_CENTER:
            case SS_RIGHT:
            case SS_LEFTNOWORDWRAP:
            case SS_SIMPLE: {
                Qt::Alignment across = Qt::AlignLeft;
                if (kind == SS_CENTER) {
                    across = Qt::AlignHCenter;
                } else if (kind == SS_RIGHT) {
                    across = Qt::AlignRight;
                }
                // With the centre-image style a text is one line, centred from top to bottom.
                label->setAlignment(across | (centreImage ? Qt::AlignVCenter : Qt::AlignTop));
                label->setWordWrap(!centreImage && kind <= SS_RIGHT);
                label->setText(item.text);
                break;
            }
            case SS_BITMAP: {
                label->setAlignment(centreImage ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignTop);
                const QImage image = item.bitmap != 0 ? LoadBitmapResource(item.bitmap) : QImage();
                if (image.isNull()) {
                    break;
                }
                label->setPixmap(QPixmap::fromImage(image));
                if (Has(item.style, SS_REALSIZECONTROL)) {
                    label->setScaledContents(true);
                } else if (!centreImage) {
                    geometry.setSize(image.size());
                }
                break;
            }
            case SS_BLACKFRAME:
            case SS_GRAYFRAME:
            case SS_WHITEFRAME:
                label->setFrameStyle(QFrame::Box | QFrame::Plain);
                label->setLineWidth(1);
                SetColour(label, QPalette::WindowText, FrameColour(kind - SS_BLACKFRAME));
                break;
            case SS_BLACKRECT:
            case SS_GRAYRECT:
            case SS_WHITERECT:
                label->setAutoFillBackground(true);
                SetColour(label, QPalette::Window, FrameColour(kind - SS_BLACKRECT));
                break;
            case SS_ETCHEDFRAME:
                label->setFrameStyle(QFrame::Box | QFrame::Sunken);
                break;
            default:
                // Icons, owner-drawn and metafile statics: an empty label of their size.
                break;
        }
        if (Has(item.style, SS_SUNKEN)) {
            label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        } else if (Has(item.style, WS_BORDER) && label->frameShape() == QFrame::NoFrame) {
            label->setFrameStyle(QFrame::Box | QFrame::Plain);
            label->setLineWidth(1);
        }
        if (!Has(item.style, SS_NOTIFY)) {
            label->setAttribute(Qt::WA_TransparentForMouseEvents);
        }
        return label;
    }

    // Black, grey and white in the order the frame and rectangle styles come, taken from the
    // palette's shades so that they follow the style.
    QColor FrameColour(DWORD shade) const {
        const QPalette palette = dialog_->palette();
        switch (shade) {
            case 0:
                return palette.color(QPalette::Shadow);
            case 1:
                return palette.color(QPalette::Dark);
            default:
                return palette.color(QPalette::Light);
        }
    }

    static void SetColour(QWidget* widget, QPalette::ColorRole role, const QColor& colour) {
        QPalette palette = widget->palette();
        palette.setColor(role, colour);
        widget->setPalette(palette);
    }

    QWidget* ComboBox(const DialogItem& item, QRect& geometry) {
        auto* combo = new QComboBox(dialog_);
        combo->setEditable((item.style & CBS_TYPEMASK) != CBS_DROPDOWNLIST);
        if (combo->isEditable()) {
            combo->setEditText(item.text);
        }
        // The template's height is the selection field's with the list below it: the field
        // keeps its own height and the rest sets how many items the list shows.
        const int field = combo->sizeHint().height();
        const int itemHeight = std::max(1, combo->fontMetrics().height());
        combo->setMaxVisibleItems(std::max(1, (geometry.height() - field) / itemHeight));
        geometry.setHeight(field);
        return combo;
    }

    QWidget* Edit(const DialogItem& item) {
        if (Has(item.style, ES_MULTILINE)) {
            auto* edit = new QPlainTextEdit(item.text, dialog_);
            edit->setReadOnly(Has(item.style, ES_READONLY));
            return edit;
        }
        auto* edit = new QLineEdit(item.text, dialog_);
        Qt::Alignment across = Qt::AlignLeft;
        if ((item.style & (ES_CENTER | ES_RIGHT)) == ES_CENTER) {
            across = Qt::AlignHCenter;
        } else if ((item.style & (ES_CENTER | ES_RIGHT)) == ES_RIGHT) {
            across = Qt::AlignRight;
        }
        edit->setAlignment(across | Qt::AlignVCenter);
        edit->setEchoMode(Has(item.style, ES_PASSWORD) ? QLineEdit::Password : QLineEdit::Normal);
        edit->setReadOnly(Has(item.style, ES_READONLY));
        edit->setFrame(Has(item.style, WS_BORDER) || Has(item.exStyle, WS_EX_CLIENTEDGE));
        return edit;
    }

    QWidget* dialog_;
    QSize baseUnits_;
};

bool TakesFocus(const QWidget* control) {
    return control->focusPolicy() != Qt::NoFocus;
}

using Made = std::vector<std::pair<const DialogItem*, QWidget*>>;

// A static's mnemonic moves the focus to the next control in template order that takes it.
void SetBuddies(const Made& made) {
    for (auto it = made.begin(); it != made.end(); ++it) {
        auto* label = qobject_cast<QLabel*>(it->second);
        if (label == nullptr || Has(it->first->style, SS_NOPREFIX) || !HasMnemonic(label->text())) {
            continue;
        }
        const auto buddy = std::find_if(std::next(it), made.end(),
                                        [](const auto& next) { return TakesFocus(next.second); });
        if (buddy != made.end()) {
            label->setBuddy(buddy->second);
        }
    }
}

// Making the controls in template order already chains them so; the order is set all the same
// so that it holds whatever a widget chains up while it is being made.
void SetTabOrder(const Made& made) {
    QWidget* previous = nullptr;
    for (const auto& [item, control] : made) {
        if (!TakesFocus(control)) {
            continue;
        }
        if (previous != nullptr) {
            QWidget::setTabOrder(previous, control);
        }
        previous = control;
    }
}

}  // namespace

bool BuildDialog(QWidget* dialog, const DialogTemplate& dialogTemplate) {
    if (dialog == nullptr) {
        return false;
    }
    const bool allKnown = std::none_of(
        dialogTemplate.items.begin(), dialogTemplate.items.end(),
        [](const DialogItem& item) { return ClassOf(item.className) == ControlClass::Unknown; });
    if (!allKnown) {
        return false;
    }
    dialog->setFont(DialogFont(dialogTemplate));
    const QSize baseUnits = BaseUnits(dialog->font());
    dialog->setWindowTitle(dialogTemplate.caption);
    if (dialog->isWindow()) {
        dialog->setWindowFlags(WindowFlags(dialogTemplate, dialog->windowFlags()));
    }
    dialog->setFixedSize(
        DialogUnitsToPixels(QRect(QPoint(), dialogTemplate.size), baseUnits).size());

    ControlFactory factory(dialog, baseUnits);
    Made made;
    made.reserve(dialogTemplate.items.size());
    for (const DialogItem& item : dialogTemplate.items) {
        if (QWidget* control = factory.Make(item)) {
            made.emplace_back(&item, control);
        }
    }
    SetBuddies(made);
    SetTabOrder(made);
    return true;
}

bool BuildDialog(QWidget* dialog, WORD templateId) {
    if (dialog == nullptr) {
        return false;
    }
    const std::optional<DialogTemplate> dialogTemplate = LoadDialogTemplate(templateId);
    return dialogTemplate && BuildDialog(dialog, *dialogTemplate);
}

QWidget* GetDlgItem(QWidget* dialog, int id) {
    if (dialog == nullptr) {
        return nullptr;
    }
    // A parent's children run from the bottom of the stack to the top.
    const QObjectList& children = dialog->children();
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        auto* control = qobject_cast<QWidget*>(*it);
        if (control == nullptr) {
            continue;
        }
        const QVariant value = control->property(kControlIdProperty);
        if (value.isValid() && value.toInt() == id) {
            return control;
        }
    }
    return nullptr;
}

int GetDlgCtrlID(const QWidget* control) {
    if (control == nullptr) {
        return 0;
    }
    const QVariant value = control->property(kControlIdProperty);
    return value.isValid() ? value.toInt() : 0;
}

void SetDlgCtrlID(QWidget* control, int id) {
    if (control == nullptr) {
        return;
    }
    control->setProperty(kControlIdProperty, id);
    control->setObjectName(id >= 0 ? QStringLiteral("ctrl%1").arg(id) : QString());
}

}  // namespace win
