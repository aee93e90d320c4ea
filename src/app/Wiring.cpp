#include "app/Wiring.h"

#include "decode/BmpGraphic.h"
#include "decode/FormatRegistry.h"
#include "decode/susie/SPIBmp.h"
#include "decode/susie/SPIs.h"
#include "decode/susie/SlowPluginLoader.h"
#include "decode/susie/ViewerPluginPolicy.h"
#include "app/AppDialogs.h"
#include "helper/HelperClient.h"
#include "organize/Organizer.h"
#include "viewer/CommandLine.h"
#include "viewer/MainWindow.h"
#include "viewer/ViewerSession.h"
#include "platform/Paths.h"
#include "viewer/common/SharedHelpers.h"

#include <algorithm>
#include <mutex>
#include <shared_mutex>

#include <QMessageBox>
#include <QPointer>
#include <QtDebug>

namespace {

class Wiring : public ProgramWiring {
public:
    ~Wiring() override
    {
        helper::FaultNotices::SetSink({});
        // A Wine start still running would hold the loaders' threads up.
        const bool loading = std::any_of(m_slowLoaders.begin(), m_slowLoaders.end(),
                                         [](const auto& loader) { return !loader->Finished(); });
        if (loading)
            AbandonWindowsPluginHelpers();
        m_slowLoaders.clear();
        UnregisterSPIBitmap();
    }

    void Attach(TfMain& main) override
    {
        SetHelperOwnerWindow(&main);
        // Plug-ins and archiver libraries run in helper processes; their
        // failures are told once each, without blocking the window.
        if (qEnvironmentVariable("ORVANTO_ISOLATION") != QLatin1String("0"))
            helper::SetIsolation(true);
        QPointer<TfMain> owner(&main);
        helper::FaultNotices::SetSink([owner](const QString& text) {
            if (!owner)
                return;
            QMetaObject::invokeMethod(
                owner.data(),
                [owner, text] {
                    if (!owner)
                        return;
                    auto* box = new QMessageBox(QMessageBox::Warning, MainTexts::ProductName, text, QMessageBox::Ok,
                                                owner.data());
                    box->setAttribute(Qt::WA_DeleteOnClose);
                    box->setModal(false);
                    box->show();
                },
                Qt::QueuedConnection);
        });
        TSPIBitmap::SetPlainBitmapClass(&TBitmapGraphic::ClassInfo);
        ConfigureViewerSPIs(m_spis);
        main.PluginSearchHandler = [this](TfMain& m, const QString&) {
            // Decodes in flight use the plug-ins: stop them and keep new
            // ones from starting while the plug-ins change.
            m.Pipeline().CancelAll();
            QStringList slow;
            m_spis.OnSlowPlugin = [&slow](const QString& path) { slow << path; };
            {
                const std::unique_lock<std::shared_mutex> changing(DecoderUseLock());
                SearchViewerPlugins(m_spis, m.Session().Config().SusieDir);
            }
            m_spis.OnSlowPlugin = nullptr;
            m.Pipeline().Cache().Clear(); // new plug-ins may read what failed before
            if (!slow.isEmpty())
                LoadSlowPlugins(m, slow);
        };
        AttachDialogs(main);
        AttachOrganizing(main);
    }

private:
    // Windows plug-ins not described before start Wine to tell their
    // formats (seconds; half a minute while Wine makes its prefix): they
    // load on a thread of their own and join the others when done. Decodes
    // that find no decoder meanwhile wait for them on the decoding threads.
    void LoadSlowPlugins(TfMain& main, const QStringList& paths)
    {
        qInfo().noquote() << QStringLiteral("Windows プラグインを準備しています (%1 個)。").arg(paths.size());
        DecoderArrivals::Expect();
        QPointer<TfMain> owner(&main);
        m_slowLoaders.push_back(
            std::make_unique<SlowPluginLoader>(paths, [this, owner](SlowPluginLoader::LoadedPlugins loaded) {
                auto plugins = std::make_shared<SlowPluginLoader::LoadedPlugins>(std::move(loaded));
                // Posted to the window thread; dropped with the context when
                // the program ends first.
                const bool posted = QMetaObject::invokeMethod(
                    &m_context, [this, owner, plugins] { AddSlowPlugins(owner, *plugins); }, Qt::QueuedConnection);
                if (!posted)
                    DecoderArrivals::Arrived();
            }));
    }

    void AddSlowPlugins(const QPointer<TfMain>& owner, SlowPluginLoader::LoadedPlugins& loaded)
    {
        int added = 0;
        {
            const std::unique_lock<std::shared_mutex> changing(DecoderUseLock());
            for (auto& spi : loaded)
                added += m_spis.AddFound(std::move(spi)) ? 1 : 0;
        }
        DecoderArrivals::Arrived();
        qInfo().noquote() << QStringLiteral("Windows プラグインの準備ができました (%1 個)。").arg(added);
        if (!owner || added == 0)
            return;
        TfMain& main = *owner;
        main.Pipeline().Cache().Clear();
        main.Session().RetakeGraphicFilter();
        // Pictures named at start in a format only these plug-ins read were
        // not listed then: they are opened now, as if dropped on the window.
        if (main.Session().Images().IsEmpty() && !main.Session().State().FullScreen) {
            QStringList paths;
            for (const QString& argument : main.StartArguments())
                if (!IsSwitchArgument(argument))
                    paths << platform::CanonicalPath(argument);
            if (!paths.isEmpty())
                main.Session().DropPaths(paths);
        }
    }

    TSPIs m_spis; // SPIs1: the one plug-in host of the program
    QObject m_context; // receives what the loaders hand back, on the window thread
    std::vector<std::unique_ptr<SlowPluginLoader>> m_slowLoaders;
};

} // namespace

std::unique_ptr<ProgramWiring> MakeProgramWiring()
{
    return std::make_unique<Wiring>();
}
