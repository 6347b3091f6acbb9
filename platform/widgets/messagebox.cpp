#include "platform/widgets/messagebox.h"

#include <QApplication>
#include <QMessageBox>
#include <string>

#include "platform/paths.h"

namespace win {

const char* AppCaption() {
    static const std::string caption = [] {
        std::string exe = paths::ExecutablePath();
        const auto slash = exe.find_last_of('/');
        if (slash != std::string::npos) {
            exe.erase(0, slash + 1);
        }
        const auto dot = exe.find_last_of('.');
        if (dot != std::string::npos && dot > 0) {
            exe.erase(dot);
        }
        return exe;
    }();
    return caption.c_str();
}

}  // namespace win

int AfxMessageBox(win::LPCSTR text, win::UINT type) {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (type & 0xF0) {
        case win::MB_ICONERROR:
            icon = QMessageBox::Critical;
            break;
        case win::MB_ICONWARNING:
            icon = QMessageBox::Warning;
            break;
        case win::MB_ICONINFORMATION:
            icon = QMessageBox::Information;
            break;
        default:
            break;
    }
    QMessageBox box(icon, QString::fromUtf8(win::AppCaption()),
                    QString::fromUtf8(text != nullptr ? text : ""), QMessageBox::Ok,
                    QApplication::activeModalWidget());
    box.exec();
    return win::IDOK;
}
