#include "Picture.h"

#include "FormatRegistry.h"
#include "Orientation.h"

#include "platform/FileExtension.h"

void TPicture::LoadFromFile(const QString& fileName)
{
    // The loader's extension: without its dot; "\\" and ":" end a name too.
    const QString extension = platform::FileExtension(fileName, {.windowsSeparators = true, .withDot = false});
    TGraphicClass graphicClass = TFormatRegistry::Instance().Find(extension);
    if (!graphicClass || !graphicClass->create)
        throw EGraphicError(QStringLiteral("拡張子 .%1 の画像形式は処理できません").arg(extension));
    std::unique_ptr<TGraphic> graphic = graphicClass->create();
    if (!graphic)
        throw EGraphicError(QStringLiteral("拡張子 .%1 の画像形式は処理できません").arg(extension));
    graphic->SetProgressHandler(m_onProgress);
    graphic->LoadFromFile(fileName); // a failure leaves m_graphic untouched
    graphic->SetProgressHandler({});
    // Turned here, once, so that everything that shows, fits or copies the
    // picture sees it upright.
    const int turn = decode::OrientationToApply(decode::ReadOrientationOfFile(fileName), decode::AutoRotate());
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

bool LoadPictureSafe(const QString& path, TPicture& picture)
{
    try {
        picture.LoadFromFile(path);
        return true;
    } catch (const std::exception&) {
        return false;
    } catch (...) {
        return false;
    }
}
