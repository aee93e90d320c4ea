#pragma once
// Texts that must fit a fixed width, such as a long file name in a dialog.
#include <QString>

class QFontMetrics;

// before + text + after within `available` pixels: a text too long for it is
// shortened in its middle ("…") so that its start and its end stay readable;
// before and after are kept whole.
QString FittedText(const QFontMetrics& metrics, int available, const QString& before, const QString& text,
                   const QString& after);
