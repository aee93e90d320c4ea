#include "organize/FittedText.h"

#include <QFontMetrics>

#include <algorithm>

QString FittedText(const QFontMetrics& metrics, int available, const QString& before, const QString& text,
                   const QString& after)
{
    const QString whole = before + text + after;
    if (metrics.horizontalAdvance(whole) <= available)
        return whole;
    const int room = std::max(0, available - metrics.horizontalAdvance(before + after));
    return before + metrics.elidedText(text, Qt::ElideMiddle, room) + after;
}
