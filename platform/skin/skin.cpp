#include "platform/skin/skin.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QFile>
#include <QPointer>
#include <QString>

#include <mutex>

namespace {

// Gives each dialog the skin when it is first polished, before it shows.
class DialogSkinner : public QObject {
public:
    explicit DialogSkinner(QString styleSheet) : m_styleSheet(std::move(styleSheet)) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Polish) {
            if (auto* dialog = qobject_cast<QDialog*>(watched);
                dialog != nullptr && dialog->styleSheet().isEmpty()) {
                dialog->setStyleSheet(m_styleSheet);
            }
        }
        return false;
    }

private:
    QString m_styleSheet;
};

struct SkinState {
    bool initialised = false;
    QString styleSheet;
    QPointer<DialogSkinner> skinner;
};

std::mutex g_mutex;
SkinState g_state;

void RemoveSkinner() {
    if (g_state.skinner) {
        if (qApp != nullptr) {
            qApp->removeEventFilter(g_state.skinner);
        }
        delete g_state.skinner;
    }
}

}  // namespace

FWSKIN_API int fwskin_Init(void* /*instance*/, const char* /*appName*/, const void* reserved1,
                           const void* reserved2) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (qApp == nullptr || reserved1 != nullptr || reserved2 != nullptr) {
        return 0;
    }
    g_state.initialised = true;
    return 1;
}

FWSKIN_API int fwskin_LoadSkinFromResource(void* /*instance*/, const char* name, const char* type) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_state.initialised || name == nullptr || type == nullptr) {
        return 0;
    }
    QFile file(QStringLiteral(":/res/%1/%2")
                   .arg(QString::fromUtf8(type).toUpper(), QString::fromUtf8(name).toUpper()));
    if (!file.open(QIODevice::ReadOnly)) {
        return 0;
    }
    const QString sheet = QString::fromUtf8(file.readAll());
    if (sheet.trimmed().isEmpty()) {
        return 0;
    }
    g_state.styleSheet = sheet;
    return 1;
}

FWSKIN_API int fwskin_SetWindowSkin(const char* windowKind) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_state.initialised || g_state.styleSheet.isEmpty() || windowKind == nullptr ||
        QString::fromUtf8(windowKind) != QLatin1String("Dialog") || qApp == nullptr) {
        return 0;
    }
    RemoveSkinner();
    g_state.skinner = new DialogSkinner(g_state.styleSheet);
    qApp->installEventFilter(g_state.skinner);
    return 1;
}

FWSKIN_API void fwskin_Exit() {
    std::lock_guard<std::mutex> lock(g_mutex);
    RemoveSkinner();
    g_state = SkinState{};
}
