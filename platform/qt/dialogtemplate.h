// Dialog templates as the program's resources hold them: one JSON document per template,
// compiled in as resource type RT_DIALOG under the template's number.
//
// {
//   "style": "0x90CA08C8",           window and dialog styles (a number, or text in hex)
//   "exStyle": "0x00040200",         extended window styles (optional, default 0)
//   "size": [281, 246],              client size in dialog units
//   "caption": "Fleetwing",
//   "font": {"name": "MS Shell Dlg", "pointSize": 8,      optional; the weight (0 or
//            "weight": 0, "italic": false},               100..1000) and italic are optional
//   "controls": [                    in template order, which is also the tab order
//     {"id": 1007, "class": "button", "text": "&Quit", "style": "0x50010300",
//      "rect": [164, 62, 102, 29]},  x, y, width, height in dialog units
//     {"id": -1, "class": "static", "bitmap": 174, "style": "0x5000030E", "rect": [...]},
//     ...
//   ]
// }
//
// A control's "id" is -1 for a control without identifier; "text" is optional (empty); "bitmap"
// names, in place of a text, the bitmap resource that a bitmap static shows; "exStyle" is
// optional (0). Class names are the platform's predefined ones ("button", "static", "combobox",
// "edit") in any case.
#pragma once

#include <QByteArrayView>
#include <QRect>
#include <QSize>
#include <QString>

#include <optional>
#include <vector>

#include "platform/wintypes.h"

namespace win {

struct DialogItem {
    int id = -1;
    QString className;
    QString text;
    WORD bitmap = 0;  // the bitmap resource shown in place of a text; 0 for none
    DWORD style = 0;
    DWORD exStyle = 0;
    QRect rect;  // dialog units
};

struct DialogTemplate {
    DWORD style = 0;
    DWORD exStyle = 0;
    QSize size;  // dialog units
    QString caption;
    bool hasFont = false;
    QString fontName;
    int pointSize = 0;
    int weight = 0;  // 0: the font's normal weight
    bool italic = false;
    std::vector<DialogItem> items;
};

// Reads a template from its JSON text. Nothing, with the reason in *error when it is given,
// when the text is not such a document, a required field is missing or a value is out of the
// range the platform's binary templates can carry.
std::optional<DialogTemplate> ParseDialogTemplate(QByteArrayView json, QString* error = nullptr);

// The program's dialog template of that number, found through FindResource and LoadResource.
// Nothing when there is no such resource or it does not parse.
std::optional<DialogTemplate> LoadDialogTemplate(WORD id, QString* error = nullptr);

}  // namespace win
