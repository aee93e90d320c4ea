#pragma once
// Why a listed picture cannot be shown, told to the user in the status bar.
#include "decode/Graphic.h"

#include <QString>

#include <optional>

class TPicture;

// The reasons are the decoders' own failure kinds.
using UndecodableReason = TDecodeFailure;

// Loads the file into the picture as LoadPictureSafe does; on failure gives
// the reason (the picture keeps what it had).
std::optional<UndecodableReason> LoadPictureWithReason(const QString& path, TPicture& picture);

// The status bar's text for a picture that cannot be shown.
QString UndecodableStatusText(UndecodableReason reason, const QString& path);
