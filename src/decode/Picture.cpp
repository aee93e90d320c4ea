#include "Picture.h"

#include "FormatRegistry.h"
#include "Orientation.h"

#include "platform/FileExtension.h"

namespace {
// Thrown from the progress handler to stop a load nobody wants any more.
struct DecodeCancelled {};
} // namespace

void TPicture::LoadFromFile(const QString& fileName)
{
    // The loader's extension: without its dot; "\\" and ":" end a name too.
    const QString extension = platform::FileExtension(fileName, {.windowsSeparators = true, .withDot = false});
    TGraphicClass graphicClass = TFormatRegistry::Instance().Find(extension);
    if (!graphicClass || !graphicClass->create)
        throw EGraphicError(QStringLiteral("拡張子 .%1 の画像形式は処理できません").arg(extension),
                            TDecodeFailure::UnknownFormat);
    std::unique_ptr<TGraphic> graphic = graphicClass->create();
    if (!graphic)
        throw EGraphicError(QStringLiteral("拡張子 .%1 の画像形式は処理できません").arg(extension),
                            TDecodeFailure::UnknownFormat);
    // Turned after decoding, once, so that everything that shows, fits or
    // copies the picture sees it upright. A turn by a quarter swaps the
    // axes, so a reduced decode must cover the area turned back.
    const int turn = decode::OrientationToApply(decode::ReadOrientationOfFile(fileName), decode::AutoRotate());
    const bool swapsAxes = turn >= 5 && turn <= 8;
    graphic->SetSizeHint(swapsAxes ? m_sizeHint.transposed() : m_sizeHint);
    if (m_cancelled) {
        graphic->SetProgressHandler([this](int percent) {
            if (m_cancelled())
                throw DecodeCancelled{};
            if (m_onProgress)
                m_onProgress(percent);
        });
    } else {
        graphic->SetProgressHandler(m_onProgress);
    }
    graphic->LoadFromFile(fileName); // a failure leaves m_graphic untouched
    graphic->SetProgressHandler({});
    if (turn != 1)
        graphic->Reorient(turn);
    Assign(std::move(graphic));
}

void TPicture::Clear()
{
    m_graphic.reset();
    if (m_onChange)
        m_onChange();
}

void TPicture::Assign(std::unique_ptr<TGraphic> graphic)
{
    m_graphic = std::move(graphic);
    if (m_onChange)
        m_onChange();
}

TPictureLoadResult LoadPictureReporting(const QString& path, TPicture& picture)
{
    TPictureLoadResult result;
    try {
        picture.LoadFromFile(path);
    } catch (const EGraphicError& error) {
        result.failure = error.reason();
        result.message = error.message();
    } catch (const std::bad_alloc&) {
        result.failure = TDecodeFailure::TooLarge;
    } catch (const std::exception& error) {
        result.failure = TDecodeFailure::DamagedData;
        result.message = QString::fromLocal8Bit(error.what());
    } catch (...) {
        result.failure = TDecodeFailure::DamagedData;
    }
    // A decoder that swallowed the stop (a plug-in told to give up reports
    // a plain failure) still ends as cancelled.
    if (!result.ok() && picture.CancelRequested())
        result.failure = TDecodeFailure::Cancelled;
    return result;
}

bool LoadPictureSafe(const QString& path, TPicture& picture)
{
    return LoadPictureReporting(path, picture).ok();
}
