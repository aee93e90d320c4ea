#pragma once
// The extension of a file name or pattern: the text from the last "." of its
// last component. What ends a component, whether the dot is kept and
// whether the result is lower-cased depend on the caller.
#include <QString>

namespace platform {

struct ExtensionRule {
    // Also "\" and ":" end a component (names that may come from a
    // Windows-style path), not only "/".
    bool windowsSeparators = false;
    // Keep the dot: ".jpg" rather than "jpg". A name ending in "." then
    // gives "." unless dotOnlyIsEmpty is set too.
    bool withDot = true;
    // With the dot: a name ending in "." gives an empty extension.
    bool dotOnlyIsEmpty = false;
    bool lowerCase = false;
};

// Empty when the last component holds no ".".
// "a/b.JPG" -> ".JPG"; "a.b/c" -> ""; "name." -> "." (or "" with
// dotOnlyIsEmpty, or without the dot); ".hidden" -> ".hidden".
QString FileExtension(const QString& name, const ExtensionRule& rule = {});

} // namespace platform
