#include "ViewerPluginPolicy.h"

#include "SPIs.h"
#include "platform/ProgramLocation.h"

bool SPIs1SearchAccept(const TSPI& spi)
{
    return spi.IsInstanceOf(&TInSPI::ClassInfo);
}

void SPIs1PictureRegisterPolicy(const QString& extension, TGraphicClass& graphicClass)
{
    const QString ext = extension.toLower();
    if (ext == QLatin1String("jpg") || ext == QLatin1String("jpeg") || ext == QLatin1String("gif")
        || ext == QLatin1String("bmp") || ext == QLatin1String("wmf") || ext == QLatin1String("ico"))
        graphicClass = nullptr;
}

void ConfigureViewerSPIs(TSPIs& spis)
{
    spis.GraphicPreview = false;
    spis.AutoSearch = false;
    spis.SearchOptions = TSPISearchOptions(spsSusieDir) | spsAppDir;
    spis.OnSearch = [](TSPIs&, TSPI& spi, bool& accept) { accept = SPIs1SearchAccept(spi); };
    spis.OnPictureRegister = [](TSPIs&, TInSPI&, const QString& extension, const QString&,
                                TGraphicClass& graphicClass) { SPIs1PictureRegisterPolicy(extension, graphicClass); };
}

QString ViewerPluginFolder(const QString& dirSetting)
{
    // An empty setting would make the mask "/*.spi", the root folder; the
    // program's own plug-in folder is what such a setting means here.
    if (dirSetting.trimmed().isEmpty()) {
        const QString libraryDir = platform::ProgramLibraryDir();
        return libraryDir.isEmpty() ? QStringLiteral("plugins") : libraryDir + QStringLiteral("/plugins");
    }
    return dirSetting;
}

QString ViewerPluginMask(const QString& dirSetting)
{
    QString folder = ViewerPluginFolder(dirSetting);
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder + QStringLiteral("*.spi");
}

void SearchViewerPlugins(TSPIs& spis, const QString& dirSetting)
{
    const QString mask = ViewerPluginMask(dirSetting);
    spis.Search(mask);
    // 64-bit Windows plug-ins carry their own extension.
    spis.Search(mask.left(mask.size() - 4) + QStringLiteral(".sph"));
}
