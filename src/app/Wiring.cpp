#include "app/Wiring.h"

#include "decode/BmpGraphic.h"
#include "decode/susie/SPIBmp.h"
#include "decode/susie/SPIs.h"
#include "decode/susie/ViewerPluginPolicy.h"
#include "app/AppDialogs.h"
#include "organize/Organizer.h"
#include "viewer/MainWindow.h"
#include "viewer/common/SharedHelpers.h"

namespace {

class Wiring : public ProgramWiring {
public:
    ~Wiring() override { UnregisterSPIBitmap(); }

    void Attach(TfMain& main) override
    {
        SetHelperOwnerWindow(&main);
        TSPIBitmap::SetPlainBitmapClass(&TBitmapGraphic::ClassInfo);
        ConfigureViewerSPIs(m_spis);
        main.PluginSearchHandler = [this](TfMain& m, const QString&) {
            SearchViewerPlugins(m_spis, m.Session().Config().SusieDir);
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
