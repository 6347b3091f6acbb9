#include "platform/qt/dialogtemplate.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

#include <cmath>
#include <limits>

#include "platform/qt/resources.h"

namespace win {

namespace {

constexpr qint64 kShortMin = std::numeric_limits<std::int16_t>::min();
constexpr qint64 kShortMax = std::numeric_limits<std::int16_t>::max();
constexpr qint64 kWordMax = std::numeric_limits<WORD>::max();
constexpr qint64 kDwordMax = std::numeric_limits<DWORD>::max();

// Reads one document, remembering the first thing that was wrong with it.
class TemplateReader {
public:
    std::optional<DialogTemplate> Read(QByteArrayView json) {
        QJsonParseError parseError{};
        const QJsonDocument document =
            QJsonDocument::fromJson(QByteArray::fromRawData(json.data(), json.size()), &parseError);
        if (parseError.error != QJsonParseError::NoError) {
            return Fail(QStringLiteral("not JSON: ") + parseError.errorString());
        }
        if (!document.isObject()) {
            return Fail(QStringLiteral("not a JSON object"));
        }
        const QJsonObject root = document.object();
        DialogTemplate result;
        if (!Styles(root, QStringLiteral("dialog"), result.style, result.exStyle) ||
            !Size(root, result.size) ||
            !String(root, QStringLiteral("caption"), QStringLiteral("dialog"), result.caption) ||
            !Font(root, result) || !Items(root, result.items)) {
            return std::nullopt;
        }
        return result;
    }

    const QString& error() const { return error_; }

private:
    std::nullopt_t Fail(const QString& reason) {
        error_ = reason;
        return std::nullopt;
    }

    bool Wrong(const QString& where, const QString& what) {
        Fail(where + QStringLiteral(": ") + what);
        return false;
    }

    // A whole number within [low, high].
    bool Integer(const QJsonValue& value, qint64 low, qint64 high, const QString& where,
                 qint64& out) {
        if (!value.isDouble()) {
            return Wrong(where, QStringLiteral("missing or not a number"));
        }
        const double number = value.toDouble();
        if (std::floor(number) != number || number < static_cast<double>(low) ||
            number > static_cast<double>(high)) {
            return Wrong(where,
                         QStringLiteral("not a whole number from %1 to %2").arg(low).arg(high));
        }
        out = static_cast<qint64>(number);
        return true;
    }

    // A 32-bit style: a number, or its text in hex ("0x50010000") or decimal.
    bool Style(const QJsonValue& value, const QString& where, DWORD& out) {
        if (value.isString()) {
            const QString text = value.toString();
            bool ok = false;
            const qulonglong number = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)
                                          ? text.mid(2).toULongLong(&ok, 16)
                                          : text.toULongLong(&ok, 10);
            if (!ok || number > static_cast<qulonglong>(kDwordMax)) {
                return Wrong(where, QStringLiteral("not a 32-bit style: ") + text);
            }
            out = static_cast<DWORD>(number);
            return true;
        }
        qint64 number = 0;
        if (!Integer(value, 0, kDwordMax, where, number)) {
            return false;
        }
        out = static_cast<DWORD>(number);
        return true;
    }

    bool Styles(const QJsonObject& object, const QString& where, DWORD& style, DWORD& exStyle) {
        if (!Style(object.value(QLatin1String("style")), where + QStringLiteral(".style"), style)) {
            return false;
        }
        exStyle = 0;
        const QJsonValue extended = object.value(QLatin1String("exStyle"));
        return extended.isUndefined() ||
               Style(extended, where + QStringLiteral(".exStyle"), exStyle);
    }

    bool String(const QJsonObject& object, const QString& key, const QString& where, QString& out) {
        const QJsonValue value = object.value(key);
        if (!value.isString()) {
            return Wrong(where + QLatin1Char('.') + key, QStringLiteral("missing or not a text"));
        }
        out = value.toString();
        return true;
    }

    // A fixed number of whole numbers, each within its own range.
    bool Numbers(const QJsonValue& value, const QString& where,
                 std::initializer_list<std::pair<qint64, qint64>> ranges, qint64* out) {
        const QJsonArray array = value.toArray();
        if (!value.isArray() || array.size() != static_cast<qsizetype>(ranges.size())) {
            return Wrong(where, QStringLiteral("not a list of %1 numbers").arg(ranges.size()));
        }
        qsizetype i = 0;
        for (const auto& [low, high] : ranges) {
            if (!Integer(array.at(i), low, high, where + QStringLiteral("[%1]").arg(i), out[i])) {
                return false;
            }
            ++i;
        }
        return true;
    }

    bool Size(const QJsonObject& root, QSize& out) {
        qint64 size[2] = {};
        if (!Numbers(root.value(QLatin1String("size")), QStringLiteral("dialog.size"),
                     {{0, kShortMax}, {0, kShortMax}}, size)) {
            return false;
        }
        out = QSize(static_cast<int>(size[0]), static_cast<int>(size[1]));
        return true;
    }

    bool Font(const QJsonObject& root, DialogTemplate& out) {
        const QJsonValue value = root.value(QLatin1String("font"));
        if (value.isUndefined()) {
            return true;
        }
        const QString where = QStringLiteral("dialog.font");
        if (!value.isObject()) {
            return Wrong(where, QStringLiteral("not an object"));
        }
        const QJsonObject font = value.toObject();
        qint64 pointSize = 0;
        if (!String(font, QStringLiteral("name"), where, out.fontName) ||
            !Integer(font.value(QLatin1String("pointSize")), 1, kShortMax,
                     where + QStringLiteral(".pointSize"), pointSize)) {
            return false;
        }
        if (out.fontName.isEmpty()) {
            return Wrong(where + QStringLiteral(".name"), QStringLiteral("empty"));
        }
        out.pointSize = static_cast<int>(pointSize);
        if (const QJsonValue weight = font.value(QLatin1String("weight")); !weight.isUndefined()) {
            qint64 number = 0;
            if (!Integer(weight, 0, 1000, where + QStringLiteral(".weight"), number)) {
                return false;
            }
            out.weight = static_cast<int>(number);
        }
        if (const QJsonValue italic = font.value(QLatin1String("italic")); !italic.isUndefined()) {
            if (!italic.isBool()) {
                return Wrong(where + QStringLiteral(".italic"),
                             QStringLiteral("not true or false"));
            }
            out.italic = italic.toBool();
        }
        out.hasFont = true;
        return true;
    }

    bool Item(const QJsonValue& value, const QString& where, DialogItem& out) {
        if (!value.isObject()) {
            return Wrong(where, QStringLiteral("not an object"));
        }
        const QJsonObject item = value.toObject();
        qint64 id = 0;
        qint64 rect[4] = {};
        if (!Integer(item.value(QLatin1String("id")), -1, kWordMax, where + QStringLiteral(".id"),
                     id) ||
            !String(item, QStringLiteral("class"), where, out.className) ||
            !Styles(item, where, out.style, out.exStyle) ||
            !Numbers(
                item.value(QLatin1String("rect")), where + QStringLiteral(".rect"),
                {{kShortMin, kShortMax}, {kShortMin, kShortMax}, {0, kShortMax}, {0, kShortMax}},
                rect)) {
            return false;
        }
        if (out.className.isEmpty()) {
            return Wrong(where + QStringLiteral(".class"), QStringLiteral("empty"));
        }
        out.id = static_cast<int>(id);
        out.rect = QRect(static_cast<int>(rect[0]), static_cast<int>(rect[1]),
                         static_cast<int>(rect[2]), static_cast<int>(rect[3]));
        const QJsonValue text = item.value(QLatin1String("text"));
        const QJsonValue bitmap = item.value(QLatin1String("bitmap"));
        if (!text.isUndefined() && !bitmap.isUndefined()) {
            return Wrong(where, QStringLiteral("both a text and a bitmap"));
        }
        if (!text.isUndefined() && !String(item, QStringLiteral("text"), where, out.text)) {
            return false;
        }
        if (!bitmap.isUndefined()) {
            qint64 number = 0;
            if (!Integer(bitmap, 1, kWordMax, where + QStringLiteral(".bitmap"), number)) {
                return false;
            }
            out.bitmap = static_cast<WORD>(number);
        }
        return true;
    }

    bool Items(const QJsonObject& root, std::vector<DialogItem>& out) {
        const QJsonValue value = root.value(QLatin1String("controls"));
        if (!value.isArray()) {
            return Wrong(QStringLiteral("dialog.controls"),
                         QStringLiteral("missing or not a list"));
        }
        const QJsonArray items = value.toArray();
        out.resize(static_cast<std::size_t>(items.size()));
        for (qsizetype i = 0; i < items.size(); ++i) {
            if (!Item(items.at(i), QStringLiteral("controls[%1]").arg(i),
                      out[static_cast<std::size_t>(i)])) {
                return false;
            }
        }
        return true;
    }

    QString error_;
};

}  // namespace

std::optional<DialogTemplate> ParseDialogTemplate(QByteArrayView json, QString* error) {
    TemplateReader reader;
    std::optional<DialogTemplate> result = reader.Read(json);
    if (!result && error != nullptr) {
        *error = reader.error();
    }
    return result;
}

std::optional<DialogTemplate> LoadDialogTemplate(WORD id, QString* error) {
    const HRSRC resource = FindResource(nullptr, MAKEINTRESOURCE(id), RT_DIALOG);
    const void* bytes =
        resource != nullptr ? LockResource(LoadResource(nullptr, resource)) : nullptr;
    if (bytes == nullptr) {
        if (error != nullptr) {
            *error = QStringLiteral("no dialog template %1").arg(id);
        }
        return std::nullopt;
    }
    const auto size = static_cast<qsizetype>(SizeofResource(nullptr, resource));
    return ParseDialogTemplate(QByteArrayView(static_cast<const char*>(bytes), size), error);
}

}  // namespace win
