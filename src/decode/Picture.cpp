#include "Picture.h"

#include "FormatRegistry.h"
#include "Orientation.h"

QString PictureExtension(const QString& fileName)
{
    const int dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return {};
    for (int i = dot + 1; i < fileName.size(); ++i) {
        const QChar c = fileName.at(i);
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char(':'))
            return {};
    }
    return fileName.mid(dot + 1);
}

void TPicture::LoadFromFile(const QString& fileName)
{
    const QString extension = PictureExtension(fileName);
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
