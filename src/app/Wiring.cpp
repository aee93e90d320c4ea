#include "app/Wiring.h"

#include "decode/BmpGraphic.h"
#include "decode/FormatRegistry.h"
#include "decode/susie/SPIBmp.h"
#include "decode/susie/SPIs.h"
#include "decode/susie/ViewerPluginPolicy.h"
#include "app/AppDialogs.h"
#include "helper/HelperClient.h"
#include "organize/Organizer.h"
#include "viewer/MainWindow.h"
#include "viewer/common/SharedHelpers.h"

#include <mutex>
#include <shared_mutex>

#include <QMessageBox>
#include <QPointer>

namespace {

class Wiring : public ProgramWiring {
public:
    ~Wiring() override
    {
        helper::FaultNotices::SetSink({});
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
                    auto* box = new QMessageBox(QMessageBox::Warning, MainTexts::ProductName, text,
                                                QMessageBox::Ok, owner.data());
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
            {
                const std::unique_lock<std::shared_mutex> changing(DecoderUseLock());
                SearchViewerPlugins(m_spis, m.Session().Config().SusieDir);
            }
            m.Pipeline().Cache().Clear(); // new plug-ins may read what failed before
        };
        AttachDialogs(main);
        AttachOrganizing(main);
    }

private:
    TSPIs m_spis; // SPIs1: the one plug-in host of the program
};

} // namespace

std::unique_ptr<ProgramWiring> MakeProgramWiring()
{
    return std::make_unique<Wiring>();
}
