#pragma once
// Why a listed picture cannot be shown, told to the user in the status bar.
#include <QString>

#include <optional>

class TPicture;

enum class UndecodableReason {
    UnknownFormat, // no decoder or plug-in for the extension
    Unreadable,    // the file cannot be opened or read
    DamagedData,   // the decoder refused the data
    TooLarge,      // beyond the pixel, memory or file-size limit
    PluginFailed,  // the plug-in for the extension did not decode it
};

// Loads the file into the picture as LoadPictureSafe does; on failure gives
// the reason (the picture keeps what it had).
std::optional<UndecodableReason> LoadPictureWithReason(const QString& path, TPicture& picture);

// The status bar's text for a picture that cannot be shown.
QString UndecodableStatusText(UndecodableReason reason, const QString& path);
