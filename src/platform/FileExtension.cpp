#include "FileExtension.h"

namespace platform {

QString FileExtension(const QString& name, const ExtensionRule& rule)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return {};
    for (qsizetype i = dot + 1; i < name.size(); ++i) {
        const QChar c = name.at(i);
        if (c == QLatin1Char('/') || (rule.windowsSeparators && (c == QLatin1Char('\\') || c == QLatin1Char(':'))))
            return {};
    }
    if (dot == name.size() - 1 && (!rule.withDot || rule.dotOnlyIsEmpty))
        return {};
    QString extension = name.mid(rule.withDot ? dot : dot + 1);
    return rule.lowerCase ? extension.toLower() : extension;
}

} // namespace platform
