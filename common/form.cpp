#include "form.h"

#include <QStringList>

namespace form {
namespace {

void registerSubstitutes() {
    static const bool done = [] {
        QFont::insertSubstitutions(QStringLiteral("宋体"),
                                   {QStringLiteral("SimSun"), QStringLiteral("NSimSun"),
                                    QStringLiteral("Noto Serif CJK SC"),
                                    QStringLiteral("AR PL UMing CN"),
                                    QStringLiteral("WenQuanYi Zen Hei")});
        QFont::insertSubstitutions(QStringLiteral("楷体"),
                                   {QStringLiteral("KaiTi"), QStringLiteral("STKaiti"),
                                    QStringLiteral("AR PL UKai CN"),
                                    QStringLiteral("WenQuanYi Zen Hei")});
        QFont::insertSubstitutions(
            QStringLiteral("微软雅黑"),
            {QStringLiteral("Microsoft YaHei"), QStringLiteral("Noto Sans CJK SC"),
             QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("WenQuanYi Zen Hei")});
        return true;
    }();
    (void)done;
}

} // namespace

QFont font(const QString& family, qreal points, bool bold) {
    registerSubstitutes();
    QFont f(family);
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

} // namespace form
